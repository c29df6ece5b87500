// The stub's scrambling on the builder's byte vectors: the builder
// scrambles with the installer's own code.
#pragma once

#include "builder/bytes.h"

namespace velt {

// XORs `bytes` with `key` the way the stub unscrambles its description.
void ScrambleBytes(Bytes& bytes, uint32_t key);

} // namespace velt
