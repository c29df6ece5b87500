// String through its interface. The same program runs natively (ASan and
// UBSan) and under Wine; the fatal stops are checked natively only, where
// they print to stderr instead of showing a box.
#include <gtest/gtest.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "core/fatal.h"
#include "core/string.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>

#include <new>
#endif

namespace {

// The bytes of s as a std::string, zero bytes included.
std::string Bytes(const String& s)
{
    return std::string(s.CStr(), (size_t)s.Length());
}

} // namespace

// ---------------------------------------------------------------------------
// The sizing rule

TEST(StringSizing, EmptyStateHasNoBlockButAText)
{
    String s;
    EXPECT_STREQ("", s.CStr());
    EXPECT_EQ(nullptr, s.Data());
    EXPECT_TRUE(s.IsEmpty());

    s = "abc";
    s.SetLength(0);     // frees the block
    EXPECT_EQ(nullptr, s.Data());
    EXPECT_EQ(0, s.Capacity());
    EXPECT_STREQ("", s.CStr());

    String fromNull(static_cast<const char*>(nullptr));
    String fromEmpty("");
    EXPECT_EQ(nullptr, fromNull.Data());
    EXPECT_EQ(nullptr, fromEmpty.Data());
}

TEST(StringSizing, SlackAndShrinkHysteresis)
{
    struct Step {
        int length;
        int capacity;       // expected afterwards
        bool sameBlock;     // the block did not move
    };
    // From nothing up past the slack, then down from a large block.
    static const Step kSteps[] = {
        {10, 35, false},
        {30, 35, true},     // below the capacity: kept
        {35, 60, false},    // reaching the capacity reallocates
        {975, 1000, false},
        {600, 1000, true},  // within 512 below the capacity: kept
        {489, 1000, true},  // 511 below
        {488, 1000, true},  // exactly 512 below still keeps it
        {400, 425, false},  // more than 512 below: shrinks
        {1, 425, true},
    };
    String s;
    for (const Step& step : kSteps) {
        SCOPED_TRACE(step.length);
        const char* before = s.Data();
        s.SetLength(step.length);
        EXPECT_EQ(step.length, s.Length());
        EXPECT_EQ(step.capacity, s.Capacity());
        if (step.sameBlock) {
            EXPECT_EQ(before, s.Data());
        }
        EXPECT_EQ(0, s.CStr()[step.length]);    // always terminated
    }
}

TEST(StringSizing, ConstructionAdoptAndDetach)
{
    String text("hello");
    EXPECT_EQ(5 + 25, text.Capacity());

    char* block = (char*)malloc(8);
    memcpy(block, "abcdefgh", 8);
    String adopted;
    adopted.Adopt(block, 3);
    EXPECT_EQ("abc", Bytes(adopted));
    EXPECT_EQ(4, adopted.Capacity());

    char* detached = adopted.Detach();
    EXPECT_STREQ("abc", detached);
    EXPECT_EQ(nullptr, adopted.Data());
    EXPECT_EQ(0, adopted.Length());
    free(detached);

    String nothing("x");
    nothing.Adopt(malloc(4), 0);    // freed, and the old content is gone
    EXPECT_EQ(nullptr, nothing.Data());
}

TEST(StringSizing, LengthHelpers)
{
    String s;
    s.Reset(100);
    EXPECT_EQ(100, s.Length());
    strcpy(s.Data(), "short");
    s.SyncLength();
    EXPECT_EQ("short", Bytes(s));
    EXPECT_EQ(125, s.Capacity());   // within the hysteresis

    EXPECT_FALSE(s.EnsureLength(50));   // fits: length raised, block kept
    EXPECT_EQ(50, s.Length());
    EXPECT_EQ(0, s.CStr()[50]);
    EXPECT_TRUE(s.EnsureLength(125));
    EXPECT_EQ(150, s.Capacity());

    s = "abc";
    s.Data()[0] = 0;
    s.SyncLength();     // zero length frees the block
    EXPECT_EQ(nullptr, s.Data());
}

// ---------------------------------------------------------------------------
// Access, appending, inserting

TEST(StringAccess, CharsAndSetAt)
{
    String s("abc");
    EXPECT_EQ('a', s.CharAt(0));
    EXPECT_EQ(0, s.CharAt(3));
    EXPECT_EQ(0, s.CharAt(-1));
    EXPECT_EQ('a', s.First());
    EXPECT_EQ('c', s.Last());
    EXPECT_EQ('b', *s.At(1));
    EXPECT_EQ(0, String().First());
    EXPECT_EQ(0, String().Last());

    EXPECT_FALSE(s.SetAt(3, 'x'));
    EXPECT_TRUE(s.SetAt(1, 'X'));
    EXPECT_EQ("aXc", Bytes(s));
    EXPECT_TRUE(s.SetAt(1, 0));     // a zero cuts the length
    EXPECT_EQ("a", Bytes(s));
}

