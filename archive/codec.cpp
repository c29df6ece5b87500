#include "archive/codec.h"

#include <string.h>

#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the block decoder loads words little-endian"
#endif

namespace {

const int32_t kBlockHeader = 8;     // magic and length

uint32_t LoadLittle32(const uint8_t* p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16)
         | ((uint32_t)p[3] << 24);
}

} // namespace

// ---------------------------------------------------------------------------
// BitReader

void BitReader::Attach(const uint8_t* data, int32_t size)
{
    data_ = data;
    size_ = size;
    bitCount_ = (int64_t)size * 8;
    position_ = 0;
}

int BitReader::ReadBit()
{
    if (Lacks(1))
        return 0;
    int bit = (data_[position_ >> 3] >> (position_ & 7)) & 1;
    position_++;
    return bit;
}

bool BitReader::ReadBits(void* dst, int64_t n)
{
    if (dst == nullptr || n < 1 || Lacks(n))
        return false;
    uint8_t* out = (uint8_t*)dst;
    for (int64_t i = 0; i < n; i++) {
        uint8_t mask = (uint8_t)(1u << (i & 7));
        if (ReadBit())
            out[i >> 3] |= mask;
        else
            out[i >> 3] &= (uint8_t)~mask;
    }
    return true;
}

bool BitReader::ReadNumber(uint32_t& out, int base, int step)
{
    if (Lacks(2) || base < 0 || base > 64 || step < 1 || step > 16)
        return false;
    int width = 0;
    while (ReadBit() == 1) {
        if (width < 64)                 // past 32 it no longer matters
            width += step;
    }
    width += base;
    if (width > 32)
        width = 32;
    uint8_t field[4] = {0, 0, 0, 0};
    bool ok = ReadBits(field, width);   // a width of 0 fails here
    out = LoadLittle32(field);
    return ok;
}

// ---------------------------------------------------------------------------
// Unpack
//
// The fast reader looks at the stream through 64-bit windows: Peek(bit)
// returns the bits from `bit` on in its low bits, at least 57 of them valid,
// with zeros past the end of the block. Every read first checks the number
// of bits left, so the zeros are never taken for data.

namespace {

// The number of zero bits below the lowest one; 64 for none. Counted in
// halves: on a 32-bit target the 64-bit builtin is a call into the
// compiler's run-time library, which brings its unwind tables along.
inline uint64_t TrailingZeros(uint64_t x)
{
#if UINTPTR_MAX > 0xffffffffu
    return x ? (uint64_t)__builtin_ctzll(x) : 64;
#else
    uint32_t low = (uint32_t)x;
    if (low)
        return (uint64_t)__builtin_ctz(low);
    uint32_t high = (uint32_t)(x >> 32);
    return high ? 32 + (uint64_t)__builtin_ctz(high) : 64;
#endif
}

struct FastBits {
    const uint8_t* data;    // the whole block
    int32_t size;           // its bytes
    uint64_t end;           // size * 8
    uint64_t position;      // next bit; position <= end on every path that goes on

    uint64_t Left() const { return end - position; }

    uint64_t Peek(uint64_t bit) const
    {
        uint64_t byte = bit >> 3;
        uint64_t window = 0;
        if (byte + 8 <= (uint64_t)size) {
            memcpy(&window, data + byte, 8);
        } else {
            for (uint64_t i = 0; byte + i < (uint64_t)size; i++)
                window |= (uint64_t)data[byte + i] << (8 * i);
        }
        return window >> (bit & 7);
    }

    // The format's number. Fails where the plain reader fails: fewer than 2
    // bits, or the ones running to the end (the field then has no bits).
    // Usually the prefix, its ending zero and the field all lie in one
    // window of 57 valid bits; that case is inlined into the token loop.
    bool Number(uint32_t& out, unsigned base, unsigned step)
    {
        if (Left() >= 57) {
            uint64_t window = Peek(position);
            uint64_t zeros = ~window;
            uint64_t run = TrailingZeros(zeros);
            uint64_t width = run >= 32 ? 32 : base + run * step;
            if (width > 32)
                width = 32;
            if (run + 1 + width <= 57) {
                if (width == 0)
                    return false;
                out = (uint32_t)((window >> (run + 1)) & ((uint64_t(1) << width) - 1));
                position += run + 1 + width;
                return true;
            }
        }
        return NumberNearEnd(out, base, step);
    }

    // Number for the last bits of the block, and for numbers too wide for
    // one window: the ones are counted window by window.
    __attribute__((noinline)) bool NumberNearEnd(uint32_t& out, unsigned base, unsigned step)
    {
        if (Left() < 2)
            return false;
        uint64_t ones = 0;
        for (;;) {
            uint64_t valid = end - (position + ones);
            if (valid == 0)
                return false;
            if (valid > 57)
                valid = 57;
            uint64_t zeros = ~Peek(position + ones);
            uint64_t run = TrailingZeros(zeros);
            if (run < valid) {
                ones += run;
                break;
            }
            ones += valid;
        }
        position += ones + 1;                   // the ending zero is there
        uint64_t width = ones >= 32 ? 32 : base + ones * step;
        if (width > 32)
            width = 32;
        if (width == 0 || Left() < width)
            return false;
        out = (uint32_t)(Peek(position) & ((uint64_t(1) << width) - 1));
        position += width;
        return true;
    }

