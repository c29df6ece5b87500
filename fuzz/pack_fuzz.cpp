// The compressor on arbitrary bytes: bit 0 of the first byte picks the
// level, the rest is the input. With bit 1 set the input is repeated, with a
// changing byte between the copies, until it is longer than the inputs the
// best level searches exhaustively, so that its tree finder sees repeats,
// overlapping patterns and long tokens. Every block must decode back to the
// input (Pack checks this itself and throws otherwise; the fuzzer reports
// the throw).
#include "archive/codec.h"
#include "builder/compress.h"

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
    std::vector<uint8_t> tiled;
    if ((bytes[0] & 2) && size > 1) {
        for (uint8_t copy = 0; tiled.size() <= 6000; copy++) {
            tiled.insert(tiled.end(), bytes + 1, bytes + size);
            tiled.push_back(copy);
        }
    }
    std::span<const uint8_t> input = tiled.empty() ? std::span<const uint8_t>(bytes + 1, size - 1)
                                                   : std::span<const uint8_t>(tiled);
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
