#include "core/checksum.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct ChecksumCase {
    const char* name;
    std::string bytes;
    uint32_t expected;
};

TEST(Checksum, AddsWordsSignedTailAndLength)
{
    const uint32_t start = 0x79E2BC9Du;
    static const ChecksumCase kCases[] = {
        {"empty", std::string(), start},              // no length added
        {"abc", "abc", 0x79E2BDC6u},
        {"single 0xFF", "\xFF", start},               // -1 then +1
        {"tail 0x7F", "\x7F", start + 127 + 1},
        {"tail 0x80", "\x80", start - 128 + 1},       // 255 below 0x7F
        {"word with 0x80 counts unsigned", std::string("\x80\0\0\0", 4), start + 0x80 + 4},
        {"word 0xFFFFFFFF wraps", "\xFF\xFF\xFF\xFF", start - 1 + 4},
        {"word is little-endian", "\x01\x02\x03\x04", start + 0x04030201u + 4},
        {"word then tail", "\x01\x02\x03\x04\xFE", start + 0x04030201u - 2 + 5},
        {"three tail bytes", "\x80\x81\x82", start - 128 - 127 - 126 + 3},
    };
    for (const ChecksumCase& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, Checksum((const uint8_t*)c.bytes.data(), (int32_t)c.bytes.size()));
    }
}

TEST(Checksum, MissingDataOrNonPositiveLengthGivesStartValue)
{
    const uint8_t bytes[4] = {1, 2, 3, 4};
    EXPECT_EQ(0x79E2BC9Du, Checksum(nullptr, 4));
    EXPECT_EQ(0x79E2BC9Du, Checksum(bytes, 0));
    EXPECT_EQ(0x79E2BC9Du, Checksum(bytes, -5));
}

TEST(Checksum, LengthSeparatesEqualWords)
{
    // The same word, alone and with a zero tail byte: only the length differs.
    const uint8_t bytes[5] = {9, 8, 7, 6, 0};
    EXPECT_EQ(Checksum(bytes, 4) + 1, Checksum(bytes, 5));
}

} // namespace

namespace {

struct ScrambleCase {
    const char* name;
    size_t length;          // of a zero buffer
    std::string expected;   // the key's bytes as they land
};

TEST(Scramble, WholeWordsTakeTheKeyTailsItsLowBytes)
{
    const uint32_t key = 0x44332211u;
    static const ScrambleCase kCases[] = {
        {"empty", 0, ""},
        {"one byte takes k0", 1, "\x11"},
        {"two bytes take k0 k1", 2, "\x11\x22"},
        {"three bytes never take k3", 3, "\x11\x22\x33"},
        {"one word, little-endian", 4, "\x11\x22\x33\x44"},
        {"word then a tail restarting at k0", 5, "\x11\x22\x33\x44\x11"},
        {"word then three", 7, "\x11\x22\x33\x44\x11\x22\x33"},
    };
    for (const ScrambleCase& c : kCases) {
        SCOPED_TRACE(c.name);
        String buffer;
        if (c.length > 0) {
            buffer.SetLength((int)c.length);
            memset(buffer.Data(), 0, c.length);
        }
        Scramble(buffer, key);
        EXPECT_EQ(String(c.expected.data(), (int)c.expected.size()), buffer);
    }
}

TEST(Scramble, TwiceRestoresTheBuffer)
{
    std::string bytes;
    for (int i = 0; i < 1003; i++)
        bytes += (char)(i * 37 + 11);
    String buffer(bytes.data(), (int)bytes.size());
    Scramble(buffer, 0xDEADBEEFu);
    EXPECT_NE(String(bytes.data(), (int)bytes.size()), buffer);
    Scramble(buffer, 0xDEADBEEFu);
    EXPECT_EQ(String(bytes.data(), (int)bytes.size()), buffer);
}

} // namespace
