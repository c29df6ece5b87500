// The archive header at the start of the archive section, and the packed
// description behind it. Portable.
#pragma once

#include <stdint.h>

#include "core/byte_stream.h"

// The header words, and where the file-data block starts.
struct ArchiveHeader {
    uint32_t magic = 0;
    int32_t version = 0;            // format version x 100
    int32_t descriptionSize = 0;    // bytes of the packed description
    uint32_t descriptionKey = 0;    // XOR key, and checksum of the unpacked description
    uint32_t stubChecksum = 0;      // checksum of the file's bytes [0, R)
    int32_t sectionDataSize = 0;    // end of this section's archive data
    int32_t dataOffset = 0;         // P: start of the file-data block in the section
};

// Reads the header from the section as mapped (`length` readable bytes at
// `section`) and checks it in the installer's order: the magic word (code
// 20, also when the section is too short for the header), the version
// (kArchiveVersionMismatch), the description's size (code 22), the
// section's data size (code 45), and that the packed description lies
// inside the section (code 22). Returns 0 or that finding; `header` holds
// what was read.
int ReadArchiveHeader(const uint8_t* section, int32_t length, ArchiveHeader& header);

// Unscrambles the packed description of a sound header and unpacks it
// into `description`, positioned at its start. Returns 0, or code 47 when
// it does not unpack.
int UnpackDescription(const uint8_t* section, const ArchiveHeader& header, ByteStream& description);

// The part of the file-data block that the section holds, once the
// description is known (the installer checks it only then): code 45 when
// the header's data size ends before the block starts or runs past the
// `length` readable bytes of the section; else 0 and `inSection`.
int FileDataInSection(const ArchiveHeader& header, int32_t length, int32_t& inSection);
