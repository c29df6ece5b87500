#include "core/byte_stream.h"
#include "archive/codec.h"
#include "tests/codec/block_writer.h"
#include "tests/codec/reference_unpack.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

struct UnpackOutcome {
    bool ok;
    std::string output;
};

// Decodes into a heap buffer of exactly the announced length, so that the
// sanitizer sees any write past the expansion (Unpack's own buffer has
// slack behind it), and compares with Unpack's outcome.
void ExpectExactDecode(const std::vector<uint8_t>& block, const UnpackOutcome& outcome)
{
    int32_t length = BlockLength(block.data(), (int32_t)block.size());
    if (length < 0) {
        EXPECT_FALSE(outcome.ok);
        return;
    }
    std::vector<uint8_t> exact((size_t)length);
    bool ok = UnpackInto(block.data(), (int32_t)block.size(), exact.data(), length);
    EXPECT_EQ(outcome.ok, ok);
    if (ok) {
        EXPECT_EQ(outcome.output, std::string(exact.begin(), exact.end()));
    }
}

// Runs Unpack on a malloc'd copy, as the launcher does, and checks that a
// failure leaves the caller's pointer, size and bytes as they were; then
// decodes once more into an exactly sized buffer.
UnpackOutcome RunUnpack(const std::vector<uint8_t>& block)
{
    uint8_t* data = (uint8_t*)malloc(block.size() + 1);
    memcpy(data, block.data(), block.size());
    uint8_t* original = data;
    int32_t size = (int32_t)block.size();
    bool ok = Unpack(data, size);
    UnpackOutcome outcome{ok, {}};
    if (ok) {
        EXPECT_NE(original, data);
        outcome.output.assign((const char*)data, (size_t)size);
        free(data);
    } else {
        EXPECT_EQ(original, data);
        EXPECT_EQ((int32_t)block.size(), size);
        EXPECT_EQ(0, memcmp(original, block.data(), block.size()));
    }
    free(original);
    ExpectExactDecode(block, outcome);
    return outcome;
}

std::string RandomBytes(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = (char)(rng() & 0xFF);
    return s;
}

struct BlockCase {
    const char* name;
    std::vector<uint8_t> block;
    bool ok;
    std::string expected;   // the expansion when ok
};

std::vector<BlockCase> DecodingCases()
{
    std::string far = RandomBytes(5000, 7);
    std::string text40 = "forty bytes of text at an odd bit offset";
    return {
        {"empty expansion", BlockWriter(0).Bytes(), true, ""},
        {"empty expansion ignores trailing bytes", BlockWriter(0).Bits(0xFFFF, 16).Bytes(), true, ""},
        {"one literal byte", BlockWriter(1).Literal("A").Bytes(), true, "A"},
        {"five literal bytes widen the count", BlockWriter(5).Literal("hello").Bytes(), true, "hello"},
        {"shortest byte run", BlockWriter(3).Run('x', 3).Bytes(), true, "xxx"},
        {"long byte run", BlockWriter(1000).Run(0, 1000).Bytes(), true, std::string(1000, '\0')},
        {"shortest copy", BlockWriter(8).Literal("abcd").Copy(4, 4).Bytes(), true, "abcdabcd"},
        {"copy from a wide distance", BlockWriter(5010).Literal(far).Copy(10, 4500).Bytes(), true,
         far + far.substr(500, 10)},
        {"literal after a run sits at an odd bit offset",
         BlockWriter(43).Run('-', 3).Literal(text40).Bytes(), true, "---" + text40},
        {"number with more prefix bits than needed",
         BlockWriter(2).Bit(0).NumberWithOnes(1, 2, 2, 3).Bits('o', 8).Bits('k', 8).Bytes(), true, "ok"},
        {"prefix wider than 32 bits reads 32",
         BlockWriter(1).Bit(0).NumberWithOnes(0, 2, 2, 20).Bits('!', 8).Bytes(), true, "!"},
        {"trailing bits after the last token", BlockWriter(1).Literal("z").Bits(0x5A5A, 16).Bytes(),
         true, "z"},
        {"byte run count wraps to 1", BlockWriter(1).RawRun('w', 0xFFFFFFFEu).Bytes(), true, "w"},
        {"copy length and distance wrap to 1",
         BlockWriter(3).Literal("ab").RawCopy(0xFFFFFFFDu, 0xFFFFFFFDu).Bytes(), true, "abb"},
        // 11, then only 6 bits: the value reads as 0, the number 0 from "00".
        {"byte run without its value bits", BlockWriter(3).Bit(1).Bit(1).Bits(0, 2).Bytes(), true,
         std::string(3, '\0')},
    };
}

