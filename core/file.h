// File: one Win32 file handle with the program's conventions.
//
// One flag word drives File::Open. Reads and writes return true or false
// and keep a readable text of the last failure (LastError) instead of
// stopping; only a write through a handle that was never opened and the
// required-file flag stop the program. Positions can be saved on a stack
// to read elsewhere and come back. In memory mode the whole content is
// held in memory, and written back on Close when it was changed. File
// times are the last-write time as a local calendar value.
//
// Positions and sizes are 32-bit: files of 2 GB and more are not supported.
// A File is used by one thread at a time; destroying it closes it.
#pragma once

#include "core/byte_stream.h"
#include "core/containers.h"
#include "core/format.h"
#include "core/string.h"

// Flag word of File::Open. The low two bits are a value (the disposition),
// the rest single bits.
enum FileOpenFlags : int {
    FoOpenAlways = 0x0,         // open, create when missing
    FoOpenExisting = 0x1,       // open, fail when missing
    FoCreateNew = 0x2,          // create, fail when present
    FoCreateAlways = 0x3,       // create, truncating what is there
    FoDispositionMask = 0x3,
    FoNoRead = 0x8,             // no read access
    FoNoWrite = 0x10,           // no write access
    FoRequired = 0x20,          // failing to open is fatal
    FoRetry = 0x40,             // a sharing or lock violation is retried (core/retry.h)
    FoInMemory = 0x80,          // load the whole file into memory after opening
    FoTempInDirectory = 0x100,  // name is a directory: open a new "QDT" temporary file in it
    FoTempBeside = 0x200,       // the same in the directory part of name
    FoShareRead = 0x400,        // others may read meanwhile
    FoShareWrite = 0x800,       // others may write meanwhile
    FoAppend = 0x1000,          // start at the end
    FoCloseAfter = 0x2000,      // close again at once (create or test only)
};

