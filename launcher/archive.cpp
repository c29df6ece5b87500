// The archive container: finding the `.velt` section, its header and
// description, the file-data block with its volume files, and the
// uninstaller image.
#include "launcher/archive.h"

#include <string.h>

#include "core/byte_stream.h"
#include "core/checksum.h"
#include "core/directory.h"
#include "core/fatal.h"
#include "core/paths.h"
#include "launcher/codec.h"
#include "launcher/description.h"
#include "launcher/report.h"

const char kArchiveSectionName[] = ".velt";
ArchiveHeader ArchiveInfo;
const uint8_t* ArchiveCursor = nullptr;
const uint8_t* ArchiveEnd = nullptr;
void (*ArchiveProgress)(int position) = nullptr;

namespace {

// Corrupt-archive codes of this module.
enum ArchiveError {
    kRawOffsetZero = 9,
    kRawOffsetUnreachable = 10,
    kMagicWrong = 20,
    kDescriptionSizeRange = 22,
    kStubUnreadable = 35,
    kStubChecksum = 40,
    kTailUnreadable = 42,
    kPeOffsetRange = 43,
    kSectionCountRange = 44,
    kSectionDataSizeRange = 45,
    kDescriptionUnpack = 47,
    kVolumeUnreadable = 50,
    kPayloadLength = 53,
    kPayloadChecksum = 55,
    kPayloadUnpack = 60,
};

const char kVersionMismatch[] =
    "The installer version does not match the version of VELT.  Close all applications and "
    "reinstall VELT.";
const char kNoArchive[] =
    "This program performs installations and uninstallations.\r\nThere is no installation "
    "archive present.\r\nNo Uninstallation parameters were specified.\r\n\r\nYou should not "
    "delete this program or execute it directly.";

int CursorOverrunCode = kMagicWrong;   // the report of a read past ArchiveEnd
String FileDataBlock;                  // joined or expanded file data, when not in place
const uint8_t* FileData = nullptr;
int32_t FileDataSize = 0;

// Stops unless count bytes remain behind the cursor.
void RequireArchiveBytes(int64_t count)
{
    if (count < 0 || count > ArchiveEnd - ArchiveCursor)
        ArchiveCorrupt(CursorOverrunCode);
}

uint32_t LittleEndian32(const uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | ((uint32_t)p[3] << 24);
}

}  // namespace

// ----------------------------------------------------------------- cursor

void SetArchiveCursor(const uint8_t* start, const uint8_t* end, int overrunCode)
{
    ArchiveCursor = start;
    ArchiveEnd = end;
    CursorOverrunCode = overrunCode;
}

int32_t ReadArchiveInt()
{
    RequireArchiveBytes(4);
    int32_t value = (int32_t)LittleEndian32(ArchiveCursor);
    ArchiveCursor += 4;
    return value;
}

const char* ReadArchiveString()
{
    const uint8_t* end = (const uint8_t*)memchr(ArchiveCursor, 0, ArchiveEnd - ArchiveCursor);
    if (!end)
        ArchiveCorrupt(CursorOverrunCode);
    const char* text = (const char*)ArchiveCursor;
    ArchiveCursor = end + 1;
    return text;
}

void ReadArchiveBytes(String& out, int count)
{
    RequireArchiveBytes(count);
    out.Assign(ArchiveCursor, count);
    ArchiveCursor += count;
}

void ReadArchiveDate(DateTime& out)
{
    int32_t fields[6];
    RequireArchiveBytes(sizeof fields);
    memcpy(fields, ArchiveCursor, sizeof fields);
    ArchiveCursor += sizeof fields;
    out.year = fields[0];
    out.month = fields[1];
    out.day = fields[2];
    out.hour = fields[3];
    out.minute = fields[4];
    out.second = fields[5];
}

// --------------------------------------------------------------- own file

String OwnPathFromCommandLine(const char* commandLine)
{
    String line(commandLine);
    line.TrimLeft();
    String path;
    if (line.FirstIs('"')) {
        path = line.PopQuoted('"');
    } else {
        int space = line.FindChar(' ');
        path = space < 0 ? line : line.Mid(0, space);
    }
    if (PathFileName(path.CStr()).FindChar('.') < 0)
        path.Append(".EXE");
    return path;
}