TEST(StringAppend, FormsAndRawBytes)
{
    String s;
    s.Append('a').Append("bc").Append(String("defg"), 2).Append("\0x", 2);
    EXPECT_EQ(std::string("abcde\0x", 7), Bytes(s));
    s.Append("ignored", 0);
    s.Append(static_cast<const char*>(nullptr));
    EXPECT_EQ(7, s.Length());

    String g("ab");
    char* end = g.Grow(0);
    EXPECT_EQ(g.CStr() + 2, end);
    char* fresh = g.Grow(3);
    memcpy(fresh, "cde", 3);
    EXPECT_EQ("abcde", Bytes(g));
    EXPECT_EQ(nullptr, g.GrowOrNull(-1));

    EXPECT_EQ("ab!", Bytes(String("ab") + '!'));
    EXPECT_EQ("abcd", Bytes(String("ab") + "cd"));
    EXPECT_EQ("abcd", Bytes(String("ab") + String("cd")));
    EXPECT_EQ("abcd", Bytes("ab" + String("cd")));
}

TEST(StringAppend, PiecesOfItself)
{
    String s("abc");
    s.Append(s);
    EXPECT_EQ("abcabc", Bytes(s));

    String big;
    big.Reset(40);
    memset(big.Data(), 'x', 40);
    big.Append(big);    // the block moves while appending
    EXPECT_EQ(std::string(80, 'x'), Bytes(big));

    String t("0123456789");
    t.Assign(t.CStr() + 3);
    EXPECT_EQ("3456789", Bytes(t));
    t.Insert(t, 2);
    EXPECT_EQ("34345678956789", Bytes(t));
}

TEST(StringInsert, ClampsThePosition)
{
    struct Case {
        int pos;
        const char* expected;
    };
    static const Case kCases[] = {
        {0, "XYabc"}, {1, "aXYbc"}, {3, "abcXY"}, {-5, "XYabc"}, {99, "abcXY"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pos);
        String s("abc");
        s.Insert("XYZ", c.pos, 2);
        EXPECT_EQ(c.expected, Bytes(s));
    }
    String s("ab");
    s.Insert('-', 1, 3);
    EXPECT_EQ("a---b", Bytes(s));
    s.InsertBytes(nullptr, 3, 0);
    s.InsertBytes("zz", 0, 0);
    EXPECT_EQ("a---b", Bytes(s));

    String path("dir");
    EXPECT_TRUE(path.EnsureTrailing('\\'));
    EXPECT_FALSE(path.EnsureTrailing('\\'));
    EXPECT_TRUE(path.EnsureLeading('\\'));
    EXPECT_FALSE(path.EnsureLeading('\\'));
    EXPECT_EQ("\\dir\\", Bytes(path));
}

TEST(StringAssign, Forms)
{
    String s("old");
    s.Assign("abc\0def", 7);
    EXPECT_EQ(std::string("abc\0def", 7), Bytes(s));
    s.AssignUpTo("abc\0def", 7);    // stops at the zero
    EXPECT_EQ("abc", Bytes(s));
    s.AssignUpTo("abcdef", 2);
    EXPECT_EQ("ab", Bytes(s));
    s.Assign("x", 0);
    EXPECT_EQ(nullptr, s.Data());
    s = "text";
    s.Assign(static_cast<const char*>(nullptr));
    EXPECT_EQ(nullptr, s.Data());

    String copy("abc");
    String other(copy);
    other.SetAt(0, 'X');    // copies own their bytes
    EXPECT_EQ("abc", Bytes(copy));
    copy = copy;
    EXPECT_EQ("abc", Bytes(copy));
}

// ---------------------------------------------------------------------------
// Formatting

TEST(StringFormat, FormatsAndAppends)
{
    String s("old");
    s.Format("%d-%s-%c", 42, "x", 'y');
    EXPECT_EQ("42-x-y", Bytes(s));
    s.AppendFormat(" %.2f", 1.5);
    EXPECT_EQ("42-x-y 1.50", Bytes(s));
    EXPECT_EQ("Error code: 7", Bytes(String::Formatted("Error code: %d", 7)));
}

TEST(StringFormat, OnePieceIsCutAtTheLimit)
{
    std::string longText(40000, 'a');
    String s;
    s.Format("%s", longText.c_str());
    EXPECT_EQ(String::FormatPieceSize - 1, s.Length());
    EXPECT_EQ(0, s.CStr()[s.Length()]);
}

TEST(StringFormat, FitsOnlyTheGivenConversions)
{
    struct Case {
        const char* format;
        const char* conversions;
        bool fits;
    };
    static const Case kCases[] = {
        {"", "", true},
        {"no conversion", "", true},
        {"100%% done", "", true},                   // %% is no conversion
        {"Error code: %d", "d", true},
        {"Disk %d in drive %c:", "dc", true},
        {"%s\r\n%s", "ss", true},
        {"%-20s|%02d|%.5s|%+3d|% d|%#c", "sdsddc", true},
        {"%%%d%%", "d", true},
        {"no conversion", "s", false},              // too few
        {"Disk %d", "dc", false},
        {"%s%s%s%n", "s", false},                   // too many
        {"%s", "d", false},                         // another kind
        {"%d", "s", false},
        {"%c in %d", "dc", false},                  // another order
        {"%n", "", false},
        {"%", "", false},                           // a lone '%'
        {"Error code: %", "d", false},
        {"%999999d", "d", false},                   // widths of three digits and more
        {"%100s", "s", false},
        {"%.999s", "s", false},
        {"%ls", "s", false},                        // size prefixes
        {"%hs", "s", false},
        {"%I64d", "d", false},
        {"%lld", "d", false},
        {"%*d", "d", false},                        // '*' takes an argument of its own
        {"%.*s", "s", false},
        {"%1$s", "s", false},                       // positional arguments
        {"%5%", "", false},
        {"%S", "s", false},                         // msvcrt's wide text
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.format);
        EXPECT_EQ(c.fits, String::FormatFits(c.format, c.conversions)) << c.conversions;
    }
}

