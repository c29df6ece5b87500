// veltpack end to end: each case runs the program in a fresh directory and
// looks at its exit status, its messages and the files it writes.
#include "builder/archive.h"
#include "tests/builder/stubs.h"
#include "builder/platform.h"
#include "builder/project.h"
#include "builder/text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>

namespace fs = std::filesystem;
using namespace velt;

namespace {

struct Outcome {
    int status;
    std::string output;            // stdout and stderr together
};

Outcome Veltpack(const std::string& args, const std::string& env = "")
{
    std::string command = env + " " + VELTPACK_PROGRAM + " " + args + " 2>&1";
    Outcome r{-1, ""};
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0)
        r.output.append(buf, n);
    int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

void WriteFile(const fs::path& path, const std::string& content)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class VeltpackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (Arch arch : {Arch::X86, Arch::X64})
            ASSERT_FALSE(EmbeddedStub(arch).empty()) << MissingStub(arch);
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() / ("veltpack-" + std::string(info->name()) + "-"
                                            + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override
    {
        if (!dir_.empty() && !HasFailure())
            fs::remove_all(dir_);
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    // A copy of the example product, so tests may change it.
    fs::path CopyExamples()
    {
        fs::copy(VELT_EXAMPLES_DIR, dir_ / "src", fs::copy_options::recursive);
        return dir_ / "src" / "tally.toml";
    }

    fs::path dir_;
};

TEST_F(VeltpackTest, HelpForEveryCommandAndUsageErrors)
{
    for (const char* command : {"build", "inspect", "verify", "extract"}) {
        SCOPED_TRACE(command);
        Outcome r = Veltpack(std::string(command) + " --help");
        EXPECT_EQ(0, r.status);
        EXPECT_NE(std::string::npos, r.output.find(std::string("usage: veltpack ") + command));
    }
    EXPECT_EQ(0, Veltpack("--help").status);
    EXPECT_EQ(2, Veltpack("").status);
    EXPECT_EQ(2, Veltpack("pack x").status);
    EXPECT_EQ(2, Veltpack("build").status);
    EXPECT_EQ(2, Veltpack("build a.toml --level ultra").status);
    EXPECT_EQ(2, Veltpack("build a.toml --volume-size 0").status);
    EXPECT_EQ(2, Veltpack("build a.toml --arch arm64").status);
    EXPECT_EQ(2, Veltpack("extract x.exe").status) << "-C is required";
}

TEST_F(VeltpackTest, BuildThenInspectAndExtractGiveBackEverything)
{
    fs::path project = CopyExamples();
    Outcome built = Veltpack("build " + project.string() + " -o " + Path("setup.exe"));
    ASSERT_EQ(0, built.status) << built.output;

    Project p = LoadProject(project);
    Installer in;
    ArchiveFault fault = ReadInstaller(Path("setup.exe"), in);
    ASSERT_FALSE(fault) << fault.code << " " << fault.what;
    const Description& d = in.description;
    const Description& want = p.description;
    for (auto [have, expected] : {std::pair{&d.productName, &want.productName},
                                  {&d.publisher, &want.publisher}, {&d.displayName, &want.displayName},
                                  {&d.defaultDirectory, &want.defaultDirectory},
                                  {&d.licenseText, &want.licenseText}, {&d.readmeText, &want.readmeText},
                                  {&d.uninstallBatch1, &want.uninstallBatch1},
                                  {&d.postInstallBatch, &want.postInstallBatch},
                                  {&d.uninstallerName, &want.uninstallerName}})
        EXPECT_EQ(*expected, *have);
    EXPECT_EQ(want.productFlags, d.productFlags);
    EXPECT_EQ(want.associations, d.associations);
    EXPECT_EQ(want.languageNames, d.languageNames);
    EXPECT_EQ(want.messages, d.messages);
    EXPECT_EQ(want.backgroundBitmap, d.backgroundBitmap);
    EXPECT_EQ(*p.icon, d.uninstallerIcon);
    // The installer shows the product's icon too.
    EXPECT_TRUE(std::equal(p.icon->begin(), p.icon->end(), in.image.begin() + d.iconOffset));
    EXPECT_EQ("Deutsch", d.languageNames[1]);
    EXPECT_NE(std::string::npos, d.messages[1][1].find("M\xF6" "chten")) << "Windows-1252 bytes";

    ASSERT_EQ(p.files.size(), in.records.size());
    Outcome extracted = Veltpack("extract " + Path("setup.exe") + " -C " + Path("out"));
    ASSERT_EQ(0, extracted.status) << extracted.output;
    for (size_t i = 0; i < p.files.size(); i++) {
        const ProjectFile& f = p.files[i];
        const FileRecord& r = in.records[i];
        SCOPED_TRACE(r.name);
        EXPECT_EQ(f.record.name, r.name);
        EXPECT_EQ(f.record.kind, r.kind);
        EXPECT_EQ(f.record.flags, r.flags);
        EXPECT_EQ(f.record.text, r.text);
        EXPECT_EQ(f.record.icon, r.icon);
        EXPECT_EQ(ReadFile(f.source), std::string(r.data.begin(), r.data.end()));
        EXPECT_EQ(LocalDateTime(*FileModifiedTime(f.source)), r.time);
        std::string name = r.name;
        std::replace(name.begin(), name.end(), '\\', '/');
        fs::path out = dir_ / "out" / ((r.flags & FfToUninstallDir) ? "uninstall" : DestKindName(r.kind)) / name;
        EXPECT_EQ(ReadFile(f.source), ReadFile(out));
        EXPECT_EQ(*FileModifiedTime(f.source), *FileModifiedTime(out));
    }
    Outcome json = Veltpack("inspect --json " + Path("setup.exe"));
    EXPECT_EQ(0, json.status);
    EXPECT_NE(std::string::npos, json.output.find("\"productName\": \"Tally\""));
    EXPECT_NE(std::string::npos, json.output.find("\"name\": \"help\\\\formulas.txt\""));
    EXPECT_NE(std::string::npos, json.output.find("\"problem\": null"));
}

// The project file with `line` added to its [product] table.
void AddToProduct(const fs::path& project, const std::string& line)
{
    std::string text = ReadFile(project);
    text.insert(text.find("[product]\n") + 10, line + "\n");
    WriteFile(project, text);
}

TEST_F(VeltpackTest, EitherArchitectureFromTheCommandLineOrTheProject)
{
    struct {
        const char* name;
        const char* projectLine;
        const char* options;
        const char* arch;
        const char* shown;
    } kCases[] = {
        {"the default", "", "", "x86", "x86 (PE32, i386)"},
        {"--arch", "", " --arch x64", "x64", "x64 (PE32+, x86-64)"},
        {"the project", "arch = \"x64\"", "", "x64", "x64 (PE32+, x86-64)"},
        {"--arch over the project", "arch = \"x64\"", " --arch=x86", "x86", "x86 (PE32, i386)"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir_ / "src");
        fs::remove_all(dir_ / "out");
        fs::path project = CopyExamples();
        AddToProduct(project, c.projectLine);
        Outcome built = Veltpack("build " + project.string() + " -o " + Path("setup.exe") + c.options);
        ASSERT_EQ(0, built.status) << built.output;

        Installer in;
        ArchiveFault fault = ReadInstaller(Path("setup.exe"), in);
        ASSERT_FALSE(fault) << fault.code << " " << fault.what;
        EXPECT_EQ(ArchFromName(c.arch), StubArch(*in.pe));
        EXPECT_EQ(StubBytes(*ArchFromName(c.arch)).size(), in.rawOffset) << "the stub of that architecture";
        Outcome shown = Veltpack("inspect " + Path("setup.exe"));
        EXPECT_NE(std::string::npos, shown.output.find(std::string("architecture         ") + c.shown))
            << shown.output;
        Outcome json = Veltpack("inspect --json " + Path("setup.exe"));
        EXPECT_NE(std::string::npos, json.output.find(std::string("\"architecture\": \"") + c.arch + "\""))
            << json.output;
        EXPECT_EQ(0, Veltpack("verify " + Path("setup.exe")).status);
        ASSERT_EQ(0, Veltpack("extract " + Path("setup.exe") + " -C " + Path("out")).status);
        EXPECT_EQ(ReadFile(dir_ / "src" / "app" / "tally.cmd"), ReadFile(dir_ / "out" / "install" / "tally.cmd"));
    }
}

TEST_F(VeltpackTest, ArchitectureMistakesAreRefused)
{
    fs::path project = CopyExamples();
    // A stub given by hand must be of the architecture asked for.
    Bytes x86 = StubBytes(Arch::X86);
    WriteFile(dir_ / "x86.exe", std::string(x86.begin(), x86.end()));
    Outcome r = Veltpack("build " + project.string() + " -o " + Path("setup.exe") + " --arch x64 --stub "
                         + Path("x86.exe"));
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.output.find("the stub is x86 (PE32, i386), but an x64 installer was asked for"))
        << r.output;
    EXPECT_FALSE(fs::exists(dir_ / "setup.exe"));
    // The project names an architecture that does not exist.
    AddToProduct(project, "arch = \"amd64\"");
    r = Veltpack("build " + project.string() + " -o " + Path("setup.exe"));
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.output.find("tally.toml:5:8: \"arch\" is \"x86\" or \"x64\"")) << r.output;
    EXPECT_FALSE(fs::exists(dir_ / "setup.exe"));
}

