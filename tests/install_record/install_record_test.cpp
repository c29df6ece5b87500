// The uninstall registration, Uninstall.DAT and the installation log
// against Wine's registry and files. The description's settings are set by
// hand, the run is automatic (no boxes), and each test has a scratch
// directory with blanks in its path and a product name of its own, whose
// registration key is removed before and after the test. Registry values
// are checked with the raw API.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "core/directory.h"
#include "core/file.h"
#include "core/format.h"
#include "core/paths.h"
#include "tests/file/scratch.h"
#include "archive/format.h"
#include "install/install_log.h"
#include "install/install_run.h"
#include "install/registration.h"
#include "product/uninstall_data.h"
#include "product/uninstall_record.h"
#include "system/digest.h"
#include "ui/background.h"
#include "ui/messages.h"

namespace {

std::string Text(const String& s)
{
    return std::string(s.CStr(), s.Length());
}

std::string Software(const String& keyPath)
{
    return "Software\\" + Text(keyPath);
}

void DeleteTree(HKEY root, const std::string& path)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        char name[300];
        while (RegEnumKeyA(key, 0, name, sizeof name) == ERROR_SUCCESS)
            DeleteTree(key, name);
        RegCloseKey(key);
    }
    RegDeleteKeyA(root, path.c_str());
}

// A value as the system holds it: its type and its bytes.
struct RawValue {
    DWORD type = REG_NONE;
    std::string bytes;
    bool operator==(const RawValue&) const = default;
};

void PrintTo(const RawValue& value, std::ostream* out)
{
    *out << "type " << value.type << " \"" << value.bytes << "\"";
}

RawValue Sz(const std::string& text)
{
    return RawValue{REG_SZ, text + std::string(1, '\0')};
}

RawValue Dword(DWORD value)
{
    return RawValue{REG_DWORD, std::string((const char*)&value, 4)};
}

// Every value of the key by name.
std::map<std::string, RawValue> ReadKey(const std::string& path)
{
    std::map<std::string, RawValue> values;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return values;
    for (DWORD i = 0;; i++) {
        char name[300];
        DWORD nameSize = sizeof name;
        BYTE data[4096];
        DWORD dataSize = sizeof data;
        DWORD type = 0;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize)
            != ERROR_SUCCESS)
            break;
        values[name] = RawValue{type, std::string((const char*)data, dataSize)};
    }
    RegCloseKey(key);
    return values;
}

void SetRawText(const std::string& path, const char* name, const char* text)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegSetValueExA(key, name, 0, REG_SZ, (const BYTE*)text, (DWORD)strlen(text) + 1);
    RegCloseKey(key);
}

const char kRegistrationError[] =
    "Unable to register the uninstall information.  Uninstall will not work properly.\r\n\r\n";

class InstallRecordTest : public ScratchTest {
protected:
    void SetUp() override
    {
        ScratchTest::SetUp();
        run_.installDirectory = Path("Program Files\\Velt Record");
        description_.uninstallSubdir = "Uninstall Files";
        run_.uninstallDirectory = PathJoin(run_.installDirectory.CStr(), description_.uninstallSubdir.CStr());
        ASSERT_TRUE(CreateDirectoryPath(run_.uninstallDirectory.CStr())) << run_.uninstallDirectory.CStr();

        run_.productName = String::Formatted("Velt Record Test %lu", GetCurrentProcessId());
        keyPath_ = Software(UninstallKeyPath(run_.productName.CStr()));
        DeleteTree(HKEY_LOCAL_MACHINE, keyPath_);

        run_.automaticMode = 1;
        SelectMessageLanguage(0);
        ResizeMessageTable(kMessageCount, 1, run_.productName);
        SetMessage(MsgProductTitle, 0, "<product> Setup");
        for (int n = 1; n < kMessageCount; n++)
            SetMessage(n, 0, String::Formatted("Message %d of <product>", n));
        SetMessage(MsgInstallCompleteCaption, 0, "Installation complete");

        description_.productFlags = PfUninstallSupport;
        description_.uninstallerName = "unvelt.exe";
        description_.displayName = "Velt Record";
        description_.displayVersion = "3.14b";
        description_.publisher = "Velt Co";
        description_.productRegistry = "Velt Co\\Record";
        description_.startMenuFolder = "Velt Co\\Velt Record";
        run_.sharedDirectory = "C:\\Program Files\\Common Files\\Velt Co";
        run_.fontList = "\"Velt Sans\" \"veltsans.ttf\" ";
        run_.previousSharedFiles = "\"C:\\windows\\system32\\veltone.dll\";\"C:\\velt\\two.dll \"";
        description_.uninstallBatch1 = "echo one";
        description_.uninstallBatch2 = "echo two";
        description_.archiveDate = DateTime{2021, 6, 15, 10, 20, 30};
        Background.titleColor = 0x112233;
        Background.topColor = 0x445566;
        Background.bottomColor = 0x778899;
        Background.monoColor = 0;

        ClearUninstallList(run_.uninstallList);
        run_.associationRecords.Clear();
        run_.errorText.Clear();
        run_.fileReportText.Clear();
    }

