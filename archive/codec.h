// The decoder of the archive's compressed blocks.
//
// A block is: the magic 0x9EC72BA1 (little-endian word), the uncompressed
// length L (signed word), then a bit stream of tokens running to the end of
// the block. Bits are taken least significant first from each byte, and a
// field's first bit becomes its bit 0. Tokens:
//   0  literal run:  count = number(2, 2) + 1, then count bytes of 8 bits
//   11 byte run:     8-bit value, then length = number(1, 1) + 3
//   10 copy:         length = number(2, 1) + 4, distance = number(12, 2) + 4;
//                    the source lies entirely before the destination
// A number(base, step) is k one-bits, a zero-bit, then a field of
// min(base + k * step, 32) bits. Counts wrap as 32-bit unsigned values.
//
// Portable: no windows.h.
#pragma once

#include "core/string.h"

#include <stdint.h>

constexpr uint32_t kBlockMagic = 0x9EC72BA1;    // the first word of every block

// Bit-by-bit reader of a block: the plain reading of the rules above, kept
// for tools and tests. Unpack itself reads through a wide bit buffer.
// Positions are 64-bit so that blocks of 256 MiB and more still count right.
class BitReader {
public:
    // Reads `size` bytes at `data` (not owned), starting at bit 0.
    void Attach(const uint8_t* data, int32_t size);
    void SeekBit(int64_t bit) { position_ = bit; }  // no check; reads check
    int64_t BitPosition() const { return position_; }
    // True when fewer than n bits remain (or the position is negative).
    bool Lacks(int64_t n) const { return position_ < 0 || position_ > bitCount_ - n; }
    // The next bit, 1 or 0; 0 without moving when no bit is left.
    int ReadBit();
    // Copies n bits into dst from its bit 0 on; bits of dst beyond n keep
    // their values. False, without reading, for a null dst, n < 1 or too
    // few bits.
    bool ReadBits(void* dst, int64_t n);
    // A number(base, step) into `out`. False for too few bits, base outside
    // 0..64, step outside 1..16, or a field width of 0.
    bool ReadNumber(uint32_t& out, int base, int step);

private:
    const uint8_t* data_ = nullptr;     // first byte of the block
    int32_t size_ = 0;                  // bytes in the block
    int64_t bitCount_ = 0;              // size_ * 8
    int64_t position_ = 0;              // the next bit to read
};

// The length a block expands to, or -1 when `data` holds no block: missing
// input, fewer than 8 bytes, a wrong magic, or a length outside
// 0..String::MaxLength.
int32_t BlockLength(const uint8_t* data, int32_t size);

// Expands the block of `size` bytes at `data` into `out`, which holds
// exactly `length` = BlockLength() bytes and is written nowhere else. False
// when the tokens do not fill it exactly (`out` is then partly written): too
// few bits for a token, a zero count, a token running past the length, or a
// copy from before the start or overlapping its destination.
bool UnpackInto(const uint8_t* data, int32_t size, uint8_t* out, int32_t length);

// Expands the block of `size` bytes at `data`. On success `data` is replaced
// by a new malloc'd buffer holding exactly the expansion (the caller frees
// both), `size` by its length, and the result is true. On failure both are
// left as they were and the result is false: missing input, fewer than 8
// bytes, a wrong magic, a length outside 0..String::MaxLength, too few bits
// for a token, a zero count, a token running past the length, or a copy
// from before the start or overlapping its destination.
bool Unpack(uint8_t*& data, int32_t& size);

// Unpack on the string's bytes; on success the string holds the expansion.
// On failure the string is unchanged.
bool UnpackInPlace(String& content);