namespace {

// AppendCheckedFormatV after "keep:", with arguments of the conversions
// that the program's callers pass for such texts.
String CheckedFormat(const char* format, const char* conversions, ...)
{
    String s("keep:");
    va_list args;
    va_start(args, conversions);
    s.AppendCheckedFormatV(format, conversions, args);
    va_end(args);
    return s;
}

String CheckedWithArguments(const char* format, const char* conversions)
{
    if (strcmp(conversions, "d") == 0)
        return CheckedFormat(format, conversions, 77);
    if (strcmp(conversions, "dc") == 0)
        return CheckedFormat(format, conversions, 2, 'Z');
    return CheckedFormat(format, conversions, "C:\\Install.LOG");
}

} // namespace

TEST(StringFormat, CheckedFormatKeepsHostileTextsAsTheyStand)
{
    struct Case {
        const char* format;
        const char* conversions;   // "d", "dc" or "s"
        const char* expected;      // null: the format as it stands
    };
    static const Case kCases[] = {
        {"Error code: %d", "d", "Error code: 77"},
        {"Disk %d in drive %c:", "dc", "Disk 2 in drive Z:"},
        {"Read %s?", "s", "Read C:\\Install.LOG?"},
        {"100%% of %-3s|", "s", "100% of C:\\Install.LOG|"},
        {"Code %03d", "d", "Code 077"},
        {"%s%s%s%n", "s", nullptr},
        {"%999999d", "d", nullptr},
        {"%", "d", nullptr},
        {"Code: %d%", "d", nullptr},
        {"%ls", "s", nullptr},
        {"%s", "d", nullptr},                       // would read text at address 77
        {"%s in drive %c", "dc", nullptr},
        {"%d %c %s", "dc", nullptr},
        {"%n", "d", nullptr},
        {"%I64d", "d", nullptr},
        {"no conversion", "s", nullptr},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.format);
        std::string expected = std::string("keep:") + (c.expected ? c.expected : c.format);
        EXPECT_EQ(expected, Bytes(CheckedWithArguments(c.format, c.conversions)));
    }
}

// ---------------------------------------------------------------------------
// Deleting and cutting

TEST(StringDelete, Rules)
{
    struct Case {
        const char* text;
        int pos;
        int count;
        bool result;
        const char* expected;
    };
    static const Case kCases[] = {
        {"abcdef", -2, 5, true, "def"},         // a negative pos eats into count
        {"abcdef", -5, 5, false, "abcdef"},     // nothing left of count
        {"abcdef", 6, 1, false, "abcdef"},      // at the end
        {"abcdef", 2, 0, false, "abcdef"},
        {"abcdef", 2, 2, true, "abef"},
        {"abcdef", 2, String::All, true, "ab"},
        {"abcdef", 4, 99, true, "abcd"},
        {"abcdef", 0, 6, true, ""},
        {"", 0, 1, false, ""},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::string(c.text) + " " + std::to_string(c.pos) + " " + std::to_string(c.count));
        String s(c.text);
        EXPECT_EQ(c.result, s.Delete(c.pos, c.count));
        EXPECT_EQ(c.expected, Bytes(s));
    }
    String s("abcdef");
    EXPECT_TRUE(s.Truncate(3));
    EXPECT_EQ("abc", Bytes(s));
}

TEST(StringDelete, ChopStripAndRemove)
{
    String s("abcdef");
    EXPECT_EQ(2, s.ChopLeft(2));
    EXPECT_EQ(1, s.ChopRight(1));
    EXPECT_EQ("cde", Bytes(s));
    EXPECT_EQ(0, s.ChopRight(0));
    EXPECT_EQ(3, s.ChopRight(10));
    EXPECT_EQ(0, s.ChopLeft(10));
    s = "[x]";
    EXPECT_EQ(2, s.ChopBoth(1));
    EXPECT_EQ("x", Bytes(s));

    s = "a,b,,c";
    EXPECT_EQ(3, s.RemoveChar(','));
    EXPECT_EQ("abc", Bytes(s));

    s = "xABxabxAb";
    EXPECT_EQ(1, s.RemoveAll("ab", String::All, true));
    EXPECT_EQ("xABxxAb", Bytes(s));
    EXPECT_EQ(1, s.RemoveAll("ab", 1, false));
    EXPECT_EQ("xxxAb", Bytes(s));
    EXPECT_EQ(0, s.RemoveAll(nullptr));

    s = "name=value";
    EXPECT_TRUE(s.TruncateAtChar('='));
    EXPECT_EQ("name", Bytes(s));
    EXPECT_FALSE(s.TruncateAtChar('='));

    s = "/a";
    EXPECT_TRUE(s.StripLeadingOneOf("/-"));
    EXPECT_FALSE(s.StripLeadingOneOf("/-"));
    String zero("\0x", 2);
    EXPECT_FALSE(zero.StripLeadingOneOf("/-"));  // a zero byte is in no set

    s = "\\dir\\";
    EXPECT_TRUE(s.StripLeading('\\'));
    EXPECT_TRUE(s.StripTrailing('\\'));
    EXPECT_FALSE(s.StripTrailing('\\'));
    EXPECT_EQ("dir", Bytes(s));
    EXPECT_EQ('d', s.PopChar());
    EXPECT_EQ("ir", Bytes(s));
    EXPECT_EQ(0, String().PopChar());
}

