// ReadDescription against descriptions written here, field by field, and
// the message table's lookups, replacements and checked formatting.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/byte_stream.h"
#include "core/checksum.h"
#include "core/directory.h"
#include "product/description.h"
#include "product/run.h"
#include "ui/messages.h"
#include "system/shell.h"
#include "ui/background.h"

namespace {

struct TestAssociation {
    int32_t flags;
    std::string texts[6];       // extension, type, description, verb, command, language
};

// Every field of a description, with sound defaults; the writer below puts
// them in stream order.
struct TestDescription {
    uint32_t flags = 0;
    int32_t date[6] = {2001, 2, 3, 4, 5, 6};
    int32_t fileCount = 1;
    std::vector<int32_t> sizes = {10};
    int32_t payloadSize = 10;
    uint32_t payloadChecksum = 0x12345678;
    std::string publisher = "Acme", product = "Tool", startMenu, defaultDirectory;
    std::string displayVersion = "1.0", registry = "Acme\\Tool", license, readme;
    std::string uninstallSubdir = "Uninst", displayName, volume = "DISK";
    std::string uninstaller = "Uninstall.exe";
    uint32_t title = 0x00112233, top = 0x00445566, bottom = 0x00778899;
    std::string bitmap;
    std::string master = "Base";          // written only with PfNeedsMaster
    bool writeMaster = false;             // force it in without the flag
    std::string batches[5] = {"pre", "post", "final", "un1", "un2"};
    int32_t iconOffset = 0;
    std::string icon;
    int32_t associationCount = -1;        // -1: the size of associations
    std::vector<TestAssociation> associations;
    int languageCount = -1;               // -1: the size of languages
    int32_t messageCount = -1;            // -1: the size of messages
    std::vector<std::string> languages = {"English"};
    std::vector<std::vector<std::string>> messages = {{"Title of <product>"}, {"Second"}};
    uint32_t endMarker = kDescriptionEndMarker;
};

class Writer {
public:
    void Int(uint32_t v)
    {
        for (int i = 0; i < 4; i++)
            bytes.push_back((char)(v >> (8 * i)));
    }
    void Byte(uint8_t v) { bytes.push_back((char)v); }
    void Text(const std::string& s)
    {
        bytes += s;
        bytes.push_back(0);
    }
    std::string bytes;
};

std::string Write(const TestDescription& d)
{
    Writer w;
    w.Int(d.flags);
    for (int32_t field : d.date)
        w.Int(field);
    w.Int(d.fileCount);
    for (int32_t size : d.sizes)
        w.Int(size);
    w.Int(d.payloadSize);
    w.Int(d.payloadChecksum);
    for (const std::string* s : {&d.publisher, &d.product, &d.startMenu, &d.defaultDirectory,
                                 &d.displayVersion, &d.registry, &d.license, &d.readme,
                                 &d.uninstallSubdir, &d.displayName, &d.volume, &d.uninstaller})
        w.Text(*s);
    w.Int(d.title);
    w.Int(d.top);
    w.Int(d.bottom);
    w.Int((uint32_t)d.bitmap.size());
    w.bytes += d.bitmap;
    if ((d.flags & PfNeedsMaster) || d.writeMaster)
        w.Text(d.master);
    for (const std::string& batch : d.batches)
        w.Text(batch);
    w.Byte(10);                             // the build date: day, month, year
    w.Byte(12);
    w.Byte(0xD1);
    w.Byte(0x07);
    w.Int(d.iconOffset);
    w.bytes += d.icon;
    w.Int(d.associationCount >= 0 ? d.associationCount : (int32_t)d.associations.size());
    for (const TestAssociation& a : d.associations) {
        w.Int(a.flags);
        for (const std::string& text : a.texts)
            w.Text(text);
    }
    w.Byte((uint8_t)(d.languageCount >= 0 ? d.languageCount : (int)d.languages.size()));
    w.Int(d.messageCount >= 0 ? d.messageCount : (int32_t)d.messages.size());
    for (const std::string& name : d.languages)
        w.Text(name);
    for (const std::vector<std::string>& message : d.messages)
        for (const std::string& text : message)
            w.Text(text);
    w.Int(d.endMarker);
    return w.bytes;
}

// A 2x2 24-bit picture without its file header.
std::string SmallBitmap()
{
    Writer w;
    w.Int(40);
    w.Int(2);
    w.Int(2);
    w.bytes += std::string("\x01\x00\x18\x00", 4);
    for (int i = 0; i < 6; i++)
        w.Int(0);
    w.bytes += std::string(16, '\x7f');     // two rows of 8 bytes
    return w.bytes;
}

const COLORREF kStartTitle = 0x00010101, kStartTop = 0x00020202;

// The record and the run that Read fills, made afresh by ResetState.
DescriptionFields* Fields = nullptr;
ProductRun* ReadRun = nullptr;

void ResetState()
{
    delete Fields;
    delete ReadRun;
    Fields = new DescriptionFields;
    ReadRun = new ProductRun;
    SelectMessageLanguage(0);
    Background.titleColor = kStartTitle;
    Background.topColor = kStartTop;
    Background.bottomColor = 0;
    Background.monoColor = 1;
    Background.image.Clear();
    ResizeMessageTable(0, 0, String());
}

int Read(const std::string& bytes, uint32_t key = 0)
{
    ByteStream stream;
    stream.Assign(bytes.data(), (int)bytes.size());
    return ReadDescriptionSettings(stream, key, *Fields, *ReadRun);
}

std::string ProgramFiles(const char* name)
{
    return std::string(ProgramFilesFolder().CStr()) + "\\" + name;
}

std::string Windows(const char* name)
{
    return std::string(GetWindowsDirectoryString().CStr()) + "\\" + name;
}

struct DescriptionCase {
    const char* name;
    std::function<void(TestDescription&)> change;
    int code;                                   // 0: sound
    std::function<void()> check;                // run for sound descriptions
};

TEST(ReadDescription, AppliesEveryFieldRuleAndCheck)
{
    std::vector<std::string> manyMessages(10000, "m");
    const DescriptionCase kCases[] = {
        {"defaults", [](TestDescription&) {}, 0,
         [] {
             EXPECT_STREQ("Tool", ReadRun->productName.CStr());
             EXPECT_STREQ("Acme\\Tool", Fields->startMenuFolder.CStr());
             EXPECT_EQ(ProgramFiles("Tool"), Fields->defaultDirectory.CStr());
             EXPECT_STREQ("Tool", Fields->displayName.CStr());
             EXPECT_STREQ("1.0", Fields->displayVersion.CStr());
             EXPECT_STREQ("Uninst", Fields->uninstallSubdir.CStr());
             EXPECT_STREQ("DISK", Fields->volumeBaseName.CStr());
             EXPECT_STREQ("Uninstall.exe", Fields->uninstallerName.CStr());
             EXPECT_STREQ("pre", Fields->preInstallBatch.CStr());
             EXPECT_STREQ("un2", Fields->uninstallBatch2.CStr());
             EXPECT_EQ(2001, Fields->archiveDate.year);
             EXPECT_EQ(6, Fields->archiveDate.second);
             EXPECT_EQ(1, Fields->fileCount);
             EXPECT_EQ(10, Fields->storedSizes[0]);
             EXPECT_EQ(10, Fields->payloadSize);
             EXPECT_EQ(0x12345678u, Fields->payloadChecksum);
             EXPECT_EQ(kStartTitle, Background.titleColor);     // no custom colours, no picture
             EXPECT_EQ(kStartTop, Background.topColor);
             EXPECT_EQ(1, Background.monoColor);
             EXPECT_EQ(0, ReadRun->automaticMode);
             EXPECT_EQ(0, Fields->iconOffset);
             EXPECT_EQ(0, Fields->associationCount);
             EXPECT_EQ(1, Fields->languageCount);
             EXPECT_EQ(2, MessageCount());
         }},
        {"publisher empty", [](TestDescription& d) { d.publisher = ""; }, 0,
         [] { EXPECT_STREQ("Tool", Fields->startMenuFolder.CStr()); }},
        {"start menu given", [](TestDescription& d) { d.startMenu = "Apps\\Tools"; }, 0,
         [] { EXPECT_STREQ("Apps\\Tools", Fields->startMenuFolder.CStr()); }},
        {"display name given", [](TestDescription& d) { d.displayName = "Tool 2"; }, 0,
         [] { EXPECT_STREQ("Tool 2", Fields->displayName.CStr()); }},
        {"os directory", [](TestDescription& d) { d.defaultDirectory = "<OS>\\Tool"; }, 0,
         [] { EXPECT_EQ(Windows("Tool"), Fields->defaultDirectory.CStr()); }},
        {"relative directory", [](TestDescription& d) { d.defaultDirectory = "Acme\\Tool"; }, 0,
         [] { EXPECT_EQ(ProgramFiles("Acme\\Tool"), Fields->defaultDirectory.CStr()); }},
        {"absolute directory", [](TestDescription& d) { d.defaultDirectory = "D:\\Tool"; }, 0,
         [] { EXPECT_STREQ("D:\\Tool", Fields->defaultDirectory.CStr()); }},
        {"master directory", [](TestDescription& d) { d.defaultDirectory = "<MASTER>"; }, 0,
         [] { EXPECT_STREQ("<MASTER>", Fields->defaultDirectory.CStr()); }},
        {"automatic flag", [](TestDescription& d) { d.flags = PfAutomatic; }, 0,
         [] { EXPECT_EQ(1, ReadRun->automaticMode); }},
        {"shared directory",
         [](TestDescription& d) { d.flags = PfUninstallSupport; }, 0,
         [] {
             std::string expected = std::string(CommonFilesFolder().CStr()) + "\\Acme";
             EXPECT_EQ(expected, ReadRun->sharedDirectory.CStr());
             EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(expected.c_str()));
         }},
        {"custom colours", [](TestDescription& d) { d.flags = PfCustomColors; }, 0,
         [] {
             EXPECT_EQ(0x00112233u, Background.titleColor);
             EXPECT_EQ(0x00445566u, Background.topColor);
             EXPECT_EQ(0x00778899u, Background.bottomColor);
             EXPECT_EQ(0, Background.monoColor);
         }},
        {"custom single colour",
         [](TestDescription& d) {
             d.flags = PfCustomColors;
             d.bottom = d.top;
         },
         0, [] { EXPECT_EQ(1, Background.monoColor); }},
        {"picture without custom colours", [](TestDescription& d) { d.bitmap = SmallBitmap(); }, 0,
         [] {
             EXPECT_EQ(0x00112233u, Background.titleColor);
             EXPECT_EQ(kStartTop, Background.topColor);
             EXPECT_EQ(2, Background.image.Width());
         }},
        {"master product", [](TestDescription& d) { d.flags = PfNeedsMaster; }, 0,
         [] { EXPECT_STREQ("Base", Fields->masterProduct.CStr()); }},
        // The stray text shifts every later field: the build date lands
        // where the icon offset belongs.
        {"master text without the flag", [](TestDescription& d) { d.writeMaster = true; }, 23, {}},
        {"icon at the last offset",
         [](TestDescription& d) {
             d.iconOffset = kMaxIconOffset;
             d.icon = std::string(kUninstallerIconSize, 'I');
         },
         0,
         [] {
             EXPECT_EQ(kMaxIconOffset, Fields->iconOffset);
             EXPECT_EQ(kUninstallerIconSize, Fields->uninstallerIcon.Length());
             EXPECT_EQ('I', Fields->uninstallerIcon.Last());
         }},
        {"icon offset too far", [](TestDescription& d) { d.iconOffset = kMaxIconOffset + 1; }, 23, {}},
        {"icon offset negative", [](TestDescription& d) { d.iconOffset = -1; }, 23, {}},
        {"associations",
         [](TestDescription& d) {
             d.associations = {{1, {"tly", "Tally.File", "Tally sheet", "open", "x.exe %1", ""}},
                               {0, {".txt", "", "", "edit", "y.exe", "Deutsch"}}};
         },
         0,
         [] {
             ASSERT_EQ(2, Fields->associationCount);
             EXPECT_EQ(1, Fields->associations[0].flags);
             EXPECT_STREQ("Tally.File", Fields->associations[0].fileType.CStr());
             EXPECT_STREQ("x.exe %1", Fields->associations[0].command.CStr());
             EXPECT_STREQ("edit", Fields->associations[1].verb.CStr());
             EXPECT_STREQ("Deutsch", Fields->associations[1].language.CStr());
         }},
        {"negative association count", [](TestDescription& d) { d.associationCount = -5; }, 0,
         [] { EXPECT_EQ(0, Fields->associationCount); }},
        {"association count past the end",
         [](TestDescription& d) { d.associationCount = 0x7fffffff; }, 32, {}},
        {"two languages",
         [](TestDescription& d) {
             d.languages = {"English", "Deutsch"};
             d.messages = {{"Hello", "Hallo"}, {"Bye", "Tschuess"}};
         },
         0,
         [] {
             ASSERT_EQ(2, Fields->languageCount);
             EXPECT_STREQ("Deutsch", Fields->languageNames[1].CStr());
             SelectMessageLanguage(1);
             EXPECT_STREQ("Tschuess", MessageText(MsgWelcome));
             SelectMessageLanguage(0);
             EXPECT_STREQ("Hello", MessageText(MsgProductTitle));
         }},
        {"10000 messages",
         [&](TestDescription& d) {
             d.messages.clear();
             for (const std::string& m : manyMessages)
                 d.messages.push_back({m});
         },
         0, [] { EXPECT_EQ(10000, MessageCount()); }},
        {"10001 messages", [](TestDescription& d) { d.messageCount = 10001; }, 31, {}},
        {"no messages", [](TestDescription& d) { d.messageCount = 0; }, 31, {}},
        {"no languages", [](TestDescription& d) { d.languageCount = 0; }, 30, {}},
        {"no files",
         [](TestDescription& d) {
             d.fileCount = 0;
             d.sizes.clear();
         },
         27, {}},
        {"more files than bytes", [](TestDescription& d) { d.fileCount = 0x10000000; }, 27, {}},
        {"negative stored size", [](TestDescription& d) { d.sizes = {-1}; }, 28, {}},
        {"empty payload", [](TestDescription& d) { d.payloadSize = 0; }, 29, {}},
        {"blank volume name", [](TestDescription& d) { d.volume = " \t"; }, 21, {}},
        {"blank uninstaller name", [](TestDescription& d) { d.uninstaller = ""; }, 33, {}},
        {"end marker off by one field",
         [](TestDescription& d) {
             d.messages.push_back({"extra"});
             d.messageCount = 2;
         },
         32, {}},
        {"wrong end marker", [](TestDescription& d) { d.endMarker ^= 1; }, 32, {}},
        {"damaged picture is dropped",
         [](TestDescription& d) { d.bitmap = std::string(4, 'B'); }, 0,
         [] { EXPECT_EQ(1, Background.image.IsEmpty()); }},
    };
    for (const DescriptionCase& c : kCases) {
        SCOPED_TRACE(c.name);
        ResetState();
        TestDescription d;
        c.change(d);
        EXPECT_EQ(c.code, Read(Write(d)));
        if (c.code == 0 && c.check)
            c.check();
    }
}

