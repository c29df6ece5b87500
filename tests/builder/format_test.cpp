// The builder's format code through its interfaces: the description as the
// stub reads it, texts and messages, names and globs, icons and the PE
// append.
#include "builder/archive.h"
#include "builder/description.h"
#include "builder/icon.h"
#include "builder/messages.h"
#include "builder/pe.h"
#include "builder/project.h"
#include "builder/text.h"
#include "core/checksum.h"
#include "tests/builder/stubs.h"

#include <gtest/gtest.h>

#include <functional>

using namespace velt;

namespace {

Description SampleDescription()
{
    Description d;
    d.productFlags = PfChecksums | PfCompressed | PfNeedsMaster | PfUninstallSupport;
    d.archiveDate = {2024, 5, 17, 13, 4, 59};
    d.storedSizes = {10, 0, 2000};
    d.payloadSize = 2100;
    d.payloadChecksum = 0xDEADBEEF;
    d.publisher = "Acme";
    d.productName = "Tool";
    d.startMenuFolder = "Acme\\Tool";
    d.defaultDirectory = "<os>\\Tool";
    d.displayVersion = "1.2";
    d.productRegistry = "Acme\\Tool";
    d.licenseText = "Licence\r\ntext";
    d.readmeText = "";
    d.uninstallSubdir = "Uninstall";
    d.displayName = "Tool 1.2";
    d.volumeBaseName = "TOOL";
    d.uninstallerName = "Uninstall.exe";
    d.titleColor = 0xFFFFFF;
    d.topColor = 0x800000;
    d.bottomColor = 0;
    d.backgroundBitmap = {'B', 'M', 1, 2, 3};
    d.masterProduct = "Base";
    d.preInstallBatch = "echo pre";
    d.uninstallBatch2 = "echo gone";
    d.buildDay = 17;
    d.buildMonth = 5;
    d.buildYear = 2024;
    d.iconOffset = 0x34A0;
    d.uninstallerIcon.assign((size_t)kUninstallerIconSize, 0x5A);
    d.associations = {{1, "tly", "Acme.Sheet", "Sheet", "open", "\"%InstallDir%\\t.exe\" \"%1\"", ""},
                      {0, ".txt", "", "", "edit", "x", "Deutsch"}};
    d.languageNames = {"English", "Deutsch"};
    d.messages = {{"zero", "null"}, {"one %d", "eins %d"}, {"", "zwei"}};
    return d;
}


TEST(Description, RoundTripsEveryField)
{
    Description d = SampleDescription();
    Bytes bytes = WriteDescription(d);
    Description back;
    ArchiveFault fault = ReadDescription(bytes, Checksum(bytes.data(), (int32_t)bytes.size()), back);
    EXPECT_FALSE(fault) << fault.code << " " << fault.what;
    EXPECT_EQ(d, back);
}

TEST(Description, OptionalFieldsAreLeftOutWhenUnused)
{
    // Without PfNeedsMaster there is no master text, without an icon offset
    // no icon: the reader must stay in step either way.
    Description d = SampleDescription();
    d.productFlags &= ~PfNeedsMaster;
    d.masterProduct.clear();
    d.iconOffset = 0;
    d.uninstallerIcon.clear();
    Bytes bytes = WriteDescription(d);
    EXPECT_EQ(WriteDescription(SampleDescription()).size(), bytes.size() + 5 + (size_t)kUninstallerIconSize);
    Description back;
    EXPECT_FALSE(ReadDescription(bytes, Checksum(bytes.data(), (int32_t)bytes.size()), back));
    EXPECT_EQ(d, back);
}

struct FaultCase {
    const char* name;
    std::function<void(Description&)> damage;
    int code;
};

TEST(Description, ReaderRaisesTheStubsCodes)
{
    static const FaultCase kCases[] = {
        {"no files", [](Description& d) { d.storedSizes.clear(); }, 27},
        {"negative size", [](Description& d) { d.storedSizes[1] = -1; }, 28},
        {"empty payload", [](Description& d) { d.payloadSize = 0; }, 29},
        {"blank volume name", [](Description& d) { d.volumeBaseName = " \t"; }, 21},
        {"blank uninstaller", [](Description& d) { d.uninstallerName = ""; }, 33},
        {"icon offset 999999", [](Description& d) { d.iconOffset = 999999; }, 23},
        {"negative icon offset", [](Description& d) { d.iconOffset = -1; }, 23},
        {"no languages", [](Description& d) { d.languageNames.clear(); for (auto& m : d.messages) m.clear(); }, 30},
        {"10001 messages", [](Description& d) { d.messages.assign(10001, {"a", "b"}); }, 31},
    };
    for (const FaultCase& c : kCases) {
        SCOPED_TRACE(c.name);
        Description d = SampleDescription();
        c.damage(d);
        Bytes bytes = WriteDescription(d);
        Description back;
        EXPECT_EQ(c.code, ReadDescription(bytes, Checksum(bytes.data(), (int32_t)bytes.size()), back).code);
    }
    Description d = SampleDescription();
    d.messages.assign(10000, {"a", "b"});
    Bytes bytes = WriteDescription(d);
    Description back;
    EXPECT_FALSE(ReadDescription(bytes, Checksum(bytes.data(), (int32_t)bytes.size()), back))
        << "10000 messages are allowed";
}

TEST(Description, ChecksumAndEndMarkerAreChecked)
{
    Bytes bytes = WriteDescription(SampleDescription());
    uint32_t key = Checksum(bytes.data(), (int32_t)bytes.size());
    Description back;
    EXPECT_EQ(25, ReadDescription(bytes, key + 1, back).code);
    Bytes noEnd(bytes.begin(), bytes.end() - 1);
    EXPECT_EQ(32, ReadDescription(noEnd, Checksum(noEnd.data(), (int32_t)noEnd.size()), back).code);
    // Without PfChecksums a wrong key goes unnoticed, as in the stub.
    Description plain = SampleDescription();
    plain.productFlags &= ~PfChecksums;
    Bytes plainBytes = WriteDescription(plain);
    EXPECT_FALSE(ReadDescription(plainBytes, 12345, back));
}

TEST(Description, CheckDescriptionNamesEveryLimit)
{
    EXPECT_EQ("", CheckDescription(SampleDescription()));
    Description d = SampleDescription();
    d.languageNames.clear();
    EXPECT_NE("", CheckDescription(d));
    d = SampleDescription();
    d.messages[1].pop_back();
    EXPECT_NE("", CheckDescription(d));
    d = SampleDescription();
    d.uninstallerIcon.resize(100);
    EXPECT_NE("", CheckDescription(d));
}

struct TextCase {
    const char* utf8;
    const char* cp1252;            // nullptr: refused
};

TEST(Text, Utf8BecomesWindows1252)
{
    static const TextCase kCases[] = {
        {"plain", "plain"},
        {"Gr\xC3\xBC\xC3\x9F" "e", "Gr\xFC\xDF" "e"},            // ü ß
        {"\xE2\x82\xAC 5", "\x80 5"},                           // euro sign
        {"\xE2\x80\x9Cq\xE2\x80\x9D", "\x93q\x94"},             // curly quotes
        {"\xC5\x93", "\x9C"},                                   // oe ligature
        {"\xE4\xB8\xAD", nullptr},                              // a CJK character
        {"\xC3", nullptr},                                      // cut sequence
        {"\xC0\xAF", nullptr},                                  // overlong '/'
        {"\xC2\x81", nullptr},                                  // U+0081: no 1252 byte
    };
    for (const TextCase& c : kCases) {
        SCOPED_TRACE(c.utf8);
        std::optional<std::string> out = Utf8ToCp1252(c.utf8);
        if (!c.cp1252) {
            EXPECT_FALSE(out);
            continue;
        }
        ASSERT_TRUE(out);
        EXPECT_EQ(c.cp1252, *out);
        EXPECT_EQ(c.utf8, Cp1252ToUtf8(*out));
    }
}

TEST(Text, LineEndsBecomeUniform)
{
    EXPECT_EQ("a\r\nb\r\nc\r\n\r\n", NormaliseLineEnds("a\nb\r\nc\r\r\n", "\r\n"));
    EXPECT_EQ("a\nb\n", NormaliseLineEnds("a\r\nb\r", "\n"));
}

TEST(Messages, EveryLanguageHasEveryTextWithTheStubsConversions)
{
    ASSERT_EQ(4u, MessageSets().size());
    for (const MessageSet& set : MessageSets()) {
        SCOPED_TRACE(set.code);
        ASSERT_EQ((size_t)kBuiltInMessageCount, set.texts.size());
        for (int n = 0; n < kBuiltInMessageCount; n++) {
            SCOPED_TRACE(n);
            const std::string& text = set.texts[n];
            EXPECT_TRUE(Utf8ToCp1252(text)) << "not Windows-1252";
            EXPECT_EQ(n == 38, text.empty()) << "only message 38 is unused";
            const char* want = MessageConversions(n);
            std::string have = ConversionsOf(text);
            if (want)
                EXPECT_EQ(want, have);
            else
                EXPECT_EQ("", have) << "an unformatted message shows its % signs";
        }
    }
    EXPECT_EQ("scs", std::string(MessageConversions(19)));
    EXPECT_EQ("dc", std::string(MessageConversions(26)));
    EXPECT_EQ("?", ConversionsOf("50%x"));
    EXPECT_EQ("d", ConversionsOf("100%% of %d"));
}

struct NameCase {
    const char* name;
    const char* normal;            // "" when refused
};

TEST(Names, InstallNamesStayInsideTheirDestination)
{
    static const NameCase kCases[] = {
        {"app.exe", "app.exe"},
        {"bin/tools/x.dll", "bin\\tools\\x.dll"},
        {"bin\\x.dll", "bin\\x.dll"},
        {"", ""},
        {"/etc/passwd", ""},
        {"\\windows\\x", ""},
        {"C:\\x", ""},
        {"c:x", ""},
        {"a/../../x", ""},
        {"..", ""},
        {"a//b", ""},
        {"a/./b", ""},
        {"a/b/", ""},
        {"bad|name", ""},
        {"trailing. ", ""},
        {"folder./x", ""},
        {"folder /x", ""},
        // Names Windows opens as devices, in any part, case and extension.
        {"NUL", ""},
        {"con.txt", ""},
        {"bin/Aux/x.dll", ""},
        {"prn.tar.gz", ""},
        {"com1", ""},
        {"LPT9.log", ""},
        {"con .log", ""},
        {"COM\u00B9.txt", ""},
        {"conout$", ""},
        {"console.txt", "console.txt"},
        {"com10", "com10"},
        {"lpt", "lpt"},
        {"nul_driver.sys", "nul_driver.sys"},
        {"docs/x.con", "docs\\x.con"},
    };
    for (const NameCase& c : kCases) {
        SCOPED_TRACE(c.name);
        std::string error;
        EXPECT_EQ(c.normal, NormaliseInstallName(c.name, error));
        EXPECT_EQ(std::string(c.normal).empty(), !error.empty());
    }
}

TEST(Names, GlobMatchesPartsAndFolders)
{
    struct { const char* pattern; const char* path; bool match; } kCases[] = {
        {"*.txt", "a.txt", true},
        {"*.txt", "sub/a.txt", false},
        {"**/*.txt", "a.txt", true},
        {"**/*.txt", "x/y/a.txt", true},
        {"x/**", "x/y/z", true},
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"*", ".hidden", true},
        {"*.t*t", "a.text", true},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::string(c.pattern) + " " + c.path);
        EXPECT_EQ(c.match, GlobMatch(c.pattern, c.path));
    }
}

