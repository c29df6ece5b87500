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
