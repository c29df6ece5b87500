// The compressor on arbitrary bytes: the first byte picks the level, the
// rest is the input. Every block must decode back to the input (Pack checks
// this itself and throws otherwise; the fuzzer reports the throw).
#include "builder/compress.h"
#include "launcher/codec.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    if (size == 0)
        return 0;
    PackLevel level = (bytes[0] & 1) ? PackLevel::Best : PackLevel::Fast;
    std::span<const uint8_t> input(bytes + 1, size - 1);
    std::vector<uint8_t> block = Pack(input, level);

    uint8_t* data = (uint8_t*)malloc(block.size());
    memcpy(data, block.data(), block.size());
    uint8_t* original = data;
    int32_t count = (int32_t)block.size();
    if (!Unpack(data, count) || count != (int32_t)input.size()
        || (count > 0 && memcmp(data, input.data(), input.size()) != 0))
        abort();
    free(data);
    free(original);
    return 0;
}
