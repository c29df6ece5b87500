// The installation description: written by the builder, read back by
// inspect and verify with the stub's own checks.
#pragma once

#include "builder/bytes.h"
#include "builder/format.h"

#include <span>
#include <string>

namespace velt {

// A damaged archive: the stub's corrupt-archive code (0: sound, or a fault
// the stub reports without a code) and a sentence for people.
struct ArchiveFault {
    int code = 0;
    std::string what;
    explicit operator bool() const { return code != 0 || !what.empty(); }
    // The fault of a reader's finding: a corrupt-archive code, or one of
    // the findings without a code (archive/corrupt.h); {} for 0.
    static ArchiveFault Of(int finding);
};

// The unpacked description, field by field. The caller has checked every
// limit the stub checks (see CheckDescription).
Bytes WriteDescription(const Description& d);

// The limits the stub enforces, as a sentence, or "" when `d` is sound.
std::string CheckDescription(const Description& d);

// Reads an unpacked description with the stub's own reader, and so in its
// order and with its checks. `descriptionKey` is the header word the stub
// compares with the description's checksum when the flags ask for
// checksums. `d` holds what was read before a failed check.
ArchiveFault ReadDescription(std::span<const uint8_t> bytes, uint32_t descriptionKey,
                             Description& d);

} // namespace velt
