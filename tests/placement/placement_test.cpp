// Placing files: the writer that never destroys the copy it replaces, the
// date test, the shared-file counts, and PlaceFile over file-data blocks
// built here, against real files in the Wine prefix.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "archive/format.h"
#include "core/checksum.h"
#include "core/fatal.h"
#include "core/retry.h"
#include "core/system_calls.h"
#include "install/install_run.h"
#include "install/placement.h"
#include "product/report.h"
#include "product/uninstall_record.h"
#include "ui/messages.h"
#include "system/shell.h"
#include "tests/file/scratch.h"

namespace {

const DateTime kNoTime = {};
const DateTime kEarly = {2000, 3, 4, 5, 6, 8};
const DateTime kExistingTime = {2001, 6, 15, 12, 30, 20};
const DateTime kLate = {2002, 9, 10, 11, 12, 14};

std::string Text(const String& s)
{
    return std::string(s.CStr(), (size_t)s.Length());
}

// Data of `size` bytes that differs at every offset from its neighbours.
std::string Pattern(int size, int seed)
{
    std::string data((size_t)size, '\0');
    for (int i = 0; i < size; ++i)
        data[(size_t)i] = (char)((i * 7 + seed) & 0xFF);
    return data;
}

// Compares file contents with the expected bytes without printing
// hundreds of kilobytes when they differ.
testing::AssertionResult HoldsBytes(const String& path, const std::string& expected)
{
    String content;
    if (!ReadFileToString(path.CStr(), content))
        return testing::AssertionFailure() << path.CStr() << " cannot be read";
    std::string actual = Text(content);
    if (actual == expected)
        return testing::AssertionSuccess();
    size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
        ++at;
    return testing::AssertionFailure() << path.CStr() << " holds " << actual.size()
                                       << " bytes, expected " << expected.size()
                                       << "; first difference at " << at;
}

std::string ModuleDirectoryPath(const char* name)
{
    return Text(PathJoin(GetModuleDirectory().CStr(), name));
}

// The names of the entries of `dir`, "." and ".." left out.
std::vector<std::string> Listing(const String& dir)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(PathJoin(dir.CStr(), "*").CStr(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

bool IsReadOnlyFile(const String& path)
{
    DWORD attributes = GetFileAttributesA(path.CStr());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

void SetFileTimeTo(const String& path, const DateTime& time)
{
    File file;
    ASSERT_TRUE(file.OpenExisting(path.CStr(), true, true, false)) << path.CStr();
    ASSERT_TRUE(file.SetTime(time));
}

DateTime FileTimeOf(const String& path)
{
    DateTime time;
    EXPECT_TRUE(GetFileTimeByName(path.CStr(), &time)) << path.CStr();
    return time;
}

// The writes of WriteInstalledFile fail or change their data through the
// test's own entry of the seam: the writer writes in chunks of this size,
// so the position of a write tells its chunk, and a chunk 0 starts an
// attempt.
const DWORD kWriteChunk = 64 * 1024;

struct FaultPlan {
    int attempts = 0;
    int failChunk = -1;         // this chunk fails (ERROR_DISK_FULL) ...
    int failAttempts = 0;       // ... in the first this many attempts
    int corruptAttempts = 0;    // chunk 0 gets a wrong first byte in the first this many attempts
};
FaultPlan Plan;
SystemCalls SystemOwn;          // the table as it was before the plan's entry went in

BOOL WINAPI PlannedWriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD done,
                             LPOVERLAPPED overlapped)
{
    int chunk = (int)(SystemOwn.SetFilePointer(file, 0, NULL, FILE_CURRENT) / kWriteChunk);
    if (chunk == 0)
        ++Plan.attempts;
    if (chunk == Plan.failChunk && Plan.attempts <= Plan.failAttempts) {
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    if (chunk == 0 && Plan.attempts <= Plan.corruptAttempts && count > 0) {
        std::string wrong((const char*)buffer, count);
        wrong[0] = (char)(wrong[0] ^ 0xFF);
        return SystemOwn.WriteFile(file, wrong.data(), count, done, overlapped);
    }
    return SystemOwn.WriteFile(file, buffer, count, done, overlapped);
}

// The plan's entry in the table while it lives; the test's own writes
// outside it pass.
struct PlannedWrites {
    PlannedWrites()
    {
        SystemOwn = Sys;
        Sys.WriteFile = PlannedWriteFile;
    }
    ~PlannedWrites() { Sys = SystemOwn; }
};

class PlacementTest : public ScratchTest {
protected:
    void SetUp() override
    {
        ScratchTest::SetUp();
        ResizeMessageTable(kMessageCount, 1, String());
        SetMessage(MsgCannotCreateDir, 0, String("Unable to create directory"));
        SetMessage(MsgErrorLinePrefix, 0, String("Unable to write"));
        SelectMessageLanguage(0);
        // The table of cases runs SetUp again for each case.
        description_.productFlags = 0;
        run_.restartNeeded = 0;
        run_.errorText.Clear();
        run_.fileReportText.Clear();
        run_.sharedFileList.Clear();
        ClearShortcutRequests(run_);
        ClearUninstallList(run_.uninstallList);
        run_.isReinstall = 0;
        run_.previousSharedFiles.Clear();
        Plan = FaultPlan();
        retryLog_.Clear();
        SetRetryLog(&retryLog_);
        run_.installDirectory = Path("install");
        run_.uninstallDirectory = Path("install\\uninst");
        run_.sharedDirectory = Path("shared");
        ASSERT_TRUE(CreateDirectoryPath(run_.uninstallDirectory.CStr()));
        ASSERT_TRUE(CreateDirectoryPath(run_.sharedDirectory.CStr()));
    }

    void TearDown() override
    {
        SetRetryLog(nullptr);
        ScratchTest::TearDown();
    }

    bool Write(const String& path, const std::string& data, const DateTime& time = kNoTime)
    {
        PlannedWrites planned;
        return WriteInstalledFile(run_, path.CStr(), (const uint8_t*)data.data(),
                                  (int32_t)data.size(), time, run_.errorText);
    }

    // The lines the attempts after failed ones leave in the retry log.
    static std::string Retries(const String& path, int count, unsigned long error)
    {
        std::string line = "Retrying write of " + Text(path) + " (error " + std::to_string(error)
                           + ")\r\n";
        std::string lines;
        for (int i = 0; i < count; ++i)
            lines += line;
        return lines;
    }

    // The run of each test, over a description and an archive of its own.
    OpenedArchive archive_;
    DescriptionFields description_;
    InstallRun run_{description_, archive_};
    String retryLog_;

    static std::string ErrorLine(const String& path)
    {
        return "Unable to write " + Text(path) + "\r\n";
    }
};

// ---------------------------------------------------------------------------
// WriteInstalledFile

TEST_F(PlacementTest, WriteThatFailsPartWayKeepsTheEarlierCopy)
{
    String path = MakeFile("app.exe", String("the earlier copy"));
    std::string data = Pattern(200 * 1024, 1);      // four chunks; the second fails
    Plan.failChunk = 1;
    Plan.failAttempts = 3;
    EXPECT_FALSE(Write(path, data));
    EXPECT_EQ(3, Plan.attempts);
    EXPECT_EQ(ErrorLine(path), Text(run_.errorText));
    EXPECT_EQ(Retries(path, 2, ERROR_DISK_FULL), Text(retryLog_));
    EXPECT_EQ("the earlier copy", Text(Contents(path)));
    EXPECT_EQ(std::vector<std::string>({"app.exe", "install", "shared"}), Listing(dir_));
}

TEST_F(PlacementTest, WriteThatFailsOnceSucceedsOnTheNextAttempt)
{
    String path = MakeFile("app.exe", String("the earlier copy"));
    std::string data = Pattern(200 * 1024, 2);
    Plan.failChunk = 2;
    Plan.failAttempts = 1;
    EXPECT_TRUE(Write(path, data));
    EXPECT_EQ(2, Plan.attempts);
    EXPECT_EQ("", Text(run_.errorText));
    EXPECT_EQ(Retries(path, 1, ERROR_DISK_FULL), Text(retryLog_));
    EXPECT_TRUE(HoldsBytes(path, data));
    EXPECT_EQ(std::vector<std::string>({"app.exe", "install", "shared"}), Listing(dir_));
}

TEST_F(PlacementTest, WriteMakesNewAndEmptyFiles)
{
    EXPECT_TRUE(Write(Path("new.dat"), "fresh"));
    EXPECT_EQ("fresh", Text(Contents(Path("new.dat"))));
    EXPECT_TRUE(Write(Path("empty.dat"), ""));
    EXPECT_TRUE(Exists(Path("empty.dat")));
    EXPECT_EQ("", Text(Contents(Path("empty.dat"))));
    MakeFile("shrinks.dat", String("a longer earlier copy"));
    EXPECT_TRUE(Write(Path("shrinks.dat"), "short"));
    EXPECT_EQ("short", Text(Contents(Path("shrinks.dat"))));
    EXPECT_EQ("", Text(run_.errorText));
    EXPECT_EQ("", Text(retryLog_));
}

TEST_F(PlacementTest, WriteIntoAMissingDirectoryFailsWithItsLine)
{
    String path = Path("no such directory\\file.dat");
    EXPECT_FALSE(Write(path, "data"));
    EXPECT_EQ(ErrorLine(path), Text(run_.errorText));
    EXPECT_FALSE(Exists(Path("no such directory")));
}

TEST_F(PlacementTest, ReadOnlyDestinationIsKeptUnlessAttributesMayBeCleared)
{
    String path = MakeFile("locked.dll", String("read-only copy"));
    ASSERT_TRUE(SetReadOnly(path.CStr(), true));
    EXPECT_FALSE(Write(path, "new data"));
    EXPECT_EQ(3, Plan.attempts);
    EXPECT_EQ(ErrorLine(path), Text(run_.errorText));
    EXPECT_EQ(Retries(path, 2, ERROR_ACCESS_DENIED), Text(retryLog_));
    EXPECT_EQ("read-only copy", Text(Contents(path)));
    EXPECT_TRUE(IsReadOnlyFile(path));
    EXPECT_EQ(std::vector<std::string>({"install", "locked.dll", "shared"}), Listing(dir_));

    run_.errorText.Clear();
    retryLog_.Clear();
    Plan = FaultPlan();
    description_.productFlags = PfClearAttributes;
    EXPECT_TRUE(Write(path, "new data"));
    EXPECT_EQ(2, Plan.attempts);                    // cleared after the first failure
    EXPECT_EQ("", Text(run_.errorText));
    EXPECT_EQ(Retries(path, 1, ERROR_ACCESS_DENIED), Text(retryLog_));
    EXPECT_EQ("new data", Text(Contents(path)));
    EXPECT_FALSE(IsReadOnlyFile(path));
    EXPECT_EQ(std::vector<std::string>({"install", "locked.dll", "shared"}), Listing(dir_));
}

TEST_F(PlacementTest, VerifiedWritesCatchWhatTheDeviceChanged)
{
    String path = MakeFile("app.exe", String("the earlier copy"));
    std::string data = Pattern(100 * 1024, 3);

    // Unverified, a corrupted write goes unnoticed.
    Plan.corruptAttempts = 1;
    EXPECT_TRUE(Write(path, data));
    EXPECT_FALSE(HoldsBytes(path, data));

    // Verified, it counts as a failed attempt and the next one is made.
    description_.productFlags = PfVerifyWrites;
    MakeFile("app.exe", String("the earlier copy"));
    Plan = FaultPlan();
    Plan.corruptAttempts = 1;
    EXPECT_TRUE(Write(path, data));
    EXPECT_EQ(2, Plan.attempts);
    EXPECT_TRUE(HoldsBytes(path, data));
    EXPECT_EQ("", Text(run_.errorText));
    EXPECT_EQ(Retries(path, 1, ERROR_CRC), Text(retryLog_));

    // Three differences: the earlier copy stays.
    MakeFile("app.exe", String("the earlier copy"));
    Plan = FaultPlan();
    retryLog_.Clear();
    Plan.corruptAttempts = 3;
    EXPECT_FALSE(Write(path, data));
    EXPECT_EQ(3, Plan.attempts);
    EXPECT_EQ(Retries(path, 2, ERROR_CRC), Text(retryLog_));
    EXPECT_EQ(ErrorLine(path), Text(run_.errorText));
    EXPECT_EQ("the earlier copy", Text(Contents(path)));
    EXPECT_EQ(std::vector<std::string>({"app.exe", "install", "shared"}), Listing(dir_));
}

TEST_F(PlacementTest, WriteSetsTheRecordedTime)
{
    String path = MakeFile("timed.dll", String("old"));
    SetFileTimeTo(path, kLate);
    EXPECT_TRUE(Write(path, Pattern(70 * 1024, 4), kEarly));
    EXPECT_EQ(kEarly, FileTimeOf(path));

    // No time: the file keeps the time of its writing.
    EXPECT_TRUE(Write(path, "untimed"));
    EXPECT_GT(FileTimeOf(path).year, 2010);
}

// ---------------------------------------------------------------------------
// IsOutOfDate

TEST_F(PlacementTest, IsOutOfDateComparesWithTheExistingTime)
{
    String path = MakeFile("dated.dll", String("x"));
    SetFileTimeTo(path, kExistingTime);
    DateTime secondLater = kExistingTime;
    secondLater.second += 1;
    const struct {
        const char* label;
        const char* file;
        DateTime time;
        bool outOfDate;
    } cases[] = {
        {"no time", "dated.dll", kNoTime, true},
        {"missing file", "missing.dll", kLate, true},
        {"existing earlier", "dated.dll", kLate, true},
        {"one second earlier", "dated.dll", secondLater, true},
        {"equal", "dated.dll", kExistingTime, false},
        {"existing later", "dated.dll", kEarly, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.outOfDate, IsOutOfDate(Path(c.file).CStr(), c.time)) << c.label;

    // A file that another program holds without sharing cannot be read.
    HANDLE held = CreateFileA(path.CStr(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_TRUE(IsOutOfDate(path.CStr(), kEarly));
    CloseHandle(held);
}

// ---------------------------------------------------------------------------
// UpdateSharedCounts

const char kSharedDlls[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

// The count of `name` in SharedDLLs, -1 when there is no such value.
long SharedCountOf(const String& name)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharedDlls, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return -1;
    DWORD type = 0, value = 0, size = sizeof value;
    LONG result = RegQueryValueExA(key, name.CStr(), NULL, &type, (BYTE*)&value, &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS)
        return -1;
    EXPECT_EQ((DWORD)REG_DWORD, type) << name.CStr();
    return (long)value;
}

void DeleteSharedCount(const String& name)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharedDlls, 0, KEY_WRITE, &key) != ERROR_SUCCESS)
        return;
    RegDeleteValueA(key, name.CStr());
    RegCloseKey(key);
}

TEST_F(PlacementTest, SharedCountsOverInstallReinstallAndASecondProduct)
{
    String common = Path("common.dll");             // unique to this process
    String system = Path("system.dll");
    description_.productFlags = PfUninstallSupport;

    // The first product: one shared file and one system file.
    run_.sharedFileList.AddTail(common);
    run_.sharedFileList.AddTail(system + " ");
    UpdateSharedCounts(run_);
    EXPECT_EQ(1, SharedCountOf(common));
    EXPECT_EQ(1, SharedCountOf(system));
    String firstList = run_.previousSharedFiles;
    EXPECT_EQ("\"" + Text(common) + "\";\"" + Text(system) + " \"", Text(firstList));

    // A second product shares one of them.
    run_.sharedFileList.Clear();
    run_.sharedFileList.AddTail(common);
    run_.previousSharedFiles.Clear();
    UpdateSharedCounts(run_);
    EXPECT_EQ(2, SharedCountOf(common));
    EXPECT_EQ("\"" + Text(common) + "\"", Text(run_.previousSharedFiles));

    // The first product installed again, now without the system file: its
    // earlier counts are taken back before this run's are added.
    run_.isReinstall = 1;
    run_.previousSharedFiles = firstList;
    UpdateSharedCounts(run_);
    EXPECT_EQ(2, SharedCountOf(common));
    EXPECT_EQ(-1, SharedCountOf(system));
    EXPECT_EQ("\"" + Text(common) + "\"", Text(run_.previousSharedFiles));
    EXPECT_EQ("", Text(run_.errorText));

    // Without uninstall support nothing is counted.
    description_.productFlags = 0;
    run_.isReinstall = 0;
    UpdateSharedCounts(run_);
    EXPECT_EQ(2, SharedCountOf(common));

    DeleteSharedCount(common);
    DeleteSharedCount(system);
    EXPECT_EQ(-1, SharedCountOf(common));
}

TEST_F(PlacementTest, EmptySharedListLeavesAnEmptyText)
{
    description_.productFlags = PfUninstallSupport;
    run_.previousSharedFiles = "stale";
    UpdateSharedCounts(run_);
    EXPECT_EQ("", Text(run_.previousSharedFiles));
}

// ---------------------------------------------------------------------------
// PlaceFile over a file-data block built here

struct Record {
    std::string name;
    int32_t kind = DestInstall;
    int32_t flags = 0;
    std::string data;
    DateTime time;
    std::string text;
    std::string icon;
};

void PutInt(std::string& out, int32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back((char)((uint32_t)value >> (8 * i)));
}

// One record as the builder writes it.
std::string EncodeRecord(const Record& r)
{
    std::string out = r.name;
    out.push_back('\0');
    PutInt(out, r.kind);
    PutInt(out, r.flags);
    out += r.data;
    PutInt(out, (int32_t)Checksum((const uint8_t*)r.data.data(), (int32_t)r.data.size()));
    for (int32_t field : {r.time.year, r.time.month, r.time.day, r.time.hour, r.time.minute,
                          r.time.second})
        PutInt(out, field);
    out += r.text;
    out.push_back('\0');
    if (r.flags & (FfDesktopShortcut | FfProgramsShortcut)) {
        out += r.icon;
        out.push_back('\0');
    }
    return out;
}

// The block and the stored sizes behind the archive cursor.
struct Block {
    std::string bytes;
    std::vector<int32_t> sizes;

    void Load(InstallRun& run, DescriptionFields& description, const std::vector<Record>& records)
    {
        bytes.clear();
        sizes.clear();
        for (const Record& r : records) {
            bytes += EncodeRecord(r);
            sizes.push_back((int32_t)r.data.size());
        }
        description.storedSizes = sizes.data();
        description.fileCount = (int32_t)sizes.size();
        run.archiveCursor.next = (const uint8_t*)bytes.data();
        run.archiveCursor.end = run.archiveCursor.next + bytes.size();
    }
};

class PlaceFileTest : public PlacementTest {
protected:
    // Places every record of the block; the cursor must end at the end.
    void PlaceAll(const std::vector<Record>& records)
    {
        block_.Load(run_, description_, records);
        PlannedWrites planned;
        for (int i = 0; i < description_.fileCount; ++i)
            PlaceFile(run_, i);
        EXPECT_EQ(run_.archiveCursor.end, run_.archiveCursor.next);
    }

    // "$I", "$U", "$S" and "$W" stand for the install, uninstall, shared
    // and system directories.
    std::string Expand(std::string text) const
    {
        const std::pair<std::string, std::string> tokens[] = {
            {"$U", Text(run_.uninstallDirectory)}, {"$I", Text(run_.installDirectory)},
            {"$S", Text(run_.sharedDirectory)}, {"$W", Text(GetSystemDirectoryString())}};
        for (const auto& token : tokens)
            for (size_t at; (at = text.find(token.first)) != std::string::npos;)
                text.replace(at, token.first.size(), token.second);
        return text;
    }

    std::string SharedListText()
    {
        std::string text;
        CollectionIterator it;
        for (String* entry = run_.sharedFileList.First(it); entry; entry = run_.sharedFileList.Next(it))
            text += (text.empty() ? "" : "|") + Text(*entry);
        return text;
    }

    Block block_;

    void TearDown() override
    {
        description_.storedSizes = nullptr;     // the block's, not the record's
        PlacementTest::TearDown();
    }
};

enum class Existing { None, Plain, Version200 };

struct PlaceCase {
    const char* label;
    uint32_t productFlags;
    int32_t kind;
    int32_t flags;
    const char* name;
    const char* text;           // version text of system files
    DateTime time;              // the record's
    Existing existing;          // the destination before, with kExistingTime
    const char* destination;
    bool placed;                // the destination holds the record's data after
    const char* report;         // run_.fileReportText
    const char* list;           // UninstallListText
    const char* shared;         // run_.sharedFileList, joined by "|"
    const char* errors;         // run_.errorText
};

const char kUpToDate[] = " is up to date.\r\n";

const PlaceCase kPlaceCases[] = {
    // Install directory: overwrite mode only, listed for removal.
    {"install, new", 0, DestInstall, 0, "a.txt", "", kLate, Existing::None,
     "$I\\a.txt", true, "", "$I\\a.txt\r\n", "", ""},
    {"install, subdirectories", 0, DestInstall, 0, "sub\\deep\\a.txt", "", kLate, Existing::None,
     "$I\\sub\\deep\\a.txt", true, "", "~$I\\sub\\deep\r\n$I\\sub\\deep\\a.txt\r\n", "", ""},
    {"install, no date test", 0, DestInstall, 0, "a.txt", "", kEarly, Existing::Plain,
     "$I\\a.txt", true, "", "$I\\a.txt\r\n", "", ""},
    {"update only, missing", 0, DestInstall, FfUpdateOnly, "a.txt", "", kLate, Existing::None,
     "$I\\a.txt", false, "", "", "", ""},
    {"update only, existing", 0, DestInstall, FfUpdateOnly, "a.txt", "", kEarly, Existing::Plain,
     "$I\\a.txt", true, "", "$I\\a.txt\r\n", "", ""},
    // Found in place, and no earlier record of the product lists it: not
    // the product's (one that does: CursorMovesOverPlacedAndSkippedRecords).
    {"keep existing", 0, DestInstall, FfKeepExisting, "a.txt", "", kLate, Existing::Plain,
     "$I\\a.txt", false, "", "", "", ""},
    {"keep existing, missing", 0, DestInstall, FfKeepExisting, "a.txt", "", kLate, Existing::None,
     "$I\\a.txt", true, "", "$I\\a.txt\r\n", "", ""},
    {"keep existing, permanent", 0, DestInstall, FfKeepExisting | FfPermanent, "a.txt", "", kLate,
     Existing::Plain, "$I\\a.txt", true, "", "", "", ""},
    {"permanent, subdirectory", 0, DestInstall, FfPermanent, "sub\\a.txt", "", kLate,
     Existing::None, "$I\\sub\\a.txt", true, "", "", "", ""},
    {"no uninstall list", PfNoUninstallList, DestInstall, 0, "sub\\a.txt", "", kLate,
     Existing::None, "$I\\sub\\a.txt", true, "", "", "", ""},
    {"startup", 0, DestInstallStartup, 0, "a.exe", "", kLate, Existing::None,
     "$I\\a.exe", true, "", "$I\\a.exe\r\n", "", ""},
    {"uninstall directory", 0, DestInstall, FfToUninstallDir, "a.txt", "", kLate, Existing::None,
     "$U\\a.txt", true, "", "$U\\a.txt\r\n", "", ""},
    {"uninstall directory, no subdirectories", 0, DestInstall, FfToUninstallDir, "sub\\a.txt", "",
     kLate, Existing::None, "$U\\sub\\a.txt", false, "", "$U\\sub\\a.txt\r\n", "",
     "Unable to write $U\\sub\\a.txt\r\n"},
    {"report lines", PfLogFileLines, DestInstall, 0, "sub\\a.txt", "", kLate, Existing::None,
     "$I\\sub\\a.txt", true, "sub\\a.txt -> $I\\sub\\a.txt\r\n",
     "~$I\\sub\r\n$I\\sub\\a.txt\r\n", "", ""},

    // Shared files: by date, counted.
    {"shared, new", 0, DestShared, 0, "a.dll", "", kLate, Existing::None,
     "$S\\a.dll", true, "", "", "$S\\a.dll", ""},
    {"shared, older copy", 0, DestShared, 0, "a.dll", "", kLate, Existing::Plain,
     "$S\\a.dll", true, "$S\\a.dll is out of date and will be replaced.\r\n", "", "$S\\a.dll", ""},
    {"shared, same time", 0, DestShared, 0, "a.dll", "", kExistingTime, Existing::Plain,
     "$S\\a.dll", false, "$S\\a.dll is up to date.\r\n", "", "$S\\a.dll", ""},
    {"shared, newer copy", PfLogFileLines, DestShared, 0, "a.dll", "", kEarly, Existing::Plain,
     "$S\\a.dll", false, "$S\\a.dll is up to date.\r\n", "", "$S\\a.dll", ""},
    {"shared, no time", 0, DestShared, 0, "a.dll", "", kNoTime, Existing::Plain,
     "$S\\a.dll", true, "$S\\a.dll is out of date and will be replaced.\r\n", "", "$S\\a.dll", ""},
    {"shared, permanent", 0, DestShared, FfPermanent, "a.dll", "", kLate, Existing::None,
     "$S\\a.dll", true, "", "", "$S\\a.dll ", ""},
    {"shared, keep existing goes by date", 0, DestShared, FfKeepExisting, "a.dll", "", kLate,
     Existing::Plain, "$S\\a.dll", true, "$S\\a.dll is out of date and will be replaced.\r\n", "",
     "$S\\a.dll", ""},
    {"shared, update only, missing", 0, DestShared, FfUpdateOnly, "a.dll", "", kLate,
     Existing::None, "$S\\a.dll", false, "", "", "$S\\a.dll", ""},
    {"shared, logged", PfLogFileLines, DestShared, 0, "a.dll", "", kLate, Existing::Plain,
     "$S\\a.dll", true,
     "$S\\a.dll is out of date and will be replaced.\r\na.dll -> $S\\a.dll\r\n", "", "$S\\a.dll",
     ""},

    // System files (here in the uninstall directory, while their shared-list
    // entry names the system directory): by version, then by date.
    {"system, 2.0 over 2.00", 0, DestSystem, FfToUninstallDir, "v.dll", "2.0", kLate,
     Existing::Version200, "$U\\v.dll", false,
     "$U\\v.dll was not installed because its version is not newer.\r\n", "", "$W\\v.dll ", ""},
    {"system, older version", 0, DestSystem, FfToUninstallDir, "v.dll", "1.9", kLate,
     Existing::Version200, "$U\\v.dll", false,
     "$U\\v.dll was not installed because its version is not newer.\r\n", "", "$W\\v.dll ", ""},
    {"system, newer version and date", 0, DestSystem, FfToUninstallDir, "v.dll", "2.1", kLate,
     Existing::Version200, "$U\\v.dll", true,
     "$U\\v.dll is out of date and will be replaced.\r\n", "", "$W\\v.dll ", ""},
    {"system, newer version, older date", 0, DestSystem, FfToUninstallDir, "v.dll", "2.1", kEarly,
     Existing::Version200, "$U\\v.dll", false,
     "$U\\v.dll was not installed because its date is not newer.\r\n", "", "$W\\v.dll ", ""},
    {"system, same date", 0, DestSystem, FfToUninstallDir, "v.dll", "2.1", kExistingTime,
     Existing::Version200, "$U\\v.dll", false,
     "$U\\v.dll was not installed because its date is not newer.\r\n", "", "$W\\v.dll ", ""},
    {"system, no version resource", 0, DestSystem, FfToUninstallDir, "v.dll", "0.1", kLate,
     Existing::Plain, "$U\\v.dll", true,
     "$U\\v.dll is out of date and will be replaced.\r\n", "", "$W\\v.dll ", ""},
    {"system, no version resource, older date", 0, DestSystem, FfToUninstallDir, "v.dll", "9.9",
     kEarly, Existing::Plain, "$U\\v.dll", false,
     "$U\\v.dll was not installed because its date is not newer.\r\n", "", "$W\\v.dll ", ""},
    {"system, no version in the record", 0, DestSystem, FfToUninstallDir, "v.dll", "", kLate,
     Existing::Version200, "$U\\v.dll", true,
     "$U\\v.dll is out of date and will be replaced.\r\n", "", "$W\\v.dll ", ""},
    {"system, no time", 0, DestSystem, FfToUninstallDir, "v.dll", "2.1", kNoTime,
     Existing::Version200, "$U\\v.dll", false,
     "$U\\v.dll was not installed because its date is not newer.\r\n", "", "$W\\v.dll ", ""},
    {"system, new", 0, DestSystem, FfToUninstallDir, "v.dll", "2.1", kLate, Existing::None,
     "$U\\v.dll", true, "", "", "$W\\v.dll ", ""},

    // Fonts (here in the uninstall directory): by date.
    {"font, new (a pattern, which the system refuses as a font)", 0, DestFont, FfToUninstallDir,
     "f.ttf", "Face", kLate, Existing::None, "$U\\f.ttf", true, "", "", "",
     "Unable to write $U\\f.ttf\r\n"},
    {"font, newer copy", 0, DestFont, FfToUninstallDir, "f.ttf", "Face", kEarly, Existing::Plain,
     "$U\\f.ttf", false, "$U\\f.ttf is up to date.\r\n", "", "", ""},
};

TEST_F(PlaceFileTest, TableOfTypesModesAndDecisions)
{
    const std::string versioned = ModuleDirectoryPath("placement_version_200.dll");
    String versionedCopy;
    ASSERT_TRUE(ReadFileToString(versioned.c_str(), versionedCopy)) << versioned;
    ASSERT_EQ("2.00", Text(FileVersionText(versioned.c_str(), 0)));

    for (const PlaceCase& c : kPlaceCases) {
        SCOPED_TRACE(c.label);
        if (&c != kPlaceCases) {
            TearDown();
            SetUp();
        }
        description_.productFlags = c.productFlags;
        String destination = Expand(c.destination).c_str();
        String before;
        if (c.existing != Existing::None) {
            before = c.existing == Existing::Plain ? String("the earlier copy") : versionedCopy;
            ASSERT_TRUE(WriteFileFromString(destination.CStr(), before));
            SetFileTimeTo(destination, kExistingTime);
        }
        Record record;
        record.name = c.name;
        record.kind = c.kind;
        record.flags = c.flags;
        record.data = Pattern(3000, (int)(&c - kPlaceCases));
        record.time = c.time;
        record.text = c.text;
        PlaceAll({record});

        if (c.placed) {
            EXPECT_TRUE(HoldsBytes(destination, record.data));
            if (c.time.month != 0) {
                EXPECT_EQ(c.time, FileTimeOf(destination));
            }
        } else if (c.existing != Existing::None) {
            EXPECT_EQ(Text(before), Text(Contents(destination)));
        } else {
            EXPECT_FALSE(Exists(destination));
        }
        EXPECT_EQ(Expand(c.report), Text(run_.fileReportText));
        EXPECT_EQ(Expand(c.list), Text(run_.uninstallList.text));
        EXPECT_EQ(Expand(c.shared), SharedListText());
        EXPECT_EQ(Expand(c.errors), Text(run_.errorText));
        EXPECT_EQ(nullptr, run_.shortcutRequests);
        EXPECT_EQ(0u, ProductFlagsOf(run_) & PfRebootNeeded);
    }
}

TEST_F(PlaceFileTest, CursorMovesOverPlacedAndSkippedRecords)
{
    MakeFile("install\\kept.txt", String("kept"));
    // An earlier installation wrote it: it stays the product's.
    run_.previousRecord = Expand("$I\\kept.txt\r\n\r\n\r\n[Strings]\r\n").c_str();
    Record skipped{"missing.txt", DestInstall, FfUpdateOnly, "never written", kLate, "", ""};
    Record kept{"kept.txt", DestInstall, FfKeepExisting, "not this", kLate, "", ""};
    Record shortcut{"app.exe", DestInstall, FfDesktopShortcut, "program", kLate, "App", "app.ico"};
    Record plain{"sub\\b.txt", DestInstall, 0, std::string("zero\0byte", 9), kNoTime, "", ""};
    PlaceAll({skipped, kept, shortcut, plain});
    EXPECT_FALSE(Exists(Path("install\\missing.txt")));
    EXPECT_EQ("kept", Text(Contents(Path("install\\kept.txt"))));
    EXPECT_EQ("program", Text(Contents(Path("install\\app.exe"))));
    EXPECT_EQ(std::string("zero\0byte", 9), Text(Contents(Path("install\\sub\\b.txt"))));
    EXPECT_EQ(Expand("$I\\kept.txt\r\n$I\\app.exe\r\n~$I\\sub\r\n$I\\sub\\b.txt\r\n"),
              Text(run_.uninstallList.text));
}

TEST_F(PlaceFileTest, ShortcutRequestsOfInstallDirectoryFiles)
{
    Record desktop{"a.exe", DestInstall, FfDesktopShortcut, "a", kLate, "A", ""};
    Record both{"b.exe", DestInstallStartup, FfDesktopShortcut | FfProgramsShortcut, "b", kLate,
                "B", "b.ico"};
    Record startupOnly{"c.exe", DestInstallStartup, 0, "c", kLate, "C", ""};
    Record shared{"d.dll", DestShared, FfProgramsShortcut, "d", kLate, "D", "d.ico"};
    Record skipped{"e.exe", DestInstall, FfUpdateOnly | FfDesktopShortcut, "e", kLate, "E", ""};
    PlaceAll({desktop, both, startupOnly, shared, skipped});
    ASSERT_NE(nullptr, run_.shortcutRequests);
    ASSERT_NE(nullptr, run_.shortcutRequests->next);
    ASSERT_EQ(nullptr, run_.shortcutRequests->next->next);
    const ShortcutRequest& first = *run_.shortcutRequests;
    EXPECT_EQ(Text(Path("install\\a.exe")), Text(first.target));
    EXPECT_EQ("A", Text(first.name));
    EXPECT_EQ("", Text(first.icon));
    EXPECT_EQ(1, first.desktop);
    EXPECT_EQ(0, first.programs);
    EXPECT_EQ(0, first.startup);
    const ShortcutRequest& second = *first.next;
    EXPECT_EQ(Text(Path("install\\b.exe")), Text(second.target));
    EXPECT_EQ("B", Text(second.name));
    EXPECT_EQ(Text(Path("install\\uninst\\b.ico")), Text(second.icon));
    EXPECT_EQ(1, second.desktop);
    EXPECT_EQ(1, second.programs);
    EXPECT_EQ(1, second.startup);
}

TEST_F(PlaceFileTest, FontsAndSystemFilesGoToTheirFolders)
{
    String unique = String::Formatted("velt-placement-%lu", GetCurrentProcessId());
    String fontName = unique + ".fon";
    String systemName = unique + ".dll";
    String font = PathJoin(FontsFolder().CStr(), fontName.CStr());
    String system = PathJoin(GetSystemDirectoryString().CStr(), systemName.CStr());
    description_.productFlags = PfLogFileLines;
    Record fontRecord{fontName.CStr(), DestFont, 0, "font data", kLate, "Face", ""};
    Record systemRecord{systemName.CStr(), DestSystem, 0, "system data", kLate, "1.0", ""};
    PlaceAll({fontRecord, systemRecord});
    EXPECT_EQ("font data", Text(Contents(font)));
    EXPECT_EQ("system data", Text(Contents(system)));
    EXPECT_EQ(Text(fontName) + " -> " + Text(font) + "\r\n" + Text(systemName) + " -> "
                  + Text(system) + "\r\n",
              Text(run_.fileReportText));
    EXPECT_EQ(Text(system) + " ", SharedListText());
    EXPECT_EQ("", Text(run_.uninstallList.text));
    DeleteFileA(font.CStr());
    DeleteFileA(system.CStr());
}

// The system's list of replacements at the next start, kept so that the
// test can put it back.
const char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";
const char kPendingRenames[] = "PendingFileRenameOperations";

std::string ReadPendingRenames(bool* present)
{
    HKEY key;
    *present = false;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "";
    DWORD size = 0;
    std::string value;
    if (RegQueryValueExA(key, kPendingRenames, NULL, NULL, NULL, &size) == ERROR_SUCCESS) {
        value.resize(size);
        RegQueryValueExA(key, kPendingRenames, NULL, NULL, (BYTE*)value.data(), &size);
        value.resize(size);
        *present = true;
    }
    RegCloseKey(key);
    return value;
}

void RestorePendingRenames(bool present, const std::string& value)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_WRITE, &key));
    if (present)
        RegSetValueExA(key, kPendingRenames, 0, REG_MULTI_SZ, (const BYTE*)value.data(),
                       (DWORD)value.size());
    else
        RegDeleteValueA(key, kPendingRenames);
    RegCloseKey(key);
}

// The one entry of `dir` whose name starts with "QDT".
String TemporaryFileIn(const String& dir)
{
    String found;
    for (const std::string& name : Listing(dir))
        if (name.compare(0, 3, "QDT") == 0) {
            EXPECT_TRUE(found.IsEmpty()) << name;
            found = PathJoin(dir.CStr(), name.c_str());
        }
    return found;
}

TEST_F(PlaceFileTest, FilesInUseAreReplacedAtTheNextStart)
{
    ASSERT_TRUE(IsWindowsNT());
    bool hadRenames = false;
    std::string renames = ReadPendingRenames(&hadRenames);
    description_.productFlags = PfLogFileLines;
    String target = MakeFile("shared\\busy.dll", String("in use"));
    SetFileTimeTo(target, kExistingTime);
    HANDLE held = CreateFileA(target.CStr(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0,
                              NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);

    // MoveFileEx not linked yet: the data waits in the temporary file and
    // the failure is reported.
    Record busy{"busy.dll", DestShared, 0, "new version", kLate, "", ""};
    PlaceAll({busy});
    // Staged beside its target, where only those who may replace the
    // target can reach it, and on its volume.
    String besideTarget = PathDirectory(target.CStr());
    EXPECT_TRUE(TemporaryFileIn(run_.installDirectory).IsEmpty());
    String temporary = TemporaryFileIn(besideTarget);
    ASSERT_FALSE(temporary.IsEmpty());
    EXPECT_EQ("new version", Text(Contents(temporary)));
    EXPECT_EQ(kLate, FileTimeOf(temporary));
    EXPECT_NE(0u, ProductFlagsOf(run_) & PfRebootNeeded);
    EXPECT_EQ("Failed to install " + Text(target)
                  + " because MoveFileEx could not be linked from KERNEL32.DLL\r\n",
              Text(run_.errorText));
    String shortTemporary = GetShortPath(temporary.CStr());
    EXPECT_EQ(Text(target) + " is out of date and will be replaced.\r\nbusy.dll -> "
                  + Text(shortTemporary) + "\r\n",
              Text(run_.fileReportText));
    DeleteFileA(temporary.CStr());

    // Linked: the system takes the replacement over.
    LinkMoveFileEx();
    run_.errorText.Clear();
    run_.fileReportText.Clear();
    description_.productFlags = 0;
    run_.restartNeeded = 0;
    PlaceAll({busy});
    temporary = TemporaryFileIn(besideTarget);
    ASSERT_FALSE(temporary.IsEmpty());
    EXPECT_EQ("new version", Text(Contents(temporary)));
    EXPECT_EQ("", Text(run_.errorText));
    EXPECT_NE(0u, ProductFlagsOf(run_) & PfRebootNeeded);
    bool present = false;
    std::string pending = ReadPendingRenames(&present);
    EXPECT_TRUE(present);
    EXPECT_NE(std::string::npos, pending.find("busy.dll")) << pending;
    CloseHandle(held);
    EXPECT_EQ("in use", Text(Contents(target)));
    RestorePendingRenames(hadRenames, renames);
}

TEST_F(PlaceFileTest, InstallDirectoryFilesInUseAreNotDeferred)
{
    LinkMoveFileEx();
    String target = MakeFile("install\\busy.exe", String("in use"));
    HANDLE held = CreateFileA(target.CStr(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0,
                              NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    Record busy{"busy.exe", DestInstall, 0, "new version", kLate, "", ""};
    PlaceAll({busy});
    CloseHandle(held);
    EXPECT_EQ(3, Plan.attempts);
    EXPECT_EQ(ErrorLine(target), Text(run_.errorText));
    EXPECT_EQ(Retries(target, 2, ERROR_ACCESS_DENIED), Text(retryLog_));
    EXPECT_EQ("in use", Text(Contents(target)));
    EXPECT_EQ(0u, ProductFlagsOf(run_) & PfRebootNeeded);
    EXPECT_TRUE(TemporaryFileIn(run_.installDirectory).IsEmpty());
    EXPECT_EQ(Text(target) + "\r\n", Text(run_.uninstallList.text));    // listed before the write
}

TEST(WriteIniValue, WritesTheLineIntoTheSection)
{
    char temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathA(sizeof temp, temp));
    String name = String::Formatted("velt-ini-%lu.ini", GetCurrentProcessId());
    String ini = PathJoin(temp, name.CStr());
    EXPECT_TRUE(WriteIniValue("rename", "C:\\target.dll", "C:\\QDT1.TMP", ini.CStr()));
    char value[64];
    GetPrivateProfileStringA("rename", "C:\\target.dll", "", value, sizeof value, ini.CStr());
    EXPECT_STREQ("C:\\QDT1.TMP", value);
    DeleteFileA(ini.CStr());
}

// ---------------------------------------------------------------------------
// Damaged records end the program with their code: each runs in a child
// process, whose fatal report goes to stderr instead of a box.

void ExitWithFatalText(const char* text)
{
    fprintf(stderr, "%s\n", text);
    fflush(stderr);
    ExitProcess(7);
}

void PlaceFirstRecord(const std::string& bytes, int32_t size, uint32_t productFlags)
{
    FatalReportHook = ExitWithFatalText;
    ResizeMessageTable(kMessageCount, 1, String());
    OpenedArchive archive;
    DescriptionFields description;
    InstallRun run(description, archive);
    description.productFlags = productFlags;
    run.installDirectory = "C:\\velt placement test never made";
    int32_t sizes[] = {size};
    description.storedSizes = sizes;
    description.fileCount = 1;
    run.archiveCursor.next = (const uint8_t*)bytes.data();
    run.archiveCursor.end = run.archiveCursor.next + bytes.size();
    PlaceFile(run, 0);
    ExitProcess(0);
}

TEST(PlaceFileDeathTest, DamagedRecordsStopWithTheirCode)
{
    Record good{"a.txt", DestInstall, 0, "data", kLate, "", ""};
    Record emptyName = good;
    emptyName.name = "";
    Record unknownKind = good;
    unknownKind.kind = 2;
    Record invalidMode = good;
    invalidMode.flags = 0x04;
    std::string badSum = EncodeRecord(good);
    badSum[badSum.find("data") + 1] ^= 1;
    const struct {
        const char* label;
        std::string bytes;
        int32_t size;
        uint32_t productFlags;
        const char* text;       // what the report says; the exit code 0 when none
    } cases[] = {
        {"empty name", EncodeRecord(emptyName), 4, 0, "Error code: 70"},
        {"unknown destination type", EncodeRecord(unknownKind), 4, 0, "Error code: 110"},
        {"overwrite mode 4", EncodeRecord(invalidMode), 4, 0, "Error code: 112"},
        {"negative size", EncodeRecord(good), -4, 0, "Error code: 5"},
        {"record past the end", EncodeRecord(good), 400, 0, "Error code: 53"},
        {"checksum compared", badSum, 4, PfChecksums, "Error code: 100"},
    };
    for (const auto& c : cases)
        EXPECT_EXIT(PlaceFirstRecord(c.bytes, c.size, c.productFlags),
                    testing::ExitedWithCode(7), c.text) << c.label;
    // Without PfChecksums the sum is not compared, and the file is placed
    // (into a directory that is missing, so only its error line results).
    EXPECT_EXIT(PlaceFirstRecord(badSum, 4, 0), testing::ExitedWithCode(0), "");
}

}  // namespace
