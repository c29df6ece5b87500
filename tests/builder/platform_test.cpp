// The builder's system layer, run natively and under Wine with TZ set to
// Europe/Berlin (ctest does): local times on both sides of the clock
// changes, file times set and read back, UTF-8 file names, and the signing
// command read into words and run without a shell.
#include "builder/command.h"
#include "builder/platform.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace fs = std::filesystem;
using namespace velt;

namespace {

std::string Text(const DateTime& t)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return buf;
}

struct LocalCase {
    int64_t seconds;
    const char* local;
};

TEST(Platform, LocalDateTimeFollowsTheZoneAndItsClockChanges)
{
    static const LocalCase kCases[] = {
        {0, "1970-01-01 01:00:00"},
        {-1, "1970-01-01 00:59:59"},             // before 1970 too
        {1700000000, "2023-11-14 23:13:20"},     // winter: UTC+1
        {1688212800, "2023-07-01 14:00:00"},     // summer: UTC+2
        {1679792399, "2023-03-26 01:59:59"},     // the second before the change
        {1679792400, "2023-03-26 03:00:00"},     // 02:00 to 02:59 never happen
        {1667089800, "2022-10-30 02:30:00"},     // the hour that comes twice:
        {1667093400, "2022-10-30 02:30:00"},     // once in summer, once in winter
    };
    for (const LocalCase& c : kCases) {
        SCOPED_TRACE(c.seconds);
        EXPECT_EQ(c.local, Text(LocalDateTime(c.seconds)));
    }
}

class PlatformFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Builds in other directories may run this test at the same time.
        dir_ = fs::temp_directory_path() / ("veltpack-platform-" + std::to_string(std::random_device()()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path dir_;
};

TEST_F(PlatformFiles, ModifiedTimeSetAndReadBack)
{
    fs::path file = dir_ / "file.txt";
    std::ofstream(file) << "x";
    struct TimeCase {
        DateTime local;
        int64_t seconds;
    };
    static const TimeCase kCases[] = {
        {{2023, 7, 1, 14, 0, 0}, 1688212800},
        {{2023, 1, 15, 9, 30, 5}, 1673771405},
        {{1969, 12, 31, 23, 0, 0}, -7200},      // before 1970 too
    };
    for (const TimeCase& c : kCases) {
        SCOPED_TRACE(Text(c.local));
        ASSERT_TRUE(SetFileModifiedTime(file, c.local));
        EXPECT_EQ(c.seconds, FileModifiedTime(file));
        EXPECT_EQ(Text(c.local), Text(LocalDateTime(*FileModifiedTime(file))));
    }
    EXPECT_EQ(std::nullopt, FileModifiedTime(dir_ / "missing.txt"));
    EXPECT_FALSE(SetFileModifiedTime(dir_ / "missing.txt", {2023, 7, 1, 14, 0, 0}));
}

TEST_F(PlatformFiles, NamesAreUtf8BothWays)
{
    const std::string name = "Preis \xE2\x82\xAC \xC3\x9C" "ber.txt";      // "Preis € Über.txt"
    fs::path path = PathFromUtf8(name);
    EXPECT_EQ(u"Preis \u20AC \u00DCber.txt", path.u16string());
    EXPECT_EQ(name, PathToUtf8(path));

    std::ofstream(dir_ / path) << "x";
    ASSERT_TRUE(SetFileModifiedTime(dir_ / path, {2023, 7, 1, 14, 0, 0}));
    EXPECT_EQ(1688212800, FileModifiedTime(dir_ / path));
    int found = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir_)) {
        EXPECT_EQ(name, PathToUtf8(entry.path().filename()));
        found++;
    }
    EXPECT_EQ(1, found);
}

