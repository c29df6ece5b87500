// The PATH line of the boot drive's autoexec.bat, removed as the
// uninstaller removes it, the batch runner's answers that need no
// interpreter, and the private folder the working files go into. The file is the prefix's own C:\autoexec.bat: each test
// saves it and puts it back.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/file.h"
#include "core/system_calls.h"
#include "product/batch.h"
#include "system/private_folder.h"
#include "system/shell.h"
#include "tests/file/scratch.h"

namespace {

std::string Lower(std::string text)
{
    for (char& c : text)
        c = (char)tolower((unsigned char)c);
    return text;
}

class PathEditTest : public ScratchTest {
protected:
    void SetUp() override
    {
        ScratchTest::SetUp();
        autoexec_ = String::Formatted("%c:\\autoexec.bat", BootDriveLetter());
        hadAutoexec_ = ReadFileToString(autoexec_.CStr(), saved_);
        dir_ = Path("Long Product Dir");
        ASSERT_TRUE(CreateDirectoryA(dir_.CStr(), NULL));
        char shortDir[MAX_PATH];
        ASSERT_NE(0u, GetShortPathNameA(dir_.CStr(), shortDir, sizeof shortDir));
        line_ = std::string("PATH=%PATH%;") + shortDir + "\r\n";
    }

    void TearDown() override
    {
        if (hadAutoexec_)
            EXPECT_TRUE(WriteFileFromString(autoexec_.CStr(), saved_));
        else
            DeleteFileA(autoexec_.CStr());
        ScratchTest::TearDown();
    }

    void WriteAutoexec(const std::string& text)
    {
        ASSERT_TRUE(WriteFileFromString(autoexec_.CStr(), String(text.c_str())));
    }

    std::string Autoexec()
    {
        String text;
        EXPECT_TRUE(ReadFileToString(autoexec_.CStr(), text));
        return text.CStr();
    }

