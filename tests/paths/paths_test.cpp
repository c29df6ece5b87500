// Path texts: every function is a pure text operation, so the same tables
// run natively (with the sanitizers) and under Wine.
#include "core/paths.h"

#include <gtest/gtest.h>

namespace {

struct SplitCase {
    const char* path;
    int lastSeparator;
    const char* directory;
    const char* fileName;
    const char* afterRemove;    // PathRemoveFileName; null: returns false
};

TEST(PathSplit, DirectoryFileNameAndSeparator)
{
    static const SplitCase kCases[] = {
        {"C:\\a\\b",        4, "C:\\a",    "b",       "C:\\a\\"},
        {"C:\\a",           2, "C:\\",     "a",       "C:\\"},      // root stays a root
        {"C:a",             1, "C:",       "a",       "C:"},        // drive-relative
        {"C:\\",            2, "C:\\",     "",        "C:\\"},
        {"C:",              1, "C:",       "",        "C:"},
        {"name.txt",       -1, "",         "name.txt", nullptr},
        {"",               -1, "",         "",        nullptr},
        {"dir\\",           3, "dir",      "",        "dir\\"},
        {"\\top",           0, "",         "top",     "\\"},
        {"a:b\\c",          3, "a:b",      "c",       "a:b\\"},     // backslash wins over colon
        {"x:y:z",           1, "x:",       "y:z",     "x:"},        // first colon, not last
        {"\\\\srv\\share\\f", 11, "\\\\srv\\share", "f", "\\\\srv\\share\\"},
        {"a/b",            -1, "",         "a/b",     nullptr},     // slash is no separator
    };
    for (const SplitCase& c : kCases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(c.lastSeparator, PathLastSeparator(c.path));
        EXPECT_EQ(c.lastSeparator + 1, PathNameStart(c.path));
        EXPECT_STREQ(c.directory, PathDirectory(c.path).CStr());
        EXPECT_STREQ(c.fileName, PathFileName(c.path).CStr());
        String path(c.path);
        EXPECT_EQ(c.afterRemove != nullptr, PathRemoveFileName(path));
        EXPECT_STREQ(c.afterRemove ? c.afterRemove : c.path, path.CStr());
    }
}

TEST(PathSplit, NullPathIsEmpty)
{
    EXPECT_EQ(-1, PathLastSeparator(nullptr));
    EXPECT_STREQ("", PathDirectory(nullptr).CStr());
    EXPECT_STREQ("", PathFileName(nullptr).CStr());
    EXPECT_STREQ("", PathDriveRoot(nullptr).CStr());
    EXPECT_EQ(0, PathDriveLetter(nullptr));
}

struct DriveCase {
    const char* path;
    const char* root;
    char letter;
};

TEST(PathDrive, RootAndLetter)
{
    static const DriveCase kCases[] = {
        {"C:\\x",        "C:\\", 'C'},
        {"C:x",          "C:",   'C'},
        {"d:\\",         "d:\\", 'D'},  // the root keeps its case, the letter is upper
        {"z:",           "z:",   'Z'},
        {"\\\\srv\\s",   "",     0},
        {"1:\\x",        "",     0},    // not a letter
        {"x",            "",     0},
        {"",             "",     0},
    };
    for (const DriveCase& c : kCases) {
        SCOPED_TRACE(c.path);
        EXPECT_STREQ(c.root, PathDriveRoot(c.path).CStr());
        EXPECT_EQ(c.letter, PathDriveLetter(c.path));
    }
}

struct JoinCase {
    const char* dir;
    const char* name;
    const char* joined;
};

TEST(PathJoin, InsertsExactlyOneSeparator)
{
    static const JoinCase kCases[] = {
        {"C:\\",       "a",      "C:\\a"},
        {"C:",         "a",      "C:a"},
        {"C:\\x\\",    "\\y",    "C:\\x\\y"},
        {"C:\\x",      "\\y",    "C:\\x\\y"},
        {"C:\\x",      "y",      "C:\\x\\y"},
        {"C:\\x\\",    "y",      "C:\\x\\y"},
        {"C:\\x\\\\",  "\\y",    "C:\\x\\\\y"},  // only one trailing backslash goes
        {"",           "a\\b",   "a\\b"},
        {"C:\\x",      "",       "C:\\x"},
        {"",           "",       ""},
        {"C:\\x",      "*.*",    "C:\\x\\*.*"},
    };
    for (const JoinCase& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.dir << " + " << c.name);
        EXPECT_STREQ(c.joined, PathJoin(c.dir, c.name).CStr());
    }
}

