#include "launcher/checksum.h"

#include <gtest/gtest.h>

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