TEST_F(VeltpackTest, SameInputsGiveIdenticalBytes)
{
    fs::path project = CopyExamples();
    std::string env = "SOURCE_DATE_EPOCH=1700000000 TZ=UTC";
    ASSERT_EQ(0, Veltpack("build " + project.string() + " -o " + Path("a.exe"), env).status);
    // Touching the sources changes nothing while SOURCE_DATE_EPOCH is set
    // below their times.
    fs::last_write_time(project, fs::file_time_type::clock::now());
    ASSERT_EQ(0, Veltpack("build " + project.string() + " -o " + Path("b.exe"), env).status);
    EXPECT_EQ(ReadFile(Path("a.exe")), ReadFile(Path("b.exe")));
    Installer in;
    ASSERT_FALSE(ReadInstaller(Path("a.exe"), in));
    EXPECT_EQ((DateTime{2023, 11, 14, 22, 13, 20}), in.description.archiveDate);

    // Without the variable the newest source decides, and again two builds agree.
    ASSERT_EQ(0, Veltpack("build " + project.string() + " -o " + Path("c.exe")).status);
    ASSERT_EQ(0, Veltpack("build " + project.string() + " -o " + Path("d.exe")).status);
    EXPECT_EQ(ReadFile(Path("c.exe")), ReadFile(Path("d.exe")));
}

