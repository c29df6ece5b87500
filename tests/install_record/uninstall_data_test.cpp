// The uninstall record's bytes as the installation writes them, and the
// uninstaller's reading of them: exact texts, round trips, and the reader's
// limits on hand-made records.
#include "product/uninstall_data.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Text(const String& s)
{
    return std::string(s.CStr(), s.Length());
}

// Message n is "Message n", except 30 (empty) and 53 (two lines).
const char* SampleMessage(int n)
{
    static std::string text;
    if (n == 30)
        return "";
    if (n == 53)
        return "Remove <product>?\r\nAll its files go.";
    text = "Message " + std::to_string(n);
    return text.c_str();
}

const char* NoMessage(int)
{
    return nullptr;
}

const char kSampleStrings[] =
    "[Strings]\r\n"
    "~10\r\nMessage 10\r\n"
    "~15\r\nMessage 15\r\n"
    "~20\r\nMessage 20\r\n"
    "~30\r\n\r\n"
    "~34\r\nMessage 34\r\n"
    "~35\r\nMessage 35\r\n"
    "~53\r\nRemove <product>?\r\nAll its files go.\r\n"
    "~55\r\nMessage 55\r\n"
    "~56\r\nMessage 56\r\n"
    "~57\r\nMessage 57\r\n"
    "~58\r\nMessage 58\r\n"
    "~59\r\nMessage 59\r\n";

// The list as RecordForUninstall builds it for two files in one new
// directory, the second file placed twice.
String SampleList()
{
    String list;
    list += UninstallItemLine("C:\\Prog\\Sub", UiDirectory);
    list += UninstallItemLine("C:\\Prog\\Sub\\a.exe", UiFile);
    list += UninstallItemLine("C:\\Prog\\Sub\\b.dll", UiFile);
    list += UninstallItemLine("C:\\Prog\\Sub\\b.dll", UiFile);
    return list;
}

TEST(UninstallItemLine, MarksDirectoriesAndKeys)
{
    EXPECT_EQ("C:\\a\\f.txt\r\n", Text(UninstallItemLine("C:\\a\\f.txt", UiFile)));
    EXPECT_EQ("~C:\\a\r\n", Text(UninstallItemLine("C:\\a", UiDirectory)));
    EXPECT_EQ("!.xyz\r\n", Text(UninstallItemLine(".xyz", UiKey)));
    EXPECT_EQ("!.xyz\r\n", Text(UninstallItemLine(".xyz", 7)));
}

TEST(UninstallDataText, WithoutAssociationsEndsAfterTheLastMessage)
{
    String text = UninstallDataText(SampleList(), SampleMessage, String());
    std::string expected = "~C:\\Prog\\Sub\r\n"
                           "C:\\Prog\\Sub\\a.exe\r\n"
                           "C:\\Prog\\Sub\\b.dll\r\n"
                           "C:\\Prog\\Sub\\b.dll\r\n"
                           "\r\n\r\n";
    expected += kSampleStrings;
    EXPECT_EQ(expected, Text(text));
    EXPECT_EQ(std::string::npos, Text(text).find("[Associations]"));
}

TEST(UninstallDataText, AssociationsComeLastAsTheyStand)
{
    String associations(".vpx~!~Velt.Doc~!~open\r\n.vpy~!~Velt.Other~!~edit\r\n");
    String text = UninstallDataText(String(), SampleMessage, associations);
    std::string expected = "\r\n\r\n";
    expected += kSampleStrings;
    expected += "\r\n\r\n[Associations]\r\n"
                ".vpx~!~Velt.Doc~!~open\r\n.vpy~!~Velt.Other~!~edit\r\n";
    EXPECT_EQ(expected, Text(text));
}

TEST(UninstallDataText, MissingMessagesGiveEmptyLines)
{
    String text = UninstallDataText(String(), NoMessage, String());
    std::string expected = "\r\n\r\n[Strings]\r\n";
    for (int n : kUninstallMessages)
        expected += "~" + std::to_string(n) + "\r\n\r\n";
    EXPECT_EQ(expected, Text(text));
}

