// The archive container: finding the `.velt` section, its header and
// description, the file-data block with its volume files, and the
// uninstaller image.
#include "product/archive.h"

#include <string.h>

#include "archive/corrupt.h"
#include "archive/file_data.h"
#include "archive/format.h"
#include "archive/volumes.h"
#include "core/checksum.h"
#include "core/directory.h"
#include "core/fatal.h"
#include "core/paths.h"
#include "product/report.h"
#include "ui/dialogs.h"
#include "ui/messages.h"
#include "ui/program_windows.h"

namespace {

const char kVersionMismatch[] =
    "The installer version does not match the version of VELT.  Close all applications and "
    "reinstall VELT.";
const char kNoArchive[] =
    "This program performs installations and uninstallations.\r\nThere is no installation "
    "archive present.\r\nNo Uninstallation parameters were specified.\r\n\r\nYou should not "
    "delete this program or execute it directly.";

// Stops with the corrupt-archive report unless `code` is 0.
void RequireSound(int code)
{
    if (code != 0)
        ArchiveCorrupt(code);
}

}  // namespace

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

// The running image's section table: the loader mapped the image by it, so
// it says how far the archive section may be read.
uint32_t MappedArchiveLength(const uint8_t* base, const ArchiveSection& section)
{
    const IMAGE_DOS_HEADER* dos = (const IMAGE_DOS_HEADER*)base;
    const IMAGE_NT_HEADERS* nt = (const IMAGE_NT_HEADERS*)(base + dos->e_lfanew);
    uint32_t table = (uint32_t)((const uint8_t*)IMAGE_FIRST_SECTION(nt) - base);
    int count = nt->FileHeader.NumberOfSections;
    return MappedLength(base, (int32_t)(table + count * kSectionEntrySize), table, count,
                        section.virtualAddress, section.rawSize);
}

}  // namespace

int WalkToArchiveSection(File& file, ArchiveSection& section)
{
    // Every field the walk reads lies in the file's first bytes; those it
    // cannot read (a short file) count as unreadable.
    int size = file.Size();
    String start;
    if (size > kArchiveWalkBytes)
        size = kArchiveWalkBytes;
    if (size < 1 || !file.ReadRange(start, 0, size))
        start.Clear();
    return FindArchiveSection((const uint8_t*)start.CStr(), start.Length(), section);
}

ArchiveSection LocateArchive(File& file, OpenedArchive& archive)
{
    ArchiveSection section;
    int result = WalkToArchiveSection(file, section);
    if (result == kNoArchiveSection)
        FatalError("%s", kNoArchive);
    RequireSound(result);
    // The file named by the command line may differ from the image that is
    // running; the readable extent comes from the image itself.
    const uint8_t* base = (const uint8_t*)GetModuleHandleA(NULL);
    archive.sectionBase = base + section.virtualAddress;
    archive.sectionLength = (int32_t)MappedArchiveLength(base, section);
    return section;
}

// ---------------------------------------------------------------- header