void OpenOwnFile(File& file)
{
    String path = OwnPathFromCommandLine(GetCommandLineA());
    if (!file.OpenForRead(path.CStr(), false))
        FatalError("Error code 1: The self-extracting archive could not open itself.  Filename:\n%s",
                   path.CStr());
}

// ---------------------------------------------------------------- PE walk

namespace {

bool ReadWord(File& file, uint32_t offset, uint16_t& value)
{
    uint8_t bytes[2];
    if (offset > 0x7fffffff || !file.ReadAt((int)offset, bytes, 2))
        return false;
    value = (uint16_t)(bytes[0] | (bytes[1] << 8));
    return true;
}

bool ReadDword(File& file, uint32_t offset, uint32_t& value)
{
    uint8_t bytes[4];
    if (offset > 0x7fffffff || !file.ReadAt((int)offset, bytes, 4))
        return false;
    value = LittleEndian32(bytes);
    return true;
}

// The part of the running image that holds [address, address + size): the
// loader mapped it, so its own section table says how far it may be read.
// Returns the readable length from address (0 when none).
uint32_t MappedLength(const uint8_t* base, uint32_t address, uint32_t size)
{
    const IMAGE_DOS_HEADER* dos = (const IMAGE_DOS_HEADER*)base;
    const IMAGE_NT_HEADERS32* nt = (const IMAGE_NT_HEADERS32*)(base + dos->e_lfanew);
    const IMAGE_SECTION_HEADER* entry = IMAGE_FIRST_SECTION(nt);
    for (int i = 0; i < nt->FileHeader.NumberOfSections; i++, entry++) {
        uint32_t mapped = entry->Misc.VirtualSize ? entry->Misc.VirtualSize : entry->SizeOfRawData;
        if (address >= entry->VirtualAddress && address - entry->VirtualAddress < mapped) {
            uint32_t available = mapped - (address - entry->VirtualAddress);
            return size < available ? size : available;
        }
    }
    return 0;
}

}  // namespace

int FindArchiveSection(File& file, ArchiveSection& section)
{
    uint16_t peOffset, count, optionalSize;
    if (!ReadWord(file, 0x3C, peOffset) || peOffset < 0x40 || peOffset > 0x1000)
        return kPeOffsetRange;
    if (!ReadWord(file, peOffset + 6, count) || count < 4 || count > 99)
        return kSectionCountRange;
    section.peOffset = peOffset;
    section.sectionCount = count;
    section.index = -1;
    if (!ReadWord(file, peOffset + 0x14, optionalSize))
        return -1;
    section.tableOffset = peOffset + 0x18 + optionalSize;
    for (int i = 0; i < count; i++) {
        uint32_t entry = section.tableOffset + i * kSectionEntrySize;
        char name[9] = {0};
        if (entry > 0x7fffffff || !file.ReadAt((int)entry, name, 8))
            return -1;
        if (strcmp(name, kArchiveSectionName) != 0)
            continue;
        section.index = i;
        if (!ReadDword(file, entry + 0x0C, section.virtualAddress)
            || !ReadDword(file, entry + 0x10, section.rawSize)
            || !ReadDword(file, entry + 0x14, section.rawOffset))
            return kRawOffsetUnreachable;
        if (section.rawOffset == 0)
            return kRawOffsetZero;
        if (section.rawOffset > 0x7fffffff || !file.Seek((int)section.rawOffset))
            return kRawOffsetUnreachable;
        return 0;
    }
    return -1;
}

ArchiveSection LocateArchive(File& file)
{
    ArchiveSection section;
    int result = FindArchiveSection(file, section);
    if (result < 0)
        FatalError("%s", kNoArchive);
    if (result > 0)
        ArchiveCorrupt(result);
    // The file named by the command line may differ from the image that is
    // running; the readable extent comes from the image itself.
    const uint8_t* base = (const uint8_t*)GetModuleHandleA(NULL);
    const uint8_t* start = base + section.virtualAddress;
    uint32_t length = MappedLength(base, section.virtualAddress, section.rawSize);
    ArchiveInfo.sectionBase = start;
    ArchiveInfo.sectionLength = (int32_t)length;
    SetArchiveCursor(start, start + length, kMagicWrong);
    return section;
}

