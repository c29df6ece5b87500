// Special folders, the boot drive, shortcuts and file versions under Wine.
// Registry values the tests change are saved first and put back after;
// shortcuts are written into a scratch directory under the temporary
// directory and read back through the system's own shell link object.
#include "system/shell.h"

#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "system/registry.h"
#include "tests/registry/key_watch.h"

namespace {

const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kCurrentVersion[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const char kSetup[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Setup";

std::string Text(const String& s)
{
    return std::string(s.CStr(), s.Length());
}

std::string WindowsDirectory()
{
    char buffer[MAX_PATH];
    UINT n = GetWindowsDirectoryA(buffer, MAX_PATH);
    return std::string(buffer, n);
}

// One registry value, saved when made and put back when destroyed.
class SavedValue {
public:
    SavedValue(HKEY root, const char* key, const char* name) : root_(root), key_(key), name_(name)
    {
        HKEY handle;
        if (RegOpenKeyExA(root_, key_.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
            return;
        char buffer[2048];
        DWORD size = sizeof buffer;
        if (RegQueryValueExA(handle, name, nullptr, &type_, (BYTE*)buffer, &size)
            == ERROR_SUCCESS) {
            existed_ = true;
            bytes_.assign(buffer, size);
        }
        RegCloseKey(handle);
    }
    ~SavedValue()
    {
        if (existed_)
            Write(type_, bytes_);
        else
            Remove();
    }
    void Set(const char* text) { Write(REG_SZ, std::string(text) + '\0'); }
    void Remove()
    {
        HKEY handle;
        if (RegOpenKeyExA(root_, key_.c_str(), 0, KEY_ALL_ACCESS, &handle) != ERROR_SUCCESS)
            return;
        RegDeleteValueA(handle, name_.c_str());
        RegCloseKey(handle);
    }

private:
    void Write(DWORD type, const std::string& bytes)
    {
        HKEY handle;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root_, key_.c_str(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &handle, nullptr));
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(handle, name_.c_str(), 0, type,
                                                (const BYTE*)bytes.data(), (DWORD)bytes.size()));
        RegCloseKey(handle);
    }

    HKEY root_;
    std::string key_;
    std::string name_;
    bool existed_ = false;
    DWORD type_ = REG_NONE;
    std::string bytes_;
};

struct FolderCase {
    String (*function)();
    HKEY root;
    const char* key;
    const char* value;
    std::string fallback;       // with every folder value removed
};

class ShellFolderTest : public ::testing::Test {
protected:
    ShellFolderTest()
    {
        const std::string windows = WindowsDirectory();
        cases = {
            {DesktopFolder, HKEY_CURRENT_USER, kShellFolders, "Desktop", windows + "\\Desktop"},
            {PersonalFolder, HKEY_CURRENT_USER, kShellFolders, "Personal", "c:\\My Documents"},
            {FavoritesFolder, HKEY_CURRENT_USER, kShellFolders, "Favorites",
             windows + "\\Favorites"},
            {FontsFolder, HKEY_CURRENT_USER, kShellFolders, "Fonts", windows + "\\Fonts"},
            {StartMenuRootFolder, HKEY_CURRENT_USER, kShellFolders, "Start Menu",
             windows + "\\Start Menu"},
            {ProgramsFolder, HKEY_CURRENT_USER, kShellFolders, "Programs",
             windows + "\\Start Menu\\Programs"},
            {StartupFolder, HKEY_CURRENT_USER, kShellFolders, "Startup",
             windows + "\\Start Menu\\Programs\\StartUp"},
            {ProgramFilesFolder, HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir",
             "c:\\Program Files"},
            {CommonFilesFolder, HKEY_LOCAL_MACHINE, kCurrentVersion, "CommonFilesDir",
             "c:\\Program Files\\Common Files"},
            {DevicePathFolder, HKEY_LOCAL_MACHINE, kCurrentVersion, "DevicePath",
             windows + "\\INF"},
            {MediaFolder, HKEY_LOCAL_MACHINE, kCurrentVersion, "MediaPath", windows + "\\Media"},
        };
        for (const FolderCase& c : cases)
            saved.emplace_back(new SavedValue(c.root, c.key, c.value));
    }

    ~ShellFolderTest() override
    {
        for (SavedValue* value : saved)
            delete value;
    }

    void RemoveAll()
    {
        for (SavedValue* value : saved)
            value->Remove();
    }

    SavedValue& Saved(const char* name)
    {
        for (size_t i = 0; i < cases.size(); i++) {
            if (std::string(cases[i].value) == name)
                return *saved[i];
        }
        ADD_FAILURE() << "no folder value " << name;
        return *saved[0];
    }

    std::vector<FolderCase> cases;
    std::vector<SavedValue*> saved;
};

TEST_F(ShellFolderTest, EachFolderFallsBackWhenItsValueIsMissingOrEmpty)
{
    KeyWatch keys;      // every key the registry module opens is closed again
    RemoveAll();
    for (size_t i = 0; i < cases.size(); i++) {
        SCOPED_TRACE(cases[i].value);
        EXPECT_EQ(cases[i].fallback, Text(cases[i].function()));
        saved[i]->Set("");
        EXPECT_EQ(cases[i].fallback, Text(cases[i].function()));
        saved[i]->Remove();
    }
    EXPECT_LT(0, keys.Opened());
    EXPECT_EQ(0, keys.StillOpen());
}

TEST_F(ShellFolderTest, EachFolderReadsItsValueWithoutOneTrailingBackslash)
{
    KeyWatch keys;      // every key the registry module opens is closed again
    struct {
        const char* value;
        const char* expected;
    } const kValues[] = {
        {"D:\\Data\\", "D:\\Data"},
        {"D:\\Data", "D:\\Data"},
        {"D:\\", "D:\\"},                       // a drive root keeps its backslash
        {"D:\\Data\\\\", "D:\\Data\\"},         // only one is removed
        {"\\\\server\\share\\", "\\\\server\\share"},
    };
    RemoveAll();
    for (size_t i = 0; i < cases.size(); i++) {
        SCOPED_TRACE(cases[i].value);
        for (const auto& v : kValues) {
            SCOPED_TRACE(v.value);
            saved[i]->Set(v.value);
            EXPECT_STREQ(v.expected, cases[i].function().CStr());
        }
        saved[i]->Remove();
    }
    EXPECT_LT(0, keys.Opened());
    EXPECT_EQ(0, keys.StillOpen());
}

TEST_F(ShellFolderTest, FallbacksBuildOnTheFoldersTheyDependOn)
{
    RemoveAll();
    Saved("Start Menu").Set("E:\\Menu\\");
    EXPECT_STREQ("E:\\Menu\\Programs", ProgramsFolder().CStr());
    EXPECT_STREQ("E:\\Menu\\Programs\\StartUp", StartupFolder().CStr());
    Saved("Programs").Set("F:\\Progs");
    EXPECT_STREQ("F:\\Progs\\StartUp", StartupFolder().CStr());
    Saved("ProgramFilesDir").Set("G:\\Apps\\");
    EXPECT_STREQ("G:\\Apps\\Common Files", CommonFilesFolder().CStr());
}

TEST_F(ShellFolderTest, LookupHelpersReadTheNamedValue)
{
    RemoveAll();
    Saved("Fonts").Set("X:\\F\\");
    Saved("MediaPath").Set("Y:\\M\\");
    EXPECT_STREQ("X:\\F", ShellFolderPath("Fonts").CStr());
    EXPECT_STREQ("Y:\\M", WindowsSettingPath("MediaPath").CStr());
    EXPECT_STREQ("", ShellFolderPath("Favorites").CStr());
    EXPECT_STREQ("", WindowsSettingPath("DevicePath").CStr());
}

TEST(BootDrive, LetterFromTheSetupValue)
{
    KeyWatch keys;      // every key the registry module opens is closed again
    SavedValue bootDir(HKEY_LOCAL_MACHINE, kSetup, "BootDir");
    struct {
        const char* value;      // null: no value
        char letter;
    } const kCases[] = {
        {"e:\\", 'E'}, {"D:", 'D'}, {"z:\\boot", 'Z'}, {"", 'C'}, {nullptr, 'C'},
        {"1:\\", 'C'}, {"\\\\srv\\share", 'C'}, {"e", 'C'}, {"ex:", 'C'},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.value ? c.value : "(none)");
        if (c.value)
            bootDir.Set(c.value);
        else
            bootDir.Remove();
        EXPECT_EQ(c.letter, BootDriveLetter());
    }
    EXPECT_LT(0, keys.Opened());
    EXPECT_EQ(0, keys.StillOpen());
}

// What a shortcut file holds, as the system's shell link object reads it.
struct LinkContents {
    bool loaded = false;
    std::string target;
    std::string arguments;
    std::string workingDirectory;
    std::string icon;
    int iconIndex = -1;
};

LinkContents ReadShortcut(const std::string& file)
{
    LinkContents contents;
    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                (void**)&link)))
        return contents;
    IPersistFile* persist = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void**)&persist))) {
        WCHAR wide[MAX_PATH] = {};
        MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide, MAX_PATH);
        if (persist->Load(wide, STGM_READ) == S_OK) {
            contents.loaded = true;
            char buffer[MAX_PATH] = {};
            link->GetPath(buffer, MAX_PATH, nullptr, SLGP_RAWPATH);
            contents.target = buffer;
            buffer[0] = 0;
            link->GetArguments(buffer, MAX_PATH);
            contents.arguments = buffer;
            buffer[0] = 0;
            link->GetWorkingDirectory(buffer, MAX_PATH);
            contents.workingDirectory = buffer;
            buffer[0] = 0;
            link->GetIconLocation(buffer, MAX_PATH, &contents.iconIndex);
            contents.icon = buffer;
        }
        persist->Release();
    }
    link->Release();
    return contents;
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemoveTree(const std::string& dir)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = dir + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(dir.c_str());
}