void LoadDescription(OpenedArchive& archive, ByteStream& description)
{
    int result = ReadArchiveHeader(archive.sectionBase, archive.sectionLength, archive.header);
    if (result == kArchiveVersionMismatch)
        FatalError("%s", kVersionMismatch);
    RequireSound(result);
    RequireSound(UnpackDescription(archive.sectionBase, archive.header, description));
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

int BuildUninstallerImageFields(File& file, const ArchiveSection& section,
                                const OpenedArchive& archive,
                                const DescriptionFields& description, String& image)
{
    const uint32_t R = section.rawOffset, Z = section.rawSize;
    if (R > 0x7fffffff || !file.ReadRange(image, 0, (int)R))
        return kCorruptStubUnreadable;
    // A signature of the installer is not the uninstaller's: its bytes at
    // the end of the file stay behind, and the two header fields that
    // signing wrote are cleared, so that the uninstaller is a sound
    // unsigned program. The stub checksum holds over the bytes as they
    // were, or, as the builder writes it, with those fields cleared.
    SignatureFields signature;
    uint8_t* stub = (uint8_t*)image.Data();
    FindSignatureFields(stub, image.Length(), section.peOffset, signature);
    uint32_t raw = Checksum(stub, image.Length());
    ClearSignatureFields(stub, signature);
    if ((description.productFlags & PfChecksums) && raw != archive.header.stubChecksum
        && Checksum(stub, image.Length()) != archive.header.stubChecksum)
        return kCorruptStubChecksum;
    int64_t end = (int64_t)file.Size();
    if (signature.signatureOffset >= (int64_t)R + Z && signature.signatureOffset < end)
        end = signature.signatureOffset;
    int64_t tail = end - R - Z;
    if (tail != 0) {
        String rest;
        if (tail < 0 || R + (int64_t)Z > 0x7fffffff
            || !file.ReadRange(rest, (int)(R + Z), (int)tail))
            return kCorruptTailUnreadable;
        image.Append(rest);
    }
    if (section.peOffset + 8 <= (uint32_t)image.Length())
        image.WriteU16(section.peOffset + 6, (uint16_t)(section.sectionCount - 1));
    ReduceHeaderWord(image, section.peOffset + 0x20, Z);
    ReduceHeaderWord(image, section.peOffset + 0x50, Z);
    RemoveSectionEntry(image, section);
    // An offset where the icon does not fit is ignored.
    int32_t iconOffset = description.iconOffset;
    if (iconOffset > 0 && (int64_t)iconOffset + kUninstallerIconSize <= image.Length())
        image.CopyIn(description.uninstallerIcon.CStr(), iconOffset, kUninstallerIconSize);
    return 0;
}

String BuildUninstallerImage(File& file, const ArchiveSection& section,
                             const OpenedArchive& archive, const DescriptionFields& description)
{
    String image;
    RequireSound(BuildUninstallerImageFields(file, section, archive, description, image));
    return image;
}

// -------------------------------------------------------------- file data

namespace {

// The volume files beside the program; a missing one is asked for until
// it is there or the user confirms Cancel, which ends the program.
class VolumeFiles : public VolumeReader {
public:
    explicit VolumeFiles(const FileDataSource& source) : source_(source) {}

    bool Open(int number, int32_t assembled) override
    {
        const int32_t payloadSize = source_.description.payloadSize;
        if (source_.progress) {
            uint64_t share = (uint64_t)assembled * 30;
            DivideInPlace(share, (uint32_t)payloadSize);
            source_.progress(5 + (int)share);
        }
        if (directory_.IsEmpty())
            directory_ = GetModuleDirectory();
        String name = VolumeFileName(source_.description.volumeBaseName.CStr(), number);
        path_ = PathJoin(directory_.CStr(), name.CStr());
        while (!volume_.OpenForRead(path_.CStr(), true)) {
            String prompt = MessageFormatted(MsgNextVolume, "dc", number,
                                             PathDriveLetter(path_.CStr()));
            prompt.AppendFormat("\r\nCurrent size: %d\r\nTotal size: %d\r\nFilename: %s",
                                assembled, payloadSize, path_.CStr());
            if (MessageBoxA(BackgroundWindow, prompt.CStr(), MessageText(MsgNextVolumeCaption),
                            MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
                ConfirmCancel(source_.cancelExitCode);     // Yes ends the program
        }
        return true;
    }
    int64_t Size() override { return volume_.Size(); }
    bool Read(void* into, int32_t size) override
    {
        bool read = volume_.Read(into, size);
        volume_.Close();
        return read;
    }
    const String& Path() const { return path_; }

private:
    const FileDataSource& source_;
    String directory_;
    String path_;
    File volume_;
};

}  // namespace

void AssembleFileData(const FileDataSource& source, ArchiveCursor& cursor)
{
    const OpenedArchive& archive = source.archive;
    const int32_t payloadSize = source.description.payloadSize;
    int32_t inSection = 0;
    RequireSound(FileDataInSection(archive.header, archive.sectionLength, inSection));
    VolumeFiles volumes(source);
    const uint8_t* block = nullptr;
    int result = AssembleFileDataBlock(archive.sectionBase + archive.header.dataOffset, inSection,
                                       payloadSize, source.description.payloadChecksum, volumes,
                                       source.archive.fileDataBlock, block);
    if (result == kVolumeEmpty)
        FatalError("The file \"%s\" is empty.", volumes.Path().CStr());
    RequireSound(result);
    cursor.next = block;
    cursor.end = block + payloadSize;
}

void ExpandAssembledFileData(const FileDataSource& source, ArchiveCursor& cursor)
{
    if (!(source.description.productFlags & PfCompressed))
        return;
    // The expansion may replace the joined block, which is its input: it is
    // taken over only once it is complete.
    String expanded;
    RequireSound(ExpandFileData(cursor.next, source.description.payloadSize, expanded));
    int32_t length = expanded.Length();
    String& block = source.archive.fileDataBlock;
    block.Adopt(expanded.Detach(), length);
    cursor.next = (const uint8_t*)block.CStr();
    cursor.end = cursor.next + length;
}
