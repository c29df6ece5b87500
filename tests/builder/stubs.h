// The stubs the builder carries, for its tests. A test that needs a stub
// the builder was built without fails, saying what to build.
#pragma once

#include "builder/bytes.h"
#include "builder/embedded_stub.h"

#include <string>

namespace velt {

inline std::string MissingStub(Arch arch)
{
    const char* preset = arch == Arch::X64 ? "win64" : "win32";
    return std::string("veltpack was built without its ") + ArchName(arch)
         + " stub: build the stub (cmake --preset " + preset + " && cmake --build --preset "
         + preset + " --target velt-stub), then this build again";
}

inline Bytes StubBytes(Arch arch)
{
    std::span<const uint8_t> stub = EmbeddedStub(arch);
    return Bytes(stub.begin(), stub.end());
}

} // namespace velt