TEST(StringDelete, UnquoteAndPrefix)
{
    struct Case {
        const char* text;
        bool result;
        const char* expected;
    };
    static const Case kCases[] = {
        {"\"C:\\My Dir\"", true, "C:\\My Dir"},
        {"\"\"", true, ""},
        {"\"", false, "\""},        // a lone quote is no pair
        {"\"abc", false, "\"abc"},
        {"abc", false, "abc"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.text);
        String s(c.text);
        EXPECT_EQ(c.result, s.Unquote('"'));
        EXPECT_EQ(c.expected, Bytes(s));
    }

    String s("D:C:\\Dir");
    EXPECT_TRUE(s.RemovePrefixNoCase("d:"));
    EXPECT_EQ("C:\\Dir", Bytes(s));
    EXPECT_FALSE(s.RemovePrefixNoCase(""));
    EXPECT_FALSE(s.RemovePrefixNoCase("C:\\Dir\\longer"));
    EXPECT_FALSE(s.RemovePrefixNoCase("x"));
}

TEST(StringTrim, Rules)
{
    String s(" \t\r\nab c \n");
    EXPECT_EQ(6, s.Trim());
    EXPECT_EQ("ab c", Bytes(s));
    s = "xxabxx";
    EXPECT_EQ(2, s.TrimLeft("x"));
    EXPECT_EQ(2, s.TrimRightChar('x'));
    EXPECT_EQ("ab", Bytes(s));
    s = "path\\\\";
    EXPECT_EQ(2, s.TrimRight("\\"));
    s = "   ";
    EXPECT_EQ(3, s.TrimLeft());
    EXPECT_EQ(nullptr, s.Data());

    String zeros("\0\0", 2);
    EXPECT_EQ(0, zeros.TrimLeft());     // zero bytes are not blanks
    EXPECT_FALSE(zeros.IsBlank());

    EXPECT_TRUE(String().IsBlank());
    EXPECT_TRUE(String(" \r\n\t").IsBlank());
    EXPECT_FALSE(String(" x ").IsBlank());
}

// ---------------------------------------------------------------------------
// Comparing

TEST(StringCompare, TextRules)
{
    struct Case {
        const char* self;
        const char* text;
        bool caseSensitive;
        int limit;
        int sign;           // -1, 0 or 1
    };
    static const Case kCases[] = {
        {"", "", true, String::All, 0},
        {"x", "", true, String::All, 1},
        {"", "x", true, String::All, -1},
        {"abc", "abc", true, String::All, 0},
        {"ab", "abc", true, String::All, -1},       // a proper prefix is smaller
        {"abc", "ab", true, String::All, 1},
        {"abc", "ab", true, 2, 0},                  // limit = strlen: starts-with
        {"ABC", "abc", true, String::All, -1},
        {"ABC", "abc", false, String::All, 0},
        {"[", "A", false, String::All, -1},         // folds to lower case
        {"a[", "A{", false, String::All, -1},       // only letters fold
        {"\xe9", "e", true, String::All, 1},        // bytes compare unsigned
        {"\xe9", "e", false, String::All, 1},
        {"abc", "abd", true, 0, -1},                // nothing to compare
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::string(c.self) + " vs " + c.text);
        int result = String(c.self).Compare(c.text, c.caseSensitive, c.limit);
        EXPECT_EQ(c.sign, (result > 0) - (result < 0));
    }
    EXPECT_EQ(1, String("x").Compare(static_cast<const char*>(nullptr)));
}

