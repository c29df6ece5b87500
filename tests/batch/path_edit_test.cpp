// The PATH line of the boot drive's autoexec.bat, removed as the
// uninstaller removes it, and the batch runner's answers that need no
// interpreter. The file is the prefix's own C:\autoexec.bat: each test
// saves it and puts it back.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "core/file.h"
#include "product/batch.h"
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

}  // namespace
