// Unpack on arbitrary bytes: it must never touch memory outside its buffers
// (the sanitizers watch) and must agree with the bit-by-bit reference
// decoder on success, failure and output. The decoder also runs into a
// buffer of exactly the expanded length: Unpack's own buffer has slack
// behind it, where a write past the expansion would go unseen.
#include "archive/codec.h"
#include "tests/codec/reference_unpack.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    if (size > 0x100000)
        return 0;
    std::vector<uint8_t> block(bytes, bytes + size);
    // Keep declared lengths within a megabyte so that each run stays quick;
    // lengths that fail before any allocation are left as they are.
    if (size >= 8) {
        int32_t length;
        memcpy(&length, block.data() + 4, 4);
        if (length > 0x100000 && length <= String::MaxLength) {
            length &= 0xFFFFF;
            memcpy(block.data() + 4, &length, 4);
        }
    }
    ReferenceResult reference = ReferenceUnpack(block.data(), block.size());

    // An exactly sized heap copy, so that any read past the end is caught.
    uint8_t* data = size ? (uint8_t*)malloc(size) : nullptr;
    if (size)
        memcpy(data, block.data(), size);
    uint8_t* original = data;
    int32_t count = (int32_t)size;
    bool ok = Unpack(data, count);
    if (ok != reference.ok)
        abort();
    if (ok) {
        if (count != (int32_t)reference.output.size()
            || (count > 0 && memcmp(data, reference.output.data(), (size_t)count) != 0))
            abort();
        free(data);
    } else if (data != original || count != (int32_t)size
               || (size && memcmp(original, block.data(), size) != 0)) {
        abort();
    }
    free(original);

    int32_t length = BlockLength(block.data(), (int32_t)block.size());
    if (reference.ok && length < 0)
        abort();
    if (length >= 0) {
        std::vector<uint8_t> exact((size_t)length);
        bool exactOk = UnpackInto(block.data(), (int32_t)block.size(), exact.data(), length);
        if (exactOk != reference.ok || (exactOk && exact != reference.output))
            abort();
    }
    return 0;
}