TEST_F(VeltpackTest, VolumesHoldTheRestAndAreChecked)
{
    fs::path project = CopyExamples();
    // The volume size follows the stub: the whole example installer and
    // 16 KB more, so the installer itself keeps some file data.
    ASSERT_EQ(0, Veltpack("build " + project.string() + " -o " + Path("whole.exe")).status);
    uint64_t volumeSize = fs::file_size(dir_ / "whole.exe") + 16 * 1024;
    fs::remove(dir_ / "whole.exe");
    // Two volumes' worth that does not compress: the installer holds a
    // little, TALLY2 a full volume, TALLY3 the rest.
    std::mt19937 random(7);
    std::string noise(2 * volumeSize, '\0');
    for (char& c : noise)
        c = (char)random();
    WriteFile(dir_ / "src" / "app" / "data.bin", noise);
    std::ofstream(project, std::ios::app) << "\n[[files]]\nsource = \"app/data.bin\"\n";

    Outcome built = Veltpack("build " + project.string() + " -o " + Path("setup.exe")
                             + " --volume-size " + std::to_string(volumeSize));
    ASSERT_EQ(0, built.status) << built.output;
    for (const char* name : {"setup.exe", "TALLY2.VLT", "TALLY3.VLT"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(fs::exists(dir_ / name));
        EXPECT_LE(fs::file_size(dir_ / name), volumeSize);
    }
    EXPECT_EQ(volumeSize, fs::file_size(dir_ / "TALLY2.VLT"));
    EXPECT_FALSE(fs::exists(dir_ / "TALLY4.VLT"));
    Outcome verified = Veltpack("verify " + Path("setup.exe"));
    EXPECT_EQ(0, verified.status) << verified.output;

    Installer in;
    ASSERT_FALSE(ReadInstaller(Path("setup.exe"), in));
    EXPECT_EQ(noise, std::string(in.records.back().data.begin(), in.records.back().data.end()));

    // A volume one byte short, then a missing volume.
    std::string third = ReadFile(dir_ / "TALLY3.VLT");
    WriteFile(dir_ / "TALLY3.VLT", third.substr(0, third.size() - 1));
    Outcome shortVolume = Veltpack("verify " + Path("setup.exe"));
    EXPECT_EQ(1, shortVolume.status);
    EXPECT_NE(std::string::npos, shortVolume.output.find("missing")) << shortVolume.output;
    fs::remove(dir_ / "TALLY2.VLT");
    Outcome missing = Veltpack("verify " + Path("setup.exe"));
    EXPECT_EQ(1, missing.status);
    EXPECT_NE(std::string::npos, missing.output.find("volume 2")) << missing.output;

    Outcome tooSmall = Veltpack("build " + project.string() + " -o " + Path("x.exe") + " --volume-size 8K");
    EXPECT_EQ(1, tooSmall.status);
    EXPECT_NE(std::string::npos, tooSmall.output.find("cannot hold")) << tooSmall.output;
    EXPECT_FALSE(fs::exists(dir_ / "x.exe"));
}

struct BadProject {
    const char* name;
    const char* toml;
    const char* message;           // expected in the output, after "p.toml:"
};

TEST_F(VeltpackTest, BadProjectsAreRefusedWithTheirPlace)
{
    WriteFile(dir_ / "a.txt", "text");
    WriteFile(dir_ / "not.ico", "BM......");
    static const BadProject kCases[] = {
        {"syntax", "[product\nname = \"X\"", "p.toml:1:9:"},
        {"no product", "[[files]]\nsource = \"a.txt\"\n", "p.toml:1:1: the project has no [product] table"},
        {"no name", "[product]\nversion = \"1\"\n[[files]]\nsource = \"a.txt\"\n", "p.toml:1:1: [product] needs a \"name\""},
        {"unknown key", "[product]\nname = \"X\"\nnmae = \"Y\"\n[[files]]\nsource = \"a.txt\"\n",
         "p.toml:3:1: unknown key \"nmae\" in [product]"},
        {"no files", "[product]\nname = \"X\"\n", "the project has no [[files]]"},
        {"missing source", "[product]\nname = \"X\"\n[[files]]\nsource = \"b.txt\"\n", "p.toml:4:10: no such file"},
        {"empty glob", "[product]\nname = \"X\"\n[[files]]\nsource = \"*.dll\"\n", "p.toml:4:10: \"*.dll\" matches no files"},
        {"escaping name", "[product]\nname = \"X\"\n[[files]]\nsource = \"a.txt\"\nname = \"../a.txt\"\n",
         "p.toml:5:8: bad name \"../a.txt\""},
        {"drive name", "[product]\nname = \"X\"\n[[files]]\nsource = \"a.txt\"\nname = \"C:\\\\a.txt\"\n", "p.toml:5:8: bad name"},
        {"device name", "[product]\nname = \"X\"\n[[files]]\nsource = \"a.txt\"\nname = \"logs/Nul.txt\"\n",
         "p.toml:5:8: bad name \"logs/Nul.txt\": \"Nul.txt\" is a device name on Windows"},
        {"trailing full stop", "[product]\nname = \"X\"\n[[files]]\nsource = \"a.txt\"\nname = \"logs./a.txt\"\n",
         "p.toml:5:8: bad name \"logs./a.txt\": a name part must not end in a blank or a full stop"},
        {"twice", "[product]\nname = \"X\"\n[[files]]\nsource = \"a.txt\"\n[[files]]\nsource = \"a.txt\"\nname = \"A.TXT\"\n",
         "p.toml:5:1: \"A.TXT\" is installed twice (first at"},
        {"destination", "[product]\nname = \"X\"\n[[files]]\nsource = \"a.txt\"\ndestination = \"desktop\"\n",
         "p.toml:5:15: unknown destination \"desktop\""},
        {"overwrite", "[product]\nname = \"X\"\n[[files]]\nsource = \"a.txt\"\noverwrite = \"never\"\n",
         "p.toml:5:13: unknown overwrite mode"},
        {"shortcut on font", "[product]\nname = \"X\"\n[[files]]\nsource = \"a.txt\"\ndestination = \"font\"\nshortcuts = [\"desktop\"]\n",
         "p.toml:6:13: shortcuts are made only for install"},
        {"flag", "[product]\nname = \"X\"\n[flags]\nreboot-needed = true\n[[files]]\nsource = \"a.txt\"\n",
         "p.toml:4:17: unknown flag \"reboot-needed\""},
        {"colour", "[product]\nname = \"X\"\n[look]\ntop-color = \"blue\"\n[[files]]\nsource = \"a.txt\"\n",
         "p.toml:4:13: \"top-color\" must be a colour"},
        {"icon", "[product]\nname = \"X\"\n[look]\nicon = \"not.ico\"\n[[files]]\nsource = \"a.txt\"\n",
         "p.toml:4:8: not an icon file"},
        {"blank uninstaller", "[product]\nname = \"X\"\nuninstaller = \" \"\n[[files]]\nsource = \"a.txt\"\n",
         "p.toml:3:15: \"uninstaller\" is blank"},
        {"blank volume", "[product]\nname = \"X\"\nvolume-name = \"\"\n[[files]]\nsource = \"a.txt\"\n",
         "p.toml:3:15: \"volume-name\" is blank"},
        {"uninstaller in a folder", "[product]\nname = \"X\"\nuninstaller = \"sub/u.exe\"\n[[files]]\nsource = \"a.txt\"\n",
         "p.toml:3:15: bad uninstaller \"sub/u.exe\": a file name without folders is needed"},
        {"uninstaller escaping", "[product]\nname = \"X\"\nuninstaller = \"../u.exe\"\n[[files]]\nsource = \"a.txt\"\n",
         "p.toml:3:15: bad uninstaller \"../u.exe\": every part of the name must be a real file or folder name (no \"..\")"},
        {"uninstaller device", "[product]\nname = \"X\"\nuninstaller = \"NUL.exe\"\n[[files]]\nsource = \"a.txt\"\n",
         "p.toml:3:15: bad uninstaller \"NUL.exe\": \"NUL.exe\" is a device name on Windows (CON, NUL, COM1 and the like)"},
        {"volume name with a star", "[product]\nname = \"X\"\nvolume-name = \"D*\"\n[[files]]\nsource = \"a.txt\"\n",
         "p.toml:3:15: bad volume-name \"D*\": the name holds a character Windows does not allow in file names"},
        {"no languages", "languages = []\n[product]\nname = \"X\"\n[[files]]\nsource = \"a.txt\"\n",
         "p.toml:1:13: no languages are given"},
        {"unknown texts", "[product]\nname = \"X\"\n[[files]]\nsource = \"a.txt\"\n[[languages]]\ntexts = \"nl\"\n",
         "p.toml:6:9: no built-in texts \"nl\""},
        {"10001 messages", "[product]\nname = \"X\"\n[[files]]\nsource = \"a.txt\"\n[[languages]]\nmessages = { \"10000\" = \"x\" }\n",
         "p.toml:6:24: a message number is 0 to 9999"},
        {"conversions", "[product]\nname = \"X\"\n[[files]]\nsource = \"a.txt\"\n[[languages]]\nmessages = { \"19\" = \"%s %s\" }\n",
         "p.toml:6:21: message 19 must hold the conversions %s, %c, %s"},
        {"not 1252", "[product]\nname = \"X\\u4e2d\"\n[[files]]\nsource = \"a.txt\"\n",
         "p.toml:2:8: the character"},
        {"licence file", "[product]\nname = \"X\"\nlicence = \"gone.txt\"\n[[files]]\nsource = \"a.txt\"\n",
         "p.toml:3:11: no such file"},
        {"batch twice", "[product]\nname = \"X\"\n[batch]\nfinal = \"a\"\nfinal-file = \"a.txt\"\n[[files]]\nsource = \"a.txt\"\n",
         "p.toml:5:14: give either \"final\" or \"final-file\""},
    };
    for (const BadProject& c : kCases) {
        SCOPED_TRACE(c.name);
        WriteFile(dir_ / "p.toml", c.toml);
        Outcome r = Veltpack("build " + Path("p.toml") + " -o " + Path("out.exe"));
        EXPECT_EQ(1, r.status);
        EXPECT_NE(std::string::npos, r.output.find(c.message)) << r.output;
        EXPECT_FALSE(fs::exists(dir_ / "out.exe"));
        EXPECT_FALSE(fs::exists(dir_ / "out.exe.part"));
    }
}

// A project's line in [product] (line 3) and its one source (line 5,
// column 10), built with or without --follow-links.
struct PlaceCase {
    const char* name;
    const char* product;
    const char* source;
    bool followLinks;
    const char* where;             // "p.toml:L:C: ", or null: the build succeeds
    const char* what;
};

// Nothing the uninstaller will remove, and nothing the builder packs, may
// lie outside what the product owns: sources stay in the project's folder
// (links only when asked for, and never to devices or kernel files), the
// registry key and the folders are the product's own.
TEST_F(VeltpackTest, PlacesOutsideTheProductAreRefusedWithTheirPlace)
{
    fs::path proj = dir_ / "proj";
    WriteFile(proj / "a.txt", "text");
    WriteFile(proj / "app" / "b.txt", "text");
    WriteFile(proj / "glob" / "x.txt", "text");
    WriteFile(dir_ / "outside" / "c.txt", "text");
    fs::create_symlink("a.txt", proj / "inner.txt");
    fs::create_symlink("../a.txt", proj / "glob" / "y.txt");
    fs::create_symlink("/proc/self/environ", proj / "env.txt");
    fs::create_symlink("/dev/null", proj / "null.txt");
    fs::create_directory_symlink(dir_ / "outside", proj / "linked");
    ASSERT_EQ(0, mkfifo((proj / "fifo").c_str(), 0600));
    static const PlaceCase kCases[] = {
        // Sources.
        {"absolute source", "", "/etc/passwd", false, "p.toml:5:10: ",
         "\"/etc/passwd\" is not in the project's folder"},
        {"climbing source", "", "../outside/c.txt", false, "p.toml:5:10: ",
         "\"../outside/c.txt\" leaves the project's folder"},
        {"climbing through a folder", "", "app/../../outside/c.txt", false, "p.toml:5:10: ",
         "\"app/../../outside/c.txt\" leaves the project's folder"},
        {"climbing glob", "", "../outside/*.txt", false, "p.toml:5:10: ", "leaves the project's folder"},
        {"link to the environment", "", "env.txt", false, "p.toml:5:10: ",
         "env.txt is a symbolic link: links among the sources are followed only with --follow-links"},
        {"link to the environment, followed", "", "env.txt", true, "p.toml:5:10: ",
         "env.txt is a file of the system (/proc, /sys), not a source"},
        {"link to a device, followed", "", "null.txt", true, "p.toml:5:10: ",
         "null.txt is not an ordinary file"},
        {"pipe", "", "fifo", false, "p.toml:5:10: ", "fifo is not an ordinary file"},
        {"link inside the project", "", "inner.txt", false, "p.toml:5:10: ", "inner.txt is a symbolic link"},
        {"linked folder", "", "linked/c.txt", false, "p.toml:5:10: ", "linked is a symbolic link"},
        {"link met by a glob", "", "glob/*.txt", false, "p.toml:5:10: ", "y.txt is a symbolic link"},
        {"licence through a link", "licence = 'inner.txt'", "a.txt", false, "p.toml:3:11: ",
         "inner.txt is a symbolic link"},
        {"licence outside", "licence = '/etc/passwd'", "a.txt", false, "p.toml:3:11: ",
         "\"/etc/passwd\" is not in the project's folder"},
        {"link inside, followed", "", "inner.txt", true, nullptr, nullptr},
        {"linked folder, followed", "", "linked/c.txt", true, nullptr, nullptr},
        {"glob with a link, followed", "", "glob/*.txt", true, nullptr, nullptr},
        // The registry key, deleted whole by the uninstaller.
        {"one-part key", "registry-key = 'Microsoft'", "a.txt", false, "p.toml:3:16: ",
         "bad registry-key \"Microsoft\": give at least two parts"},
        {"system key", "registry-key = 'microsoft\\Windows\\CurrentVersion\\Run'", "a.txt", false,
         "p.toml:3:16: ", "\"microsoft\" is a key of the system or of all programs"},
        {"32-bit view", "registry-key = 'Wow6432Node\\Tally'", "a.txt", false, "p.toml:3:16: ",
         "\"Wow6432Node\" is a key of the system"},
        {"classes", "registry-key = 'Classes\\CLSID'", "a.txt", false, "p.toml:3:16: ",
         "\"Classes\" is a key of the system"},
        {"policies", "registry-key = 'Policies\\Tally'", "a.txt", false, "p.toml:3:16: ",
         "\"Policies\" is a key of the system"},
        {"hive", "registry-key = 'HKLM\\Software'", "a.txt", false, "p.toml:3:16: ",
         "\"HKLM\" is a key of the system"},
        {"empty part", "registry-key = 'Northwind\\'", "a.txt", false, "p.toml:3:16: ",
         "every part must be a key name"},
        {"own key", "registry-key = 'Northwind\\Microsoft'", "a.txt", false, nullptr, nullptr},
        // Folders inside their folders.
        {"climbing uninstall folder", "uninstall-subdir = '..\\..\\Windows'", "a.txt", false,
         "p.toml:3:20: ", "bad uninstall-subdir \"..\\..\\Windows\": every part of the name must be a real"},
        {"absolute uninstall folder", "uninstall-subdir = '\\Windows'", "a.txt", false, "p.toml:3:20: ",
         "bad uninstall-subdir \"\\Windows\": the name must be relative"},
        {"uninstall folder on a drive", "uninstall-subdir = 'C:\\Windows'", "a.txt", false,
         "p.toml:3:20: ", "the name must not hold a drive"},
        {"climbing start menu", "start-menu-folder = 'Tally/../../Startup'", "a.txt", false,
         "p.toml:3:21: ", "bad start-menu-folder \"Tally/../../Startup\""},
        {"rooted start menu", "start-menu-folder = '/Programs'", "a.txt", false, "p.toml:3:21: ",
         "the name must be relative"},
        {"start menu folder", "start-menu-folder = 'Northwind\\Tally'", "a.txt", false, nullptr, nullptr},
        // The install directory: not the system's, all programs' or the users'.
        {"drive root", "default-directory = 'C:\\'", "a.txt", false, "p.toml:3:21: ",
         "bad default-directory \"C:\\\": it is the root of a drive"},
        {"drive root, other way", "default-directory = 'd:/'", "a.txt", false, "p.toml:3:21: ", "root of a drive"},
        {"root of this drive", "default-directory = '\\'", "a.txt", false, "p.toml:3:21: ", "root of a drive"},
        {"Windows", "default-directory = 'C:\\Windows'", "a.txt", false, "p.toml:3:21: ",
         "it is the Windows folder or one of its system folders"},
        {"system32", "default-directory = 'c:\\windows\\system32\\'", "a.txt", false, "p.toml:3:21: ",
         "the Windows folder or one of its system folders"},
        {"<os>", "default-directory = '<os>'", "a.txt", false, "p.toml:3:21: ", "the Windows folder"},
        {"<os> system", "default-directory = '<OS>\\SysWOW64'", "a.txt", false, "p.toml:3:21: ", "the Windows folder"},
        {"<os> inside", "default-directory = 'Tally\\<os>'", "a.txt", false, "p.toml:3:21: ",
         "<os> stands only at the start"},
        {"program files", "default-directory = 'C:\\Program Files'", "a.txt", false, "p.toml:3:21: ",
         "it is a folder of all programs"},
        {"common files", "default-directory = 'C:\\Program Files (x86)\\Common Files'", "a.txt", false,
         "p.toml:3:21: ", "a folder of all programs"},
        {"relative common files", "default-directory = 'Common Files'", "a.txt", false, "p.toml:3:21: ",
         "the folder of files shared by all programs"},
        {"program files itself", "default-directory = 'C:'", "a.txt", false, "p.toml:3:21: ",
         "the program-files folder itself"},
        {"users", "default-directory = 'C:\\Users'", "a.txt", false, "p.toml:3:21: ",
         "it is the users' folder or a user's profile"},
        {"a profile", "default-directory = 'C:\\Users\\Public'", "a.txt", false, "p.toml:3:21: ", "a user's profile"},
        {"old profiles", "default-directory = 'C:\\Documents and Settings\\All Users'", "a.txt", false,
         "p.toml:3:21: ", "a user's profile"},
        {"climbing", "default-directory = 'C:\\Windows\\..'", "a.txt", false, "p.toml:3:21: ",
         "every part must be a folder name (no \".\" or \"..\")"},
        {"full stop", "default-directory = 'C:\\Windows\\.'", "a.txt", false, "p.toml:3:21: ", "no \".\" or \"..\""},
        {"trailing full stop", "default-directory = 'C:\\Windows.'", "a.txt", false, "p.toml:3:21: ",
         "the Windows folder"},
        {"short name", "default-directory = 'C:\\PROGRA~1'", "a.txt", false, "p.toml:3:21: ",
         "write the folder's long name, not a short alias (\"PROGRA~1\")"},
        {"share root", "default-directory = '\\\\server\\share'", "a.txt", false, "p.toml:3:21: ",
         "it is the root of a network share"},
        {"device path", "default-directory = '\\\\?\\C:\\Windows'", "a.txt", false, "p.toml:3:21: ",
         "a device path"},
        {"own folder", "default-directory = 'C:\\Velt Tests\\Tally'", "a.txt", false, nullptr, nullptr},
        {"own folder under Windows", "default-directory = '<os>\\Tally'", "a.txt", false, nullptr, nullptr},
        {"own folder in a profile", "default-directory = 'C:\\Users\\ann\\Tally'", "a.txt", false, nullptr, nullptr},
        {"own folder on a share", "default-directory = '\\\\server\\share\\Tally'", "a.txt", false, nullptr, nullptr},
        {"own folder under program files", "default-directory = 'Northwind\\Tally'", "a.txt", false, nullptr, nullptr},
    };
    for (const PlaceCase& c : kCases) {
        SCOPED_TRACE(c.name);
        WriteFile(proj / "p.toml", std::string("[product]\nname = \"X\"\n") + c.product
                                   + "\n[[files]]\nsource = \"" + c.source + "\"\n");
        fs::remove(dir_ / "out.exe");
        Outcome r = Veltpack("build " + (proj / "p.toml").string() + " -o " + Path("out.exe")
                             + (c.followLinks ? " --follow-links" : ""));
        if (!c.where) {
            EXPECT_EQ(0, r.status) << r.output;
            continue;
        }
        EXPECT_EQ(1, r.status);
        std::string place = (proj / c.where).string();
        size_t at = r.output.find(place);
        EXPECT_NE(std::string::npos, at) << r.output;
        EXPECT_NE(std::string::npos, r.output.find(c.what, at)) << r.output;
        EXPECT_FALSE(fs::exists(dir_ / "out.exe"));
    }
}

struct Damage {
    const char* name;
    std::function<void(std::string& image, uint32_t section)> apply;
    int code;                      // -1: a fault without a code
    const char* words;             // expected in the message
};

void Put32(std::string& s, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        s[at + i] = (char)(v >> (8 * i));
}

TEST_F(VeltpackTest, VerifyFindsEachKindOfDamage)
{
    fs::path project = CopyExamples();
    ASSERT_EQ(0, Veltpack("build " + project.string() + " -o " + Path("good.exe")).status);
    EXPECT_EQ(0, Veltpack("verify " + Path("good.exe")).status);
    Installer in;
    ASSERT_FALSE(ReadInstaller(Path("good.exe"), in));
    uint32_t payloadEnd = in.rawOffset + (uint32_t)in.sectionDataSize;
    std::string good = ReadFile(Path("good.exe"));

    static const Damage kCases[] = {
        {"PE pointer", [](std::string& s, uint32_t) { s[0x3C] = 0x3F; s[0x3D] = 0; }, 43, "0x40..0x1000"},
        {"section count", [](std::string& s, uint32_t) {
             uint32_t h = (uint8_t)s[0x3C] | ((uint8_t)s[0x3D] << 8);
             s[h + 6] = 3; s[h + 7] = 0; }, 44, "sections"},
        {"magic", [](std::string& s, uint32_t r) { s[r] ^= 1; }, 20, "magic"},
        {"version", [](std::string& s, uint32_t r) { Put32(s, r + 4, 621); }, -1, "version 621"},
        {"description size", [](std::string& s, uint32_t r) { Put32(s, r + 8, 0); }, 22, "size"},
        {"section data size", [](std::string& s, uint32_t r) { Put32(s, r + 20, 0xFFFFFFFF); }, 45, "negative"},
        {"stub checksum", [](std::string& s, uint32_t r) { s[r + 16] ^= 1; }, 40, "stub"},
        {"stub byte", [](std::string& s, uint32_t) { s[0x4E] ^= 0x20; }, 40, "stub"},
        // The installer reads the bytes after its archive section when it
        // builds the uninstaller: a file cut short has none.
        {"truncated", [](std::string& s, uint32_t) { s.resize(s.size() - 100); }, 42,
         "the file ends before the section does"},
    };
    for (const Damage& c : kCases) {
        SCOPED_TRACE(c.name);
        std::string image = good;
        c.apply(image, in.rawOffset);
        WriteFile(dir_ / "bad.exe", image);
        Outcome r = Veltpack("verify " + Path("bad.exe"));
        EXPECT_EQ(1, r.status);
        if (c.code > 0)
            EXPECT_NE(std::string::npos, r.output.find("error code " + std::to_string(c.code) + ":")) << r.output;
        else
            EXPECT_EQ(std::string::npos, r.output.find("error code")) << r.output;
        EXPECT_NE(std::string::npos, r.output.find(c.words)) << r.output;
    }
    // The last byte of the file data: the block's checksum catches it.
    std::string image = good;
    image[payloadEnd - 1] ^= 0x55;
    WriteFile(dir_ / "bad.exe", image);
    Outcome r = Veltpack("verify " + Path("bad.exe"));
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.output.find("error code 55:")) << r.output;
    // A byte of the packed description: it no longer unpacks or sums right.
    image = good;
    image[in.rawOffset + 24 + in.descriptionSize / 2] ^= 0x10;
    WriteFile(dir_ / "bad.exe", image);
    r = Veltpack("verify " + Path("bad.exe"));
    EXPECT_EQ(1, r.status);
    EXPECT_TRUE(r.output.find("error code 47:") != std::string::npos
                || r.output.find("error code 25:") != std::string::npos) << r.output;
    // The bare stub has no archive at all.
    Bytes stub = StubBytes(Arch::X86);
    WriteFile(dir_ / "stub.exe", std::string(stub.begin(), stub.end()));
    r = Veltpack("verify " + Path("stub.exe"));
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.output.find("no .velt section")) << r.output;
}

