// The stubs carried inside the builder, one per architecture. A stub the
// builder was built without has size 0.
#pragma once

#include "builder/pe.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern const unsigned char kEmbeddedStubX86[];
extern const size_t kEmbeddedStubX86Size;
extern const unsigned char kEmbeddedStubX64[];
extern const size_t kEmbeddedStubX64Size;

namespace velt {

inline std::span<const uint8_t> EmbeddedStub(Arch arch)
{
    return arch == Arch::X64 ? std::span<const uint8_t>(kEmbeddedStubX64, kEmbeddedStubX64Size)
                             : std::span<const uint8_t>(kEmbeddedStubX86, kEmbeddedStubX86Size);
}

} // namespace velt
