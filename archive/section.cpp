#include "archive/section.h"

#include <string.h>

#include "archive/corrupt.h"
#include "archive/format.h"

namespace {

// The bytes [offset, offset + count) of the file, or null when they lie
// past its end.
const uint8_t* At(const uint8_t* file, int32_t size, uint32_t offset, uint32_t count)
{
    return offset <= (uint32_t)size && count <= (uint32_t)size - offset ? file + offset : nullptr;
}

bool ReadWord(const uint8_t* file, int32_t size, uint32_t offset, uint16_t& value)
{
    const uint8_t* p = At(file, size, offset, 2);
    if (!p)
        return false;
    value = (uint16_t)(p[0] | (p[1] << 8));
    return true;
}

bool ReadDword(const uint8_t* file, int32_t size, uint32_t offset, uint32_t& value)
{
    const uint8_t* p = At(file, size, offset, 4);
    if (!p)
        return false;
    value = (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16)
          | ((uint32_t)p[3] << 24);
    return true;
}

}  // namespace

int FindArchiveSection(const uint8_t* file, int32_t size, ArchiveSection& section)
{
    uint16_t peOffset, count, optionalSize;
    if (!ReadWord(file, size, 0x3C, peOffset) || peOffset < kMinPeOffset || peOffset > kMaxPeOffset)
        return kCorruptPeOffset;
    if (!ReadWord(file, size, peOffset + 6, count) || count < kMinSectionCount
        || count > kMaxSectionCount)
        return kCorruptSectionCount;
    section.peOffset = peOffset;
    section.sectionCount = count;
    section.index = -1;
    if (!ReadWord(file, size, peOffset + 0x14, optionalSize))
        return kNoArchiveSection;
    section.tableOffset = peOffset + 0x18 + optionalSize;
    for (int i = 0; i < count; i++) {
        uint32_t entry = section.tableOffset + i * kSectionEntrySize;
        const uint8_t* name = At(file, size, entry, 8);
        if (!name)
            return kNoArchiveSection;
        // The name compares with a NUL added after its 8 bytes.
        char text[9] = {0};
        memcpy(text, name, 8);
        if (strcmp(text, kArchiveSectionName) != 0)
            continue;
        section.index = i;
        if (!ReadDword(file, size, entry + 0x0C, section.virtualAddress)
            || !ReadDword(file, size, entry + 0x10, section.rawSize)
            || !ReadDword(file, size, entry + 0x14, section.rawOffset))
            return kCorruptRawOffsetUnreachable;
        if (section.rawOffset == 0)
            return kCorruptRawOffsetZero;
        // A file offset is a signed 32-bit position to the system.
        if (section.rawOffset > 0x7fffffff)
            return kCorruptRawOffsetUnreachable;
        return 0;
    }
    return kNoArchiveSection;
}