TEST(StringCompare, StringRulesAndEquality)
{
    EXPECT_EQ(0, String().Compare(String()));
    EXPECT_LT(String().Compare(String("a")), 0);
    EXPECT_GT(String("a").Compare(String()), 0);
    EXPECT_LT(String("ab").Compare(String("abc")), 0);
    EXPECT_EQ(0, String("ABC").Compare(String("abc"), false));
    // Raw content: the zero byte takes part.
    EXPECT_LT(String("a\0b", 3).Compare(String("a\0c", 3)), 0);

    EXPECT_TRUE(String() == String());
    EXPECT_TRUE(String("a\0b", 3) == String("a\0b", 3));
    EXPECT_TRUE(String("a\0b", 3) != String("a\0c", 3));
    EXPECT_TRUE(String("ab") != String("abc"));
    EXPECT_TRUE(String("ab") == "ab");
    EXPECT_TRUE(String() == "");
    EXPECT_TRUE(String("a") != "A");

    EXPECT_TRUE(String("C:\\Program").IsPrefixOfNoCase("c:\\program files"));
    EXPECT_FALSE(String("C:\\Programs").IsPrefixOfNoCase("c:\\program"));
    EXPECT_FALSE(String().IsPrefixOfNoCase("anything"));
    EXPECT_TRUE(String("ab").FirstIs('a'));
    EXPECT_TRUE(String("ab").LastIs('b'));
    EXPECT_FALSE(String().LastIs(0));
}

// ---------------------------------------------------------------------------
// Searching

TEST(StringFind, FlagsAndStart)
{
    struct Case {
        const char* text;
        const char* find;
        int from;
        int flags;
        int expected;
    };
    const int NoCase = String::FindNoCase, Word = String::FindWholeWord, Wild = String::FindWildcard;
    static const Case kCases[] = {
        {"abcd", "b?d", 0, Wild, 1},
        {"abcd", "b?d", 0, 0, -1},
        {"concatenate cat", "cat", 0, Word, 12},
        {"concatenate cat", "cat", 0, 0, 3},
        {"cat_x cat", "cat", 0, Word, 6},           // '_' is a word byte
        {"(cat)", "cat", 0, Word, 1},
        {"cat", "cat", 0, Word, 0},
        {"Hello", "LL", 0, NoCase, 2},
        {"Hello", "LL", 0, 0, -1},
        {"Hello", "L?O", 0, NoCase | Wild, 2},
        {"abab", "ab", 1, 0, 2},
        {"abab", "ab", -7, 0, 0},
        {"abab", "ab", 3, 0, -1},
        {"ab", "abc", 0, 0, -1},
        {"abc", "", 0, 0, -1},
        {"", "a", 0, 0, -1},
        {"x.TMP", "?.tmp", 0, NoCase | Wild, 0},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::string(c.text) + " / " + c.find + " flags " + std::to_string(c.flags));
        EXPECT_EQ(c.expected, String(c.text).Find(c.find, c.from, c.flags));
    }
    EXPECT_EQ(-1, String("abc").Find(nullptr));
}

TEST(StringFind, CharsAndSets)
{
    String s("a/b\\C/d");
    EXPECT_EQ(1, s.FindChar('/'));
    EXPECT_EQ(5, s.FindChar('/', 2));
    EXPECT_EQ(-1, s.FindChar('c'));
    EXPECT_EQ(4, s.FindChar('c', 0, false));
    EXPECT_EQ(5, s.ReverseFindChar('/'));
    EXPECT_EQ(1, s.ReverseFindChar('/', 4));
    EXPECT_EQ(-1, s.ReverseFindChar('/', 0));
    EXPECT_EQ(-1, String().ReverseFindChar('/'));
    EXPECT_EQ(1, s.FindOneOf("\\/"));
    EXPECT_EQ(3, s.FindOneOf("\\/", 2));
    EXPECT_EQ(-1, s.FindOneOf(""));
    EXPECT_EQ(-1, s.FindOneOf("/", 99));
    EXPECT_EQ(2, String("  x ").FindNotOneOf(" "));
    EXPECT_EQ(-1, String("   ").FindNotOneOf(" "));
    EXPECT_EQ(6, String("Size: -12").FindNumberStart());
    EXPECT_EQ(-1, String("none").FindNumberStart());
}

// ---------------------------------------------------------------------------
// Cutting out pieces

TEST(StringPieces, MidExtractSplit)
{
    String s("abcdef");
    EXPECT_EQ("cd", Bytes(s.Mid(2, 2)));
    EXPECT_EQ("cdef", Bytes(s.Mid(2)));
    EXPECT_EQ("ab", Bytes(s.Mid(-3, 2)));
    EXPECT_EQ("", Bytes(s.Mid(6)));
    EXPECT_EQ("", Bytes(s.Mid(1, 0)));

    EXPECT_EQ("bc", Bytes(s.Extract(1, 2)));
    EXPECT_EQ("adef", Bytes(s));

    String path("C:\\Dir\\File.txt");
    EXPECT_EQ("\\File.txt", Bytes(path.SplitAt("\\F")));
    EXPECT_EQ("C:\\Dir", Bytes(path));
    EXPECT_EQ("", Bytes(path.SplitAt("zz")));
    EXPECT_EQ("C:\\Dir", Bytes(path));
}