std::vector<BlockCase> FailingCases()
{
    std::vector<uint8_t> magicOnly = {0xA1, 0x2B, 0xC7, 0x9E};
    std::vector<uint8_t> sevenBytes = {0xA1, 0x2B, 0xC7, 0x9E, 0, 0, 0};
    return {
        {"four bytes", magicOnly, false, ""},
        {"seven bytes", sevenBytes, false, ""},
        {"wrong magic", BlockWriter(0, 0x9EC72BA2u).Bytes(), false, ""},
        {"negative length", BlockWriter(-1).Literal("a").Bytes(), false, ""},
        {"length above the largest string", BlockWriter(0x40000001).Run(0, 3).Bytes(), false, ""},
        {"header only with a length", BlockWriter(1).Bytes(), false, ""},
        {"one byte short", BlockWriter(4).Literal("abc").Bytes(), false, ""},
        {"last token runs past the length", BlockWriter(2).Literal("abc").Bytes(), false, ""},
        {"byte run runs past the length", BlockWriter(5).Literal("ab").Run('c', 4).Bytes(), false, ""},
        {"literal bytes missing at the end", BlockWriter(3).RawLiteral(2).Bits('a', 8).Bytes(), false, ""},
        {"literal count wraps to 0", BlockWriter(3).RawLiteral(0xFFFFFFFFu).Bytes(), false, ""},
        {"byte run count wraps to 0", BlockWriter(3).RawRun('q', 0xFFFFFFFDu).Bytes(), false, ""},
        {"huge byte run count", BlockWriter(10).RawRun('q', 0x7FFFFFF0u).Bytes(), false, ""},
        {"huge literal count", BlockWriter(10).RawLiteral(0xFFFFFFF0u).Bits(0, 64).Bytes(), false, ""},
        {"copy from before the start", BlockWriter(8).Literal("abcd").Copy(4, 5).Bytes(), false, ""},
        {"copy overlaps its output", BlockWriter(9).Literal("abcd").Copy(5, 4).Bytes(), false, ""},
        {"copy distance wraps to 0", BlockWriter(8).Literal("abcd").RawCopy(0, 0xFFFFFFFCu).Bytes(), false, ""},
        {"copy length wraps to 0", BlockWriter(8).Literal("abcd").RawCopy(0xFFFFFFFCu, 0).Bytes(), false, ""},
        {"copy distance far beyond the output", BlockWriter(8).Literal("abcd").RawCopy(0, 0x80000000u).Bytes(),
         false, ""},
        {"unary prefix runs to the end", BlockWriter(1).Bit(0).Bits(0x7FFFFFFFFFFFFFFFull, 63).Bytes(), false, ""},
        {"number field cut short", BlockWriter(1).Bit(0).Bits(0x1FF, 9).Bit(0).Bits(0, 5).Bytes(), false, ""},
    };
}

TEST(Unpack, DecodesHandAssembledTokens)
{
    for (const BlockCase& c : DecodingCases()) {
        SCOPED_TRACE(c.name);
        UnpackOutcome outcome = RunUnpack(c.block);
        EXPECT_TRUE(outcome.ok);
        EXPECT_EQ(c.expected, outcome.output);
        ReferenceResult reference = ReferenceUnpack(c.block.data(), c.block.size());
        EXPECT_TRUE(reference.ok);
        EXPECT_EQ(c.expected, std::string(reference.output.begin(), reference.output.end()));
    }
}

TEST(Unpack, RejectsDamagedBlocksAndLeavesTheInput)
{
    for (const BlockCase& c : FailingCases()) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(RunUnpack(c.block).ok);
        EXPECT_FALSE(ReferenceUnpack(c.block.data(), c.block.size()).ok);
    }
}

TEST(Unpack, RejectsMissingData)
{
    uint8_t* data = nullptr;
    int32_t size = 16;
    EXPECT_FALSE(Unpack(data, size));
    EXPECT_EQ(nullptr, data);
    EXPECT_EQ(16, size);
}

TEST(UnpackInPlace, ReplacesContentOnlyOnSuccess)
{
    std::vector<uint8_t> good = BlockWriter(6).Literal("ab").Run('c', 4).Bytes();
    String content((const char*)good.data(), (int)good.size());
    ASSERT_TRUE(UnpackInPlace(content));
    EXPECT_EQ(String("abcccc"), content);

    std::vector<uint8_t> bad = BlockWriter(7).Literal("ab").Run('c', 4).Bytes();
    String kept((const char*)bad.data(), (int)bad.size());
    EXPECT_FALSE(UnpackInPlace(kept));
    EXPECT_EQ(String((const char*)bad.data(), (int)bad.size()), kept);

    String empty;
    EXPECT_FALSE(UnpackInPlace(empty));
    std::vector<uint8_t> nothing = BlockWriter(0).Bytes();
    String zero((const char*)nothing.data(), (int)nothing.size());
    ASSERT_TRUE(UnpackInPlace(zero));
    EXPECT_TRUE(zero.IsEmpty());
}