// An installer whose records were written by something other than our
// project reader: the checks that guard the placing of files.
fs::path BuildWithRecord(const fs::path& dir, const std::string& name, int32_t kind, int32_t flags)
{
    WriteFile(dir / "payload.txt", "payload");
    Project p;
    p.path = dir / "p.toml";
    p.description.productName = "X";
    p.description.volumeBaseName = "X";
    p.description.uninstallerName = "u.exe";
    p.description.productFlags = PfChecksums | PfCompressed;
    p.description.languageNames = {"English"};
    p.description.messages = {{"x"}};
    ProjectFile f;
    f.source = dir / "payload.txt";
    f.record.name = name;
    f.record.kind = kind;
    f.record.flags = flags;
    p.files.push_back(f);
    BuildOptions options;
    options.output = dir / "odd.exe";
    BuildInstaller(p, StubBytes(Arch::X86), options);
    return options.output;
}

TEST_F(VeltpackTest, VerifyChecksEveryFileRecord)
{
    struct { const char* name; std::string file; int32_t kind, flags; int code; } kCases[] = {
        {"empty name", "", DestInstall, 0, 70},
        {"unknown kind", "a.txt", 3, 0, 110},
        {"overwrite mode 4", "a.txt", DestShared, 0x04, 112},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        fs::path exe = BuildWithRecord(dir_, c.file, c.kind, c.flags);
        Outcome r = Veltpack("verify " + exe.string());
        EXPECT_EQ(1, r.status);
        EXPECT_NE(std::string::npos, r.output.find("error code " + std::to_string(c.code) + ":")) << r.output;
    }
}