TEST(StringPieces, PopLine)
{
    struct Case {
        std::string text;
        std::string line;
        std::string lineWithEnd;
        std::string rest;
    };
    const Case kCases[] = {
        {"one\r\ntwo", "one", "one\r\n", "two"},
        {"one\n\rtwo", "one", "one\n\r", "two"},
        {"one\ntwo", "one", "one\n", "two"},
        {"one\rtwo", "one", "one\r", "two"},
        {"one\n\ntwo", "one", "one\n", "\ntwo"},       // two line ends
        {std::string("one\0two", 7), "one", std::string("one\0", 4), "two"},
        {"last", "last", "last", ""},
        {"\r\n", "", "\r\n", ""},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.text);
        String s(c.text.data(), (int)c.text.size());
        EXPECT_EQ(c.line, Bytes(s.PopLine()));
        EXPECT_EQ(c.rest, Bytes(s));
        String t(c.text.data(), (int)c.text.size());
        EXPECT_EQ(c.lineWithEnd, Bytes(t.PopLineWithEnd()));
        EXPECT_EQ(c.rest, Bytes(t));
    }
}

TEST(StringPieces, PopQuoted)
{
    struct Case {
        const char* text;
        int pos;
        const char* piece;
        const char* rest;
    };
    static const Case kCases[] = {
        {"\"a\"\"b\" rest", 0, "a\"b", " rest"},
        {"x \"quoted\" y", 2, "quoted", "x  y"},
        {"\"open to the end", 0, "open to the end", ""},
        {"\"\"", 0, "", ""},
        {"\"\"\"\"", 0, "\"", ""},         // a doubled quote inside
        {"\"a\"\"", 0, "a\"", ""},         // a doubled quote, then no closing one
        {"no quote", 0, "", "no quote"},
        {"\"a\"", 5, "", "\"a\""},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.text);
        String s(c.text);
        EXPECT_EQ(c.piece, Bytes(s.PopQuoted('"', c.pos)));
        EXPECT_EQ(c.rest, Bytes(s));
    }
}

TEST(StringPieces, PopTokenSplitsACommandLine)
{
    String line("  /d:\"C:\\My Dir\" /a\t-N:\"x \"\"y\"\"\"\r\nlast");
    static const char* const kTokens[] = {
        "/d:\"C:\\My Dir\"", "/a", "-N:\"x \"y\"\"", "last",
    };
    String first = line.PopToken();
    EXPECT_EQ(kTokens[0], Bytes(first));
    EXPECT_EQ("/a\t-N:\"x \"\"y\"\"\"\r\nlast", Bytes(line));    // its blank consumed
    for (int i = 1; i < 4; i++)
        EXPECT_EQ(kTokens[i], Bytes(line.PopToken()));
    EXPECT_TRUE(line.IsEmpty());
    EXPECT_EQ("", Bytes(line.PopToken()));
}

// ---------------------------------------------------------------------------
// Replacing

TEST(StringReplace, AllCases)
{
    struct Case {
        const char* text;
        const char* find;
        const char* replacement;
        int flags;
        int count;
        const char* expected;
    };
    const int NoCase = String::FindNoCase, Word = String::FindWholeWord, Wild = String::FindWildcard;
    static const Case kCases[] = {
        {"<a> and <a>", "<a>", "xy", 0, 2, "xy and xy"},            // shrinking
        {"<a> and <a>", "<a>", "<abc>", 0, 2, "<abc> and <abc>"},   // growing
        {"<a> and <a>", "<a>", "<b>", 0, 2, "<b> and <b>"},         // same length
        {"A.TMP", "?.TMP", "?.BAK", Wild, 1, "A.BAK"},
        {"A.TMP B.TMP", "?.TMP", "?-?.OLD", Wild, 2, "A-?.OLD B-?.OLD"},  // no second '?' in find
        {"ab12", "ab??", "?", Wild, 1, "1"},
        {"xyz", "??z", "[?]", Wild, 1, "[x]"},
        {"Welcome to <product>!", "<PRODUCT>", "Veltpack", NoCase, 1, "Welcome to Veltpack!"},
        {"aaaa", "aa", "a", 0, 2, "aa"},                            // no overlap
        {"aaa", "a", "aa", 0, 3, "aaaaaa"},                         // the new text is not searched
        {"abc", "abc", nullptr, 0, 1, ""},
        {"abc", "b", "", 0, 1, "ac"},
        {"abc", "", "x", 0, 0, "abc"},
        {"abc", "z", "xx", 0, 0, "abc"},
        {"cat concatenate cat", "cat", "dog", Word, 2, "dog concatenate dog"},
        {"cat concatenate cat", "cat", "bird", Word, 2, "bird concatenate bird"},
        {"x=1;y=2", "=", " := ", 0, 2, "x := 1;y := 2"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::string(c.text) + " / " + c.find);
        String s(c.text);
        EXPECT_EQ(c.count, s.ReplaceAll(c.find, c.replacement, c.flags));
        EXPECT_EQ(c.expected, Bytes(s));
    }
    String s("abc");
    EXPECT_EQ(0, s.ReplaceAll(nullptr, "x"));
}

TEST(StringReplace, ManyMatchesInALongText)
{
    std::string text;
    for (int i = 0; i < 2000; i++)
        text += "<p> ";
    String grow(text.c_str()), shrink(text.c_str());
    EXPECT_EQ(2000, grow.ReplaceAll("<p>", "Product"));
    EXPECT_EQ(2000, shrink.ReplaceAll("<p>", "P"));
    std::string grown, shrunk;
    for (int i = 0; i < 2000; i++) {
        grown += "Product ";
        shrunk += "P ";
    }
    EXPECT_EQ(grown, Bytes(grow));
    EXPECT_EQ(shrunk, Bytes(shrink));
}