// ---------------------------------------------------------------- header

void LoadDescription(ByteStream& description)
{
    if ((uint32_t)ReadArchiveInt() != kArchiveMagic)
        ArchiveCorrupt(kMagicWrong);
    if (ReadArchiveInt() != kArchiveVersion)
        FatalError("%s", kVersionMismatch);
    ArchiveInfo.descriptionSize = ReadArchiveInt();
    if (ArchiveInfo.descriptionSize < 1)
        ArchiveCorrupt(kDescriptionSizeRange);
    ArchiveInfo.descriptionKey = (uint32_t)ReadArchiveInt();
    ArchiveInfo.stubChecksum = (uint32_t)ReadArchiveInt();
    ArchiveInfo.sectionDataSize = ReadArchiveInt();
    if (ArchiveInfo.sectionDataSize < 0)
        ArchiveCorrupt(kSectionDataSizeRange);
    CursorOverrunCode = kDescriptionSizeRange;
    ReadArchiveBytes(description, ArchiveInfo.descriptionSize);
    ArchiveInfo.dataOffset = (int32_t)(ArchiveCursor - ArchiveInfo.sectionBase);
    Scramble(description, ArchiveInfo.descriptionKey);
    if (!UnpackInPlace(description))
        ArchiveCorrupt(kDescriptionUnpack);
    description.Seek(0);
}

// ------------------------------------------------------- uninstaller image

namespace {

// Moves the section table up by one slot from the archive's entry on (slots
// index .. count take the 40 bytes behind them), lowering the file offsets
// of the real sections that moved by the archive's raw size. Slots outside
// the image (a damaged header) end the move.
void RemoveSectionEntry(String& image, const ArchiveSection& section)
{
    for (int slot = section.index; slot <= section.sectionCount; slot++) {
        int64_t to = section.tableOffset + (int64_t)slot * kSectionEntrySize;
        int64_t from = to + kSectionEntrySize;
        if (from + kSectionEntrySize > image.Length())
            return;
        memmove(image.Data() + to, image.Data() + from, kSectionEntrySize);
        if (slot <= section.sectionCount - 2) {
            uint32_t pointer = image.ReadU32((int)to + 0x14);
            image.WriteU32((int)to + 0x14, pointer - section.rawSize);
        }
    }
}

void ReduceHeaderWord(String& image, int64_t offset, uint32_t amount)
{
    if (offset + 4 <= image.Length())
        image.WriteU32((int)offset, image.ReadU32((int)offset) - amount);
}

}  // namespace

int BuildUninstallerImageFields(File& file, const ArchiveSection& section, String& image)
{
    const uint32_t R = section.rawOffset, Z = section.rawSize;
    if (R > 0x7fffffff || !file.ReadRange(image, 0, (int)R))
        return kStubUnreadable;
    if ((ProductFlags & PfChecksums)
        && Checksum((const uint8_t*)image.CStr(), image.Length()) != ArchiveInfo.stubChecksum)
        return kStubChecksum;
    int64_t tail = (int64_t)file.Size() - R - Z;
    if (tail != 0) {
        String rest;
        if (tail < 0 || R + (int64_t)Z > 0x7fffffff
            || !file.ReadRange(rest, (int)(R + Z), (int)tail))
            return kTailUnreadable;
        image.Append(rest);
    }
    if (section.peOffset + 8 <= (uint32_t)image.Length())
        image.WriteU16(section.peOffset + 6, (uint16_t)(section.sectionCount - 1));
    ReduceHeaderWord(image, section.peOffset + 0x20, Z);
    ReduceHeaderWord(image, section.peOffset + 0x50, Z);
    RemoveSectionEntry(image, section);
    // An offset where the icon does not fit is ignored.
    if (IconOffset > 0 && (int64_t)IconOffset + kUninstallerIconSize <= image.Length())
        image.CopyIn(UninstallerIcon.CStr(), IconOffset, kUninstallerIconSize);
    return 0;
}