// Random token sequences with raw numbers biased towards the edges, some of
// them then damaged: the fast decoder must agree with the plain one on
// every one, success or failure.
std::vector<uint8_t> RandomBlock(std::mt19937& rng)
{
    auto pick = [&](uint32_t n) { return (uint32_t)(rng() % n); };
    auto raw = [&]() -> uint32_t {
        switch (pick(8)) {
        case 0: return 0xFFFFFFFFu - pick(6);           // wraps around
        case 1: return rng();
        case 2: return pick(5000);
        default: return pick(12);
        }
    };
    int tokens = (int)pick(12);
    BlockWriter w(0);
    uint32_t length = 0;
    for (int t = 0; t < tokens; t++) {
        switch (pick(3)) {
        case 0: {
            uint32_t n = pick(5) == 0 ? raw() : pick(40);
            w.RawLiteral(n);
            for (uint32_t i = 0; i <= n && i < 64; i++)
                w.Bits(rng(), 8);
            length += n + 1;
            break;
        }
        case 1: {
            uint32_t n = raw();
            w.RawRun((uint8_t)rng(), n);
            length += n + 3;
            break;
        }
        default:
            uint32_t n = raw(), d = raw();
            w.RawCopy(n, d);
            length += n + 4;
            break;
        }
    }
    w.Bits(rng(), (int)pick(20));
    std::vector<uint8_t> block = w.Bytes();
    // Usually the length the tokens add up to, sometimes off by a little.
    uint32_t declared = length + (pick(4) == 0 ? pick(3) - 1 : 0);
    if (declared > 0x100000)
        declared = pick(200);
    memcpy(block.data() + 4, &declared, 4);
    int damage = (int)pick(4);
    for (int i = 0; i < damage && block.size() > 8; i++) {
        size_t at = 8 + pick((uint32_t)block.size() - 8);
        if (pick(2))
            block[at] ^= (uint8_t)(1u << pick(8));
        else
            block.resize(at);
    }
    return block;
}

TEST(Unpack, AgreesWithThePlainDecoder)
{
    std::mt19937 rng(20240611);
    int decoded = 0;
    for (int i = 0; i < 4000; i++) {
        std::vector<uint8_t> block = RandomBlock(rng);
        SCOPED_TRACE(i);
        ReferenceResult reference = ReferenceUnpack(block.data(), block.size());
        UnpackOutcome fast = RunUnpack(block);
        ASSERT_EQ(reference.ok, fast.ok);
        if (fast.ok) {
            decoded++;
            ASSERT_EQ(std::string(reference.output.begin(), reference.output.end()), fast.output);
        }
    }
    EXPECT_GT(decoded, 400);    // the comparison covered successes, not only failures
}

// ---------------------------------------------------------------------------
// The plain reader's parts

TEST(BitReader, ReadsLeastSignificantBitFirst)
{
    const uint8_t bytes[2] = {0xB4, 0x01};     // 1011 0100, 0000 0001
    BitReader r;
    r.Attach(bytes, 2);
    std::string bits;
    for (int i = 0; i < 10; i++)
        bits += (char)('0' + r.ReadBit());
    EXPECT_EQ("0010110110", bits);
    uint8_t field[2] = {0xFF, 0xFF};
    EXPECT_TRUE(r.ReadBits(field, 6));
    EXPECT_EQ(0x00, field[0] & 0x3F);
    EXPECT_EQ(0xC0, field[0] & 0xC0);           // bits beyond n keep their values
    EXPECT_TRUE(r.Lacks(1));
    EXPECT_EQ(0, r.ReadBit());                  // at the end: 0, no move
    EXPECT_EQ(16, r.BitPosition());
}

TEST(BitReader, RefusesReadsThatDoNotFit)
{
    const uint8_t bytes[1] = {0xFF};
    BitReader r;
    r.Attach(bytes, 1);
    uint8_t field = 0;
    EXPECT_FALSE(r.ReadBits(&field, 9));
    EXPECT_FALSE(r.ReadBits(&field, 0));
    EXPECT_FALSE(r.ReadBits(nullptr, 1));
    EXPECT_EQ(0, r.BitPosition());
    r.SeekBit(-1);
    EXPECT_TRUE(r.Lacks(0));
    EXPECT_EQ(0, r.ReadBit());
}

struct NumberCase {
    const char* name;
    std::vector<uint8_t> bits;      // stream bytes
    int base, step;
    bool ok;
    uint32_t value;
    int64_t position;               // after the read, when ok
};