TEST(StringReplace, ToCrLfAndUpper)
{
    struct Case {
        const char* text;
        const char* expected;
    };
    static const Case kCases[] = {
        {"a\nb", "a\r\nb"},
        {"a\rb", "a\r\nb"},
        {"a\n\rb", "a\r\nb"},
        {"a\r\nb", "a\r\nb"},
        {"a\n\nb\r", "a\r\n\r\nb\r\n"},
        {"a\r\n\rb", "a\r\n\r\nb"},
        {"plain", "plain"},
        {"", ""},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.text);
        String s(c.text);
        s.ToCrLf();
        EXPECT_EQ(c.expected, Bytes(s));
    }
    String s("Mixed case 1!");
    s.MakeUpper();
    EXPECT_EQ("MIXED CASE 1!", Bytes(s));
}

// ---------------------------------------------------------------------------
// Numbers

TEST(StringNumbers, ToIntAndParseInt)
{
    struct Case {
        const char* text;
        int expected;
    };
    static const Case kCases[] = {
        {"Size: 1,024", 1024}, {"1,234 KB", 1234}, {"abc", 0}, {"-42x", -42},
        {"v+7", 7}, {"", 0}, {"x 12 34", 12}, {"+-5", 0}, {"-,5", -5},
        // beyond the range of an int: the nearest end, as the Windows runtime has it
        {"2147483647", 2147483647}, {"2147483648", 2147483647}, {"99,999,999,999", 2147483647},
        {"-2147483648", (int)0x80000000u}, {"-99999999999", (int)0x80000000u},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.text);
        String s(c.text);
        EXPECT_EQ(c.expected, s.ToInt());
        EXPECT_EQ(c.text, Bytes(s));    // the string itself is left alone
    }

    String s("12,-34 +5");
    int pos = 0;
    EXPECT_EQ(12, s.ParseInt(pos));
    EXPECT_EQ(2, pos);
    pos = 3;
    EXPECT_EQ(-34, s.ParseInt(pos));
    EXPECT_EQ(6, pos);
    pos = 7;
    EXPECT_EQ(5, s.ParseInt(pos));
    EXPECT_EQ(9, pos);
    EXPECT_EQ((int)0x80000000u, s.ParseInt(pos));     // past the end: no number
    pos = -1;
    EXPECT_EQ((int)0x80000000u, s.ParseInt(pos));
}

TEST(StringNumbers, FromNumbers)
{
    struct Grouped {
        long long n;
        const char* expected;
    };
    static const Grouped kGrouped[] = {
        {0, "0"}, {1000, "1000"}, {1234, "1234"}, {10000, "10,000"}, {12345, "12,345"},
        {1234567, "1,234,567"}, {-1234, "-1,234"}, {2147483648LL, "2,147,483,648"},
        {-9223372036854775807LL - 1, "-9,223,372,036,854,775,808"},
    };
    for (const Grouped& c : kGrouped) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(c.expected, Bytes(String::FromInt64Grouped(c.n)));
    }
    EXPECT_EQ("-2147483648", Bytes(String::FromInt(-2147483647 - 1)));
    EXPECT_EQ("0", Bytes(String::FromInt(0)));

    struct Double {
        double x;
        int decimals;
        const char* expected;
    };
    static const Double kDoubles[] = {
        {2.5, -1, "2.5"}, {3.0, -1, "3"}, {100.0, -1, "100"}, {0.125, -1, "0.125"},
        {2.5, 2, "2.50"}, {2.25, 0, "2"}, {-1.25, -1, "-1.25"},
    };
    for (const Double& c : kDoubles) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(c.expected, Bytes(String::FromDouble(c.x, c.decimals)));
    }
}

// ---------------------------------------------------------------------------
// Byte-buffer use

TEST(StringBytes, ReadAndWriteWords)
{
    String s;
    s.Reset(8);
    memset(s.Data(), 0, 8);
    EXPECT_TRUE(s.WriteU32(0, 0x9EC72BA1u));
    EXPECT_TRUE(s.WriteU16(6, 0xBEEF));
    EXPECT_EQ(std::string("\xA1\x2B\xC7\x9E\0\0\xEF\xBE", 8), Bytes(s));
    EXPECT_EQ(0x9EC72BA1u, s.ReadU32(0));
    EXPECT_EQ(0xBEEF0000u, s.ReadU32(4));
    EXPECT_EQ(0xFFFFFFFFu, s.ReadU32(s.Length() - 3));
    EXPECT_EQ(0xFFFFFFFFu, s.ReadU32(-1));
    EXPECT_EQ(0xFFFFFFFFu, String().ReadU32(0));

    EXPECT_FALSE(s.WriteU32(5, 1));     // would pass the end
    EXPECT_FALSE(s.WriteU16(-1, 1));
    EXPECT_FALSE(s.CopyIn("abc", 6, 3));
    EXPECT_TRUE(s.CopyIn("abc", 5, 3));
    EXPECT_EQ(std::string("\xA1\x2B\xC7\x9E\0abc", 8), Bytes(s));
    EXPECT_FALSE(s.CopyIn("abc", 0, -1));
    EXPECT_EQ(8, s.Length());           // writes never grow the string
}