    void TearDown() override
    {
        DeleteTree(HKEY_LOCAL_MACHINE, keyPath_);
        ScratchTest::TearDown();
    }

    String LogPath() const { return PathJoin(run_.uninstallDirectory.CStr(), "Install.LOG"); }

    // Uninstall.DAT where the run writes it.
    String DataPath() const
    {
        return UninstallDataPath(run_.installDirectory.CStr(), description_.uninstallSubdir);
    }

    bool WriteData(const String& path)
    {
        return WriteUninstallData(path, run_.productName.CStr(), run_.uninstallList,
                                  run_.associationRecords);
    }

    std::string keyPath_;
    OpenedArchive archive_;
    DescriptionFields description_;
    InstallRun run_{description_, archive_};
};

// ------------------------------------------------------------ registration

TEST_F(InstallRecordTest, UninstallerPathAndArguments)
{
    EXPECT_EQ(Text(run_.uninstallDirectory) + "\\unvelt.exe", Text(UninstallerPath(run_)));
    EXPECT_EQ("/u:\"" + Text(run_.productName) + "\"", Text(UninstallArguments(run_)));
    EXPECT_EQ("Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + Text(run_.productName),
              Text(UninstallKeyPath(run_.productName.CStr())));
}

TEST_F(InstallRecordTest, RegistersEveryValueWithItsType)
{
    description_.productFlags = PfUninstallSupport | PfCustomColors | PfRebootNeeded;
    String image("MZ uninstaller image\0with a zero", 31);
    // 3,073 bytes of files: 4 KB in the list of programs.
    int32_t sizes[] = {1, 1024, 2048};
    description_.fileCount = 3;
    description_.storedSizes = sizes;
    RegisterUninstall(run_, image);
    description_.fileCount = 0;
    description_.storedSizes = nullptr;
    EXPECT_EQ("", Text(run_.errorText));

    std::map<std::string, RawValue> values = ReadKey(keyPath_);
    ASSERT_EQ(1u, values.count("InstallDate"));
    RawValue date = values["InstallDate"];
    values.erase("InstallDate");

    std::string uninstaller = "\"" + Text(UninstallerPath(run_)) + "\"";
    std::string arguments = "/u:\"" + Text(run_.productName) + "\"";
    std::map<std::string, RawValue> expected = {
        {"UninstallString", Sz(uninstaller + " " + arguments)},
        {"QuietUninstallString", Sz(uninstaller + " /a " + arguments)},
        {"DisplayName", Sz("Velt Record")},
        {"InstallSource", Sz(Text(OwnPathFromCommandLine(GetCommandLineA())))},
        {"DisplayVersion", Sz("3.14b")},
        {"Publisher", Sz("Velt Co")},
        {"InstallLocation", Sz(Text(run_.installDirectory))},
        {"VersionMajor", Dword(3)},
        {"VersionMinor", Dword(14)},
        {"ProductRegistry", Sz("Velt Co\\Record")},
        {"ProductStartMenu", Sz("Velt Co\\Velt Record")},
        {"SharedPath", Sz("C:\\Program Files\\Common Files\\Velt Co")},
        {"ProductFonts", Sz("\"Velt Sans\" \"veltsans.ttf\" ")},
        {"ProductFlags", Dword(PfUninstallSupport | PfCustomColors | PfRebootNeeded)},
        {"UninstallBatch1", Sz("echo one")},
        {"UninstallBatch2", Sz("echo two")},
        {"SharedFiles", Sz("\"C:\\windows\\system32\\veltone.dll\";\"C:\\velt\\two.dll \"")},
        {"UninstallSubdir", Sz("Uninstall Files")},
        {"DisplayTitle", Sz(Text(run_.productName) + " Setup")},
        {"TitleColor", Dword(0x112233)},
        {"TopColor", Dword(0x445566)},
        {"BottomColor", Dword(0x778899)},
        {"MonoColor", Dword(0)},
        {"DisplayIcon", Sz(Text(UninstallerPath(run_)))},
        {"EstimatedSize", Dword(4)},
        {"NoModify", Dword(1)},
        {"NoRepair", Dword(1)},
    };
    for (const auto& [name, value] : expected)
        EXPECT_EQ(value, values[name]) << name;
    std::set<std::string> names, expectedNames;
    for (const auto& entry : values)
        names.insert(entry.first);
    for (const auto& entry : expected)
        expectedNames.insert(entry.first);
    EXPECT_EQ(expectedNames, names);

    // Today as YYYYMMDD, the form the list of programs reads.
    DateTime now = LocalDateTimeNow();
    char today[16];
    snprintf(today, sizeof today, "%04d%02d%02d", (int)now.year, (int)now.month, (int)now.day);
    EXPECT_EQ(Sz(today), date);

    // The uninstaller: the image, dated as the archive.
    EXPECT_EQ(Text(image), Text(Contents(UninstallerPath(run_))));
    DateTime time;
    ASSERT_TRUE(GetFileTimeByName(UninstallerPath(run_).CStr(), &time));
    EXPECT_EQ(0, time.Compare(description_.archiveDate));
}