bool SameText(const std::string& a, const std::string& b)
{
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

class ShortcutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        scratch = std::string(temp) + "VeltpackShortcutTest";
        RemoveTree(scratch);
        ASSERT_TRUE(CreateDirectoryA(scratch.c_str(), nullptr));
        target = WindowsDirectory() + "\\notepad.exe";
        ASSERT_TRUE(FileExists(target));
    }

    void TearDown() override
    {
        RemoveTree(scratch);
        CoUninitialize();
    }

    std::string scratch;
    std::string target;
};

struct ShortcutCase {
    const char* name;               // link path below the scratch directory
    const char* arguments;
    const char* workingDirectory;
    const char* icon;
    const char* savedAs;            // final link path below the scratch directory
    bool iconIsTarget;
};

TEST_F(ShortcutTest, WritesWhatTheShellReadsBack)
{
    const std::string shell32 = WindowsDirectory() + "\\system32\\shell32.dll";
    const ShortcutCase kCases[] = {
        {"Readme", "/view readme.txt", "C:\\work", nullptr, "Readme.LNK", true},
        {"Tool.lnk", nullptr, nullptr, "", "Tool.lnk", true},       // empty icon: the target
        {"Old.LnK", "", "", shell32.c_str(), "Old.LnK", false},
        {"notes.lnk.txt", nullptr, nullptr, nullptr, "notes.lnk.txt", true},  // .lnk anywhere
        {"new\\deeper\\Deep", "-x", nullptr, shell32.c_str(), "new\\deeper\\Deep.LNK", false},
    };
    for (const ShortcutCase& c : kCases) {
        SCOPED_TRACE(c.name);
        String link((scratch + "\\" + c.name).c_str());
        ASSERT_TRUE(CreateShortcut(link, target.c_str(), c.arguments, c.workingDirectory, c.icon));
        const std::string savedAs = scratch + "\\" + c.savedAs;
        EXPECT_EQ(savedAs, Text(link));
        ASSERT_TRUE(FileExists(savedAs));
        LinkContents contents = ReadShortcut(savedAs);
        ASSERT_TRUE(contents.loaded);
        EXPECT_PRED2(SameText, target, contents.target);
        EXPECT_EQ(c.arguments ? c.arguments : "", contents.arguments);
        EXPECT_EQ(c.workingDirectory ? c.workingDirectory : "", contents.workingDirectory);
        EXPECT_PRED2(SameText, c.iconIsTarget ? target : std::string(c.icon), contents.icon);
        EXPECT_EQ(0, contents.iconIndex);
    }
}