Bytes IcoWith(std::vector<Bytes> images, uint8_t width = 32)
{
    ByteWriter w;
    w.Word(0);
    w.Word(1);
    w.Word((uint16_t)images.size());
    uint32_t offset = 6 + 16 * (uint32_t)images.size();
    for (const Bytes& image : images) {
        w.Byte(width); w.Byte(width); w.Byte(0); w.Byte(0);
        w.Word(1); w.Word(8);
        w.Int((uint32_t)image.size());
        w.Int(offset);
        offset += (uint32_t)image.size();
    }
    for (const Bytes& image : images)
        w.Raw(image);
    return w.Out();
}

Bytes BitmapImage(uint16_t bits, uint32_t colours)
{
    ByteWriter w;
    w.Int(40); w.Int(32); w.Int(64); w.Word(1); w.Word(bits); w.Int(0);
    w.Int(0); w.Int(0); w.Int(0); w.Int(colours); w.Int(0);
    size_t palette = (colours ? colours : 256) * 4;
    for (size_t i = 0; i < palette + 1024 + 128; i++)
        w.Byte((uint8_t)(i * 7));
    return w.Out();
}

TEST(Icon, TakesThe32x32Image256ColourImage)
{
    std::string error;
    std::optional<Bytes> image = IconImageFromIco(IcoWith({BitmapImage(8, 256)}), error);
    ASSERT_TRUE(image) << error;
    EXPECT_EQ((size_t)kUninstallerIconSize, image->size());

    // A 16-colour palette is widened: pixels and mask keep their bytes.
    Bytes small = BitmapImage(8, 16);
    image = IconImageFromIco(IcoWith({small}), error);
    ASSERT_TRUE(image) << error;
    ASSERT_EQ((size_t)kUninstallerIconSize, image->size());
    EXPECT_TRUE(std::equal(small.begin() + 40 + 64, small.end(), image->begin() + 40 + 1024));
    EXPECT_EQ(0u, Load32(image->data() + 32));

    struct { const char* name; Bytes ico; } kRefused[] = {
        {"4-bit image", IcoWith({BitmapImage(4, 16)})},
        {"16x16 image", IcoWith({BitmapImage(8, 256)}, 16)},
        {"PNG image", IcoWith({Bytes{0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 0, 0, 0, 0, 0,
                                     0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                     0, 0, 0, 0}})},
        {"a bitmap file", Bytes{'B', 'M', 0, 0, 0, 0}},
    };
    for (const auto& c : kRefused) {
        SCOPED_TRACE(c.name);
        error.clear();
        EXPECT_FALSE(IconImageFromIco(c.ico, error));
        EXPECT_FALSE(error.empty());
    }
}