TEST_F(InstallRecordTest, QuotedUninstallStringsStartTheUninstallerWithBlanksInItsPath)
{
    RegisterUninstall(run_, String("MZ"));
    std::map<std::string, RawValue> values = ReadKey(keyPath_);
    std::string path = Text(UninstallerPath(run_));
    ASSERT_NE(std::string::npos, path.find(' '));
    std::string product = Text(run_.productName);
    EXPECT_EQ(Sz("\"" + path + "\" /u:\"" + product + "\""), values["UninstallString"]);
    EXPECT_EQ(Sz("\"" + path + "\" /a /u:\"" + product + "\""), values["QuietUninstallString"]);
}

TEST_F(InstallRecordTest, VersionNumbersOnlyForADottedVersion)
{
    struct Case {
        const char* version;
        bool numbers;
        DWORD major;
        DWORD minor;
    } cases[] = {
        {"3", false, 0, 0},
        {"3.14b", true, 3, 14},
        {"10.0", true, 10, 0},
        {"v2.5.1", true, 2, 5},
    };
    for (const Case& c : cases) {
        DeleteTree(HKEY_LOCAL_MACHINE, keyPath_);
        description_.displayVersion = c.version;
        RegisterUninstall(run_, String("MZ"));
        std::map<std::string, RawValue> values = ReadKey(keyPath_);
        EXPECT_EQ(Sz(c.version), values["DisplayVersion"]) << c.version;
        EXPECT_EQ(c.numbers ? 1u : 0u, values.count("VersionMajor")) << c.version;
        EXPECT_EQ(c.numbers ? 1u : 0u, values.count("VersionMinor")) << c.version;
        if (c.numbers) {
            EXPECT_EQ(Dword(c.major), values["VersionMajor"]) << c.version;
            EXPECT_EQ(Dword(c.minor), values["VersionMinor"]) << c.version;
        }
    }
}