TEST_F(ShortcutTest, UnsavableLinkReturnsFalse)
{
    String wildcard((scratch + "\\bad?name").c_str());
    EXPECT_FALSE(CreateShortcut(wildcard, target.c_str(), nullptr, nullptr, nullptr));
    EXPECT_EQ(scratch + "\\bad?name.LNK", Text(wildcard));

    // A name longer than the system's path limit is refused, not cut off.
    String tooLong((scratch + "\\" + std::string(300, 'n')).c_str());
    EXPECT_FALSE(CreateShortcut(tooLong, target.c_str(), nullptr, nullptr, nullptr));
}

TEST_F(ShortcutTest, DesktopAndProgramsShortcutsGoIntoTheirFolders)
{
    KeyWatch keys;      // every key the registry module opens is closed again
    SavedValue desktop(HKEY_CURRENT_USER, kShellFolders, "Desktop");
    SavedValue programs(HKEY_CURRENT_USER, kShellFolders, "Programs");
    desktop.Set((scratch + "\\Desk\\").c_str());
    programs.Set((scratch + "\\Menu\\Programs").c_str());

    String link;
    EXPECT_TRUE(CreateDesktopShortcut("App", target.c_str(), "-a", nullptr, &link, nullptr));
    EXPECT_EQ(scratch + "\\Desk\\App.LNK", Text(link));
    EXPECT_EQ("-a", ReadShortcut(Text(link)).arguments);

    EXPECT_TRUE(CreateProgramsShortcut("Group\\App", target.c_str(), nullptr, "C:\\", &link,
                                       nullptr));
    EXPECT_EQ(scratch + "\\Menu\\Programs\\Group\\App.LNK", Text(link));
    EXPECT_EQ("C:\\", ReadShortcut(Text(link)).workingDirectory);
    EXPECT_TRUE(CreateProgramsShortcut("NoOut", target.c_str(), nullptr, nullptr, nullptr,
                                       nullptr));
    EXPECT_TRUE(FileExists(scratch + "\\Menu\\Programs\\NoOut.LNK"));

    // The final path is handed back even when nothing could be saved.
    desktop.Set((scratch + "\\in?valid").c_str());
    EXPECT_FALSE(CreateDesktopShortcut("App", target.c_str(), nullptr, nullptr, &link, nullptr));
    EXPECT_EQ(scratch + "\\in?valid\\App.LNK", Text(link));
    EXPECT_LT(0, keys.Opened());
    EXPECT_EQ(0, keys.StillOpen());
}