// The commands of a template, as "[word|word] [word]", or "error: ..."
std::string Split(const std::string& command)
{
    auto environment = [](const std::string& name) -> std::optional<std::string> {
        if (name == "PASS")
            return std::string("p a$s \"{}\" && ;");
        return std::nullopt;
    };
    std::string error;
    std::vector<std::vector<std::string>> commands
        = SplitSigningCommand(command, "C:\\Out\\Evil & Co's \"x\".exe", environment, error);
    if (commands.empty())
        return "error: " + error;
    std::string out;
    for (const auto& args : commands) {
        out += out.empty() ? "[" : " [";
        for (size_t i = 0; i < args.size(); i++)
            out += (i ? "|" : "") + args[i];
        out += "]";
    }
    return out;
}

TEST(SigningCommand, TemplatesAreCutIntoWordsAndTheInstallerStaysOneWord)
{
    static const struct {
        const char* command;
        const char* expected;          // or the start of an error
    } kCases[] = {
        {"signtool sign /fd SHA256 /a {}", "[signtool|sign|/fd|SHA256|/a|C:\\Out\\Evil & Co's \"x\".exe]"},
        {"tool -in {} -out {}.signed && mv {}.signed {}",
         "[tool|-in|C:\\Out\\Evil & Co's \"x\".exe|-out|C:\\Out\\Evil & Co's \"x\".exe.signed]"
         " [mv|C:\\Out\\Evil & Co's \"x\".exe.signed|C:\\Out\\Evil & Co's \"x\".exe]"},
        // docs/signing.md's example, with its lines joined.
        {"osslsigncode sign -pkcs12 company.pfx -pass \"$PASS\" \\\n"
         "          -n \"Product name\" -i https://example.com \\\n"
         "          -t http://timestamp.example.com -in {} -out {}.signed && mv {}.signed {}",
         "[osslsigncode|sign|-pkcs12|company.pfx|-pass|p a$s \"{}\" && ;|-n|Product name|-i|https://example.com"
         "|-t|http://timestamp.example.com|-in|C:\\Out\\Evil & Co's \"x\".exe|-out|C:\\Out\\Evil & Co's \"x\".exe.signed]"
         " [mv|C:\\Out\\Evil & Co's \"x\".exe.signed|C:\\Out\\Evil & Co's \"x\".exe]"},
        {"a '{}' \"{}\"", "[a|C:\\Out\\Evil & Co's \"x\".exe|C:\\Out\\Evil & Co's \"x\".exe]"},
        // Variables: one piece of their word, never read again.
        {"s -pass \"$PASS\" -n x$PASS {}", "[s|-pass|p a$s \"{}\" && ;|-n|xp a$s \"{}\" && ;|C:\\Out\\Evil & Co's \"x\".exe]"},
        {"s ${PASS}! $UNSET. '$PASS' {}", "[s|p a$s \"{}\" && ;!|.|$PASS|C:\\Out\\Evil & Co's \"x\".exe]"},
        {"s $ $1 {}", "[s|$|$1|C:\\Out\\Evil & Co's \"x\".exe]"},
        // Quotes and backslashes; Windows paths keep theirs.
        {"s -n \"Product name\" 'it''s' \"\" {}", "[s|-n|Product name|its||C:\\Out\\Evil & Co's \"x\".exe]"},
        {"C:\\Tools\\sign.exe /f \\\\srv\\certs\\a.pfx {}",
         "[C:\\Tools\\sign.exe|/f|\\\\srv\\certs\\a.pfx|C:\\Out\\Evil & Co's \"x\".exe]"},
        {"s a\\ b \\\"q\\\" \\$PASS \\& {}", "[s|a b|\"q\"|$PASS|&|C:\\Out\\Evil & Co's \"x\".exe]"},
        {"s \\\n  -t url\t{}\n", "[s|-t|url|C:\\Out\\Evil & Co's \"x\".exe]"},
        {"s \"a \\\"b\\\" \\$c\" {}", "[s|a \"b\" $c|C:\\Out\\Evil & Co's \"x\".exe]"},
        // What needs a shell is refused, not passed on as words.
        {"s {} | tee log", "error: \"|\" is a shell's"},
        {"s {}; rm x", "error: \";\" is a shell's"},
        {"s {} & x", "error: \"&\" is a shell's"},
        {"s {} > log", "error: \">\" is a shell's"},
        {"s $(cat pw) {}", "error: \"$(\" is a shell's"},
        {"s \"`cat pw`\" {}", "error: \"`\" is a shell's"},
        {"s 'open {}", "error: a ' is not closed"},
        {"s \"open {}", "error: a \" is not closed"},
        {"&& s {}", "error: \"&&\" must stand between two commands"},
        {"s {} &&", "error: \"&&\" must stand between two commands"},
        {"s ${PASS {}", "error: \"${\" without its \"}\""},
        {"  ", "error: the command is empty"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.command);
        std::string got = Split(c.command);
        if (std::string(c.expected).rfind("error: ", 0) == 0)
            EXPECT_EQ(0u, got.rfind(c.expected, 0)) << got;
        else
            EXPECT_EQ(c.expected, got);
    }
}