// Each test runs on both stubs the builder carries.
class StubTest : public ::testing::TestWithParam<Arch> {
protected:
    void SetUp() override
    {
        stub_ = StubBytes(GetParam());
        ASSERT_FALSE(stub_.empty()) << MissingStub(GetParam());
    }
    Bytes stub_;
};

INSTANTIATE_TEST_SUITE_P(Arch, StubTest, ::testing::Values(Arch::X86, Arch::X64),
                         [](const auto& info) { return std::string(ArchName(info.param)); });

TEST_P(StubTest, IsAProgramOfItsArchitecture)
{
    std::string error;
    std::optional<PeHeaders> pe = ParsePe(stub_, error);
    ASSERT_TRUE(pe) << error;
    EXPECT_EQ(GetParam(), StubArch(*pe));
    EXPECT_EQ(GetParam() == Arch::X64, pe->pe32Plus);
    EXPECT_EQ(GetParam() == Arch::X64 ? 0x8664 : 0x14C, pe->machine);
    // The section table follows the optional header, whose size differs.
    EXPECT_EQ(GetParam() == Arch::X64 ? 240u : 224u, pe->optionalSize);
    EXPECT_EQ(".text", pe->sections.front().name);
}

TEST_P(StubTest, RefusesAnyOtherMachineOrTheWrongArchitecture)
{
    Project p;
    p.path = "p.toml";
    p.description.productName = "X";
    p.description.volumeBaseName = "X";
    p.description.uninstallerName = "u.exe";
    p.description.languageNames = {"English"};
    p.description.messages = {{"x"}};
    BuildOptions options;
    options.output = "never-written.exe";
    Arch other = GetParam() == Arch::X64 ? Arch::X86 : Arch::X64;
    options.arch = other;
    try {
        BuildInstaller(p, stub_, options);
        ADD_FAILURE() << "a stub of the other architecture was taken";
    } catch (const ProjectError& e) {
        EXPECT_NE(std::string::npos, std::string(e.what()).find(
                      std::string("an ") + ArchName(other) + " installer was asked for")) << e.what();
    }
    // An ARM64 program is a PE32+ image of another machine.
    std::string error;
    Bytes arm = stub_;
    Store16(arm.data() + ParsePe(arm, error)->peOffset + 4, 0xAA64);
    options.arch.reset();
    try {
        BuildInstaller(p, arm, options);
        ADD_FAILURE() << "a stub for ARM64 was taken";
    } catch (const ProjectError& e) {
        EXPECT_NE(std::string::npos, std::string(e.what()).find("machine 0xAA64")) << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(options.output));
}