TEST_F(VeltpackTest, ExtractRefusesNamesThatLeaveTheFolder)
{
    // On Windows a device name (NUL.txt) leaves the folder too: it writes to the device.
    for (const char* name : {"..\\..\\escaped.txt", "C:\\escaped.txt", "\\escaped.txt", "a\\..\\..\\escaped.txt",
                             "NUL.txt", "logs\\com1", "logs \\escaped.txt"}) {
        SCOPED_TRACE(name);
        fs::path exe = BuildWithRecord(dir_, name, DestInstall, 0);
        fs::remove_all(dir_ / "deep");
        fs::create_directories(dir_ / "deep" / "er");
        Outcome r = Veltpack("extract " + exe.string() + " -C " + Path("deep/er"));
        EXPECT_EQ(1, r.status);
        EXPECT_NE(std::string::npos, r.output.find("refusing the name")) << r.output;
        EXPECT_TRUE(fs::is_empty(dir_ / "deep" / "er"));
        EXPECT_FALSE(fs::exists(dir_ / "escaped.txt"));
        EXPECT_FALSE(fs::exists(dir_ / "deep" / "escaped.txt"));
    }
}

} // namespace

namespace {

// What a signing tool does to a PE file: the CheckSum field rewritten, the
// certificate-table entry set, the signature appended.
std::string AsSigned(std::string image, uint32_t signatureSize)
{
    uint32_t pe = (uint8_t)image[0x3C] | ((uint8_t)image[0x3D] << 8);
    uint32_t optional = pe + 0x18;
    bool wide = (uint8_t)image[optional] == 0x0B && (uint8_t)image[optional + 1] == 0x02;
    uint32_t entry = optional + (wide ? 112 : 96) + 4 * 8;
    while (image.size() % 8)
        image.push_back('\0');
    Put32(image, optional + 64, 0x0002F00Du);
    Put32(image, entry, (uint32_t)image.size());
    Put32(image, entry + 4, signatureSize);
    image.append(signatureSize, '\xA5');
    return image;
}

} // namespace

