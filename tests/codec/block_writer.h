#pragma once
// Assembles blocks bit by bit for the decoder tests: the tokens can carry any
// raw number, including ones no compressor would write.

#include <cstdint>
#include <string>
#include <vector>

class BlockWriter {
public:
    explicit BlockWriter(int32_t length, uint32_t magic = 0x9EC72BA1u)
    {
        Bits(magic, 32);
        Bits((uint32_t)length, 32);
    }

    // n bits of value, bit 0 first.
    BlockWriter& Bits(uint64_t value, int n)
    {
        for (int i = 0; i < n; i++)
            Bit((int)((value >> i) & 1));
        return *this;
    }

    BlockWriter& Bit(int bit)
    {
        if (bits_ % 8 == 0)
            bytes_.push_back(0);
        if (bit)
            bytes_.back() |= (uint8_t)(1u << (bits_ % 8));
        bits_++;
        return *this;
    }

    // The number with exactly `ones` prefix bits (any count, even a wasteful
    // one) and its field of min(base + ones * step, 32) bits.
    BlockWriter& NumberWithOnes(uint32_t value, int base, int step, int ones)
    {
        for (int i = 0; i < ones; i++)
            Bit(1);
        Bit(0);
        int width = base + ones * step;
        return Bits(value, width > 32 ? 32 : width);
    }

    // The number with the fewest prefix bits that hold it.
    BlockWriter& Number(uint32_t value, int base, int step)
    {
        int ones = 0;
        while (base + ones * step < 32 && ((uint64_t)value >> (base + ones * step)) != 0)
            ones++;
        return NumberWithOnes(value, base, step, ones);
    }

    BlockWriter& Literal(const std::string& bytes)
    {
        Bit(0).Number((uint32_t)bytes.size() - 1, 2, 2);
        for (unsigned char c : bytes)
            Bits(c, 8);
        return *this;
    }
    BlockWriter& RawLiteral(uint32_t n) { return Bit(0).Number(n, 2, 2); }
    BlockWriter& Run(uint8_t value, uint32_t length) { return RawRun(value, length - 3); }
    BlockWriter& RawRun(uint8_t value, uint32_t n) { return Bit(1).Bit(1).Bits(value, 8).Number(n, 1, 1); }
    BlockWriter& Copy(uint32_t length, uint32_t distance) { return RawCopy(length - 4, distance - 4); }
    BlockWriter& RawCopy(uint32_t n, uint32_t d) { return Bit(1).Bit(0).Number(n, 2, 1).Number(d, 12, 2); }

    int64_t BitCount() const { return bits_; }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;    // whole and partial bytes written
    int64_t bits_ = 0;              // bits written
};