// Arguments no shell may read: each must come back as it went.
const std::vector<std::string> kHostileArguments = {
    "Evil & Co.exe", "a\"b", "trail\\", "back\\\\\"slash", "", "two  blanks", "%PATH%",
    "$(touch x)", "'single'", "^&|<>", "tab\there", "C:\\Program Files\\X\\"};

#ifdef _WIN32
TEST(Platform, WindowsCommandLineIsReadBackAsTheSameArguments)
{
    std::vector<std::string> args = {"prog.exe"};
    args.insert(args.end(), kHostileArguments.begin(), kHostileArguments.end());
    std::string line = WindowsCommandLine(args);
    int count = 0;
    std::wstring wide = PathFromUtf8(line).wstring();
    LPWSTR* read = CommandLineToArgvW(wide.c_str(), &count);
    ASSERT_NE(nullptr, read);
    std::vector<std::string> back;
    for (int i = 0; i < count; i++)
        back.push_back(PathToUtf8(fs::path(read[i])));
    LocalFree(read);
    EXPECT_EQ(args, back) << line;
}

TEST(Platform, RunProgramGivesTheExitStatus)
{
    ProgramEnd end = RunProgram({"cmd.exe", "/c", "exit 7"});
    EXPECT_TRUE(end.started && end.exited);
    EXPECT_EQ(7, end.status);
    EXPECT_FALSE(RunProgram({"no-such-program-anywhere.exe"}).started);
}
#else
TEST_F(PlatformFiles, RunProgramPassesEachArgumentAsItIs)
{
    fs::path out = dir_ / "args.txt";
    std::vector<std::string> args = {"sh", "-c", "printf '%s\\n' \"$@\" > \"$0\"", out.string()};
    args.insert(args.end(), kHostileArguments.begin(), kHostileArguments.end());
    ProgramEnd end = RunProgram(args);
    ASSERT_TRUE(end.started && end.exited);
    EXPECT_EQ(0, end.status);
    std::ifstream in(out);
    std::vector<std::string> back;
    for (std::string line; std::getline(in, line);)
        back.push_back(line);
    std::vector<std::string> expected;
    for (const std::string& a : kHostileArguments) {
        std::string piece;
        for (char c : a + "\n")                 // tab\there stays one line
            if (c == '\n') {
                expected.push_back(piece);
                piece.clear();
            } else {
                piece += c;
            }
    }
    EXPECT_EQ(expected, back);

    end = RunProgram({"sh", "-c", "exit 7"});
    EXPECT_TRUE(end.started && end.exited);
    EXPECT_EQ(7, end.status);
    end = RunProgram({"sh", "-c", "kill -9 $$"});
    EXPECT_TRUE(end.started);
    EXPECT_FALSE(end.exited);
    EXPECT_FALSE(RunProgram({"no-such-program-anywhere"}).started);
}
#endif

} // namespace