struct ExtensionCase {
    const char* path;
    const char* ext;
    bool added;
    const char* result;
};

TEST(PathAddExtension, OnlyWhenTheNameHasNone)
{
    static const ExtensionCase kCases[] = {
        {"C:\\dir\\setup",      "EXE",  true,  "C:\\dir\\setup.EXE"},
        {"C:\\dir\\setup",      ".EXE", true,  "C:\\dir\\setup.EXE"},
        {"C:\\dir\\setup.bin",  "EXE",  false, "C:\\dir\\setup.bin"},
        {"C:\\dir.d\\setup",    "EXE",  true,  "C:\\dir.d\\setup.EXE"},  // dot in a directory
        {"setup",               "EXE",  true,  "setup.EXE"},
        {"C:\\dir\\",           "EXE",  true,  "C:\\dir\\.EXE"},
    };
    for (const ExtensionCase& c : kCases) {
        SCOPED_TRACE(c.path);
        String path(c.path);
        EXPECT_EQ(c.added, PathAddExtension(path, c.ext));
        EXPECT_STREQ(c.result, path.CStr());
    }
}

struct EqualCase {
    const char* a;
    const char* b;
    bool equal;
};

TEST(PathsEqual, IgnoresCaseAndTrailingBackslashes)
{
    static const EqualCase kCases[] = {
        {"C:\\Program Files\\App", "c:\\program files\\app\\", true},
        {"C:\\",                   "C:",                       true},
        {"C:\\a\\\\",              "C:\\A",                    true},
        {"C:\\a",                  "C:\\b",                    false},
        {"C:\\a",                  "C:\\ab",                   false},
        {"",                       "\\",                       true},
        {"\xC4",                   "\xE4",                     false},  // only ASCII folds
    };
    for (const EqualCase& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.a << " vs " << c.b);
        EXPECT_EQ(c.equal, PathsEqual(c.a, c.b));
        EXPECT_EQ(c.equal, PathsEqual(c.b, c.a));
    }
}

// The same place in other words, and the roots that no product may own.
TEST(PathPlainForm, DevicePrefixesAndAdministrativeShares)
{
    static const char* const kCases[][2] = {
        {"\\\\?\\C:\\Windows",              "C:\\Windows"},
        {"\\\\.\\C:\\Windows",              "C:\\Windows"},
        {"\\\\?\\UNC\\srv\\share\\x",      "\\\\srv\\share\\x"},
        {"\\\\?\\unc\\srv\\share",         "\\\\srv\\share"},
        {"\\\\localhost\\C$\\Windows",      "C:\\Windows"},
        {"\\\\?\\UNC\\127.0.0.1\\d$",      "d:"},
        {"\\\\srv\\share\\C$",              "\\\\srv\\share\\C$"},   // a folder, no share
        {"\\\\srv\\CD$\\x",                 "\\\\srv\\CD$\\x"},     // no drive's share
        {"C:\\Program Files",                "C:\\Program Files"},
        {"",                                  ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c[0]);
        EXPECT_STREQ(c[1], PathPlainForm(c[0]).CStr());
    }
    EXPECT_STREQ("", PathPlainForm(nullptr).CStr());
}

TEST(PathIsRoot, DrivesAndShares)
{
    static const char* const kRoots[] = {"C:\\", "C:", "C:\\\\", "", "\\", "\\\\srv",
                                         "\\\\srv\\share", "\\\\srv\\share\\", nullptr};
    static const char* const kFolders[] = {"C:\\a", "C:\\Users", "\\\\srv\\share\\a"};
    for (const char* path : kRoots)
        EXPECT_TRUE(PathIsRoot(path)) << (path ? path : "(null)");
    for (const char* path : kFolders)
        EXPECT_FALSE(PathIsRoot(path)) << path;
}

struct AbsoluteCase {
    const char* text;
    bool absolute;
};