TEST(ReadDescription, ChecksTheKeyOnlyWithChecksums)
{
    TestDescription d;
    d.flags = PfChecksums;
    std::string bytes = Write(d);
    uint32_t sum = Checksum((const uint8_t*)bytes.data(), (int32_t)bytes.size());
    ResetState();
    EXPECT_EQ(0, Read(bytes, sum));
    ResetState();
    EXPECT_EQ(25, Read(bytes, sum + 1));
    d.flags = 0;
    ResetState();
    EXPECT_EQ(0, Read(Write(d), 12345));
}

TEST(ReadDescription, KeepsTheNameFromTheCommandLine)
{
    ResetState();
    ReadRun->productName = "Given";
    EXPECT_EQ(0, Read(Write(TestDescription())));
    EXPECT_STREQ("Given", ReadRun->productName.CStr());
    EXPECT_STREQ("Acme\\Given", Fields->startMenuFolder.CStr());
    EXPECT_STREQ("Given", Fields->displayName.CStr());
}

TEST(ReadDescription, ShortDescriptionsEndInACode)
{
    std::string whole = Write(TestDescription());
    for (size_t length = 0; length < whole.size(); length++) {
        SCOPED_TRACE(length);
        ResetState();
        EXPECT_NE(0, Read(whole.substr(0, length)));
    }
}