TEST_F(VeltpackTest, SignedInstallersStaySoundAndSayTheyAreSigned)
{
    fs::path project = CopyExamples();
    for (const char* arch : {"x86", "x64"}) {
        SCOPED_TRACE(arch);
        ASSERT_EQ(0, Veltpack("build " + project.string() + " --arch " + arch + " -o " + Path("setup.exe")).status);
        Outcome plain = Veltpack("verify " + Path("setup.exe"));
        EXPECT_EQ(0, plain.status);
        EXPECT_NE(std::string::npos, plain.output.find("signature: none")) << plain.output;
        std::string good = AsSigned(ReadFile(Path("setup.exe")), 64);
        WriteFile(dir_ / "signed.exe", good);
        Outcome r = Veltpack("verify " + Path("signed.exe"));
        EXPECT_EQ(0, r.status) << r.output;
        EXPECT_NE(std::string::npos, r.output.find("signature: present (64 bytes at offset")) << r.output;
        Outcome shown = Veltpack("inspect " + Path("signed.exe"));
        EXPECT_NE(std::string::npos, shown.output.find("stub checksum")) << shown.output;
        EXPECT_NE(std::string::npos, shown.output.find("(ok)")) << shown.output;
        EXPECT_NE(std::string::npos, shown.output.find("signature            present (64 bytes"))
            << shown.output;
        EXPECT_NE(std::string::npos, Veltpack("inspect --json " + Path("signed.exe"))
                                         .output.find("\"signature\": {\"offset\": "));
        // Any other byte of the stub still counts.
        std::string bad = good;
        bad[0x4E] ^= 0x20;
        WriteFile(dir_ / "bad.exe", bad);
        r = Veltpack("verify " + Path("bad.exe"));
        EXPECT_EQ(1, r.status);
        EXPECT_NE(std::string::npos, r.output.find("error code 40:")) << r.output;
    }
}

