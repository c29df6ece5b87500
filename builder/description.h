// The installation description: written by the builder, read back by
// inspect and verify with the stub's own checks.
#pragma once

#include "builder/bytes.h"
#include "builder/format.h"

#include <span>
#include <string>

namespace velt {

// A damaged archive: the stub's corrupt-archive code (0: sound) and a
// sentence for people.
struct ArchiveFault {
    int code = 0;
    std::string what;
    explicit operator bool() const { return code != 0 || !what.empty(); }
};

// The unpacked description, field by field. The caller has checked every
// limit the stub checks (see CheckDescription).
Bytes WriteDescription(const Description& d);

// The limits the stub enforces, as a sentence, or "" when `d` is sound.
std::string CheckDescription(const Description& d);

// Reads an unpacked description in the stub's order and with its checks.
// `descriptionKey` is the header word the stub compares with the
// description's checksum when the flags ask for checksums.
ArchiveFault ReadDescription(std::span<const uint8_t> bytes, uint32_t descriptionKey,
                             Description& d);

} // namespace velt