    String autoexec_;
    String saved_;
    bool hadAutoexec_ = false;
    String dir_;
    std::string line_;      // the PATH line of dir_, with its CR LF
};

// No temporary file of the replacement is left beside autoexec.bat.
void ExpectNoTemporaryFileInRoot()
{
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA("C:\\QDT*.tmp", &found);
    EXPECT_EQ(INVALID_HANDLE_VALUE, find) << found.cFileName;
    if (find != INVALID_HANDLE_VALUE)
        FindClose(find);
}

// Removal: "@" in a text stands for the PATH line of dir_ without its line
// end, "#" for the same line in small letters, "^" for the short form of
// dir_ alone. Only a whole line of its own goes, and a file that the
// installation made goes with it when nothing else is left.
TEST_F(PathEditTest, RemovalTable)
{
    struct Case {
        const char* name;
        const char* before;
        uint8_t created;        // the installation made the file
        const char* after;      // null: the file is gone
    };
    const Case cases[] = {
        {"line in the middle", "REM boot\r\n@\r\nSET X=1\r\n", 0, "REM boot\r\nSET X=1\r\n"},
        {"last line without line end", "REM boot\r\n@", 0, "REM boot\r\n"},
        {"first of two, any case", "#\r\nREM boot\r\n@\r\n", 0, "REM boot\r\n@\r\n"},
        {"only another directory", "REM boot\r\nPATH=%PATH%;C:\\OTHER\r\n", 0,
         "REM boot\r\nPATH=%PATH%;C:\\OTHER\r\n"},
        {"longer directory stays", "PATH=%PATH%;^2\r\n@\r\nREM end", 0,
         "PATH=%PATH%;^2\r\nREM end"},
        {"longer directory alone", "PATH=%PATH%;^2\r\n", 0, "PATH=%PATH%;^2\r\n"},
        {"SET line stays", "SET @\r\nREM x\r\n", 0, "SET @\r\nREM x\r\n"},
        {"SET line and own line", "SET @\r\n@\r\n", 0, "SET @\r\n"},
        {"line ends of LF alone", "REM a\n@\nREM b", 0, "REM a\nREM b"},
        {"made by the installation, emptied", "@\r\n", 1, nullptr},
        {"made, only blank lines left", "\r\n@\r\n \r\n", 1, nullptr},
        {"made, other lines kept", "REM user\r\n@\r\n", 1, "REM user\r\n"},
        {"there before, emptied", "@\r\n", 0, ""},
        {"made, line not there", "REM user\r\n", 1, "REM user\r\n"},
    };
    std::string line = line_.substr(0, line_.size() - 2);
    std::string shortDir = line.substr(line.find(';') + 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto expand = [&](const char* text) {
            std::string out;
            for (const char* p = text; *p; ++p) {
                if (*p == '@')
                    out += line;
                else if (*p == '#')
                    out += Lower(line);
                else if (*p == '^')
                    out += shortDir;
                else
                    out += *p;
            }
            return out;
        };
        WriteAutoexec(expand(c.before));
        uint8_t created = c.created;
        EXPECT_STREQ("", EditAutoexecPath(dir_.CStr(), false, created).CStr());
        if (c.after)
            EXPECT_EQ(expand(c.after), Autoexec());
        else
            EXPECT_FALSE(FileExists(autoexec_.CStr()));
        ExpectNoTemporaryFileInRoot();
    }
}

// Adding: the line goes at the end on a line of its own, once; a longer
// directory's line is no reason to leave it out.
TEST_F(PathEditTest, AddingTable)
{
    struct Case {
        const char* name;
        std::string before;
        std::string after;
    };
    std::string line = line_.substr(0, line_.size() - 2);
    const Case cases[] = {
        {"after the last line", "REM boot\r\n", "REM boot\r\n" + line_},
        {"last line without line end", "REM boot", "REM boot\r\n" + line_},
        {"empty file", "", line_},
        {"already there", "REM boot\r\n" + Lower(line_), "REM boot\r\n" + Lower(line_)},
        {"already there, no line end", "REM boot\r\n" + line, "REM boot\r\n" + line},
        {"only a longer directory", "PATH=%PATH%;" + line.substr(line.find(';') + 1) + "2\r\n",
         "PATH=%PATH%;" + line.substr(line.find(';') + 1) + "2\r\n" + line_},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteAutoexec(c.before);
        uint8_t created = 0;
        EXPECT_STREQ("", EditAutoexecPath(dir_.CStr(), true, created).CStr());
        EXPECT_EQ(c.after, Autoexec());
        EXPECT_EQ(0, created);
        ExpectNoTemporaryFileInRoot();
    }
}

// An installation that makes the file gives the system back without it;
// one that found it leaves it with what it held.
TEST_F(PathEditTest, AddedThenRemovedGivesTheFileBack)
{
    DeleteFileA(autoexec_.CStr());
    uint8_t created = 0;
    EXPECT_STREQ("", EditAutoexecPath(dir_.CStr(), true, created).CStr());
    EXPECT_EQ(1, created);
    EXPECT_EQ(line_, Autoexec());
    // A reinstall finds its line and the file, and makes nothing.
    uint8_t again = 0;
    EXPECT_STREQ("", EditAutoexecPath(dir_.CStr(), true, again).CStr());
    EXPECT_EQ(0, again);
    EXPECT_EQ(line_, Autoexec());
    EXPECT_STREQ("", EditAutoexecPath(dir_.CStr(), false, created).CStr());
    EXPECT_FALSE(FileExists(autoexec_.CStr()));

    WriteAutoexec("REM boot");
    created = 0;
    EXPECT_STREQ("", EditAutoexecPath(dir_.CStr(), true, created).CStr());
    EXPECT_EQ(0, created);
    EXPECT_STREQ("", EditAutoexecPath(dir_.CStr(), false, created).CStr());
    EXPECT_EQ("REM boot\r\n", Autoexec());
}

TEST_F(PathEditTest, AMissingFileOnRemoveAsksTheUserAndStaysMissing)
{
    DeleteFileA(autoexec_.CStr());
    String expected = String::Formatted("Unable to modify %s.  You will need to manually remove "
                                        "%s from the PATH environment variable.\r\n\r\n",
                                        autoexec_.CStr(), dir_.CStr());
    uint8_t created = 1;
    EXPECT_STREQ(expected.CStr(), EditAutoexecPath(dir_.CStr(), false, created).CStr());
    EXPECT_FALSE(FileExists(autoexec_.CStr()));
}

// Nothing to run: no working file is written, and no error.
TEST_F(PathEditTest, EmptyCommandsRunNothing)
{
    ProductRun run;
    String errors;
    EXPECT_TRUE(RunBatchCommands(run, 0, dir_.CStr(), String(), "", errors));
    EXPECT_FALSE(FileExists(PathJoin(dir_.CStr(), "QDITBF1.BAT").CStr()));
    EXPECT_STREQ("", errors.CStr());
}

// A working directory that does not exist: the first file cannot be
// written, nothing is started, and the error text gets a line that names
// the batch file after the lines already there.
TEST_F(PathEditTest, AnUnwritableWorkingDirectoryFails)
{
    String missing = Path("missing");
    ProductRun run;
    String errors = "earlier\r\n";
    EXPECT_FALSE(RunBatchCommands(run, 0, missing.CStr(), String("echo x\n"), "", errors));
    EXPECT_FALSE(FileExists(PathJoin(missing.CStr(), "QDITBF1.BAT").CStr()));
    String expected = String::Formatted("earlier\r\nUnable to run the batch file %s.\r\n\r\n",
                                        PathJoin(missing.CStr(), "QDITBF2.BAT").CStr());
    EXPECT_STREQ(expected.CStr(), errors.CStr());
}

// The account that runs this test, as "S-1-5-...".
std::string RunningAccount()
{
    HANDLE token;
    DWORD user[32], length;
    char* text = nullptr;
    std::string sid;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        if (GetTokenInformation(token, TokenUser, user, sizeof user, &length)
            && ConvertSidToStringSidA(((TOKEN_USER*)user)->User.Sid, &text)) {
            sid = text;
            LocalFree(text);
        }
        CloseHandle(token);
    }
    return sid;
}

