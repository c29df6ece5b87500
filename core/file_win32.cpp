// File and the whole-file helpers on top of the Win32 file API, reached
// through the table Sys (core/system_calls.h).
#include "core/file.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include "core/directory.h"
#include "core/error_text.h"
#include "core/fatal.h"
#include "core/paths.h"
#include "core/retry.h"
#include "core/system_calls.h"

namespace {

// Name under which this module's internal checks report.
const char kModuleName[] = "File32";
const int kPopEmptyStackLine = 930;

const int kCompareChunk = 4096;

// The system's text for an error code, without the line break it ends
// with; empty for code 0.
String FailureText(DWORD code)
{
    String text = SystemErrorText(code);
    if (text.IsEmpty() && code != 0)
        text.Format("Error %lu", (unsigned long)code);
    text.TrimRight();
    return text;
}

HANDLE AsHandle(void* handle)
{
    return (HANDLE)handle;
}

DWORD DispositionOf(int flags)
{
    static const DWORD kDispositions[] = {OPEN_ALWAYS, OPEN_EXISTING, CREATE_NEW, CREATE_ALWAYS};
    return kDispositions[flags & FoDispositionMask];
}

DWORD ShareOf(bool exclusive)
{
    return exclusive ? 0 : (FILE_SHARE_READ | FILE_SHARE_WRITE);
}

} // namespace

File::~File()
{
    Close();
}

bool File::OpenHandle(const char* path, unsigned long access, unsigned long share,
                      unsigned long disposition, unsigned long attributes, bool retry)
{
    HANDLE handle;
    int retries = 0;
    do {
        handle = Sys.CreateFileA(path, access, share, NULL, disposition, attributes, NULL);
    } while (handle == INVALID_HANDLE_VALUE && retry
             && RetryAfterTransientError(retries, "open", path));
    handle_ = (handle == INVALID_HANDLE_VALUE) ? nullptr : (void*)handle;
    return handle_ != nullptr;
}

bool File::Open(const char* name, int flags, unsigned long attributes)
{
    Close();
    name_.Assign(name);
    canRead_ = !(flags & FoNoRead);
    canWrite_ = !(flags & FoNoWrite);
    DWORD access = (canRead_ ? GENERIC_READ : 0) | (canWrite_ ? GENERIC_WRITE : 0);
    DWORD share = ((flags & FoShareRead) ? FILE_SHARE_READ : 0)
                  | ((flags & FoShareWrite) ? FILE_SHARE_WRITE : 0);

    bool temporary = (flags & (FoTempInDirectory | FoTempBeside)) != 0;
    if (flags & FoTempInDirectory)
        openedName_ = MakeTempFileName(name_.CStr());
    else if (flags & FoTempBeside)
        openedName_ = MakeTempFileName(PathDirectory(name_.CStr()).CStr());
    else
        openedName_ = name_;

    bool opened = (!temporary || !openedName_.IsEmpty())
                  && OpenHandle(openedName_.CStr(), access, share, DispositionOf(flags), attributes,
                                (flags & FoRetry) != 0);
    if (!opened) {
        if (temporary && !openedName_.IsEmpty()) {
            // The system made the empty temporary file for us; it is of no
            // use to anyone now.
            DWORD error = GetLastError();
            Sys.DeleteFileA(openedName_.CStr());
            SetLastError(error);
        }
        if (flags & FoRequired)
            FatalError("Failed to open required file:\r\n%s", name_.CStr());
        return false;
    }
    if ((flags & FoInMemory) && !LoadIntoMemory()) {
        Close();
        return false;
    }
    if (flags & FoAppend)
        SeekEnd(0);
    if (flags & FoCloseAfter)
        Close();
    return true;
}

bool File::OpenExisting(const char* name, bool read, bool write, bool exclusive)
{
    Close();
    name_.Assign(name);
    openedName_ = name_;
    DWORD access = (read ? GENERIC_READ : 0) | (write ? GENERIC_WRITE : 0);
    if (!OpenHandle(name_.CStr(), access, ShareOf(exclusive), OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                    false))
        return false;
    canRead_ = read;
    canWrite_ = write;
    return true;
}

bool File::Create(const char* name, bool exclusive)
{
    Close();
    name_.Assign(name);
    openedName_ = name_;
    if (!OpenHandle(name_.CStr(), GENERIC_READ | GENERIC_WRITE, ShareOf(exclusive),
                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, false))
        return false;
    canRead_ = true;
    canWrite_ = true;
    return true;
}