TEST(IsAbsolutePath, DriveWithBackslashOrNetwork)
{
    static const AbsoluteCase kCases[] = {
        {"C:\\",            true},
        {"c:\\dir",         true},
        {"\\\\srv\\share",  true},
        {" \t\r\nC:\\x",    true},     // leading blanks are skipped
        {"C:dir",           false},
        {"\\dir",           false},
        {"dir",             false},
        {"",                false},
        {"   ",             false},
        {nullptr,           false},
    };
    for (const AbsoluteCase& c : kCases) {
        SCOPED_TRACE(c.text ? c.text : "(null)");
        EXPECT_EQ(c.absolute, IsAbsolutePath(c.text));
    }
}

struct MakeAbsoluteCase {
    const char* path;
    const char* base;
    bool changed;
    const char* result;
};

TEST(MakeAbsolute, ResolvesAgainstTheBase)
{
    static const MakeAbsoluteCase kCases[] = {
        {"sub",       "C:\\base",       true,  "C:\\base\\sub"},
        {"sub",       "C:\\base\\",     true,  "C:\\base\\sub"},
        {"sub",       "C:\\",           true,  "C:\\sub"},
        {"\\top",     "C:\\base",       true,  "C:\\top"},
        {"D:rel",     "C:\\base",       true,  "D:\\base\\rel"},
        {"D:rel",     "C:\\base\\",     true,  "D:\\base\\rel"},
        {"D:",        "C:\\base",       true,  "D:\\base\\"},
        {"C:\\x",     "C:\\base",       false, "C:\\x"},    // already absolute
        {"",          "C:\\base",       false, ""},
        {"sub",       "base",           false, "sub"},      // base not absolute
        {"sub",       "C:base",         false, "sub"},
        {"sub",       "  C:\\base",     true,  "C:\\base\\sub"},
        {"sub",       "\\\\srv\\sh\\b", true,  "\\\\srv\\sh\\b\\sub"},
        {"\\top",     "\\\\srv\\sh\\b", true,  "\\\\srv\\sh\\top"},  // the share is the root
        {"\\top",     "\\\\srv\\sh",    true,  "\\\\srv\\sh\\top"},
        {"D:rel",     "\\\\srv\\sh\\b", false, "D:rel"},
    };
    for (const MakeAbsoluteCase& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.path << " against " << c.base);
        String path(c.path);
        EXPECT_EQ(c.changed, MakeAbsolute(path, c.base));
        EXPECT_STREQ(c.result, path.CStr());
    }
}

struct ValidNameCase {
    const char* path;
    bool valid;
};

TEST(IsValidPathName, DriveAndQuotesAllowedNoReservedCharacters)
{
    static const ValidNameCase kCases[] = {
        {"\"C:\\Program Files\\App\"", true},
        {"C:\\Program Files\\App",     true},
        {"App",                        true},
        {"\\\\srv\\share\\App",        true},
        {"C:\\App*",                   false},
        {"C:\\a:b",                    false},   // a second colon
        {":\\App",                     false},   // a colon that is no drive's
        {"",                           false},
        {"\"\"",                       false},   // quotes around nothing
        {"\"",                         false},
        {"\"C:\\App",                  false},   // one quote is not a pair
        {"C:\\a/b",                    false},
        {"C:\\a<b",                    false},
        {"C:\\a>b",                    false},
        {"C:\\a|b",                    false},
        {"C:\\a?b",                    false},
        {"C:\\a;b",                    false},
        {"C:\\a\"b",                   false},
        {nullptr,                      false},
    };
    for (const ValidNameCase& c : kCases) {
        SCOPED_TRACE(c.path ? c.path : "(null)");
        EXPECT_EQ(c.valid, IsValidPathName(c.path));
    }
}

TEST(StringContainsOneOf, AnyByteOfTheSet)
{
    EXPECT_TRUE(String("C:\\a*b").ContainsOneOf("*?"));
    EXPECT_FALSE(String("C:\\ab").ContainsOneOf("*?"));
    EXPECT_FALSE(String().ContainsOneOf("*?"));
    EXPECT_FALSE(String("abc").ContainsOneOf(""));
}

} // namespace
