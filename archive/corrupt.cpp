#include "archive/corrupt.h"

namespace {

const struct {
    int code;
    const char* text;
} kCodeTexts[] = {
    {kNoArchiveSection,
     "there is no .velt section: this is no installer (an uninstaller, or the bare stub)"},
    {kArchiveVersionMismatch,
     "the archive is of another format version; the installer stops with its version message"},
    {kCorruptNegativeWriteSize, "a file was to be written with a negative size"},
    {kCorruptRawOffsetZero, "the archive section has no data in the file"},
    {kCorruptRawOffsetUnreachable, "the archive section's file offset cannot be reached"},
    {kCorruptMagic, "the archive header's magic word is wrong"},
    {kCorruptVolumeNameBlank, "the volume name is blank"},
    {kCorruptDescriptionSize,
     "the packed description's size is not positive or runs past the section"},
    {kCorruptIconOffset, "the icon offset is out of range"},
    {kCorruptDescriptionChecksum, "the description's checksum does not match the header's key"},
    {kCorruptFileCount, "the description lists no files, or more than it can hold"},
    {kCorruptStoredSize, "a file's stored size is negative"},
    {kCorruptPayloadSize, "the file data's size is not positive"},
    {kCorruptNoLanguages, "the description has no languages"},
    {kCorruptMessageCount, "the message count is outside 1..10000"},
    {kCorruptEndMarker, "the description ends early, or its end marker is missing"},
    {kCorruptUninstallerNameBlank, "the uninstaller's file name is blank"},
    {kCorruptStubUnreadable, "the stub's bytes before the archive section cannot be read"},
    {kCorruptStubChecksum, "the stub's checksum does not match: the program part was changed"},
    {kCorruptTailUnreadable,
     "the bytes after the archive section cannot be read: the file ends before the section does"},
    {kCorruptPeOffset, "the PE header pointer lies outside 0x40..0x1000"},
    {kCorruptSectionCount, "the number of sections is outside 4..99"},
    {kCorruptSectionDataSize,
     "the section's data size is negative, ends before the file data or runs past the section"},
    {kCorruptDescriptionUnpack, "the description does not unpack"},
    {kCorruptVolumeUnreadable, "a volume file cannot be read"},
    {kCorruptPayloadLength, "the file data is not as long as the description says"},
    {kCorruptPayloadChecksum, "the file data's checksum does not match"},
    {kCorruptPayloadUnpack, "the compressed file data does not unpack"},
    {kCorruptFileNameEmpty, "a file record has an empty name"},
    {kCorruptFileChecksum, "a file's stored bytes do not match its checksum"},
    {kCorruptDestKind, "a file record has an unknown destination kind"},
    {kCorruptOverwriteMode, "a file record has the invalid overwrite mode 4"},
};

}  // namespace

const char* CorruptCodeText(int code)
{
    for (const auto& entry : kCodeTexts)
        if (entry.code == code)
            return entry.text;
    return "an unknown corrupt-archive code";
}