// On entry: memory mode with changes, and a handle. Afterwards memory mode
// is off; the file holds exactly the memory content.
bool File::WriteBack()
{
    inMemory_ = false;
    dirty_ = false;
    if (!Rewind()) {
        SetSystemError();
        return false;
    }
    // Cutting after a failed write could throw away the old tail for
    // nothing: cut only once the new content is complete.
    if (!Write(memory_.Data(), memory_.Length()))
        return false;
    if (!Truncate()) {
        SetSystemError();
        return false;
    }
    return true;
}

bool File::Close()
{
    bool ok = true;
    if (handle_ && inMemory_ && dirty_)
        ok = WriteBack();
    inMemory_ = false;
    dirty_ = false;
    memory_.Clear();
    memory_.Seek(0);
    if (handle_) {
        CloseHandle(AsHandle(handle_));
        handle_ = nullptr;
    }
    positions_.Clear();
    canRead_ = false;
    canWrite_ = false;
    return ok;
}

void File::SetSystemError()
{
    lastError_ = FailureText(GetLastError());
}

bool File::ReadFromMemory(void* buffer, int count)
{
    if (memory_.Remaining() < count) {
        lastError_ = "Read past end of file";
        return false;
    }
    memory_.ReadBytes(buffer, count);
    return true;
}

bool File::Read(void* buffer, int count)
{
    if (count == 0)
        return true;
    if (count < 0) {
        lastError_.Format("Illegal block size %d", count);
        return false;
    }
    if (!buffer) {
        lastError_ = "NULL block pointer";
        return false;
    }
    if (!canRead_) {
        lastError_ = "Read access denied";
        return false;
    }
    if (inMemory_)
        return ReadFromMemory(buffer, count);
    if (!handle_) {
        lastError_ = "File not open";
        return false;
    }
    DWORD start = Sys.SetFilePointer(AsHandle(handle_), 0, NULL, FILE_CURRENT);
    DWORD done = 0;
    if (!Sys.ReadFile(AsHandle(handle_), buffer, (DWORD)count, &done, NULL)) {
        SetSystemError();
        return false;
    }
    if (done < (DWORD)count) {
        // A short read is a failure; leave the position where the caller
        // had it, so a retry or another read starts from the same place.
        Sys.SetFilePointer(AsHandle(handle_), (LONG)start, NULL, FILE_BEGIN);
        lastError_ = "Read past end of file";
        return false;
    }
    return true;
}

// A position beyond the end leaves a gap, which a file reads as zeros.
void File::ZeroFillToPosition()
{
    int position = memory_.Position();
    int length = memory_.Length();
    if (position > length) {
        memory_.Seek(length);
        memory_.Fill(0, position - length);
    }
}

void File::WriteToMemory(const void* buffer, int count)
{
    ZeroFillToPosition();
    memory_.Write(buffer, count);
    dirty_ = true;
}

bool File::Write(const void* buffer, int count)
{
    if (count == 0)
        return true;
    if (count < 0) {
        lastError_ = "Illegal block size";
        return false;
    }
    if (!canWrite_) {
        lastError_ = "Write access denied";
        return false;
    }
    if (!buffer) {
        lastError_ = "NULL block pointer";
        return false;
    }
    if (inMemory_) {
        WriteToMemory(buffer, count);
        return true;
    }
    if (!handle_)
        FatalError("Write to unopened File:\n%s", name_.CStr());
    DWORD done = 0;
    if (!Sys.WriteFile(AsHandle(handle_), buffer, (DWORD)count, &done, NULL)) {
        SetSystemError();
        return false;
    }
    if (done < (DWORD)count) {
        lastError_ = "Not all data could be written";
        return false;
    }
    return true;
}

// The seek of ReadAt failed: report it as a read would, or with the
// system's reason.
bool File::SeekFailed(void* buffer, int count)
{
    if (count <= 0 || !buffer || !canRead_ || !IsOpen())
        return Read(buffer, count);
    SetSystemError();
    return false;
}

bool File::ReadAt(int offset, void* buffer, int count)
{
    PushPosition();
    // Reading from the old position after a failed seek would hand back
    // the wrong bytes as if they were right.
    bool ok = Seek(offset) ? Read(buffer, count) : SeekFailed(buffer, count);
    PopPosition();
    return ok;
}