TEST_P(StubTest, FindsTheStubsIconImage)
{
    int64_t offset = FindStubIcon(stub_);
    ASSERT_GT(offset, 0);
    EXPECT_EQ(40u, Load32(stub_.data() + offset));
    EXPECT_EQ(8u, Load16(stub_.data() + offset + 14));
}

TEST_P(StubTest, AppendedSectionFollowsTheLoadersRules)
{
    std::string error;
    PeHeaders before = *ParsePe(stub_, error);
    Bytes image = stub_;
    Bytes archive(5000, 0xAB);
    std::optional<AppendedSection> placed = AppendArchiveSection(image, archive, error);
    ASSERT_TRUE(placed) << error;
    PeHeaders after = *ParsePe(image, error);
    ASSERT_EQ(before.sections.size() + 1, after.sections.size());
    const PeSection& s = after.sections.back();
    EXPECT_EQ(".velt", s.name);
    EXPECT_EQ(0x40000040u, s.characteristics);
    EXPECT_EQ(0u, s.rawOffset % after.fileAlignment);
    EXPECT_EQ(0u, s.rawSize % after.sectionAlignment);
    EXPECT_EQ(before.sizeOfImage, s.virtualAddress);
    EXPECT_EQ(before.sizeOfImage + s.rawSize, after.sizeOfImage);
    EXPECT_EQ(before.sizeOfInitializedData + s.rawSize, after.sizeOfInitializedData);
    EXPECT_EQ(image.size(), (size_t)s.rawOffset + s.rawSize);
    EXPECT_TRUE(std::equal(archive.begin(), archive.end(), image.begin() + s.rawOffset));
    EXPECT_EQ(0u, Load32(image.data() + after.optionalOffset + 64)) << "header checksum";
    // Every byte before the table's new entry is the stub's, but the
    // patched header fields.
    EXPECT_TRUE(std::equal(stub_.begin() + after.tableOffset, stub_.begin() + s.entryOffset,
                           image.begin() + after.tableOffset));

    // Appending twice is refused: it already is an installer.
    EXPECT_FALSE(AppendArchiveSection(image, archive, error));
}

TEST_P(StubTest, RefusesAStubWithoutRoomForAnEntry)
{
    std::string error;
    PeHeaders pe = *ParsePe(stub_, error);
    size_t entryEnd = pe.tableOffset + pe.sections.size() * 40;
    Bytes image = stub_;
    image[entryEnd + 39] = 1;                       // the 40th free byte is taken
    EXPECT_FALSE(AppendArchiveSection(image, Bytes(10, 1), error));
    EXPECT_NE(std::string::npos, error.find("room"));
    EXPECT_EQ(stub_.size(), image.size()) << "nothing appended";
}

} // namespace
