#include "core/checksum.h"

namespace {

// Assembled byte by byte so the sum does not depend on the host's byte order
// or on the alignment of `p`; compilers turn this into one load on x86.
uint32_t LoadLittle32(const uint8_t* p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16)
         | ((uint32_t)p[3] << 24);
}

} // namespace

uint32_t Checksum(const uint8_t* data, int32_t length)
{
    if (data == 0 || length < 1)
        return kChecksumStart;
    uint32_t sum = kChecksumStart;
    int32_t words = length / 4;
    const uint8_t* p = data;
    for (int32_t i = 0; i < words; i++, p += 4)
        sum += LoadLittle32(p);
    // Tail bytes count signed (0x80..0xFF are -128..-1), unlike the bytes
    // inside whole words; archives already built depend on this.
    for (int32_t i = 0; i < length % 4; i++)
        sum += (uint32_t)(int32_t)(int8_t)p[i];
    return sum + (uint32_t)length;
}

void Scramble(String& buffer, uint32_t key)
{
    uint8_t* p = (uint8_t*)buffer.Data();
    int32_t length = buffer.Length();
    int32_t i = 0;
    for (; i + 4 <= length; i += 4) {
        p[i] ^= (uint8_t)key;
        p[i + 1] ^= (uint8_t)(key >> 8);
        p[i + 2] ^= (uint8_t)(key >> 16);
        p[i + 3] ^= (uint8_t)(key >> 24);
    }
    // The tail takes the key's low bytes in order; its top byte is never
    // used on a tail, as the archives already built expect.
    for (int shift = 0; i < length; i++, shift += 8)
        p[i] ^= (uint8_t)(key >> shift);
}
