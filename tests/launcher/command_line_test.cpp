// The command line: switches, their values, the word limit and the usage
// complaints.
#include <gtest/gtest.h>

#include "launcher/command_line.h"

namespace {

struct CommandLineCase {
    const char* text;
    uint8_t ok;
    uint8_t automatic;
    uint8_t uninstall;
    const char* productName;
    const char* installDirectory;
    const char* error;          // the complaint when ok is 0
};

TEST(ParseCommandLine, ReadsSwitchesAndComplains)
{
    static const CommandLineCase kCases[] = {
        {"", 1, 0, 0, "", "", ""},
        {"   \t ", 1, 0, 0, "", "", ""},                 // blanks are no word
        {"/a", 1, 1, 0, "", "", ""},
        {"-A", 1, 1, 0, "", "", ""},
        {"/A  ", 1, 1, 0, "", "", ""},                   // trailing blanks
        {"/ab", 0, 0, 0, "", "", "Illegal command line atom:\nab"},
        {"/d:\"C:\\Program Files\\Tool\"", 1, 0, 0, "", "C:\\Program Files\\Tool", ""},
        {"/D:C:\\Dir", 1, 0, 0, "", "C:\\Dir", ""},
        {"-d:", 1, 0, 0, "", "", ""},
        {"/n:\"My Tool\"", 1, 0, 0, "My Tool", "", ""},
        {"/N:Tool", 1, 0, 0, "Tool", "", ""},
        {"/u:\"My Tool\"", 1, 0, 1, "My Tool", "", ""},
        {"/u /n:Tool", 1, 0, 1, "Tool", "", ""},
        {"/u", 1, 0, 1, "", "", ""},                     // the caller asks for the name
        {"/uninstall", 1, 0, 1, "", "", ""},             // "U" then no ":" only asks
        {"/n:One /u:Two", 1, 0, 1, "Two", "", ""},       // the later word wins
        {"/u:Two /n:One", 1, 0, 1, "One", "", ""},
        {"/ - /a", 1, 1, 0, "", "", ""},                 // a lone "/" or "-" is ignored
        {"setup", 0, 0, 0, "", "", "Unexpected command line parameter:\nsetup"},
        {"/a \"two words\"", 0, 1, 0, "", "", "Unexpected command line parameter:\n\"two words\""},
        {"/x", 0, 0, 0, "", "", "Illegal command line atom:\nx"},
        {"/a /D:X /Q", 0, 1, 0, "", "X", "Illegal command line atom:\nQ"},
    };
    for (const CommandLineCase& c : kCases) {
        SCOPED_TRACE(c.text);
        CommandLine options;
        String error;
        EXPECT_EQ(c.ok, ParseCommandLine(String(c.text), options, error));
        EXPECT_EQ(c.automatic, options.automatic);
        EXPECT_EQ(c.uninstall, options.uninstall);
        EXPECT_STREQ(c.productName, options.productName.CStr());
        EXPECT_STREQ(c.installDirectory, options.installDirectory.CStr());
        EXPECT_STREQ(c.error, error.CStr());
    }
}

TEST(ParseCommandLine, LooksAtNineteenWordsOnly)
{
    String line;
    for (int i = 0; i < kMaxCommandLineWords; i++)
        line.Append("/n:keep ");
    CommandLine options;
    String error;
    // The twentieth word would be a complaint and the twenty-first a new
    // name; neither is looked at.
    line.Append("stray /n:ignored");
    EXPECT_EQ(1, ParseCommandLine(line, options, error));
    EXPECT_STREQ("keep", options.productName.CStr());

    String shorter;
    for (int i = 0; i < kMaxCommandLineWords - 1; i++)
        shorter.Append("/a ");
    shorter.Append("/n:last");
    CommandLine counted;
    EXPECT_EQ(1, ParseCommandLine(shorter, counted, error));
    EXPECT_STREQ("last", counted.productName.CStr());
}

}  // namespace