TEST(ReadUninstallData, RoundTripsWhatTheInstallationWrites)
{
    String associations(".vpx~!~Velt.Doc~!~open\r\n");
    String list = SampleList();
    list += UninstallItemLine("Velt.Doc", UiKey);
    String text = UninstallDataText(list, SampleMessage, associations);

    UninstallData data;
    ReadUninstallData(text, data);

    ASSERT_EQ(5, data.items.Count());
    EXPECT_EQ(UiDirectory, data.items[0].kind);
    EXPECT_EQ("C:\\Prog\\Sub", Text(data.items[0].path));
    EXPECT_EQ(UiFile, data.items[1].kind);
    EXPECT_EQ("C:\\Prog\\Sub\\a.exe", Text(data.items[1].path));
    EXPECT_EQ("C:\\Prog\\Sub\\b.dll", Text(data.items[2].path));
    EXPECT_EQ("C:\\Prog\\Sub\\b.dll", Text(data.items[3].path));
    EXPECT_EQ(UiKey, data.items[4].kind);
    EXPECT_EQ("Velt.Doc", Text(data.items[4].path));

    ASSERT_EQ(kUninstallMessageCount, data.messages.Count());
    for (int i = 0; i < kUninstallMessageCount; i++) {
        EXPECT_EQ(kUninstallMessages[i], data.messages[i].number);
        EXPECT_EQ(SampleMessage(kUninstallMessages[i]), Text(data.messages[i].text));
    }

    ASSERT_EQ(1, data.associations.Count());
    EXPECT_EQ(".vpx", Text(data.associations[0].extension));
    EXPECT_EQ("Velt.Doc", Text(data.associations[0].fileType));
    EXPECT_EQ("open", Text(data.associations[0].verb));

    // The uninstaller writes what it read back the same way.
    String again;
    for (int i = 0; i < data.items.Count(); i++)
        again += UninstallItemLine(data.items[i].path.CStr(), data.items[i].kind);
    EXPECT_EQ(Text(text), Text(UninstallDataText(again, SampleMessage, associations)));
}

TEST(ReadUninstallData, WithoutStringsTheWholeTextIsTheRemovalList)
{
    UninstallData data;
    ReadUninstallData(String("C:\\x\\a.txt\r\n\r\n\r\n~C:\\x\n"), data);
    ASSERT_EQ(2, data.items.Count());
    EXPECT_EQ("C:\\x\\a.txt", Text(data.items[0].path));
    EXPECT_EQ(UiDirectory, data.items[1].kind);
    EXPECT_EQ("C:\\x", Text(data.items[1].path));
    EXPECT_EQ(0, data.messages.Count());
    EXPECT_EQ(0, data.associations.Count());
}

TEST(ReadUninstallData, MarkersInAnyLetterCase)
{
    UninstallData data;
    ReadUninstallData(String("C:\\x\\a.txt\r\n[STRINGS]\r\n~34\r\nDone.\r\n"
                             "[associations]\r\n.a~!~A.File~!~open\r\n"),
                      data);
    ASSERT_EQ(1, data.items.Count());
    ASSERT_EQ(1, data.messages.Count());
    EXPECT_EQ(34, data.messages[0].number);
    EXPECT_EQ("Done.", Text(data.messages[0].text));
    ASSERT_EQ(1, data.associations.Count());
    EXPECT_EQ("A.File", Text(data.associations[0].fileType));
}

TEST(ReadUninstallData, MessageNumbersOutsideTheRangeAreSkippedWithTheirText)
{
    UninstallData data;
    ReadUninstallData(String("[Strings]\r\nstray line\r\n"
                             "~0\r\nzero\r\n"
                             "~1001\r\ntoo high\r\n"
                             "~x\r\nno number\r\n"
                             "~1\r\none\r\n"
                             "~1,000\r\n  last  \r\n\t\r\n\r\n"),
                      data);
    ASSERT_EQ(2, data.messages.Count());
    EXPECT_EQ(1, data.messages[0].number);
    EXPECT_EQ("one", Text(data.messages[0].text));
    EXPECT_EQ(1000, data.messages[1].number);
    EXPECT_EQ("  last", Text(data.messages[1].text));
}

TEST(ReadUninstallData, MessageTextKeepsItsInnerLineEnds)
{
    UninstallData data;
    ReadUninstallData(String("[Strings]\r\n~53\r\nfirst\r\n\r\nthird\nfourth\r\n~55\r\n"), data);
    ASSERT_EQ(2, data.messages.Count());
    EXPECT_EQ("first\r\n\r\nthird\nfourth", Text(data.messages[0].text));
    EXPECT_EQ("", Text(data.messages[1].text));
}

TEST(ReadUninstallData, AtMost500MessageHeaders)
{
    String text("[Strings]\r\n");
    for (int n = 1; n <= 600; n++)
        text.AppendFormat("~%d\r\ntext %d\r\n", n, n);
    UninstallData data;
    ReadUninstallData(text, data);
    ASSERT_EQ(kMaxUninstallRecordLines, data.messages.Count());
    EXPECT_EQ(500, data.messages[499].number);
    EXPECT_EQ("text 500", Text(data.messages[499].text));
}