bool File::ReadRange(String& out, int offset, int count)
{
    if (offset < 0 || count < 0 || (long long)offset + count > (long long)Size())
        return false;
    out.SetLength(count);
    if (!ReadAt(offset, out.Data(), count)) {
        out.Clear();
        return false;
    }
    return true;
}

bool File::ReadAll(String& out)
{
    if (!IsOpen())
        return false;
    int size = Size();
    if (size < 0) {
        out.Clear();
        return false;
    }
    out.SetLength(size);
    if (size == 0)
        return true;
    if (!ReadAt(0, out.Data(), size)) {
        out.Clear();
        return false;
    }
    return true;
}

String File::ReadCString()
{
    String text;
    char c;
    while (Read(&c, 1) && c != 0)
        text.Append(c);
    return text;
}

int File::Tell()
{
    if (inMemory_)
        return memory_.Position();
    if (!handle_)
        return -1;
    return (int)Sys.SetFilePointer(AsHandle(handle_), 0, NULL, FILE_CURRENT);
}

bool File::Seek(int position)
{
    if (inMemory_) {
        if (!memory_.Seek(position)) {
            SetLastError(ERROR_NEGATIVE_SEEK);
            return false;
        }
        return true;
    }
    if (!handle_)
        return false;
    return Sys.SetFilePointer(AsHandle(handle_), position, NULL, FILE_BEGIN)
           != INVALID_SET_FILE_POINTER;
}

bool File::SeekEnd(int delta)
{
    if (inMemory_)
        return Seek(memory_.Length() + delta);
    if (!handle_)
        return false;
    return Sys.SetFilePointer(AsHandle(handle_), delta, NULL, FILE_END) != INVALID_SET_FILE_POINTER;
}

int File::Size()
{
    if (inMemory_)
        return memory_.Length();
    if (!handle_)
        return -1;
    // The size itself, without moving the position back and forth.
    return (int)Sys.GetFileSize(AsHandle(handle_), NULL);
}

int File::PushPosition()
{
    int position = Tell();
    positions_.Push(position);
    return position;
}

int File::PushPositionAndSeek(int position)
{
    int old = PushPosition();
    Seek(position);
    return old;
}

bool File::PopPosition()
{
    if (positions_.IsEmpty())
        AssertionStop(kModuleName, kPopEmptyStackLine);
    return Seek(positions_.Pop());
}

bool File::Truncate()
{
    if (!canWrite_)
        return false;
    if (inMemory_) {
        // Cutting changes the content as much as writing does.
        if (memory_.Position() != memory_.Length()) {
            ZeroFillToPosition();
            memory_.CutAtPosition();
            dirty_ = true;
        }
        return true;
    }
    if (!handle_)
        return false;
    return Sys.SetEndOfFile(AsHandle(handle_)) != 0;
}

bool File::Flush()
{
    if (!handle_)
        return false;
    return Sys.FlushFileBuffers(AsHandle(handle_)) != 0;
}

bool File::LoadIntoMemory()
{
    // Already there: reloading would drop changes not yet written back.
    if (inMemory_)
        return true;
    int position = Tell();
    if (!ReadAll(memory_))
        return false;
    inMemory_ = true;
    dirty_ = false;
    memory_.Seek(position < 0 ? 0 : position);
    return true;
}

bool File::GetTime(DateTime* time)
{
    if (!time || !handle_)
        return false;
    FILETIME written;
    return Sys.GetFileTime(AsHandle(handle_), NULL, NULL, &written)
           && time->SetFromFileTime(written, true);
}

bool File::SetTime(const DateTime& time)
{
    if (!handle_)
        return false;
    FILETIME local;
    FILETIME written;
    if (!time.ToFileTime(&local) || !LocalFileTimeToFileTime(&local, &written))
        return false;
    // Data still in the system's buffers would stamp its own time later.
    Flush();
    return Sys.SetFileTime(AsHandle(handle_), NULL, NULL, &written) != 0;
}

bool GetFileTimeByName(const char* name, DateTime* time)
{
    File file;
    return file.OpenForRead(name, false) && file.GetTime(time);
}

bool FileIsWritable(const char* name)
{
    File file;
    return file.Open(name, FoOpenExisting | FoNoRead | FoRetry | FoShareRead | FoShareWrite
                               | FoCloseAfter,
                     FILE_ATTRIBUTE_NORMAL);
}