std::string BesideTest(const char* name)
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, n);
    return dir.substr(0, dir.rfind('\\') + 1) + name;
}

TEST(FileVersion, PlainAndPaddedTexts)
{
    struct {
        std::string file;
        const char* plain;
        const char* padded;
    } const kCases[] = {
        {BesideTest("version_plain.dll"), "1.2.3.4",
         "0000000001.0000000002.0000000003.0000000004"},
        {BesideTest("version_suffix.dll"), "4.0.1b", "0000000004.0000000000.000000001B"},
        {BesideTest("version_long_part.dll"), "12345678901.2", "12345678901.0000000002"},
        {BesideTest("version_german.dll"), "", ""},     // only 040904E4 is read
        {BesideTest("shell_test.exe"), "", ""},         // no version resource
        {BesideTest("no such file.dll"), "", ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.file);
        EXPECT_STREQ(c.plain, FileVersionText(c.file.c_str(), 0).CStr());
        EXPECT_STREQ(c.padded, FileVersionText(c.file.c_str(), 1).CStr());
    }
}

TEST(FileVersion, TextFileHasNone)
{
    char temp[MAX_PATH], name[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    ASSERT_NE(0u, GetTempFileNameA(temp, "vlt", 0, name));
    HANDLE file = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written;
    WriteFile(file, "1.2.3.4\r\n", 9, &written, nullptr);
    CloseHandle(file);
    EXPECT_STREQ("", FileVersionText(name, 0).CStr());
    EXPECT_STREQ("", FileVersionText(name, 1).CStr());
    DeleteFileA(name);
}

}  // namespace