TEST_F(InstallRecordTest, AReinstallWithEmptyTextsDeletesTheEarlierValues)
{
    description_.productFlags = PfUninstallSupport | PfKeepBackground;
    RegisterUninstall(run_, String("MZ"));
    std::map<std::string, RawValue> first = ReadKey(keyPath_);
    ASSERT_EQ(Sz("Velt Co"), first["Publisher"]);
    ASSERT_EQ(Dword(0x112233), first["TitleColor"]);

    description_.productFlags = PfUninstallSupport;
    description_.displayVersion = "";
    description_.publisher = "";
    description_.productRegistry = "";
    description_.startMenuFolder = "";
    run_.sharedDirectory = "";
    run_.fontList = "";
    description_.uninstallBatch1 = "";
    description_.uninstallBatch2 = "";
    run_.previousSharedFiles = "";
    description_.uninstallSubdir = "";
    description_.displayName = "";
    SetMessage(MsgProductTitle, 0, "");
    Background.monoColor = 1;
    RegisterUninstall(run_, String("MZ"));
    EXPECT_EQ("", Text(run_.errorText));

    std::map<std::string, RawValue> values = ReadKey(keyPath_);
    for (const char* gone : {"DisplayVersion", "Publisher", "ProductRegistry", "ProductStartMenu",
                             "SharedPath", "ProductFonts", "UninstallBatch1", "UninstallBatch2",
                             "SharedFiles", "UninstallSubdir", "TitleColor"})
        EXPECT_EQ(0u, values.count(gone)) << gone;
    // Texts that are always written stay, empty or not; the version
    // numbers of the earlier version are left as they were.
    EXPECT_EQ(Sz(Text(run_.productName)), values["DisplayName"]);
    EXPECT_EQ(Sz(""), values["DisplayTitle"]);
    EXPECT_EQ(Dword(PfUninstallSupport), values["ProductFlags"]);
    EXPECT_EQ(Dword(1), values["MonoColor"]);
    EXPECT_EQ(Dword(3), values["VersionMajor"]);
}

TEST_F(InstallRecordTest, AKeyThatCannotBeOpenedAddsTheErrorLine)
{
    // A key name longer than the registry's limit of 255 characters.
    run_.productName = String(std::string(300, 'V').c_str());
    keyPath_ = Software(UninstallKeyPath(run_.productName.CStr()));
    run_.errorText = "earlier line\r\n";
    RegisterUninstall(run_, String("MZ"));
    EXPECT_EQ(std::string("earlier line\r\n") + kRegistrationError, Text(run_.errorText));
    EXPECT_TRUE(ReadKey(keyPath_).empty());
    // The uninstaller file is written all the same.
    EXPECT_EQ("MZ", Text(Contents(UninstallerPath(run_))));
}

TEST_F(InstallRecordTest, RegistrationOverwritesAnEarlierUninstallString)
{
    SetRawText(keyPath_, "UninstallString", "C:\\old\\unvelt.exe /u:\"old\"");
    RegisterUninstall(run_, String("MZ"));
    EXPECT_EQ("", Text(run_.errorText));
    std::map<std::string, RawValue> values = ReadKey(keyPath_);
    EXPECT_EQ(Sz("\"" + Text(UninstallerPath(run_)) + "\" " + Text(UninstallArguments(run_))),
              values["UninstallString"]);
}

// ------------------------------------------------------------ Uninstall.DAT

TEST_F(InstallRecordTest, UninstallDataHoldsTheListAndTheMessages)
{
    RecordForUninstall(run_.uninstallList, "C:\\Velt\\Sub", 1);
    RecordForUninstall(run_.uninstallList, "C:\\Velt\\Sub\\a.exe", 0);
    RecordForUninstall(run_.uninstallList, "c:\\velt\\sub", 1);             // the same directory
    RecordForUninstall(run_.uninstallList, "C:\\Velt\\Sub\\b.dll", 0);
    RecordForUninstall(run_.uninstallList, "C:\\Velt\\Sub\\b.dll", 0);      // placed twice: listed twice
    RecordForUninstall(run_.uninstallList, "C:\\", 1);                       // too short
    RecordForUninstall(run_.uninstallList, "abc", 0);
    RecordForUninstall(run_.uninstallList, "Velt.Key", 2);
    RecordForUninstall(run_.uninstallList, "VELT.KEY", 5);

    ASSERT_TRUE(WriteData(DataPath()));
    String path = PathJoin(run_.uninstallDirectory.CStr(), "Uninstall.DAT");
    EXPECT_EQ(Text(path), Text(DataPath()));

    std::string product = Text(run_.productName);
    std::string expected = "~C:\\Velt\\Sub\r\n"
                           "C:\\Velt\\Sub\\a.exe\r\n"
                           "C:\\Velt\\Sub\\b.dll\r\n"
                           "C:\\Velt\\Sub\\b.dll\r\n"
                           "!Velt.Key\r\n"
                           "\r\n\r\n[Strings]\r\n";
    for (int n : kUninstallMessages)
        expected += "~" + std::to_string(n) + "\r\nMessage " + std::to_string(n) + " of "
                    + product + "\r\n";
    EXPECT_EQ(expected, Text(Contents(path)));
}