class File {
public:
    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opening. Each closes the object first and remembers name (also when
    // the open fails). attributes go to the system as they are; callers
    // pass FILE_ATTRIBUTE_NORMAL (128).
    bool Open(const char* name, int flags, unsigned long attributes = 128);
    // OPEN_EXISTING with the asked access; exclusive shares nothing, else
    // others may read and write.
    bool OpenExisting(const char* name, bool read, bool write, bool exclusive);
    bool OpenForRead(const char* name, bool exclusive) { return OpenExisting(name, true, false, exclusive); }
    // Creates or truncates name, for reading and writing.
    bool Create(const char* name, bool exclusive);
    // Writes a changed memory copy back, then closes. False when that
    // write-back failed (LastError tells why); the file is closed anyway.
    bool Close();
    bool IsOpen() const { return handle_ != nullptr || inMemory_; }

    const String& Name() const { return name_; }
    // The file actually opened: Name(), or the temporary file made for
    // FoTempInDirectory / FoTempBeside.
    const String& OpenedName() const { return openedName_; }
    const String& LastError() const { return lastError_; }

    // Reads exactly count bytes at the position. count 0 succeeds at once;
    // a read that would pass the end fails and leaves the position alone.
    bool Read(void* buffer, int count);
    // Writes count bytes at the position (count 0 succeeds at once).
    // Writing through an object that has write access but no handle (its
    // open failed) is fatal.
    bool Write(const void* buffer, int count);
    // Read at offset; the position is the same afterwards.
    bool ReadAt(int offset, void* buffer, int count);
    // out = count bytes at offset. False, out unchanged, when the range is
    // not inside the file; false, out cleared, when the read fails.
    bool ReadRange(String& out, int offset, int count);
    // out = the whole file (empty for an empty file); cleared on failure.
    bool ReadAll(String& out);
    // Bytes up to the next zero byte (consumed) or the end.
    String ReadCString();

    // Positions: -1 / false when closed.
    int Tell();
    bool Seek(int position);
    bool Rewind() { return Seek(0); }
    bool SeekEnd(int delta);
    int Size();
    // Saves the position on the stack and returns it.
    int PushPosition();
    // Saves the position, returns it, and moves to position.
    int PushPositionAndSeek(int position);
    // Returns to the last saved position. An empty stack is a programming
    // error and stops the program.
    bool PopPosition();
    // Ends the file at the position. Needs write access.
    bool Truncate();
    bool Flush();

    // Holds the whole file in memory from now on; reads, writes, seeks and
    // sizes use that copy, and Close writes it back when it was changed.
    bool LoadIntoMemory();

    // Last-write time as local time. False for a closed file, a null record
    // or a time the system cannot convert.
    bool GetTime(DateTime* time);
    bool SetTime(const DateTime& time);

private:
    bool OpenHandle(const char* path, unsigned long access, unsigned long share,
                    unsigned long disposition, unsigned long attributes, bool retry);
    bool WriteBack();
    bool ReadFromMemory(void* buffer, int count);
    void WriteToMemory(const void* buffer, int count);
    void ZeroFillToPosition();
    bool SeekFailed(void* buffer, int count);
    void SetSystemError();

    void* handle_ = nullptr;    // Win32 handle; null when closed, never INVALID_HANDLE_VALUE
    String name_;               // name given to the last open call
    String openedName_;         // the file that call actually opened
    Stack<int> positions_;      // saved positions, last on top
    ByteStream memory_;         // whole content while in memory mode, with its position
    bool inMemory_ = false;     // reads, writes, seeks and size use memory_
    bool dirty_ = false;        // memory_ was changed and must be written back
    bool canRead_ = false;      // read access was asked for
    bool canWrite_ = false;     // write access was asked for
    String lastError_;          // text of the last failed read or write
};

// Last-write time of the file name (read, shared), as local time.
bool GetFileTimeByName(const char* name, DateTime* time);
// The file exists and could be opened for writing now: no other process
// holds it without sharing. A file held for a moment is asked again
// (core/retry.h).
bool FileIsWritable(const char* name);
// The file name holds exactly the size bytes at bytes.
bool FilesEqual(const void* bytes, int size, const char* name);

// Whole-file helpers on File, others sharing the file meanwhile as the C
// runtime's streams would. No retries: a caller that wants them uses File.
// Appends text to name (creating it); false for an empty name or when
// opening or writing fails.
bool AppendTextToFile(const char* name, const char* text);
// name is a file that can be opened for reading now.
bool FileExists(const char* name);
// Size in bytes, -1 when the file cannot be opened.
int FileSizeByName(const char* name);
// out = the whole file. False, out cleared, when it cannot be read.
bool ReadFileToString(const char* name, String& out);
// Creates or truncates name and writes count bytes; false when opening,
// writing or closing fails.
bool WriteFileFromBytes(const char* name, const void* bytes, int count);
bool WriteFileFromString(const char* name, const String& content);
// Replaces name with content so that a kill or a full disk never leaves it
// cut short: the bytes go to a new temporary file beside it, which takes
// its place by a rename once it is written through to the disk. On failure
// name is as it was and the temporary file is gone.
bool ReplaceFileFromString(const char* name, const String& content);

// Sets or clears the read-only attribute. True when it is as asked
// (also when nothing had to change); false when name cannot be read or set.
bool SetReadOnly(const char* name, bool on);
bool SetAttributes(const char* name, unsigned long attributes);

// path names something that exists, file or directory, whoever holds it
// open: its attributes can be read.
bool PathExists(const char* path);
// path exists and has the read-only attribute.
bool FileIsReadOnly(const char* path);

// Renames and deletions. Each returns false with the Win32 reason in
// GetLastError(); a sharing or lock violation is retried (core/retry.h).
// Moves from onto to, replacing an existing to, through to the disk.
bool MoveFileReplacing(const char* from, const char* to);
// Renames from to to, which must not exist.
bool RenameFile(const char* from, const char* to);
// Deletes the file name as it is (a read-only file stays: DeleteFileForced).
bool DeleteFileOnly(const char* name);
// Has the system move from onto to, replacing it, at its next start (the
// NT family). No retry: nothing is touched before then.
bool MoveFileAtNextStart(const char* from, const char* to);

// Writes key=value into [section] of the profile file (a name without a
// path lies in the Windows directory; null is WIN.INI).
bool WriteIniValue(const char* section, const char* key, const char* value,
                   const char* file);