bool FilesEqual(const void* bytes, int size, const char* name)
{
    // Read access is all a comparison needs; asking for write access too
    // would call a read-only copy different from its identical source.
    File file;
    if (size < 0 || !file.OpenForRead(name, false) || file.Size() != size)
        return false;
    char* chunk = (char*)malloc(kCompareChunk);
    if (!chunk)
        return false;
    const char* expected = (const char*)bytes;
    bool equal = true;
    for (int offset = 0; equal && offset < size; offset += kCompareChunk) {
        int n = (size - offset < kCompareChunk) ? size - offset : kCompareChunk;
        equal = file.Read(chunk, n) && memcmp(chunk, expected + offset, (size_t)n) == 0;
    }
    free(chunk);
    return equal;
}

bool AppendTextToFile(const char* name, const char* text)
{
    if (!name || !*name)
        return false;
    File file;
    bool ok = file.Open(name, FoOpenAlways | FoAppend | FoShareRead | FoShareWrite)
              && file.Write(text ? text : "", text ? (int)strlen(text) : 0);
    return file.Close() && ok;
}

bool FileExists(const char* name)
{
    File file;
    return name && *name && file.OpenForRead(name, false);
}

int FileSizeByName(const char* name)
{
    File file;
    return name && *name && file.OpenForRead(name, false) ? file.Size() : -1;
}

bool ReadFileToString(const char* name, String& out)
{
    out.Clear();
    File file;
    return name && *name && file.OpenForRead(name, false) && file.ReadAll(out);
}

bool WriteFileFromBytes(const char* name, const void* bytes, int count)
{
    if (!name || !*name)
        return false;
    File file;
    bool ok = file.Open(name, FoCreateAlways | FoNoRead | FoShareRead | FoShareWrite)
              && (count <= 0 || !bytes || file.Write(bytes, count));
    return file.Close() && ok;
}

bool WriteFileFromString(const char* name, const String& content)
{
    return WriteFileFromBytes(name, content.CStr(), content.Length());
}

bool ReplaceFileFromString(const char* name, const String& content)
{
    File file;
    bool ok = file.Open(name, FoOpenExisting | FoNoRead | FoTempBeside)
              && file.Write(content.CStr(), content.Length()) && file.Flush();
    ok = file.Close() && ok;
    const char* temporary = file.OpenedName().CStr();
    if (ok && MoveFileReplacing(temporary, name))
        return true;
    DeleteFileOnly(temporary);      // none made: "" names nothing
    return false;
}

bool SetReadOnly(const char* name, bool on)
{
    if (!name)
        return false;
    DWORD attributes = Sys.GetFileAttributesA(name);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    bool isReadOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (isReadOnly == on)
        return true;
    // Only these can be set; the others (directory, compressed...) are
    // reported but must not be handed back. FILE_ATTRIBUTE_NORMAL stands
    // for "none of them" and is valid only alone.
    const DWORD settable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM
                           | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY
                           | FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    attributes = (attributes ^ FILE_ATTRIBUTE_READONLY) & settable;
    return Sys.SetFileAttributesA(name, attributes ? attributes : FILE_ATTRIBUTE_NORMAL) != 0;
}

bool SetAttributes(const char* name, unsigned long attributes)
{
    if (!name)
        return false;
    return Sys.SetFileAttributesA(name, attributes) != 0;
}

bool PathExists(const char* path)
{
    return path && Sys.GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool FileIsReadOnly(const char* path)
{
    DWORD attributes = path ? Sys.GetFileAttributesA(path) : INVALID_FILE_ATTRIBUTES;
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

bool MoveFileReplacing(const char* from, const char* to)
{
    int retries = 0;
    while (!Sys.MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        if (!RetryAfterTransientError(retries, "move", to))
            return false;
    }
    return true;
}

bool RenameFile(const char* from, const char* to)
{
    int retries = 0;
    while (!Sys.MoveFileA(from, to)) {
        if (!RetryAfterTransientError(retries, "move", to))
            return false;
    }
    return true;
}

bool DeleteFileOnly(const char* name)
{
    int retries = 0;
    while (!Sys.DeleteFileA(name)) {
        if (!RetryAfterTransientError(retries, "delete", name))
            return false;
    }
    return true;
}

bool MoveFileAtNextStart(const char* from, const char* to)
{
    return Sys.MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
}

bool WriteIniValue(const char* section, const char* key, const char* value, const char* file)
{
    return Sys.WritePrivateProfileStringA(section, key, value, file ? file : "WIN.INI") != 0;
}