TEST_F(VeltpackTest, BuildRunsTheSigningCommandAndChecksTheResult)
{
    fs::path project = CopyExamples();
    // The path is one word wherever {} stands, quotes in it included; &&
    // runs the next program when the one before succeeded.
    std::string out = Path("it's a setup.exe");
    Outcome r = Veltpack("build " + project.string() + " -o \"" + out
                         + "\" --sign 'cp {} {}.before && test -s {}'");
    EXPECT_EQ(0, r.status) << r.output;
    EXPECT_TRUE(fs::exists(out + ".before"));
    EXPECT_NE(std::string::npos, r.output.find("sound (")) << "the result is verified: " << r.output;
    EXPECT_NE(std::string::npos, r.output.find("signature: none")) << r.output;

    r = Veltpack("build " + project.string() + " -o " + Path("setup.exe") + " --sign 'sh -c \"exit 3\" {}'");
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.output.find("the signing command failed (exit status 3)")) << r.output;
    r = Veltpack("build " + project.string() + " -o " + Path("setup.exe") + " --sign 'false && touch {}.2'");
    EXPECT_EQ(1, r.status);
    EXPECT_FALSE(fs::exists(Path("setup.exe.2"))) << "a command after a failed one does not run";
    // A command that damages the installer fails the build through the check.
    WriteFile(dir_ / "x.bin", "x");
    r = Veltpack("build " + project.string() + " -o " + Path("setup.exe") + " --sign 'dd if=" + Path("x.bin")
                 + " of={} bs=1 seek=78 conv=notrunc status=none'");
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.output.find("error code 40:")) << r.output;
    r = Veltpack("build " + project.string() + " -o " + Path("setup.exe") + " --sign 'signtool sign'");
    EXPECT_EQ(2, r.status);
    EXPECT_NE(std::string::npos, r.output.find("--sign needs {}")) << r.output;
    // What would need a shell is refused before anything is built.
    fs::remove(Path("setup.exe"));
    r = Veltpack("build " + project.string() + " -o " + Path("setup.exe") + " --sign 'sign {} | tee log'");
    EXPECT_EQ(2, r.status);
    EXPECT_NE(std::string::npos, r.output.find("\"|\" is a shell's: the command runs without a shell")) << r.output;
    EXPECT_FALSE(fs::exists(Path("setup.exe")));
    r = Veltpack("build " + project.string() + " -o " + Path("setup.exe") + " --sign 'no-such-signer {}'");
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.output.find("the signing command could not be started: no-such-signer"))
        << r.output;
}