// What the last CreateDirectoryA handed the system as the new folder's
// security, read with the system's own functions while the call is made.
// (Wine keeps no access list of its own for a file: it answers one made
// from the Unix mode, so the folder itself cannot tell.)
struct GivenSecurity {
    bool valid = false;                 // a valid descriptor was given
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    bool listGiven = false;             // a list present, not defaulted
    std::multiset<std::string> accounts;    // the entries' accounts
    std::string entryErrors;            // entries other than full control, inherited
};
GivenSecurity given;

void NoteSecurity(const SECURITY_ATTRIBUTES* attributes)
{
    given = GivenSecurity();
    PSECURITY_DESCRIPTOR descriptor = attributes ? attributes->lpSecurityDescriptor : NULL;
    DWORD revision;
    BOOL present = FALSE, defaulted = TRUE;
    PACL list = nullptr;
    given.valid = descriptor && IsValidSecurityDescriptor(descriptor)
                  && GetSecurityDescriptorControl(descriptor, &given.control, &revision)
                  && GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted);
    given.listGiven = present && list && !defaulted;
    for (DWORD i = 0; given.listGiven && i < list->AceCount; i++) {
        ACCESS_ALLOWED_ACE* entry = nullptr;
        char* sid = nullptr;
        if (!GetAce(list, i, (void**)&entry) || !ConvertSidToStringSidA(&entry->SidStart, &sid)) {
            given.entryErrors += "unreadable entry; ";
            continue;
        }
        given.accounts.insert(sid);
        if (entry->Header.AceType != ACCESS_ALLOWED_ACE_TYPE
            || entry->Header.AceFlags != (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)
            || entry->Mask != FILE_ALL_ACCESS)
            given.entryErrors += std::string(sid) + " is not full control passed on; ";
        LocalFree(sid);
    }
}

BOOL WINAPI CreateDirectoryNoting(LPCSTR path, LPSECURITY_ATTRIBUTES attributes)
{
    NoteSecurity(attributes);
    return CreateDirectoryA(path, attributes);
}

// The private folder: a new folder "QDT<tag><8 hex digits>" of the
// temporary folder whose access list is protected (nothing inherited from
// the temporary folder) and gives full control, passed on to files and
// folders in it, to the administrators, SYSTEM and the running account,
// and to nobody else. A second folder gets a name of its own.
TEST(PrivateFolderTest, IsNewAndOnlyForAdministratorsSystemAndTheRunningAccount)
{
    auto saved = Sys.CreateDirectoryA;
    Sys.CreateDirectoryA = CreateDirectoryNoting;
    String folder = MakePrivateFolder('B');
    Sys.CreateDirectoryA = saved;
    ASSERT_FALSE(folder.IsEmpty());
    String again = MakePrivateFolder('B');
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string name = folder.CStr();
    EXPECT_EQ(0, _strnicmp(name.c_str(), temp, strlen(temp))) << name;
    std::string leaf = name.substr(strlen(temp));
    EXPECT_EQ(12u, leaf.size()) << leaf;
    EXPECT_EQ(0, leaf.compare(0, 4, "QDTB")) << leaf;
    EXPECT_EQ(std::string::npos, leaf.find_first_not_of("0123456789ABCDEF", 4)) << leaf;
    EXPECT_STRNE(folder.CStr(), again.CStr());

    EXPECT_TRUE(given.valid);
    EXPECT_TRUE(given.control & SE_DACL_PROTECTED) << std::hex << given.control;
    EXPECT_TRUE(given.listGiven);
    std::multiset<std::string> expected = {"S-1-5-32-544", "S-1-5-18", RunningAccount()};
    EXPECT_EQ(expected, given.accounts);
    EXPECT_EQ("", given.entryErrors);
    EXPECT_TRUE(RemoveDirectoryA(folder.CStr()));
    EXPECT_TRUE(RemoveDirectoryA(again.CStr()));
}

}  // namespace
