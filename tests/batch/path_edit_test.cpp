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

    std::string Lower(std::string text)
    {
        for (char& c : text)
            c = (char)tolower((unsigned char)c);
        return text;
    }

    String autoexec_;
    String saved_;
    bool hadAutoexec_ = false;
    String dir_;
    std::string line_;      // the PATH line of dir_, with its CR LF
};

TEST_F(PathEditTest, RemovesTheLineAndKeepsTheRest)
{
    WriteAutoexec("REM boot\r\n" + line_ + "SET X=1\r\n");
    EXPECT_STREQ("", EditAutoexecPath(dir_.CStr(), false).CStr());
    EXPECT_EQ("REM boot\r\nSET X=1\r\n", Autoexec());
}

TEST_F(PathEditTest, RemovesALastLineWrittenWithoutItsLineEnd)
{
    WriteAutoexec("REM boot\r\n" + line_.substr(0, line_.size() - 2));
    EXPECT_STREQ("", EditAutoexecPath(dir_.CStr(), false).CStr());
    EXPECT_EQ("REM boot\r\n", Autoexec());
}

TEST_F(PathEditTest, RemovesOnlyTheFirstLineInAnyLetterCase)
{
    WriteAutoexec(Lower(line_) + "REM boot\r\n" + line_);
    EXPECT_STREQ("", EditAutoexecPath(dir_.CStr(), false).CStr());
    EXPECT_EQ("REM boot\r\n" + line_, Autoexec());
}

TEST_F(PathEditTest, LeavesAFileWithoutTheLineAsItIs)
{
    WriteAutoexec("REM boot\r\nPATH=%PATH%;C:\\OTHER\r\n");
    EXPECT_STREQ("", EditAutoexecPath(dir_.CStr(), false).CStr());
    EXPECT_EQ("REM boot\r\nPATH=%PATH%;C:\\OTHER\r\n", Autoexec());
}

TEST_F(PathEditTest, AddedThenRemovedGivesTheFileBack)
{
    WriteAutoexec("REM boot\r\n");
    EXPECT_STREQ("", EditAutoexecPath(dir_.CStr(), true).CStr());
    EXPECT_EQ("REM boot\r\n" + line_, Autoexec());
    EXPECT_STREQ("", EditAutoexecPath(dir_.CStr(), false).CStr());
    EXPECT_EQ("REM boot\r\n", Autoexec());
}

TEST_F(PathEditTest, AMissingFileOnRemoveAsksTheUserAndStaysMissing)
{
    DeleteFileA(autoexec_.CStr());
    String expected = String::Formatted("Unable to modify %s.  You will need to manually remove "
                                        "%s from the PATH environment variable.\r\n\r\n",
                                        autoexec_.CStr(), dir_.CStr());
    EXPECT_STREQ(expected.CStr(), EditAutoexecPath(dir_.CStr(), false).CStr());
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
