// The builder's view of the stub's codec: byte vectors in and out. The
// decoder and the scrambling are the stub's own code, so what the builder
// checks is what the installer will do.
#pragma once

#include "builder/bytes.h"

#include <span>

namespace velt {

// Expands one compressed block; false when the stub would refuse it.
bool UnpackBlock(std::span<const uint8_t> block, Bytes& out);

// XORs `bytes` with `key` the way the stub unscrambles its description.
void ScrambleBytes(Bytes& bytes, uint32_t key);

} // namespace velt