TEST(MessageText, ReplacesOnceAndStaysInsideTheTable)
{
    ResetState();
    TestDescription d;
    d.messages = {{"<Product> in <os>\\x and <PRODUCT>"}, {"plain"}};
    ASSERT_EQ(0, Read(Write(d)));
    std::string expected = "Tool in " + std::string(GetWindowsDirectoryString().CStr())
                           + "\\x and Tool";
    EXPECT_EQ(expected, MessageText(MsgProductTitle));
    ReadRun->productName = "Other";     // the table keeps the name it was filled with
    EXPECT_EQ(expected, MessageText(MsgProductTitle));
    EXPECT_STREQ("plain", MessageText(MsgWelcome));
    EXPECT_STREQ("", MessageText(MsgExistingCaption));
    EXPECT_STREQ("", MessageText(-1));
    SelectMessageLanguage(1);                   // only one language
    EXPECT_STREQ("", MessageText(MsgWelcome));
    SelectMessageLanguage(0);
    ResizeMessageTable(0, 0, ReadRun->productName);
    EXPECT_STREQ("", MessageText(MsgProductTitle));
}

// Message `number` formatted with the arguments its caller passes: the
// corrupt-archive code, the volume number and drive, the log path.
String FormatLikeItsCaller(int number)
{
    if (number == MsgCorruptArchive)
        return MessageFormatted(MsgCorruptArchive, "d", 77);
    if (number == MsgNextVolume)
        return MessageFormatted(MsgNextVolume, "dc", 2, 'Z');
    return MessageFormatted(MsgLogWrittenQuestion, "s", "C:\\Install.LOG");
}

