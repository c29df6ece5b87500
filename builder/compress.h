#pragma once
// The compressor of the installer's block format: the stub's Unpack reverses
// it. A block is the magic 0x9EC72BA1, the signed uncompressed length, then a
// bit stream of literal runs, byte runs and non-overlapping copies.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

enum class PackLevel {
    Fast,   // two candidates per hash, greedy; a lazy look after short tokens
    Best,   // shortest path over every token the match finder offers
};

// Compresses `input` into one complete block. `progress`, when given, is
// called now and then with the number of input bytes done so far and the
// total (and once more at the end, with done == total). Throws
// std::length_error when the input is larger than a block may be (1 GiB)
// and std::logic_error if the written block fails to decode to the input
// (a compressor fault; every block is checked before it is returned).
std::vector<uint8_t> Pack(std::span<const uint8_t> input, PackLevel level,
                          const std::function<void(size_t done, size_t total)>& progress = {});

namespace pack_detail {

// Exact cost in bits of the tokens, for tests and tools that reason about
// stream sizes. Counts are the token's byte counts (literal run >= 1, byte
// run >= 3, copy length >= 4 with distance >= max(4, length)).
uint32_t NumberBits(uint32_t value, int base, int step);
uint32_t LiteralRunBits(uint32_t count);
uint32_t ByteRunBits(uint32_t length);
uint32_t CopyBits(uint32_t length, uint32_t distance);

// The size of the header in bits (magic and length).
constexpr uint32_t kHeaderBits = 64;

} // namespace pack_detail
