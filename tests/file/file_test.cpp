// File on real files under Wine, each test in a scratch directory of its own.
#include "tests/file/scratch.h"

#include <string.h>

#include "core/retry.h"
#include "core/system_calls.h"

namespace {

const char kOld[] = "old content";
const int kOldLength = (int)sizeof kOld - 1;

using FileTest = ScratchTest;

// Wine run by root lets the owner write to a read-only file; Windows never.
bool ReadOnlyIsEnforced(const String& path)
{
    HANDLE handle = CreateFileA(path.CStr(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (handle == INVALID_HANDLE_VALUE)
        return true;
    CloseHandle(handle);
    return false;
}

// Open flags that let the test itself look at the file meanwhile.
const int kShared = FoShareRead | FoShareWrite;

struct OpenCase {
    const char* label;
    bool existsBefore;      // the file holds kOld before the call
    int flags;
    bool opens;
    bool openAfter;         // IsOpen after the call
    int position;           // Tell after the call (-1: closed)
    int sizeAfter;          // size on disk after Close, -1: no file
};

TEST_F(FileTest, OpenFlagsDecideDispositionPositionAndLifetime)
{
    static const OpenCase kCases[] = {
        {"open always, missing",    false, FoOpenAlways,                  true,  true,  0, 0},
        {"open always, present",    true,  FoOpenAlways,                  true,  true,  0, kOldLength},
        {"open existing, missing",  false, FoOpenExisting,                false, false, -1, -1},
        {"open existing, present",  true,  FoOpenExisting,                true,  true,  0, kOldLength},
        {"create new, missing",     false, FoCreateNew,                   true,  true,  0, 0},
        {"create new, present",     true,  FoCreateNew,                   false, false, -1, kOldLength},
        {"create always, present",  true,  FoCreateAlways,                true,  true,  0, 0},
        {"append",                  true,  FoOpenExisting | FoAppend,     true,  true,  kOldLength, kOldLength},
        {"close after, missing",    false, FoOpenAlways | FoCloseAfter,   true,  false, -1, 0},
        {"close after, present",    true,  FoOpenExisting | FoCloseAfter, true,  false, -1, kOldLength},
        {"in memory",               true,  FoOpenExisting | FoInMemory,   true,  true,  0, kOldLength},
        {"in memory, append",       true,  FoOpenExisting | FoInMemory | FoAppend, true, true, kOldLength, kOldLength},
        {"retry, missing",          false, FoOpenExisting | FoRetry,      false, false, -1, -1},
    };
    for (const OpenCase& c : kCases) {
        SCOPED_TRACE(c.label);
        String path = Path("f.bin");
        DeleteFileA(path.CStr());
        if (c.existsBefore)
            MakeFile("f.bin", String(kOld));
        File file;
        EXPECT_EQ(c.opens, file.Open(path.CStr(), c.flags, FILE_ATTRIBUTE_NORMAL));
        EXPECT_STREQ(path.CStr(), file.Name().CStr());     // stored even on failure
        EXPECT_EQ(c.openAfter, file.IsOpen());
        EXPECT_EQ(c.position, file.Tell());
        file.Close();
        int size = Exists(path) ? FileSizeByName(path.CStr()) : -1;
        EXPECT_EQ(c.sizeAfter, size);
    }
}

TEST_F(FileTest, AccessBitsDecideWhatReadAndWriteMayDo)
{
    String path = MakeFile("f.bin", String(kOld));
    char buffer[4];
    File file;

    ASSERT_TRUE(file.Open(path.CStr(), FoOpenExisting | FoNoRead));
    EXPECT_FALSE(file.Read(buffer, 4));
    EXPECT_STREQ("Read access denied", file.LastError().CStr());
    EXPECT_TRUE(file.Write("NEW", 3));

    ASSERT_TRUE(file.Open(path.CStr(), FoOpenExisting | FoNoWrite));
    EXPECT_FALSE(file.Write("xyz", 3));
    EXPECT_STREQ("Write access denied", file.LastError().CStr());
    EXPECT_FALSE(file.Truncate());
    ASSERT_TRUE(file.Read(buffer, 4));
    EXPECT_EQ(0, memcmp("NEW ", buffer, 4));

    ASSERT_TRUE(file.OpenForRead(path.CStr(), false));
    EXPECT_FALSE(file.Write("xyz", 3));
    EXPECT_STREQ("Write access denied", file.LastError().CStr());
    file.Close();
    EXPECT_STREQ("NEW content", Contents(path).CStr());
}

TEST_F(FileTest, ShareBitsDecideWhatOthersMayOpen)
{
    String path = MakeFile("f.bin", String(kOld));
    struct ShareCase {
        int share;
        bool othersMayRead;
        bool othersMayWrite;
    };
    static const ShareCase kCases[] = {
        {0,                          false, false},
        {FoShareRead,                true,  false},
        {FoShareRead | FoShareWrite, true,  true},
    };
    for (const ShareCase& c : kCases) {
        SCOPED_TRACE(c.share);
        File holder;
        ASSERT_TRUE(holder.Open(path.CStr(), FoOpenExisting | FoNoWrite | c.share));
        File other;
        EXPECT_EQ(c.othersMayRead, other.Open(path.CStr(), FoOpenExisting | FoNoWrite | FoShareRead | FoShareWrite));
        EXPECT_EQ(c.othersMayWrite, other.Open(path.CStr(), FoOpenExisting | FoNoRead | FoShareRead | FoShareWrite));
    }
}

TEST_F(FileTest, ExclusiveOpensShareNothing)
{
    String path = MakeFile("f.bin", String(kOld));
    File holder;
    ASSERT_TRUE(holder.OpenExisting(path.CStr(), true, false, true));
    File other;
    EXPECT_FALSE(other.OpenForRead(path.CStr(), false));
    ASSERT_TRUE(holder.OpenForRead(path.CStr(), false));
    EXPECT_TRUE(other.OpenForRead(path.CStr(), false));
    EXPECT_FALSE(other.OpenExisting(Path("missing").CStr(), true, true, false));
}

TEST_F(FileTest, CreateTruncatesAndAllowsReadAndWrite)
{
    String path = MakeFile("f.bin", String(kOld));
    File file;
    ASSERT_TRUE(file.Create(path.CStr(), true));
    EXPECT_EQ(0, file.Size());
    ASSERT_TRUE(file.Write("abc", 3));
    char buffer[3];
    EXPECT_TRUE(file.ReadAt(0, buffer, 3));
    EXPECT_EQ(0, memcmp("abc", buffer, 3));
    EXPECT_FALSE(file.Create(Path("no\\such\\dir.bin").CStr(), false));
    EXPECT_FALSE(file.IsOpen());
}

// Watches the CreateFileA calls of the code under test through the seam
// to the system (Sys): counts them, and after the first one that fails
// closes `release` (a scanner letting go of a new file it held for a
// moment). The retry then finds the file free whatever the speed of the
// machine, and the count shows how many attempts were made.
class CreateFileWatch {
public:
    explicit CreateFileWatch(HANDLE release = INVALID_HANDLE_VALUE)
    {
        release_ = release;
        calls_ = 0;
        real_ = Sys.CreateFileA;
        Sys.CreateFileA = &Watched;
    }
    ~CreateFileWatch() { Sys.CreateFileA = real_; }
    bool Patched() const { return Sys.CreateFileA == &Watched; }
    int Calls() const { return calls_; }
    bool Released() const { return release_ == INVALID_HANDLE_VALUE; }

private:
    static HANDLE WINAPI Watched(LPCSTR name, DWORD access, DWORD share,
                                 LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                 DWORD flags, HANDLE templateFile)
    {
        ++calls_;
        HANDLE handle = real_(name, access, share, security, disposition, flags, templateFile);
        if (handle == INVALID_HANDLE_VALUE && release_ != INVALID_HANDLE_VALUE) {
            DWORD error = GetLastError();
            CloseHandle(release_);
            release_ = INVALID_HANDLE_VALUE;
            SetLastError(error);
        }
        return handle;
    }

    static HANDLE release_;
    static int calls_;
    static decltype(&CreateFileA) real_;
};

HANDLE CreateFileWatch::release_;
int CreateFileWatch::calls_;
decltype(&CreateFileA) CreateFileWatch::real_;

TEST_F(FileTest, RetryWaitsForABrieflyHeldFile)
{
    String path = MakeFile("f.bin", String(kOld));
    HANDLE held = CreateFileA(path.CStr(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    File file;
    DWORD start = GetTickCount();
    bool opened;
    int calls;
    bool released;
    {
        CreateFileWatch watch(held);
        ASSERT_TRUE(watch.Patched());
        opened = file.Open(path.CStr(), FoOpenExisting | FoRetry);
        calls = watch.Calls();
        released = watch.Released();
    }
    DWORD elapsed = GetTickCount() - start;
    if (!released)
        CloseHandle(held);
    EXPECT_TRUE(released) << "the first attempt did not fail";
    EXPECT_TRUE(opened);
    EXPECT_EQ(2, calls);
    EXPECT_GE(elapsed, kTransientRetryDelayMs * 4 / 5) << "the retry came without its wait";
}

// Every CreateFileA fails with the error of the test; the calls are counted.
struct FailingCreate {
    static DWORD error;
    static int calls;
    static HANDLE WINAPI Create(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE)
    {
        ++calls;
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
};
DWORD FailingCreate::error;
int FailingCreate::calls;

TEST_F(FileTest, OnlyTransientErrorsAreRetriedEachWithItsLogLine)
{
    struct RetryCase {
        DWORD error;
        int calls;              // the first call and its retries
    };
    const RetryCase kCases[] = {
        {ERROR_SHARING_VIOLATION, 1 + kTransientRetries},
        {ERROR_LOCK_VIOLATION,    1 + kTransientRetries},
        {ERROR_ACCESS_DENIED,     1},
        {ERROR_DISK_FULL,         1},
        {ERROR_FILE_NOT_FOUND,    1},
    };
    String path = Path("f.bin");
    auto real = Sys.CreateFileA;
    for (const RetryCase& c : kCases) {
        SCOPED_TRACE(c.error);
        String log;
        SetRetryLog(&log);
        FailingCreate::error = c.error;
        FailingCreate::calls = 0;
        Sys.CreateFileA = &FailingCreate::Create;
        File file;
        bool opened = file.Open(path.CStr(), FoOpenExisting | FoRetry);
        DWORD error = GetLastError();
        Sys.CreateFileA = real;
        SetRetryLog(nullptr);
        EXPECT_FALSE(opened);
        EXPECT_EQ(c.error, error) << "the reason stays readable";
        EXPECT_EQ(c.calls, FailingCreate::calls);
        String expected;
        for (int retry = 1; retry < c.calls; retry++)
            expected.AppendFormat("Retrying open of %s (error %lu)\r\n", path.CStr(), c.error);
        EXPECT_STREQ(expected.CStr(), log.CStr());
    }
}

TEST_F(FileTest, WithoutRetryAHeldFileFailsAtOnce)
{
    String path = MakeFile("f.bin", String(kOld));
    File holder;
    ASSERT_TRUE(holder.Open(path.CStr(), FoOpenExisting));
    File file;
    CreateFileWatch watch;
    ASSERT_TRUE(watch.Patched());
    EXPECT_FALSE(file.Open(path.CStr(), FoOpenExisting));
    EXPECT_EQ(1, watch.Calls());
}

TEST_F(FileTest, TemporaryFlagsOpenANewQdtFileInTheDirectory)
{
    struct TempCase {
        int flag;
        String name;
    };
    const TempCase kCases[] = {
        {FoTempInDirectory, dir_},
        {FoTempBeside,      Path("beside.txt")},
    };
    for (const TempCase& c : kCases) {
        SCOPED_TRACE(c.flag);
        File file;
        ASSERT_TRUE(file.Open(c.name.CStr(), FoOpenExisting | c.flag));
        EXPECT_STREQ(c.name.CStr(), file.Name().CStr());
        String opened = file.OpenedName();
        EXPECT_TRUE(PathsEqual(dir_.CStr(), PathDirectory(opened.CStr()).CStr())) << opened.CStr();
        EXPECT_EQ(0, PathFileName(opened.CStr()).Compare("QDT", true, 3)) << opened.CStr();
        ASSERT_TRUE(file.Write("tmp", 3));
        file.Close();
        EXPECT_STREQ("tmp", Contents(opened).CStr());
        EXPECT_FALSE(Exists(Path("beside.txt")));
    }
}

TEST_F(FileTest, AFailedTemporaryOpenLeavesNoFileBehind)
{
    File file;
    // The system makes the temporary file, so "create new" must fail on it.
    EXPECT_FALSE(file.Open(dir_.CStr(), FoCreateNew | FoTempInDirectory));
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(Path("QDT*").CStr(), &entry);
    EXPECT_EQ(INVALID_HANDLE_VALUE, find) << entry.cFileName;
    if (find != INVALID_HANDLE_VALUE)
        FindClose(find);
    EXPECT_FALSE(file.Open(Path("missing-dir").CStr(), FoOpenAlways | FoTempInDirectory));
}

TEST_F(FileTest, ReadAndWriteArgumentErrors)
{
    String path = MakeFile("f.bin", String(kOld));
    char buffer[8] = {};
    File file;

    // Count 0 succeeds without touching anything, open or not.
    EXPECT_TRUE(file.Read(nullptr, 0));
    EXPECT_TRUE(file.Write(nullptr, 0));
    EXPECT_STREQ("", file.LastError().CStr());

    ASSERT_TRUE(file.Open(path.CStr(), FoOpenExisting));
    struct ErrorCase {
        const char* label;
        bool (*call)(File& file, char* buffer);
        const char* error;
    };
    static const ErrorCase kCases[] = {
        {"read -5",       [](File& f, char* b) { return f.Read(b, -5); },    "Illegal block size -5"},
        {"read null",     [](File& f, char*) { return f.Read(nullptr, 4); }, "NULL block pointer"},
        {"write -5",      [](File& f, char* b) { return f.Write(b, -5); },   "Illegal block size"},
        {"write null",    [](File& f, char*) { return f.Write(nullptr, 4); }, "NULL block pointer"},
        {"read past end", [](File& f, char* b) { return f.Read(b, 100); },   "Read past end of file"},
    };
    for (const ErrorCase& c : kCases) {
        SCOPED_TRACE(c.label);
        EXPECT_FALSE(c.call(file, buffer));
        EXPECT_STREQ(c.error, file.LastError().CStr());     // replaces the previous text
    }
    EXPECT_EQ(0, file.Tell());      // none of them moved
}

TEST_F(FileTest, ReadsFailCleanlyOnAClosedOrUnopenedFile)
{
    char buffer[4];
    File file;
    EXPECT_FALSE(file.Read(buffer, 4));
    EXPECT_STREQ("Read access denied", file.LastError().CStr());
    // A failed open leaves the access of the flags but no handle.
    EXPECT_FALSE(file.Open(Path("missing").CStr(), FoOpenExisting));
    EXPECT_FALSE(file.Read(buffer, 4));
    EXPECT_STREQ("File not open", file.LastError().CStr());
    EXPECT_EQ(-1, file.Tell());
    EXPECT_EQ(-1, file.Size());
    EXPECT_FALSE(file.Seek(0));
    EXPECT_FALSE(file.SeekEnd(0));
    EXPECT_FALSE(file.Flush());
    EXPECT_FALSE(file.Truncate());
    String out("keep");
    EXPECT_FALSE(file.ReadAll(out));
    EXPECT_STREQ("", file.ReadCString().CStr());
}

TEST_F(FileTest, ReadPastEndFailsAndKeepsThePosition)
{
    String hundred;
    for (int i = 0; i < 100; ++i)
        hundred.Append((char)i);
    String path = MakeFile("f.bin", hundred);
    for (int flags : {(int)FoOpenExisting, FoOpenExisting | FoInMemory}) {
        SCOPED_TRACE(flags);
        File file;
        ASSERT_TRUE(file.Open(path.CStr(), flags));
        char buffer[10];
        ASSERT_TRUE(file.Seek(95));
        EXPECT_FALSE(file.Read(buffer, 10));
        EXPECT_STREQ("Read past end of file", file.LastError().CStr());
        EXPECT_EQ(95, file.Tell());
        ASSERT_TRUE(file.Read(buffer, 5));
        EXPECT_EQ(99, buffer[4]);
        EXPECT_EQ(100, file.Tell());
    }
}

TEST_F(FileTest, PositionStackReturnsToSavedPlaces)
{
    String path = MakeFile("f.bin", String("0123456789"));
    File file;
    ASSERT_TRUE(file.Open(path.CStr(), FoOpenExisting));
    ASSERT_TRUE(file.Seek(2));
    EXPECT_EQ(2, file.PushPosition());
    EXPECT_EQ(2, file.PushPositionAndSeek(7));
    EXPECT_EQ(7, file.Tell());
    EXPECT_EQ(7, file.PushPositionAndSeek(9));
    EXPECT_TRUE(file.PopPosition());
    EXPECT_EQ(7, file.Tell());
    EXPECT_TRUE(file.PopPosition());
    EXPECT_EQ(2, file.Tell());
    EXPECT_TRUE(file.PopPosition());
    EXPECT_EQ(2, file.Tell());

    EXPECT_TRUE(file.SeekEnd(-3));
    EXPECT_EQ(7, file.Tell());
    EXPECT_TRUE(file.Rewind());
    EXPECT_EQ(0, file.Tell());
    EXPECT_EQ(10, file.Size());
    EXPECT_EQ(0, file.Tell());      // Size does not move
}

TEST_F(FileTest, ReadAtKeepsThePositionAndFailsOnABadOffset)
{
    String path = MakeFile("f.bin", String("0123456789"));
    for (int flags : {(int)FoOpenExisting, FoOpenExisting | FoInMemory}) {
        SCOPED_TRACE(flags);
        File file;
        ASSERT_TRUE(file.Open(path.CStr(), flags));
        ASSERT_TRUE(file.Seek(3));
        char buffer[4] = {};
        EXPECT_TRUE(file.ReadAt(6, buffer, 4));
        EXPECT_EQ(0, memcmp("6789", buffer, 4));
        EXPECT_EQ(3, file.Tell());
        // A seek that fails must not turn into a read at the old position.
        memset(buffer, '#', sizeof buffer);
        EXPECT_FALSE(file.ReadAt(-1, buffer, 4));
        EXPECT_EQ('#', buffer[0]);
        EXPECT_EQ(3, file.Tell());
        EXPECT_FALSE(file.ReadAt(8, buffer, 4));
        EXPECT_EQ(3, file.Tell());
    }
}

TEST_F(FileTest, ReadRangeChecksTheRangeBeforeReading)
{
    String path = MakeFile("f.bin", String("0123456789"));
    File file;
    ASSERT_TRUE(file.Open(path.CStr(), FoOpenExisting));
    struct RangeCase {
        int offset;
        int count;
        bool ok;
        const char* out;    // "keep": left as it was
    };
    static const RangeCase kCases[] = {
        {0,  10, true,  "0123456789"},
        {4,  6,  true,  "456789"},
        {4,  7,  false, "keep"},        // one past the end
        {10, 0,  true,  ""},
        {11, 0,  false, "keep"},
        {-1, 2,  false, "keep"},
        {2,  -1, false, "keep"},
        {0x7fffffff, 2, false, "keep"}, // offset + count overflows 32 bits
    };
    for (const RangeCase& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.offset << ", " << c.count);
        String out("keep");
        EXPECT_EQ(c.ok, file.ReadRange(out, c.offset, c.count));
        EXPECT_STREQ(c.out, out.CStr());
    }
}

TEST_F(FileTest, ReadRangeClearsOutWhenTheReadFails)
{
    String path = MakeFile("f.bin", String("0123456789"));
    File file;
    ASSERT_TRUE(file.Open(path.CStr(), FoOpenExisting | FoNoRead));
    String out("keep");
    EXPECT_FALSE(file.ReadRange(out, 0, 4));
    EXPECT_TRUE(out.IsEmpty());
    EXPECT_STREQ("Read access denied", file.LastError().CStr());
}

TEST_F(FileTest, ReadAllAndReadCString)
{
    String path = MakeFile("f.bin", String("abc\0def", 7));
    String empty = MakeFile("empty.bin", String());
    File file;
    String out("keep");
    ASSERT_TRUE(file.Open(empty.CStr(), FoOpenExisting));
    EXPECT_TRUE(file.ReadAll(out));
    EXPECT_TRUE(out.IsEmpty());

    ASSERT_TRUE(file.Open(path.CStr(), FoOpenExisting));
    ASSERT_TRUE(file.Seek(5));
    EXPECT_TRUE(file.ReadAll(out));
    EXPECT_EQ(String("abc\0def", 7), out);
    EXPECT_EQ(5, file.Tell());
    ASSERT_TRUE(file.Rewind());
    EXPECT_STREQ("abc", file.ReadCString().CStr());
    EXPECT_STREQ("def", file.ReadCString().CStr());    // ends at the end
    EXPECT_STREQ("", file.ReadCString().CStr());
}

TEST_F(FileTest, MemoryModeWritesBackExactlyTheMemoryContent)
{
    String longer("0123456789ABCDEFGHIJ");
    struct MemoryCase {
        const char* label;
        int seekTo;
        const char* write;
        bool truncate;
        const char* onDisk;
    };
    static const MemoryCase kCases[] = {
        {"overwrite the start",  0,  "xy",   false, "xy23456789ABCDEFGHIJ"},
        {"cut shorter",          0,  "short", true, "short"},
        {"cut to nothing",       0,  "",     true,  ""},
        {"grow at the end",      20, "++",   false, "0123456789ABCDEFGHIJ++"},
        {"write past the end",   22, "!",    false, "0123456789ABCDEFGHIJ\0\0!"},
    };
    for (const MemoryCase& c : kCases) {
        SCOPED_TRACE(c.label);
        String path = MakeFile("f.bin", longer);
        File file;
        ASSERT_TRUE(file.Open(path.CStr(), FoOpenExisting | FoInMemory | kShared));
        ASSERT_TRUE(file.Seek(c.seekTo));
        ASSERT_TRUE(file.Write(c.write, (int)strlen(c.write)));
        if (c.truncate) {
            ASSERT_TRUE(file.Truncate());
        }
        // Nothing reaches the disk before Close.
        EXPECT_EQ(longer, Contents(path));
        EXPECT_TRUE(file.Close());
        EXPECT_FALSE(file.IsOpen());
        int expectedLength = c.seekTo + (int)strlen(c.write);
        if (!c.truncate && expectedLength < longer.Length())
            expectedLength = longer.Length();
        EXPECT_EQ(String(c.onDisk, expectedLength), Contents(path));
    }
}

TEST_F(FileTest, MemoryModeWithoutChangesLeavesTheFileAlone)
{
    String path = MakeFile("f.bin", String(kOld));
    File file;
    ASSERT_TRUE(file.Open(path.CStr(), FoOpenExisting | FoInMemory | kShared));
    // Changed behind the copy's back: an unchanged copy must not undo it.
    ASSERT_TRUE(AppendTextToFile(path.CStr(), "+tail"));
    char buffer[3];
    EXPECT_TRUE(file.Read(buffer, 3));
    EXPECT_TRUE(file.Close());
    EXPECT_STREQ("old content+tail", Contents(path).CStr());
}

TEST_F(FileTest, LoadingAgainKeepsUnwrittenChanges)
{
    String path = MakeFile("f.bin", String(kOld));
    File file;
    ASSERT_TRUE(file.Open(path.CStr(), FoOpenExisting | FoInMemory));
    ASSERT_TRUE(file.Write("NEW", 3));
    EXPECT_TRUE(file.LoadIntoMemory());
    file.Close();
    EXPECT_STREQ("NEW content", Contents(path).CStr());
}

TEST_F(FileTest, LoadIntoMemoryKeepsThePosition)
{
    String path = MakeFile("f.bin", String("0123456789"));
    File file;
    ASSERT_TRUE(file.Open(path.CStr(), FoOpenExisting));
    ASSERT_TRUE(file.Seek(4));
    ASSERT_TRUE(file.LoadIntoMemory());
    EXPECT_EQ(4, file.Tell());
    EXPECT_EQ(10, file.Size());
    char c;
    ASSERT_TRUE(file.Read(&c, 1));
    EXPECT_EQ('4', c);
}

TEST_F(FileTest, MemoryModeFailsForAFileThatCannotBeRead)
{
    String path = MakeFile("f.bin", String(kOld));
    File file;
    EXPECT_FALSE(file.Open(path.CStr(), FoOpenExisting | FoNoRead | FoInMemory));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_STREQ(kOld, Contents(path).CStr());
}

TEST_F(FileTest, TimeRoundTripsThroughLocalTime)
{
    String path = MakeFile("f.bin", String(kOld));
    static const DateTime kTimes[] = {
        {2001, 3, 7, 12, 5, 8},
        {1999, 12, 31, 23, 59, 58},
        {2024, 7, 1, 0, 0, 0},      // summer time, if the zone has it
    };
    for (const DateTime& t : kTimes) {
        SCOPED_TRACE(testing::Message() << t.year << "-" << t.month << "-" << t.day);
        File file;
        ASSERT_TRUE(file.Open(path.CStr(), FoOpenExisting));
        ASSERT_TRUE(file.Write("x", 1));    // pending data must not stamp over it
        EXPECT_TRUE(file.SetTime(t));
        DateTime read;
        EXPECT_TRUE(file.GetTime(&read));
        EXPECT_EQ(0, read.Compare(t));
        file.Close();
        DateTime byName;
        EXPECT_TRUE(GetFileTimeByName(path.CStr(), &byName));
        EXPECT_EQ(0, byName.Compare(t));
    }
}

TEST_F(FileTest, TimeFailures)
{
    String path = MakeFile("f.bin", String(kOld));
    File file;
    DateTime time{2001, 3, 7, 12, 5, 8};
    EXPECT_FALSE(file.GetTime(&time));
    EXPECT_FALSE(file.SetTime(time));
    ASSERT_TRUE(file.Open(path.CStr(), FoOpenExisting));
    EXPECT_FALSE(file.GetTime(nullptr));
    DateTime unset;                         // month 0: no time
    EXPECT_FALSE(file.SetTime(unset));
    EXPECT_FALSE(GetFileTimeByName(Path("missing").CStr(), &time));
}

TEST_F(FileTest, FileIsWritableOnlyWhileNobodyHoldsIt)
{
    String path = MakeFile("f.bin", String(kOld));
    EXPECT_TRUE(FileIsWritable(path.CStr()));
    {
        File holder;
        ASSERT_TRUE(holder.Open(path.CStr(), FoOpenExisting | FoNoWrite));
        EXPECT_FALSE(FileIsWritable(path.CStr()));
    }
    {
        File sharing;
        ASSERT_TRUE(sharing.Open(path.CStr(), FoOpenExisting | FoNoWrite | FoShareRead | FoShareWrite));
        EXPECT_TRUE(FileIsWritable(path.CStr()));
    }
    EXPECT_FALSE(FileIsWritable(Path("missing").CStr()));
    EXPECT_FALSE(Exists(Path("missing")));      // the test creates nothing
    ASSERT_TRUE(SetReadOnly(path.CStr(), true));
    if (ReadOnlyIsEnforced(path)) {
        EXPECT_FALSE(FileIsWritable(path.CStr()));
    }
    ASSERT_TRUE(SetReadOnly(path.CStr(), false));
    EXPECT_STREQ(kOld, Contents(path).CStr());
}

TEST_F(FileTest, FilesEqualComparesEveryByte)
{
    String data;
    for (int i = 0; i < 5000; ++i)          // more than one 4096-byte chunk
        data.Append((char)(i * 7));
    String path = MakeFile("f.bin", data);
    EXPECT_TRUE(FilesEqual(data.CStr(), data.Length(), path.CStr()));

    String changed(data);
    changed.Data()[4500] ^= 1;              // in the second chunk
    EXPECT_FALSE(FilesEqual(changed.CStr(), changed.Length(), path.CStr()));
    EXPECT_FALSE(FilesEqual(data.CStr(), data.Length() - 1, path.CStr()));
    EXPECT_FALSE(FilesEqual(data.CStr(), data.Length(), Path("missing").CStr()));

    String empty = MakeFile("empty.bin", String());
    EXPECT_TRUE(FilesEqual("", 0, empty.CStr()));

    // A read-only copy is still a faithful one.
    ASSERT_TRUE(SetReadOnly(path.CStr(), true));
    EXPECT_TRUE(FilesEqual(data.CStr(), data.Length(), path.CStr()));
    ASSERT_TRUE(SetReadOnly(path.CStr(), false));
}

TEST_F(FileTest, WholeFileHelpers)
{
    String path = Path("f.txt");
    EXPECT_FALSE(FileExists(path.CStr()));
    EXPECT_EQ(-1, FileSizeByName(path.CStr()));
    String out("keep");
    EXPECT_FALSE(ReadFileToString(path.CStr(), out));

    EXPECT_TRUE(AppendTextToFile(path.CStr(), "one\r\n"));
    EXPECT_TRUE(AppendTextToFile(path.CStr(), "two\n"));    // bytes as they are
    EXPECT_TRUE(FileExists(path.CStr()));
    EXPECT_EQ(9, FileSizeByName(path.CStr()));
    EXPECT_TRUE(ReadFileToString(path.CStr(), out));
    EXPECT_STREQ("one\r\ntwo\n", out.CStr());
    EXPECT_FALSE(AppendTextToFile("", "x"));
    EXPECT_FALSE(AppendTextToFile(nullptr, "x"));

    EXPECT_TRUE(WriteFileFromBytes(path.CStr(), "a\0b", 3));
    EXPECT_EQ(String("a\0b", 3), Contents(path));
    EXPECT_TRUE(WriteFileFromString(path.CStr(), String()));
    EXPECT_EQ(0, FileSizeByName(path.CStr()));
    EXPECT_TRUE(ReadFileToString(path.CStr(), out));
    EXPECT_TRUE(out.IsEmpty());
    EXPECT_FALSE(WriteFileFromString(Path("no\\such\\f.txt").CStr(), String("x")));
}

TEST_F(FileTest, SetReadOnlyAndAttributes)
{
    String path = MakeFile("f.bin", String(kOld));
    EXPECT_TRUE(SetReadOnly(path.CStr(), false));           // nothing to change
    EXPECT_TRUE(SetReadOnly(path.CStr(), true));
    EXPECT_TRUE(GetFileAttributesA(path.CStr()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(SetReadOnly(path.CStr(), true));
    if (ReadOnlyIsEnforced(path)) {
        File file;
        EXPECT_FALSE(file.Open(path.CStr(), FoOpenExisting));
    }
    EXPECT_TRUE(SetReadOnly(path.CStr(), false));
    EXPECT_FALSE(GetFileAttributesA(path.CStr()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(SetReadOnly(Path("missing").CStr(), true));
    EXPECT_FALSE(SetReadOnly(nullptr, true));

    EXPECT_TRUE(SetAttributes(path.CStr(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(GetFileAttributesA(path.CStr()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(SetAttributes(path.CStr(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_FALSE(GetFileAttributesA(path.CStr()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(SetAttributes(nullptr, FILE_ATTRIBUTE_NORMAL));
}

} // namespace
