#include "archive/header.h"

#include "archive/codec.h"
#include "archive/corrupt.h"
#include "archive/format.h"
#include "core/checksum.h"

namespace {

uint32_t Word(const uint8_t* p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

}  // namespace

int ReadArchiveHeader(const uint8_t* section, int32_t length, ArchiveHeader& header)
{
    header = ArchiveHeader();
    if (length < kArchiveHeaderSize)
        return kCorruptMagic;
    header.magic = Word(section);
    if (header.magic != kArchiveMagic)
        return kCorruptMagic;
    header.version = (int32_t)Word(section + 4);
    if (header.version != kArchiveVersion)
        return kArchiveVersionMismatch;
    header.descriptionSize = (int32_t)Word(section + 8);
    if (header.descriptionSize < 1)
        return kCorruptDescriptionSize;
    header.descriptionKey = Word(section + 12);
    header.stubChecksum = Word(section + 16);
    header.sectionDataSize = (int32_t)Word(section + 20);
    if (header.sectionDataSize < 0)
        return kCorruptSectionDataSize;
    if (header.descriptionSize > length - kArchiveHeaderSize)
        return kCorruptDescriptionSize;
    header.dataOffset = kArchiveHeaderSize + header.descriptionSize;
    return 0;
}

int UnpackDescription(const uint8_t* section, const ArchiveHeader& header, ByteStream& description)
{
    description.Assign(section + kArchiveHeaderSize, header.descriptionSize);
    Scramble(description, header.descriptionKey);
    if (!UnpackInPlace(description))
        return kCorruptDescriptionUnpack;
    description.Seek(0);
    return 0;
}

int FileDataInSection(const ArchiveHeader& header, int32_t length, int32_t& inSection)
{
    int64_t held = (int64_t)header.sectionDataSize - header.dataOffset;
    if (held < 0 || header.sectionDataSize > length)
        return kCorruptSectionDataSize;
    inSection = (int32_t)held;
    return 0;
}