TEST(BitReader, ReadsNumbers)
{
    static const NumberCase kCases[] = {
        {"no prefix, base 2", {0x06}, 2, 2, true, 3, 3},               // 0, then 11
        {"one prefix bit widens by step", {0x3D, 0x00}, 2, 2, true, 15, 6},  // 1,0, then 1111
        {"base 12", {0xFE, 0x1F}, 12, 2, true, 0xFFF, 13},
        {"base 0 without prefix is a zero width", {0x00}, 0, 1, false, 0, 0},
        {"base above 64", {0x00}, 65, 1, false, 0, 0},
        {"step 0", {0x00}, 2, 0, false, 0, 0},
        {"step 17", {0x00}, 2, 17, false, 0, 0},
        {"smallest number", {0x00}, 1, 1, true, 0, 2},
    };
    for (const NumberCase& c : kCases) {
        SCOPED_TRACE(c.name);
        BitReader r;
        r.Attach(c.bits.data(), (int32_t)c.bits.size());
        uint32_t value = 0x12345678;
        EXPECT_EQ(c.ok, r.ReadNumber(value, c.base, c.step));
        if (c.ok) {
            EXPECT_EQ(c.value, value);
            EXPECT_EQ(c.position, r.BitPosition());
        }
    }
    const uint8_t last[1] = {0x00};
    BitReader r;
    r.Attach(last, 1);
    r.SeekBit(7);                               // one bit left: fewer than 2
    uint32_t value;
    EXPECT_FALSE(r.ReadNumber(value, 1, 1));
}

// ---------------------------------------------------------------------------
// ByteStream

TEST(ByteStream, WritesAtThePositionAndGrows)
{
    ByteStream s;
    EXPECT_TRUE(s.Write("abcd", 4));
    EXPECT_TRUE(s.Fill('x', 2));
    EXPECT_TRUE(s.CopyWithin(1, 3));
    EXPECT_EQ(String("abcdxxbcd"), s);
    EXPECT_EQ(9, s.Position());
    EXPECT_FALSE(s.Write("a", 0));
    EXPECT_FALSE(s.Write(nullptr, 1));
    EXPECT_FALSE(s.Fill('x', 0));
    EXPECT_EQ(nullptr, s.Advance(-1));
    EXPECT_TRUE(s.Seek(2));
    EXPECT_TRUE(s.Write("ZZ", 2));              // overwrites, length stays
    EXPECT_EQ(String("abZZxxbcd"), s);
    s.CutAtPosition();
    EXPECT_EQ(String("abZZ"), s);
    EXPECT_FALSE(s.Seek(-1));
}

struct CopyCase {
    const char* name;
    int32_t position, src, n;
    bool ok;
};

TEST(ByteStream, CopyWithinNeverOverlapsOrReadsOutside)
{
    static const CopyCase kCases[] = {
        {"source ends at the position", 6, 2, 4, true},
        {"source overlaps the destination", 6, 3, 4, false},
        {"negative source", 6, -1, 2, false},
        {"zero count", 6, 0, 0, false},
        {"position beyond the length", 12, 0, 2, false},
        {"huge count cannot overflow the check", 6, 5, 0x7FFFFFFF, false},
    };
    for (const CopyCase& c : kCases) {
        SCOPED_TRACE(c.name);
        ByteStream s;
        s.Write("abcdefghij", 10);
        s.Seek(c.position);
        EXPECT_EQ(c.ok, s.CopyWithin(c.src, c.n));
        EXPECT_EQ(c.ok ? c.position + c.n : c.position, s.Position());
    }
}

TEST(ByteStream, ReadsPastTheEndAsZeros)
{
    const char bytes[] = "\x01\x02\x03\x04name\0tail";
    ByteStream s(String(bytes, (int)sizeof bytes - 1));
    EXPECT_EQ(0x04030201, s.ReadInt());
    EXPECT_EQ(String("name"), s.ReadText());
    EXPECT_EQ(String("tail"), s.ReadText());    // the end also ends a text
    EXPECT_TRUE(s.ReadText().IsEmpty());
    EXPECT_EQ(0, s.ReadInt());
    EXPECT_EQ(0, s.ReadByte());
    EXPECT_EQ(s.Length(), s.Position());

    ByteStream t(String("\xFF\xFF\xFF", 3));
    EXPECT_EQ(0x00FFFFFF, t.ReadInt());         // the missing top byte is zero
    char out[4] = {9, 9, 9, 9};
    EXPECT_EQ(0, t.ReadBytes(out, 4));
    EXPECT_EQ(0, memcmp(out, "\0\0\0\0", 4));
    EXPECT_EQ(255, ByteStream(String("\xFF", 1)).ReadByte());
}

} // namespace