TEST_F(InstallRecordTest, UninstallDataWithAssociationsAndAfterAClear)
{
    RecordForUninstall(run_.uninstallList, "C:\\Velt\\Sub", 1);
    ClearUninstallList(run_.uninstallList);
    EXPECT_EQ("", Text(run_.uninstallList.text));
    RecordForUninstall(run_.uninstallList, "C:\\Velt\\Sub", 1);         // new again after the clear
    run_.associationRecords = ".vrx~!~Velt.Record~!~open\r\n";
    SetMessage(MsgUninstallRecordNote, 0, "");
    ASSERT_TRUE(WriteData(DataPath()));

    UninstallData data;
    ReadUninstallData(Contents(DataPath()), data);
    ASSERT_EQ(1, data.items.Count());
    EXPECT_EQ(UiDirectory, data.items[0].kind);
    ASSERT_EQ(kUninstallMessageCount, data.messages.Count());
    EXPECT_EQ(30, data.messages[3].number);
    EXPECT_EQ("", Text(data.messages[3].text));
    ASSERT_EQ(1, data.associations.Count());
    EXPECT_EQ("Velt.Record", Text(data.associations[0].fileType));

    std::string text = Text(Contents(DataPath()));
    std::string tail = "\r\n\r\n[Associations]\r\n.vrx~!~Velt.Record~!~open\r\n";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(tail, text.substr(text.size() - tail.size()));
}

// The directory lines the destination step writes for the parents it
// made; the uninstaller leaves those to its self-removal script.
TEST_F(InstallRecordTest, MadeParentsAreDirectoryLinesAboveTheInstallDirectory)
{
    const String directory("C:\\Program Files\\Northwind\\Tally");
    const struct {
        int kind;
        const char* path;
        bool parent;
    } cases[] = {
        {UiDirectory, "C:\\Program Files\\Northwind", true},
        {UiDirectory, "c:\\program files\\NORTHWIND", true},        // letter case aside
        {UiDirectory, "C:\\Program Files", true},
        {UiDirectory, "C:\\Program Files\\Northwind\\Tally", false},  // the directory itself
        {UiDirectory, "C:\\Program Files\\Northwind\\Tally\\help", false},
        {UiDirectory, "C:\\Program Files\\North", false},          // a prefix, not a parent
        {UiFile, "C:\\Program Files\\Northwind", false},
        {UiKey, "C:\\Program Files\\Northwind", false},
    };
    for (const auto& c : cases) {
        UninstallItem item;
        item.kind = c.kind;
        item.path = c.path;
        EXPECT_EQ(c.parent, IsMadeParentItem(item, directory)) << c.kind << " " << c.path;
    }
}

TEST_F(InstallRecordTest, UninstallDataFailsWhereItCannotBeWritten)
{
    run_.installDirectory = Path("no such directory");
    EXPECT_FALSE(WriteData(DataPath()));
}

TEST_F(InstallRecordTest, UninstallDataReplacesTheRecordWholeAndLeavesNoTemporaryFile)
{
    ASSERT_TRUE(WriteFileFromString(DataPath().CStr(), String("an earlier record, longer than the new one\r\n")));
    RecordForUninstall(run_.uninstallList, "C:\\Velt\\a.exe", 0);
    ASSERT_TRUE(WriteData(DataPath()));
    EXPECT_EQ(0u, Text(Contents(DataPath())).find("C:\\Velt\\a.exe\r\n\r\n\r\n[Strings]\r\n"));
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(PathJoin(run_.uninstallDirectory.CStr(), "*.tmp").CStr(), &found);
    EXPECT_EQ(INVALID_HANDLE_VALUE, find) << found.cFileName;
    if (find != INVALID_HANDLE_VALUE)
        FindClose(find);
}

TEST_F(InstallRecordTest, TheDigestIsSha256)
{
    EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
              Text(Sha256Text(String("abc"))));
    EXPECT_EQ("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855",
              Text(Sha256Text(String())));
}

