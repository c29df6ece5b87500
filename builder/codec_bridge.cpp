#include "builder/codec_bridge.h"

#include "core/checksum.h"
#include "launcher/codec.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace velt {

bool UnpackBlock(std::span<const uint8_t> block, Bytes& out)
{
    if (block.empty() || block.size() > (size_t)String::MaxLength)
        return false;
    int32_t size = (int32_t)block.size();
    uint8_t* input = (uint8_t*)std::malloc(block.size());
    if (!input)
        throw std::bad_alloc();
    std::memcpy(input, block.data(), block.size());
    uint8_t* data = input;
    bool ok = Unpack(data, size);
    if (ok) {
        out.assign(data, data + size);
        if (data != input)
            std::free(data);
    }
    std::free(input);
    return ok;
}

void ScrambleBytes(Bytes& bytes, uint32_t key)
{
    if (bytes.empty())
        return;
    String s((const char*)bytes.data(), (int)bytes.size());
    Scramble(s, key);
    std::memcpy(bytes.data(), s.Data(), bytes.size());
}

} // namespace velt
