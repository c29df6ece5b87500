// The PE walk from the start of the program's file to its archive section.
// Portable: it reads the file's first bytes, which the caller supplies.
#pragma once

#include <stdint.h>

// The archive section as the PE walk found it.
struct ArchiveSection {
    int index = -1;                 // slot in the section table
    uint32_t peOffset = 0;          // h: offset of the PE signature
    int sectionCount = 0;           // entries in the section table
    uint32_t tableOffset = 0;       // file offset of the section table
    uint32_t virtualAddress = 0;    // relative to the image base
    uint32_t rawSize = 0;           // Z: the section's length in the file
    uint32_t rawOffset = 0;         // R: the section's offset in the file
};

// Bytes from the start of a file that hold every field the walk may read:
// the PE pointer at most at 0x1000, the largest optional header, and 99
// section entries.
constexpr int kArchiveWalkBytes = 0x1000 + 0x18 + 0xFFFF + 99 * 40;

// The walk over the first `size` bytes of the program's file (all of it,
// or at least kArchiveWalkBytes; a field past `size` cannot be read). In
// order: the PE pointer must lie in 0x40..0x1000 (code 43), the section
// count in 4..99 (code 44); the first entry named exactly ".velt" is the
// archive section, whose raw offset must not be 0 (code 9) and must be one
// the file can be positioned at (code 10). Returns 0 and fills `section`,
// a corrupt-archive code, or kNoArchiveSection.
int FindArchiveSection(const uint8_t* file, int32_t size, ArchiveSection& section);

// How much of [address, address + length) of an image the loader maps:
// the first entry of the section table (`sectionCount` entries at
// `tableOffset` of the `size` readable bytes at `image`) whose extent holds
// `address` (its virtual size, or its raw size when that is 0) limits it.
// 0 when no entry holds it, or when the table cannot be read that far.
uint32_t MappedLength(const uint8_t* image, int32_t size, uint32_t tableOffset, int sectionCount,
                      uint32_t address, uint32_t length);

// Where signing changes a program's headers: it writes the PE CheckSum
// field and the certificate-table entry of the data directories (the file
// offset and size of the signature, which it appends). An offset of 0 means
// the headers in the bytes given do not hold that field.
struct SignatureFields {
    uint32_t checkSumOffset = 0;    // 4 bytes
    uint32_t entryOffset = 0;       // 8 bytes: the signature's file offset, its size
    uint32_t signatureOffset = 0;   // as the entry says; 0 when unsigned
    uint32_t signatureSize = 0;
};
void FindSignatureFields(const uint8_t* file, int32_t size, uint32_t peOffset,
                         SignatureFields& fields);

// Sets both fields to zero in place (those the headers hold).
void ClearSignatureFields(uint8_t* file, const SignatureFields& fields);

// The stub checksum over [0, length) with the CheckSum field and the
// certificate-table entry taken as zero: the form the builder writes, which
// signing the installer leaves intact.
uint32_t SignableStubChecksum(const uint8_t* file, int32_t length, uint32_t peOffset);
// An archive's stub checksum holds in that form or, as archives built
// before it have it, over the bytes as they are.
bool StubChecksumMatches(const uint8_t* file, int32_t length, uint32_t peOffset,
                         uint32_t expected);
