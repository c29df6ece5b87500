#pragma once
// The archive's integrity sum and the description's scrambling. Both are
// portable: no windows.h, so the builder and the host tests share them.

#include "core/string.h"

#include <stdint.h>

// The 32-bit additive sum used for every archive check and as the hash of
// String keys. Whole little-endian words are added unsigned, the 1..3 tail
// bytes as signed bytes, then the length. Missing data or length < 1 gives
// the start value, without the length.
constexpr uint32_t kChecksumStart = 0x79E2BC9Du;
uint32_t Checksum(const uint8_t* data, int32_t length);

// XORs the whole content of `buffer` with `key`: each whole 32-bit word from
// the start with the key as a little-endian word, then the 1..3 tail bytes
// with the key's bytes 0, 1 and 2 in that order. Applying it twice with the
// same key restores the buffer.
void Scramble(String& buffer, uint32_t key);
