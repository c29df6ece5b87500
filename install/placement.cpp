#include "install/placement.h"

#include <windows.h>
#include <string.h>

#include "archive/corrupt.h"
#include "archive/file_data.h"
#include "archive/format.h"
#include "core/directory.h"
#include "core/file.h"
#include "core/paths.h"
#include "core/retry.h"
#include "install/shortcuts.h"
#include "install/versions.h"
#include "product/archive.h"
#include "product/report.h"
#include "product/shared_files.h"
#include "product/uninstall_data.h"
#include "product/uninstall_record.h"
#include "system/library.h"
#include "system/registry.h"
#include "system/shell.h"
#include "ui/dialogs.h"
#include "ui/messages.h"

namespace {

constexpr int kWriteAttempts = 3;
// Files are written in pieces, so that a device that fills up or fails is
// met part way through a file, as it would be in the field.
constexpr int kWriteChunk = 64 * 1024;

}  // namespace

namespace {

const char kSharedCountsError[] =
    "Registry error: unable to increment shared file reference counts.\r\n\r\n";
const char kMoveNotLinkedError[] =
    "Failed to install %s because MoveFileEx could not be linked from KERNEL32.DLL\r\n";
const char kMoveFailedError[] = "Failed to update system file:\r\n%s\r\n\r\n";

// Linked at run time, to learn whether the system offers the replacement
// at the next start (the NT family); without it the file is named in the
// error text. The replacement itself goes through MoveFileAtNextStart.
typedef BOOL(WINAPI* MoveFileExProc)(LPCSTR, LPCSTR, DWORD);
MoveFileExProc LinkedMoveFileEx = nullptr;

// One file on its way from its record to its destination.
struct Placement {
    FileRecordFields record;        // the fields, pointing into the block
    String destination;             // where the data goes (the temporary file when deferred)
    String deferredTarget;          // the file replaced at the next start, or ""
    bool inInstallDirectory = false;  // its subdirectories are made and recorded
    bool existed = false;           // types 1, 4 and 6: the destination was there
};

bool IsInstallKind(int32_t kind)
{
    return kind == DestInstall || kind == DestInstallStartup;
}

bool IsPermanent(const Placement& file)
{
    return (file.record.flags & FfPermanent) != 0;
}

// Entries of the uninstall list are made unless the product or the file
// opts out.
bool IsListedForUninstall(const InstallRun& run, const Placement& file)
{
    return !(run.description.productFlags & PfNoUninstallList) && !IsPermanent(file);
}

// ---------------------------------------------------------------------------
// Writing

bool WriteChunks(File& file, const uint8_t* data, int32_t size)
{
    for (int32_t offset = 0; offset < size; offset += kWriteChunk) {
        int count = size - offset < kWriteChunk ? size - offset : kWriteChunk;
        if (!file.Write(data + offset, count))
            return false;
    }
    return true;
}

// Creates or truncates `path`, writes the data and stamps the time (a time
// that cannot be set is no failure). With PfVerifyWrites the file is read
// back and must match.
bool WriteWholeFile(const InstallRun& run, const char* path, const uint8_t* data, int32_t size,
                    const DateTime& time)
{
    File file;
    bool ok = file.Create(path, true) && WriteChunks(file, data, size);
    if (ok && time.month != 0)
        file.SetTime(time);
    ok = file.Close() && ok;
    if (ok && (run.description.productFlags & PfVerifyWrites) && !FilesEqual(data, size, path)) {
        // Read back, the file differs: the device changed what it was given.
        SetLastError(ERROR_CRC);
        ok = false;
    }
    return ok;
}

// Windows 95 and 98 have MoveFileEx only as a stub that fails: there the
// earlier copy is renamed aside, the new file renamed in, and the earlier
// copy deleted, or renamed back when the new file could not take its place.
bool MoveAsideAndIn(const char* temporary, const char* path)
{
    if (!PathExists(path))
        return RenameFile(temporary, path);
    String aside = MakeTempFileName(PathDirectory(temporary).CStr());
    if (aside.IsEmpty() || !DeleteFileOnly(aside.CStr()) || !RenameFile(path, aside.CStr()))
        return false;
    if (!RenameFile(temporary, path)) {
        DWORD error = GetLastError();
        RenameFile(aside.CStr(), path);
        SetLastError(error);
        return false;
    }
    DeleteFileOnly(aside.CStr());
    return true;
}

// Windows refuses to rename over a read-only file, Wine does not: the
// attribute is tested here so that it protects the file on both, and
// PfClearAttributes decides as it does for a file opened for writing.
bool MoveOverDestination(const char* temporary, const char* path)
{
    if (FileIsReadOnly(path)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    if (MoveFileReplacing(temporary, path))
        return true;
    return GetLastError() == ERROR_CALL_NOT_IMPLEMENTED && MoveAsideAndIn(temporary, path);
}

// Replaces `path` without ever leaving it truncated: the data goes to a
// temporary file beside it, which takes its place by a rename only once it
// is complete and checked. Any failure deletes the temporary file and
// leaves `path` as it was.
bool WriteThroughTemporary(const InstallRun& run, const char* path, const uint8_t* data,
                           int32_t size, const DateTime& time)
{
    String directory = PathDirectory(path);
    String temporary = MakeTempFileName(directory.IsEmpty() ? "." : directory.CStr());
    if (temporary.IsEmpty())
        return false;
    bool ok = WriteWholeFile(run, temporary.CStr(), data, size, time)
              && FileSizeByName(temporary.CStr()) == size
              && MoveOverDestination(temporary.CStr(), path);
    if (!ok) {
        DWORD error = GetLastError();     // the cleanup must not hide the reason
        DeleteFileOnly(temporary.CStr());
        SetLastError(error);
    }
    return ok;
}

typedef bool (*WriteOnce)(const InstallRun& run, const char* path, const uint8_t* data,
                          int32_t size, const DateTime& time);

// Up to three attempts of `writeOnce`, after any error: unlike the
// transient errors of core/retry.h, a failed write may be answered by the
// next attempt (the read-only attribute, when the product allows it, is
// cleared after the first failure only). Each further attempt is logged
// as the retries of core/retry.h are.
bool WriteWithAttempts(const InstallRun& run, const char* path, const uint8_t* data,
                       int32_t size, const DateTime& time, String& errorText,
                       WriteOnce writeOnce)
{
    if (size < 0)
        ArchiveCorrupt(kCorruptNegativeWriteSize);
    for (int attempt = 1; attempt <= kWriteAttempts; ++attempt) {
        if (writeOnce(run, path, data, size, time))
            return true;
        if (attempt == kWriteAttempts)
            break;
        LogRetry("write", path);
        if (attempt == 1 && (run.description.productFlags & PfClearAttributes))
            SetReadOnly(path, false);
    }
    AppendFailedLine(errorText, path);
    return false;
}

// ---------------------------------------------------------------------------
// The steps of one file

// Reads the record at the cursor, which moves past it in every case.
void ReadRecord(InstallRun& run, int index, FileRecordFields& record)
{
    int32_t size = run.description.storedSizes[index];
    int code = ReadFileRecord(run.archiveCursor.next, run.archiveCursor.end, size,
                              ProductFlagsOf(run), record);
    // A negative size cannot be read past; it is the writer's damage code.
    if (code == kCorruptPayloadLength && size < 0)
        code = kCorruptNegativeWriteSize;
    if (code != 0)
        ArchiveCorrupt(code);
}

// The type's directory joined with the name; shared and system files join
// the shared-file list, a trailing blank marking those that stay behind.
void ChooseDestination(InstallRun& run, Placement& file)
{
    const char* name = file.record.name;
    switch (file.record.kind) {
    case DestInstall:
    case DestInstallStartup:
        file.destination = PathJoin(run.installDirectory.CStr(), name);
        file.inInstallDirectory = true;
        break;
    case DestShared:
        file.destination = PathJoin(run.sharedDirectory.CStr(), name);
        run.sharedFileList.AddTail(SharedFileEntry(file.destination, IsPermanent(file)));
        break;
    case DestFont:
        file.destination = PathJoin(FontsFolder().CStr(), name);
        break;
    case DestSystem:
        file.destination = PathJoin(GetSystemDirectoryString().CStr(), name);
        run.sharedFileList.AddTail(SharedFileEntry(file.destination, true));
        break;
    }
    if (file.record.flags & FfToUninstallDir) {
        file.destination = PathJoin(run.uninstallDirectory.CStr(), name);
        file.inInstallDirectory = false;
    }
}

// False when the overwrite mode skips the file. A kept file of the install
// directory is listed for removal only when an earlier installation of the
// product wrote it (its record lists it): one that was there before is
// someone else's.
bool PassesOverwriteMode(InstallRun& run, const Placement& file)
{
    int32_t mode = file.record.flags & FfOverwriteMask;
    const char* path = file.destination.CStr();
    if (mode == FfUpdateOnly)
        return FileExists(path);
    if (mode == FfKeepExisting && FileExists(path) && !IsPermanent(file)
        && IsInstallKind(file.record.kind)) {
        if (UninstallRecordListsFile(run.previousRecord, path))
            RecordForUninstall(run.uninstallList, path, 0);
        return false;
    }
    return true;
}

void Report(InstallRun& run, const Placement& file, const char* text)
{
    run.fileReportText.AppendFormat("%s%s", file.destination.CStr(), text);
}

// System files: a newer version wins first, then a newer date. False when
// the existing copy stays. An existing time that cannot be read keeps the
// copy silently.
bool IsSystemFileOutOfDate(InstallRun& run, const Placement& file)
{
    const char* path = file.destination.CStr();
    if (*file.record.text) {
        String existing = FileVersionText(path, 1);
        if (!existing.IsEmpty() && CompareVersions(file.record.text, existing.CStr()) <= 0) {
            Report(run, file, " was not installed because its version is not newer.\r\n");
            return false;
        }
    }
    DateTime existingTime;
    if (!GetFileTimeByName(path, &existingTime))
        return false;
    if (existingTime.Compare(file.record.time) >= 0) {
        Report(run, file, " was not installed because its date is not newer.\r\n");
        return false;
    }
    return true;
}

// The replacement rules of shared, font and system files over an existing
// copy. Install-directory files are replaced by their overwrite mode alone.
bool WantsReplacement(InstallRun& run, Placement& file)
{
    int32_t kind = file.record.kind;
    if (IsInstallKind(kind))
        return true;
    file.existed = FileExists(file.destination.CStr());
    if (!file.existed)
        return true;
    if (kind == DestSystem) {
        if (!IsSystemFileOutOfDate(run, file))
            return false;                   // its own line, or none
    } else if (!IsOutOfDate(file.destination.CStr(), file.record.time)) {
        Report(run, file, " is up to date.\r\n");
        return false;
    }
    Report(run, file, " is out of date and will be replaced.\r\n");
    return true;
}

void RequestShortcuts(InstallRun& run, const Placement& file)
{
    const FileRecordFields& record = file.record;
    if (!IsInstallKind(record.kind) || !(record.flags & (FfDesktopShortcut | FfProgramsShortcut)))
        return;
    ShortcutRequest request;
    request.target = file.destination;
    request.name = record.text;
    if (*record.icon)
        request.icon = PathJoin(run.uninstallDirectory.CStr(), record.icon);
    request.desktop = (record.flags & FfDesktopShortcut) != 0;
    request.programs = (record.flags & FfProgramsShortcut) != 0;
    request.startup = record.kind == DestInstallStartup;
    AddShortcutRequest(run, request);
}

// A shared, font or system file that another program holds open is
// written to a temporary file beside it instead, and takes its place at
// the next start of the system: on the same volume, where the rename at
// start can be made, and in a folder only administrators write, where
// nobody can change it before then. The short form of the name keeps
// wininit.ini's lines within what its reader accepts.
void DeferIfInUse(Placement& file)
{
    if (!file.existed || FileIsWritable(file.destination.CStr()))
        return;
    file.deferredTarget = file.destination;
    String temporary = MakeTempFileName(PathDirectory(file.destination.CStr()).CStr());
    file.destination = GetShortPath(temporary.CStr());
}

// Install-directory files may sit in subdirectories of their own; each is
// made and listed, also when making it failed, so that the uninstaller
// tries it.
void MakeSubdirectory(InstallRun& run, const Placement& file)
{
    if (!file.inInstallDirectory)
        return;
    String directory = PathDirectory(file.destination.CStr());
    if (directory.Compare(run.installDirectory, false) == 0)
        return;
    if (!CreateDirectoryPath(directory.CStr()))
        run.errorText.AppendFormat("%s %s\r\n", MessageText(MsgCannotCreateDir), directory.CStr());
    if (IsListedForUninstall(run, file))
        RecordForUninstall(run.uninstallList, directory.CStr(), 1);
}

// Listed before the write, so that a partly placed product is still
// removed completely.
void ListInstalledFile(InstallRun& run, const Placement& file)
{
    if (IsInstallKind(file.record.kind) && IsListedForUninstall(run, file))
        RecordForUninstall(run.uninstallList, file.destination.CStr(), 0);
}

bool WriteData(InstallRun& run, const Placement& file)
{
    const FileRecordFields& record = file.record;
    // A deferred file's temporary file is new and holds nothing to keep.
    WriteOnce writeOnce = file.deferredTarget.IsEmpty() ? WriteThroughTemporary : WriteWholeFile;
    return WriteWithAttempts(run, file.destination.CStr(), record.data, record.size,
                             record.time, run.errorText, writeOnce);
}

// Hands the temporary file of a deferred file to the system: MoveFileEx on
// the NT family, wininit.ini's [rename] section elsewhere. False when the
// system refused it.
bool ScheduleReplacement(InstallRun& run, const Placement& file)
{
    run.restartNeeded = 1;
    const char* target = file.deferredTarget.CStr();
    if (!IsWindowsNT()) {
        WriteIniValue("rename", target, file.destination.CStr(), "wininit.ini");
        return true;
    }
    if (!LinkedMoveFileEx) {
        run.errorText.AppendFormat(kMoveNotLinkedError, target);
        return true;
    }
    // Named where they really are: the system folder of a 32-bit program
    // on a 64-bit system is another folder, which the system's own rename
    // at the next start would not find.
    if (!MoveFileAtNextStart(CanonicalPath(file.destination.CStr()).CStr(),
                             CanonicalPath(target).CStr())) {
        run.errorText.AppendFormat(kMoveFailedError, target);
        return false;
    }
    return true;
}

void ReportPlaced(InstallRun& run, const Placement& file)
{
    SetStatusText("%s -> %s", file.record.name, file.destination.CStr());
    if (run.description.productFlags & PfLogFileLines)
        run.fileReportText.AppendFormat("%s -> %s\r\n", file.record.name, file.destination.CStr());
}

// ---------------------------------------------------------------------------
// Shared-file counts

// The count of value `name` of the shared-counts key; a missing value is 0.
DWORD SharedCount(const RegistryKey& counts, const String& name)
{
    return RegistryGetInt(counts, name.CStr(), 0, 0);
}

// Takes back the counts of the installation being replaced, whose
// shared-file list is `list`.
void TakeBackSharedCounts(const RegistryKey& counts, String list)
{
    String name;
    bool countOnly;
    while (PopSharedFile(list, name, countOnly)) {
        DWORD count = SharedCount(counts, name);
        if (count <= 1)
            RegistryDeleteValue(counts, name.CStr());
        else
            RegistrySetInt(counts, name.CStr(), count - 1, 0);
    }
}

}  // namespace

// ---------------------------------------------------------------------------

void PlaceFile(InstallRun& run, int index)
{
    Placement file;
    ReadRecord(run, index, file.record);
    ChooseDestination(run, file);
    if (!PassesOverwriteMode(run, file) || !WantsReplacement(run, file))
        return;
    RequestShortcuts(run, file);
    DeferIfInUse(file);
    MakeSubdirectory(run, file);
    ListInstalledFile(run, file);
    if (!WriteData(run, file))
        return;
    if (file.record.kind == DestFont)
        AddPlacedFont(run, file.record.name, file.destination, file.record.text,
                      IsPermanent(file));
    if (!file.deferredTarget.IsEmpty() && !ScheduleReplacement(run, file))
        return;
    ReportPlaced(run, file);
}

bool WriteInstalledFile(const InstallRun& run, const char* path, const uint8_t* data,
                        int32_t size, const DateTime& time, String& errorText)
{
    return WriteWithAttempts(run, path, data, size, time, errorText, WriteThroughTemporary);
}

bool IsOutOfDate(const char* path, const DateTime& time)
{
    if (time.month == 0)
        return true;
    DateTime existing;
    if (!GetFileTimeByName(path, &existing))
        return true;
    return existing.Compare(time) < 0;
}

void LinkMoveFileEx()
{
    static const LinkEntry table[] = {
        {"MoveFileExA", (FARPROC*)&LinkedMoveFileEx, 1},
        {nullptr, nullptr, 0},
    };
    LinkFunctionTable("kernel32.dll", table);
}

void UpdateSharedCounts(InstallRun& run)
{
    if (!(run.description.productFlags & PfUninstallSupport))
        return;
    RegistryKey counts;
    if (RegistryOpenKey(counts, HKEY_LOCAL_MACHINE, kSharedCountsKey, 0) == RegOpenFailed) {
        run.errorText += kSharedCountsError;
        return;
    }
    if (run.isReinstall)
        TakeBackSharedCounts(counts, run.previousSharedFiles);
    run.previousSharedFiles.Clear();
    CollectionIterator it;
    for (String* entry = run.sharedFileList.First(it); entry; entry = run.sharedFileList.Next(it)) {
        String name = SharedFilePath(*entry);
        RegistrySetInt(counts, name.CStr(), SharedCount(counts, name) + 1, 0);
        AppendSharedFile(run.previousSharedFiles, *entry);
    }
    RegistryCloseKey(counts);
}