// ---------------------------------------------------------------------------
// Fatal stops. Natively the report prints the text and exits with 1; in this
// Win32 test program it does the same in place of the stub's message box
// (which the end-to-end tests check), so the stops run under Wine too.

#ifdef _WIN32
void ReportFatal(const char* text)
{
    fputs(text, stderr);
    fputc('\n', stderr);
    fflush(stderr);
    ExitProcess(1);
}
#endif

namespace {

const char kOutOfMemory[] = "Out Of Memory\\.  Make sure your hard drive is not full\\.\n";

#ifndef _WIN32
// Makes large allocations fail in this (death test) process: AddressSanitizer
// is told so by __asan_default_options below; without it an address-space
// limit does the same.
void LimitHeap()
{
#ifndef __SANITIZE_ADDRESS__
    struct rlimit limit = {256u << 20, 256u << 20};
    setrlimit(RLIMIT_AS, &limit);
#endif
}
#endif

} // namespace

#ifdef __SANITIZE_ADDRESS__
extern "C" const char* __asan_default_options()
{
    return "allocator_may_return_null=1:max_allocation_size_mb=256";
}
#endif

TEST(StringDeathTest, AtOutOfRange)
{
    String s("abc");
    EXPECT_EXIT(s.At(3), testing::ExitedWithCode(1), "^Core32 640\n$");
    EXPECT_EXIT(s.At(-1), testing::ExitedWithCode(1), "^Core32 640\n$");
    EXPECT_EXIT(String().At(0), testing::ExitedWithCode(1), "^Core32 640\n$");
}

TEST(StringDeathTest, LengthAboveTheLimit)
{
    String s;
    EXPECT_EXIT(s.SetLength(0x40000001), testing::ExitedWithCode(1), "^Core32 700\n$");
    // 11 million matches growing by 99 bytes each: the length must not wrap.
    EXPECT_EXIT({
        String big;
        big.Reset(11000000);
        memset(big.Data(), 'x', 11000000);
        big.ReplaceAll("x", std::string(100, 'y').c_str());
    }, testing::ExitedWithCode(1), "^Core32 700\n$");
}

TEST(StringDeathTest, OutOfMemoryText)
{
    EXPECT_EXIT(OutOfMemory(12345), testing::ExitedWithCode(1),
                std::string("^") + kOutOfMemory + "Requested size = 12,345\n$");
}

#ifndef _WIN32
TEST(StringDeathTest, FailedGrowthReachesTheHandler)
{
    // The sanitizer may warn first, on a line of its own.
    EXPECT_EXIT({
        LimitHeap();
        String s("x");
        s.SetLength(0x30000000);
    }, testing::ExitedWithCode(1),
       std::string("(^|\n)") + kOutOfMemory + "Requested size = 805,306,393\n$");
}

TEST(StringDeathTest, FailedNewReachesTheHandler)
{
    // Installed during static initialisation. (A real failed new cannot be
    // made here: the sanitizer's operator new reports it itself, and the
    // standard handler is not told the size.)
    std::new_handler handler = std::get_new_handler();
    ASSERT_NE(nullptr, handler);
    EXPECT_EXIT(handler(), testing::ExitedWithCode(1),
                std::string("^") + kOutOfMemory + "Requested size = 0\n$");
}
#else
TEST(StringDeathTest, FailedMallocAndNewReachTheHandler)
{
    // More than the process can ever have: 2 GiB in a 32-bit process,
    // 128 TiB (all of the user address space) in a 64-bit one. malloc
    // reaches the handler through msvcrt's new mode, new through our own
    // operator new.
#ifdef _WIN64
    const size_t huge = 0x7FFFFFFFFFF0u;
    const char* size = "140,737,488,355,312";
#else
    const size_t huge = 0x7FFFFFF0u;
    const char* size = "2,147,483,632";
#endif
    const std::string text = std::string("^") + kOutOfMemory + "Requested size = " + size + "\n$";
    // volatile: the compiler may drop an unused allocation altogether.
    EXPECT_EXIT({
        void* volatile block = malloc(huge);
        free(block);
    }, testing::ExitedWithCode(1), text);
    EXPECT_EXIT({
        char* volatile block = new char[huge];
        delete[] block;
    }, testing::ExitedWithCode(1), text);
}
#endif

TEST(StringDeathTest, FatalErrorFormatsAndExitsWithOne)
{
    EXPECT_EXIT(FatalError("Error code: %d (%s)", 7, "x"), testing::ExitedWithCode(1),
                "^Error code: 7 \\(x\\)\n$");
    EXPECT_EXIT(AssertionStop("core32", 5073), testing::ExitedWithCode(1), "^core32 5073\n$");
}