TEST(MessageFormatted, ShowsTextsThatDoNotFitAsTheyStand)
{
    struct Case {
        int number;
        const char* text;
        const char* expected;       // null: the text as it stands
    };
    static const Case kCases[] = {
        {MsgCorruptArchive, "Damaged.\r\n\r\nError code: %d", "Damaged.\r\n\r\nError code: 77"},
        {MsgNextVolume, "Insert disk %d in drive %c:, 100%% sure",
         "Insert disk 2 in drive Z:, 100% sure"},
        {MsgLogWrittenQuestion, "Errors; read %s?", "Errors; read C:\\Install.LOG?"},
        {MsgLogWrittenQuestion, "<product> logged to %s", "Tool logged to C:\\Install.LOG"},
        {MsgCorruptArchive, "%s%s%s%n", nullptr},
        {MsgNextVolume, "%s%s%s%n", nullptr},
        {MsgLogWrittenQuestion, "%s%s%s%n", nullptr},
        // Conversions beyond the caller's: they would read stack words or
        // write through one.
        {MsgCorruptArchive, "Error code: %d %x %x %x", nullptr},
        {MsgNextVolume, "Disk %d in %c: %x %s %n", nullptr},
        {MsgLogWrittenQuestion, "Read %s? %x%n", nullptr},
        {MsgCorruptArchive, "%x", nullptr},
        {MsgCorruptArchive, "%999999d", nullptr},
        {MsgLogWrittenQuestion, "%", nullptr},
        {MsgCorruptArchive, "Error code: %", nullptr},
        {MsgLogWrittenQuestion, "%ls", nullptr},
        {MsgNextVolume, "Disk %ld in %lc", nullptr},
        {MsgCorruptArchive, "%s", nullptr},                    // would read text at address 77
        {MsgNextVolume, "%s in drive %c", nullptr},
        {MsgNextVolume, "%c%d", nullptr},
        {MsgLogWrittenQuestion, "%d %d", nullptr},
        {MsgLogWrittenQuestion, "log: %s, %s", nullptr},
        {MsgCorruptArchive, "no code", nullptr},
    };
    ResetState();
    ReadRun->productName = "Tool";
    ResizeMessageTable(MsgLogWrittenQuestion + 1, 1, ReadRun->productName);
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.text);
        SetMessage(c.number, 0, String(c.text));
        String expected = c.expected ? String(c.expected) : String(MessageText(c.number));
        EXPECT_EQ(std::string(expected.CStr()), FormatLikeItsCaller(c.number).CStr());
    }
    // Replaced, then shown as it stands.
    SetMessage(MsgLogWrittenQuestion, 0, String("<product>: %ls"));
    EXPECT_STREQ("Tool: %ls", FormatLikeItsCaller(40).CStr());
    ResizeMessageTable(0, 0, ReadRun->productName);
    EXPECT_STREQ("", FormatLikeItsCaller(13).CStr());
}

}  // namespace