TEST(ReadUninstallData, AssociationLinesNeedThreeFields)
{
    UninstallData data;
    ReadUninstallData(String("[Strings]\r\n[Associations]\r\n"
                             ".a~!~A.File~!~open\r\n"
                             "\r\n"
                             ".b~!~B.File\r\n"
                             ".c~!~ ~!~open\r\n"
                             "   \r\n"
                             ".d~!~D.File~!~print\r\n"),
                      data);
    ASSERT_EQ(2, data.associations.Count());
    EXPECT_EQ(".a", Text(data.associations[0].extension));
    EXPECT_EQ(".d", Text(data.associations[1].extension));
    EXPECT_EQ("D.File", Text(data.associations[1].fileType));
    EXPECT_EQ("print", Text(data.associations[1].verb));
}

// Lines of three fields are those of earlier versions: not marked. Longer
// ones carry the command and the defaults the installation left; fields
// it could not fill are empty or missing.
TEST(ReadUninstallData, AssociationLinesWithWhatTheInstallationWrote)
{
    UninstallData data;
    ReadUninstallData(String("[Strings]\r\n[Associations]\r\n"
                             ".a~!~A.File~!~open\r\n"
                             ".b~!~B.File~!~open~!~\"b.exe\" \"%1\"~!~B document~!~open\r\n"
                             ".c~!~C.File~!~edit~!~~!~~!~\r\n"
                             ".d~!~D.File~!~open~!~d.exe\r\n"),
                      data);
    ASSERT_EQ(4, data.associations.Count());
    struct Expected {
        uint8_t marked;
        const char* command;
        const char* description;
        const char* defaultVerb;
    };
    const Expected expected[] = {{0, "", "", ""},
                                 {1, "\"b.exe\" \"%1\"", "B document", "open"},
                                 {1, "", "", ""},
                                 {1, "d.exe", "", ""}};
    for (int i = 0; i < 4; i++) {
        const UninstallAssociation& a = data.associations[i];
        SCOPED_TRACE(Text(a.extension));
        EXPECT_EQ(expected[i].marked, a.marked);
        EXPECT_EQ(expected[i].command, Text(a.command));
        EXPECT_EQ(expected[i].description, Text(a.description));
        EXPECT_EQ(expected[i].defaultVerb, Text(a.defaultVerb));
    }
    EXPECT_EQ("open", Text(data.associations[1].verb));
}

TEST(ReadUninstallData, AtMost500AssociationLinesBlankOnesIncluded)
{
    // The rest of the marker's line is the first of the 500 lines.
    String text("[Strings]\r\n[Associations]\r\n");
    for (int n = 1; n <= 600; n++)
        text.AppendFormat(".e%d~!~T%d~!~open\r\n", n, n);
    UninstallData data;
    ReadUninstallData(text, data);
    ASSERT_EQ(499, data.associations.Count());
    EXPECT_EQ(".e499", Text(data.associations[498].extension));
}

TEST(ReadUninstallData, EmptyTextReadsAsNothing)
{
    UninstallData data;
    data.items.AddTail(UninstallItem());
    ReadUninstallData(String(), data);
    EXPECT_EQ(0, data.items.Count());
    EXPECT_EQ(0, data.messages.Count());
    EXPECT_EQ(0, data.associations.Count());
}

}  // namespace

TEST(UninstallRecordListsFile, OnlyWholeFileLinesOfTheRemovalList)
{
    const char record[] = "~C:\\Velt\\Sub\r\n"
                          "C:\\Velt\\Sub\\a.exe\r\n"
                          "C:\\Velt\\b.dll\r\n"
                          "\r\n\r\n[Strings]\r\n~10\r\nC:\\Velt\\in-a-message.txt\r\n";
    struct Case {
        const char* path;
        bool listed;
    } cases[] = {
        {"C:\\Velt\\Sub\\a.exe", true},
        {"c:\\velt\\SUB\\A.EXE", true},             // ASCII case ignored
        {"C:\\Velt\\b.dll", true},
        {"C:\\Velt\\Sub", false},                   // a directory line
        {"Sub\\a.exe", false},                      // only the end of a line
        {"C:\\Velt\\Sub\\a.ex", false},             // only the start of a line
        {"C:\\Velt\\in-a-message.txt", false},      // after [Strings]
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.listed, UninstallRecordListsFile(String(record), c.path)) << c.path;
    // Without [Strings] the whole text is the removal list.
    EXPECT_TRUE(UninstallRecordListsFile(String("C:\\Velt\\b.dll\r\n"), "C:\\Velt\\b.dll"));
    EXPECT_FALSE(UninstallRecordListsFile(String(), "C:\\Velt\\b.dll"));
}
