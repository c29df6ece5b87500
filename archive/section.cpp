#include "archive/section.h"

#include <string.h>

#include "archive/corrupt.h"
#include "archive/format.h"
#include "core/checksum.h"
#include "core/string.h"

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

void FindSignatureFields(const uint8_t* file, int32_t size, uint32_t peOffset,
                         SignatureFields& fields)
{
    fields = SignatureFields();
    const uint32_t optional = peOffset + 0x18;
    uint16_t optionalSize, magic;
    if (!ReadWord(file, size, peOffset + 0x14, optionalSize)
        || !ReadWord(file, size, optional, magic))
        return;
    // The data directories follow 96 bytes of fields in a 32-bit header and
    // 112 in a 64-bit one; the certificate table is their fifth entry.
    uint32_t directories;
    if (magic == 0x10B)
        directories = 96;
    else if (magic == 0x20B)
        directories = 112;
    else
        return;
    const uint32_t kCheckSum = 64, kCertificateEntry = directories + 4 * 8;
    uint32_t entries;
    if (optionalSize >= kCheckSum + 4 && At(file, size, optional + kCheckSum, 4))
        fields.checkSumOffset = optional + kCheckSum;
    if (optionalSize < kCertificateEntry + 8
        || !ReadDword(file, size, optional + directories - 4, entries) || entries < 5
        || !ReadDword(file, size, optional + kCertificateEntry, fields.signatureOffset)
        || !ReadDword(file, size, optional + kCertificateEntry + 4, fields.signatureSize)) {
        fields.signatureOffset = fields.signatureSize = 0;
        return;
    }
    fields.entryOffset = optional + kCertificateEntry;
}

void ClearSignatureFields(uint8_t* file, const SignatureFields& fields)
{
    if (fields.checkSumOffset)
        memset(file + fields.checkSumOffset, 0, 4);
    if (fields.entryOffset)
        memset(file + fields.entryOffset, 0, 8);
}

uint32_t SignableStubChecksum(const uint8_t* file, int32_t length, uint32_t peOffset)
{
    SignatureFields fields;
    FindSignatureFields(file, length, peOffset, fields);
    String copy;
    copy.Assign(file, length);
    ClearSignatureFields((uint8_t*)copy.Data(), fields);
    return Checksum((const uint8_t*)copy.CStr(), copy.Length());
}

bool StubChecksumMatches(const uint8_t* file, int32_t length, uint32_t peOffset,
                         uint32_t expected)
{
    return Checksum(file, length) == expected
        || SignableStubChecksum(file, length, peOffset) == expected;
}

uint32_t MappedLength(const uint8_t* image, int32_t size, uint32_t tableOffset, int sectionCount,
                      uint32_t address, uint32_t length)
{
    uint32_t entry = tableOffset;
    for (int i = 0; i < sectionCount; i++, entry += kSectionEntrySize) {
        uint32_t virtualSize, virtualAddress, rawSize;
        if (!ReadDword(image, size, entry + 8, virtualSize)
            || !ReadDword(image, size, entry + 12, virtualAddress)
            || !ReadDword(image, size, entry + 16, rawSize))
            return 0;
        uint32_t mapped = virtualSize ? virtualSize : rawSize;
        if (address >= virtualAddress && address - virtualAddress < mapped) {
            uint32_t available = mapped - (address - virtualAddress);
            return length < available ? length : available;
        }
    }
    return 0;
}