String BuildUninstallerImage(File& file, const ArchiveSection& section)
{
    String image;
    int error = BuildUninstallerImageFields(file, section, image);
    if (error)
        ArchiveCorrupt(error);
    return image;
}

// -------------------------------------------------------------- file data

namespace {

// The cancel question while a volume is missing; Yes ends the program.
void ConfirmVolumeCancel()
{
    if (MessageBoxA(BackgroundWindow, MessageText(28), MessageText(20),
                    MB_YESNO | MB_ICONQUESTION) == IDYES)
        ExitProgram();
}

// Opens volume `number`, asking the user to supply it while it is missing.
void OpenVolume(File& volume, const String& path, int number, int assembled)
{
    while (!volume.OpenForRead(path.CStr(), true)) {
        String prompt = String::Formatted(MessageText(26), number, PathDriveLetter(path.CStr()));
        prompt.AppendFormat("\r\nCurrent size: %d\r\nTotal size: %d\r\nFilename: %s", assembled,
                            PayloadSize, path.CStr());
        if (MessageBoxA(BackgroundWindow, prompt.CStr(), MessageText(27),
                        MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
            ConfirmVolumeCancel();
    }
}

// Appends the volume files 2, 3, ... to the section's part of the block
// until it is PayloadSize long.
void JoinVolumes(int32_t inSection)
{
    FileDataBlock.Assign(ArchiveInfo.sectionBase + ArchiveInfo.dataOffset, inSection);
    String directory = GetModuleDirectory();
    for (int number = 2; FileDataBlock.Length() < PayloadSize; number++) {
        int assembled = FileDataBlock.Length();
        if (ArchiveProgress)
            ArchiveProgress(5 + (int)((int64_t)assembled * 30 / PayloadSize));
        String name = String::Formatted("%s%d.VLT", VolumeBaseName.CStr(), number);
        String path = PathJoin(directory.CStr(), name.CStr());
        File volume;
        OpenVolume(volume, path, number, assembled);
        int size = volume.Size();
        if (size <= 0)
            FatalError("The file \"%s\" is empty.", path.CStr());
        // A volume that holds more than the block misses can only end in
        // code 53; it is not read into memory first.
        if (size > PayloadSize - assembled)
            ArchiveCorrupt(kPayloadLength);
        char* room = FileDataBlock.Grow(size);
        if (!volume.Read(room, size))
            ArchiveCorrupt(kVolumeUnreadable);
        volume.Close();
    }
    if (FileDataBlock.Length() != PayloadSize)
        ArchiveCorrupt(kPayloadLength);
}

}  // namespace

void AssembleFileData()
{
    const ArchiveHeader& a = ArchiveInfo;
    int64_t inSection = (int64_t)a.sectionDataSize - a.dataOffset;
    // The header may claim data before the block's start or past the mapped
    // section; neither may be read.
    if (inSection < 0 || a.sectionDataSize > a.sectionLength)
        ArchiveCorrupt(kSectionDataSizeRange);
    if (inSection >= PayloadSize) {
        FileData = a.sectionBase + a.dataOffset;
    } else {
        JoinVolumes((int32_t)inSection);
        FileData = (const uint8_t*)FileDataBlock.CStr();
    }
    FileDataSize = PayloadSize;
    if (Checksum(FileData, FileDataSize) != PayloadChecksum)
        ArchiveCorrupt(kPayloadChecksum);
    if (ProductFlags & PfCompressed) {
        // Unpack leaves its input alone, so the mapped block can be its input.
        uint8_t* expanded = (uint8_t*)FileData;
        int32_t expandedSize = FileDataSize;
        if (!Unpack(expanded, expandedSize))
            ArchiveCorrupt(kPayloadUnpack);
        FileDataBlock.Adopt(expanded, expandedSize);
        FileData = (const uint8_t*)FileDataBlock.CStr();
        FileDataSize = FileDataBlock.Length();
    }
    SetArchiveCursor(FileData, FileData + FileDataSize, kPayloadLength);
}

const uint8_t* FileDataStart()
{
    return FileData;
}

int32_t FileDataLength()
{
    return FileDataSize;
}