// The default installer name is the product's: a name full of what shells
// read runs nothing, and a variable's value is used but not shown.
TEST_F(VeltpackTest, SigningRunsNoShellWhateverTheProductIsCalled)
{
    const std::string name = "Evil & Co; touch pwned1 $(touch pwned2) `touch pwned3` | touch pwned4 '\\\" %PATH%";
    WriteFile(dir_ / "src" / "a.txt", "text");
    std::string toml = "[product]\nname = '''" + name + "'''\n[[files]]\nsource = \"a.txt\"\n";
    WriteFile(dir_ / "src" / "p.toml", toml);
    Outcome r = Veltpack("build p.toml --sign 'cp {} \"{}.$VELT_SIGN_SUFFIX\"'",
                         "cd " + Path("src") + " && VELT_SIGN_SUFFIX='secret word'");
    EXPECT_EQ(0, r.status) << r.output;
    fs::path installer = dir_ / "src" / (name + ".exe");
    EXPECT_TRUE(fs::exists(installer)) << r.output;
    EXPECT_EQ(ReadFile(installer), ReadFile(installer.string() + ".secret word"));
    EXPECT_NE(std::string::npos, r.output.find("$VELT_SIGN_SUFFIX")) << r.output;
    EXPECT_EQ(std::string::npos, r.output.find("secret word")) << "the value stays out of the log: " << r.output;
    for (const char* pwned : {"pwned1", "pwned2", "pwned3", "pwned4"}) {
        EXPECT_FALSE(fs::exists(dir_ / "src" / pwned)) << pwned;
        EXPECT_FALSE(fs::exists(dir_ / pwned)) << pwned;
    }
}

TEST_F(VeltpackTest, ExitCodesSwitchSetsItsFlag)
{
    struct {
        const char* line;
        int status;
        bool standard;
    } kCases[] = {
        {"", 0, false},
        {"exit-codes = \"legacy\"", 0, false},
        {"exit-codes = \"standard\"", 0, true},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.line);
        fs::remove_all(dir_ / "src");
        fs::path project = CopyExamples();
        AddToProduct(project, c.line);
        ASSERT_EQ(c.status, Veltpack("build " + project.string() + " -o " + Path("setup.exe")).status);
        Installer in;
        ASSERT_FALSE(ReadInstaller(Path("setup.exe"), in));
        EXPECT_EQ(c.standard, (in.description.productFlags & PfStandardExitCodes) != 0);
        Outcome shown = Veltpack("inspect " + Path("setup.exe"));
        EXPECT_EQ(c.standard, shown.output.find(" standard-exit-codes") != std::string::npos) << shown.output;
    }
    fs::remove_all(dir_ / "src");
    fs::path project = CopyExamples();
    AddToProduct(project, "exit-codes = \"msi\"");
    Outcome r = Veltpack("build " + project.string() + " -o " + Path("other.exe"));
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.output.find("tally.toml:5:14: \"exit-codes\" is \"standard\" or \"legacy\""))
        << r.output;
}
