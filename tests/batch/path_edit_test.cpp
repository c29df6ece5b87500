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

}  // namespace