    // count bytes from the current bit on, at any alignment. The caller has
    // checked that count * 8 bits are left.
    void Bytes(uint8_t* out, uint32_t count)
    {
        const uint8_t* in = data + (position >> 3);
        unsigned shift = (unsigned)(position & 7);
        position += (uint64_t)count * 8;
        if (shift == 0) {
            memcpy(out, in, count);
            return;
        }
        // With a shift, output byte i takes bits from in[i] and in[i + 1];
        // the last in[count] lies inside the block because its bits do.
        const uint8_t* blockEnd = data + size;
        uint32_t i = 0;
        for (; i + 8 <= count && in + i + 9 <= blockEnd; i += 8) {
            uint64_t word;
            memcpy(&word, in + i, 8);
            word = (word >> shift) | ((uint64_t)in[i + 8] << (64 - shift));
            memcpy(out + i, &word, 8);
        }
        for (; i < count; i++)
            out[i] = (uint8_t)((in[i] >> shift) | (in[i + 1] << (8 - shift)));
    }
};

// Decodes the tokens of a block into out[0, length). True when they fill it
// exactly.
//
// On entry to each pass: done < length, out[0, done) is decoded, and
// in.position <= in.end. Each token is checked against both buffers before
// a byte moves: a count of 0 (a wrapped 32-bit count) or one running past
// `length` fails at once, so no write leaves out[0, length) and no copy
// reads beyond `done`. Each pass writes at least one byte, so any input ends.
bool DecodeTokens(FastBits& in, uint8_t* out, uint32_t length)
{
    uint32_t done = 0;
    while (done < length) {
        if (in.Left() < 2)
            return false;                       // no token fits in one bit
        uint64_t prefix = in.Peek(in.position);
        uint32_t room = length - done;
        if ((prefix & 1) == 0) {                // literal run
            in.position += 1;
            uint32_t n;
            if (!in.Number(n, 2, 2))
                return false;
            uint32_t count = n + 1;
            if (count == 0 || count > room || in.Left() < (uint64_t)count * 8)
                return false;
            if (count <= 7 && room >= 8) {
                // Up to 56 bits from one window, stored as a whole word; the
                // bytes past count are overwritten by the next tokens.
                uint64_t window = in.Peek(in.position);
                memcpy(out + done, &window, 8);
                in.position += (uint64_t)count * 8;
            } else {
                in.Bytes(out + done, count);
            }
            done += count;
        } else if (prefix & 2) {                // byte run
            in.position += 2;
            uint8_t value = 0;                  // missing value bits read as 0
            if (in.Left() >= 8) {
                value = (uint8_t)in.Peek(in.position);
                in.position += 8;
            }
            uint32_t n;
            if (!in.Number(n, 1, 1))
                return false;
            uint32_t count = n + 3;
            if (count == 0 || count > room)
                return false;
            memset(out + done, value, count);
            done += count;
        } else {                                // copy
            in.position += 2;
            uint32_t count, distance;
            if (!in.Number(count, 2, 1) || !in.Number(distance, 12, 2))
                return false;
            count += 4;
            distance += 4;
            if (count == 0 || count > room || distance > done || count > distance)
                return false;
            uint8_t* to = out + done;
            const uint8_t* from = to - distance;
            if (count <= 16 && room >= 16) {
                // Two fixed 8-byte moves instead of a call. The bytes past
                // count land inside the output and are overwritten later;
                // those that count are read before anything writes them,
                // because count <= distance.
                uint64_t a, b;
                memcpy(&a, from, 8);
                memcpy(to, &a, 8);
                memcpy(&b, from + 8, 8);
                memcpy(to + 8, &b, 8);
            } else {
                memcpy(to, from, count);
            }
            done += count;
        }
    }
    return true;
}

} // namespace

int32_t BlockLength(const uint8_t* data, int32_t size)
{
    if (data == nullptr || size < kBlockHeader || LoadLittle32(data) != kBlockMagic)
        return -1;
    int32_t length = (int32_t)LoadLittle32(data + 4);
    return length >= 0 && length <= String::MaxLength ? length : -1;
}

bool UnpackInto(const uint8_t* data, int32_t size, uint8_t* out, int32_t length)
{
    if (length < 0 || length != BlockLength(data, size))
        return false;
    FastBits in = {data, size, (uint64_t)size * 8, kBlockHeader * 8};
    return DecodeTokens(in, out, (uint32_t)length);
}

bool Unpack(uint8_t*& data, int32_t& size)
{
    int32_t length = BlockLength(data, size);
    if (length < 0)
        return false;
    // The buffer comes from String so that running out of memory takes the
    // program's one out-of-memory path. An empty expansion still gets a block.
    String output;
    output.SetLength(length > 0 ? length : 1);
    if (!UnpackInto(data, size, (uint8_t*)output.Data(), length))
        return false;
    data = (uint8_t*)output.Detach();
    size = length;
    return true;
}

bool UnpackInPlace(String& content)
{
    uint8_t* data = (uint8_t*)content.Data();
    int32_t size = content.Length();
    if (!Unpack(data, size))
        return false;
    content.Adopt(data, size);
    return true;
}
