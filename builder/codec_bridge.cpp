#include "builder/codec_bridge.h"

#include "core/checksum.h"

#include <cstring>

namespace velt {

void ScrambleBytes(Bytes& bytes, uint32_t key)
{
    if (bytes.empty())
        return;
    String s((const char*)bytes.data(), (int)bytes.size());
    Scramble(s, key);
    std::memcpy(bytes.data(), s.Data(), bytes.size());
}

} // namespace velt
