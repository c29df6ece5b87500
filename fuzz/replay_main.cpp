// Feeds every file of the given corpus directories to the fuzz target once:
// the grown corpus becomes an ordinary test of every native build.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size);

int main(int argc, char** argv)
{
    size_t files = 0;
    for (int i = 1; i < argc; i++) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i])) {
            if (!entry.is_regular_file())
                continue;
            std::ifstream in(entry.path(), std::ios::binary);
            std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            files++;
        }
    }
    printf("%zu inputs replayed\n", files);
    return files > 0 ? 0 : 1;
}