// The registration holds the digest of the record as written; the record
// reads back as trusted until a byte of it changes, and a registration
// without a digest (an earlier version's) takes it as it is.
TEST_F(InstallRecordTest, TheRecordIsTrustedOnlyAsItsDigestSays)
{
    RegisterUninstall(run_, String("MZ", 2));
    RecordForUninstall(run_.uninstallList, "C:\\Velt\\a.exe", 0);
    ASSERT_TRUE(WriteData(DataPath()));
    String written = Contents(DataPath());
    EXPECT_EQ(Sz(Text(Sha256Text(written))), ReadKey(keyPath_)[kRecordDigestValue]);

    struct Case {
        const char* what;
        const char* appended;       // to the record as written; null: no file
        bool removeDigest;
        uint8_t trust;
    } cases[] = {
        {"as written", "", false, RecordVerified},
        {"a line appended", "C:\\Windows\\win.ini\r\n", false, RecordTampered},
        {"no record at all", nullptr, false, RecordUnverified},
        {"a line appended, no digest", "C:\\Windows\\win.ini\r\n", true, RecordUnverified},
    };
    for (const Case& c : cases) {
        if (c.appended)
            ASSERT_TRUE(WriteFileFromString(DataPath().CStr(), written + c.appended));
        else
            DeleteFileA(DataPath().CStr());
        HKEY key;
        if (c.removeDigest
            && RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath_.c_str(), 0, KEY_ALL_ACCESS, &key)
                   == ERROR_SUCCESS) {
            RegDeleteValueA(key, kRecordDigestValue);
            RegCloseKey(key);
        }
        String record("left over");
        EXPECT_EQ(c.trust, ReadTrustedUninstallData(DataPath(), run_.productName.CStr(), record))
            << c.what;
        std::string expected = c.trust != RecordTampered && c.appended ? Text(written) + c.appended : "";
        EXPECT_EQ(expected, Text(record)) << c.what;
    }
}

// --------------------------------------------------------------------- log

// The block's text with its date line as the log has it.
std::string ExpectedBlock(const InstallRun& run, const std::string& logged, const char* type, const std::string& tail)
{
    std::string dateLine;
    size_t at = logged.find("Install date: ");
    if (at != std::string::npos)
        dateLine = logged.substr(at, logged.find("\r\n", at) + 2 - at);
    return "\r\nInstallation log for: " + Text(run.productName) + "\r\n" + dateLine
           + "Install type: " + type + "\r\n" + "Install location: " + Text(run.installDirectory)
           + "\r\n" + "Installer version: 6.2\r\n" + tail;
}

TEST_F(InstallRecordTest, ACleanRunWithoutAlwaysLogWritesNoLog)
{
    WriteInstallLog(run_, String(), String(), 1);
    EXPECT_FALSE(FileExists(LogPath().CStr()));
}

TEST_F(InstallRecordTest, ACleanRunWithAlwaysLogRecordsTheCompletion)
{
    description_.productFlags |= PfAlwaysLog;
    description_.displayVersion = "";
    WriteInstallLog(run_, String(), String(), 1);
    std::string log = Text(Contents(LogPath()));
    EXPECT_EQ(ExpectedBlock(run_, log, "New", "\r\nInstallation complete\r\n\r\n"), log);
    EXPECT_NE(std::string::npos, log.find("Install date: " + Text(DateNowText()) + " "));
}

TEST_F(InstallRecordTest, TwoRunsAppendTwoBlocks)
{
    WriteInstallLog(run_, String("Could not place C:\\x.dll\r\n"), String(), 1);
    std::string first = Text(Contents(LogPath()));
    EXPECT_EQ(ExpectedBlock(run_, first, "New",
                            "Product version: 3.14b\r\n\r\nCould not place C:\\x.dll\r\n"),
              first);

    // No errors and no AlwaysLog, but per-file lines: logged, with the
    // completion after them.
    run_.isReinstall = 1;
    WriteInstallLog(run_, String(), String("a.exe is up to date."), 1);
    std::string both = Text(Contents(LogPath()));
    ASSERT_EQ(first, both.substr(0, first.size()));
    std::string second = both.substr(first.size());
    EXPECT_EQ(ExpectedBlock(run_, second, "Reinstall",
                            "Product version: 3.14b\r\n\r\na.exe is up to date.\r\n"
                            "Installation complete\r\n\r\n"),
              second);
}

TEST_F(InstallRecordTest, WithoutTheResultTheErrorsAreLoggedAsTheyStand)
{
    WriteInstallLog(run_, String(), String(), 0);
    EXPECT_FALSE(FileExists(LogPath().CStr()));
    description_.productFlags |= PfAlwaysLog;
    WriteInstallLog(run_, String(), String(), 0);
    std::string log = Text(Contents(LogPath()));
    EXPECT_EQ(ExpectedBlock(run_, log, "New", "Product version: 3.14b\r\n\r\n"), log);
}

}  // namespace
