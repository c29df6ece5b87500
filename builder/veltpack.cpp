// veltpack: packs a project into an installer, and inspects, verifies and
// extracts installers. The format code lives in the other builder files;
// this file is the command line.
#include "builder/archive.h"
#include "builder/command.h"
#include "builder/embedded_stub.h"
#include "builder/platform.h"
#include "archive/section.h"
#include "builder/text.h"
#include "core/checksum.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace velt;

namespace {

const char kUsage[] =
    "usage: veltpack COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  build PROJECT.toml   pack a project into an installer\n"
    "  inspect INSTALLER    show everything an installer holds\n"
    "  verify INSTALLER     check an installer the way it checks itself\n"
    "  extract INSTALLER    unpack an installer's files\n"
    "\n"
    "veltpack COMMAND --help describes a command.\n";

const char kBuildHelp[] =
    "usage: veltpack build PROJECT.toml [-o setup.exe] [--arch x86|x64]\n"
    "                      [--level fast|best] [--volume-size SIZE] [--stub FILE]\n"
    "                      [--sign 'COMMAND {}'] [--follow-links]\n"
    "\n"
    "Packs the project into an installer. The project file is described in\n"
    "docs/project-file.md.\n"
    "\n"
    "  -o, --output FILE   the installer (default: the project's name with .exe)\n"
    "  --arch x86|x64      a 32-bit or a 64-bit installer (default: the project's\n"
    "                      [product] arch, else x86); pick x64 for a 64-bit\n"
    "                      program, so that its system files go to System32 and\n"
    "                      its HKLM\\Software keys to the native registry view\n"
    "  --level fast|best   compression of the file data (default best)\n"
    "  --volume-size SIZE  keep the installer and each volume file at most SIZE\n"
    "                      bytes (suffix K, M or G for 1024-multiples); the rest\n"
    "                      of the file data goes to NAME2.VLT, NAME3.VLT, ...\n"
    "  --stub FILE         use this stub instead of the built-in one of the\n"
    "                      architecture (it must be of that architecture when\n"
    "                      --arch or the project names one)\n"
    "  --sign 'COMMAND {}' sign the finished installer: COMMAND runs without a\n"
    "                      shell, cut into words by quotes and blanks, with each\n"
    "                      {} replaced by the installer's path, $NAME by the\n"
    "                      variable, and && between commands; the build fails\n"
    "                      when it fails, and the signed installer is then\n"
    "                      verified as by verify.\n"
    "                      Volume files are data and are not signed. E.g.\n"
    "                      --sign 'osslsigncode sign -pkcs12 cert.pfx -pass PW\n"
    "                        -in {} -out {}.signed && mv {}.signed {}'\n"
    "                      See docs/signing.md.\n"
    "  --follow-links      accept symbolic links among the sources (by default\n"
    "                      every source is a file inside the project's folder,\n"
    "                      reached without links); a link must still end at an\n"
    "                      ordinary file, never at a device, pipe or /proc file\n"
    "\n"
    "The installer's dates come from the sources' last-write times, or from\n"
    "SOURCE_DATE_EPOCH when it is set: the same inputs give the same bytes.\n";

const char kInspectHelp[] =
    "usage: veltpack inspect INSTALLER [--json]\n"
    "\n"
    "Shows the installer's architecture (x86 or x64), the archive header,\n"
    "every description field, the languages and messages, the associations\n"
    "and the file table. --json prints the same\n"
    "as one JSON object. Texts are shown in UTF-8.\n";

const char kVerifyHelp[] =
    "usage: veltpack verify INSTALLER\n"
    "\n"
    "Makes every check the installer makes when it starts: the headers, the\n"
    "checksums, the decoding, the end marker, the volumes and the file\n"
    "records. Exit status 0 when the installer is sound; otherwise 1, with\n"
    "the corrupt-archive code the installer would show and what is wrong.\n"
    "It also says whether the installer carries a signature (the PE\n"
    "certificate table); it does not check the signature itself: use\n"
    "osslsigncode verify or signtool verify for that.\n";

const char kExtractHelp[] =
    "usage: veltpack extract INSTALLER -C DIR\n"
    "\n"
    "Writes the installer's files below DIR, in one folder per destination\n"
    "(install, shared, font, install-startup, system, and uninstall for\n"
    "files placed in the uninstall folder), with their times. A name that\n"
    "would leave DIR is refused and nothing is written.\n";

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Arguments of one command: positional ones and "--name value" options.
struct Args {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;
    bool help = false;
};

Args ParseArgs(int argc, char** argv, int first, const std::map<std::string, std::string>& valued,
               const std::vector<std::string>& switches)
{
    Args a;
    for (int i = first; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            a.help = true;
            continue;
        }
        if (arg.size() > 1 && arg[0] == '-') {
            std::string value;
            size_t eq = arg.find('=');
            if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
                value = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
            }
            auto alias = valued.find(arg);
            if (alias != valued.end()) {
                if (eq == std::string::npos) {
                    if (i + 1 >= argc)
                        throw UsageError(arg + " needs a value");
                    value = argv[++i];
                }
                a.options[alias->second] = value;
            } else if (std::find(switches.begin(), switches.end(), arg) != switches.end()) {
                a.options[arg] = "1";
            } else {
                throw UsageError("unknown option " + arg);
            }
            continue;
        }
        a.positional.push_back(arg);
    }
    return a;
}

int64_t ParseSize(const std::string& text)
{
    char* end = nullptr;
    long long n = std::strtoll(text.c_str(), &end, 10);
    int64_t unit = 1;
    std::string suffix = end ? end : "";
    if (suffix == "K" || suffix == "k") unit = 1024;
    else if (suffix == "M" || suffix == "m") unit = 1024 * 1024;
    else if (suffix == "G" || suffix == "g") unit = 1024LL * 1024 * 1024;
    else if (!suffix.empty()) n = -1;
    if (text.empty() || end == text.c_str() || n <= 0 || n > INT32_MAX / unit)
        throw UsageError("--volume-size wants a positive size below 2 GiB, such as 1440K");
    return n * unit;
}

// A progress bar on a terminal, redrawn when the percentage changes.
class ProgressBar {
public:
    void operator()(size_t done, size_t total)
    {
        int percent = total ? (int)(done * 100 / total) : 100;
        if (percent == last_)
            return;
        last_ = percent;
        int filled = percent * 40 / 100;
        std::fprintf(stderr, "\rcompressing [%.*s%.*s] %3d%%", filled,
                     "########################################", 40 - filled,
                     "........................................", percent);
        if (done >= total)
            std::fputc('\n', stderr);
        std::fflush(stderr);
    }

private:
    int last_ = -1;
};

int VerifyInstaller(const std::string& path);

// The programs of the signing command for this installer, each with its
// arguments, and the same as shown (variables by name, not value: a
// password stays out of the build's log). Throws UsageError for a template
// that builder/command.h refuses.
struct SigningPrograms {
    std::vector<std::vector<std::string>> run, shown;
};

SigningPrograms ReadSigningCommand(const std::string& command, const fs::path& installer)
{
    SigningPrograms p;
    std::string error;
    p.run = SplitSigningCommand(command, PathToUtf8(installer), ProcessEnvironment, error);
    if (p.run.empty())
        throw UsageError("--sign: " + error);
    p.shown = SplitSigningCommand(command, PathToUtf8(installer),
                                  [](const std::string& name) { return "$" + name; }, error);
#ifdef _WIN32
    // Windows runs a batch file through cmd, which would read the arguments
    // as commands again.
    for (const std::vector<std::string>& args : p.run) {
        std::string program = args[0];
        for (char& c : program)
            c = (char)std::tolower((unsigned char)c);
        for (const char* batch : {".bat", ".cmd"})
            if (program.size() >= 4 && program.compare(program.size() - 4, 4, batch) == 0)
                throw UsageError("--sign: " + args[0] + " is a batch file, which Windows runs "
                                 "through cmd: name the signing program itself");
    }
#endif
    return p;
}

// Runs the signing command on the finished installer, without a shell;
// throws when it cannot run or does not succeed.
void SignInstaller(const std::string& command, const fs::path& installer)
{
    SigningPrograms programs = ReadSigningCommand(command, installer);
    for (size_t i = 0; i < programs.run.size(); i++) {
        const std::vector<std::string>& args = programs.run[i];
        std::string line = WindowsCommandLine(programs.shown[i]);
        std::printf("signing: %s\n", line.c_str());
        std::fflush(stdout);
        ProgramEnd end = RunProgram(args);
        if (!end.started)
            throw std::runtime_error("the signing command could not be started: " + args[0]);
        if (!end.exited || end.status != 0)
            throw std::runtime_error("the signing command failed ("
                                     + (end.exited ? "exit status " + std::to_string(end.status)
                                                   : std::string("killed by a signal"))
                                     + "): " + line);
    }
}

int Build(int argc, char** argv)
{
    Args a = ParseArgs(argc, argv, 2,
                       {{"-o", "output"}, {"--output", "output"}, {"--level", "level"},
                        {"--volume-size", "volume-size"}, {"--stub", "stub"},
                        {"--arch", "arch"}, {"--sign", "sign"}}, {"--follow-links"});
    if (a.help) {
        std::fputs(kBuildHelp, stdout);
        return 0;
    }
    if (a.positional.size() != 1)
        throw UsageError("build needs exactly one project file");
    fs::path projectPath = PathFromUtf8(a.positional[0]);
    BuildOptions options;
    if (a.options.count("level")) {
        const std::string& level = a.options["level"];
        if (level == "fast")
            options.level = PackLevel::Fast;
        else if (level != "best")
            throw UsageError("--level is fast or best");
    }
    if (a.options.count("volume-size"))
        options.volumeSize = ParseSize(a.options["volume-size"]);
    if (a.options.count("sign") && a.options["sign"].find("{}") == std::string::npos)
        throw UsageError("--sign needs {} where the installer's path goes, as in "
                         "'signtool sign /fd SHA256 /a {}'");
    if (a.options.count("sign"))
        ReadSigningCommand(a.options["sign"], "setup.exe");   // refused before anything is built

    std::optional<Arch> arch;
    if (a.options.count("arch")) {
        arch = ArchFromName(a.options["arch"]);
        if (!arch)
            throw UsageError("--arch is x86 or x64");
    }

    ProjectOptions projectOptions;
    projectOptions.followLinks = a.options.count("--follow-links") != 0;
    Project project = LoadProject(projectPath, projectOptions);
    // The command line overrides the project.
    options.arch = arch ? arch : project.arch;
    Bytes stub;
    if (a.options.count("stub")) {
        stub = ReadWholeFile(PathFromUtf8(a.options["stub"]));
    } else {
        Arch wanted = options.arch.value_or(Arch::X86);
        std::span<const uint8_t> embedded = EmbeddedStub(wanted);
        if (embedded.empty())
            throw UsageError(std::string("this veltpack was built without its ") + ArchName(wanted)
                             + " stub: give one with --stub FILE");
        stub.assign(embedded.begin(), embedded.end());
    }
    if (a.options.count("output")) {
        options.output = PathFromUtf8(a.options["output"]);
    } else {
        options.output = projectPath.parent_path()
                         / PathFromUtf8(Cp1252ToUtf8(project.description.productName) + ".exe");
    }
    ProgressBar bar;
    if (StderrIsTerminal())
        options.progress = [&bar](size_t done, size_t total) { bar(done, total); };
    BuildResult result = BuildInstaller(project, stub, options);
    for (const fs::path& written : result.written)
        std::printf("wrote %s (%" PRIuMAX " bytes)\n", written.string().c_str(),
                    (uintmax_t)fs::file_size(written));
    if (!a.options.count("sign"))
        return 0;
    std::fflush(stdout);
    SignInstaller(a.options["sign"], options.output);
    return VerifyInstaller(options.output.string());
}

// ---- inspect ----------------------------------------------------------

std::string Hex(uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08" PRIX32, v);
    return buf;
}

std::string DateText(const DateTime& t)
{
    if (t.month == 0)
        return "(none)";
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return buf;
}

std::string ColourText(uint32_t c)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "#%02X%02X%02X", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    return buf;
}

std::vector<std::string> FlagNames(uint32_t flags)
{
    std::vector<std::string> names;
    for (size_t i = 0; i < kFlagNameCount; i++)
        if (flags & kFlagNames[i].value)
            names.push_back(kFlagNames[i].name);
    if (flags & PfRebootNeeded)
        names.push_back("reboot-needed");
    if (flags & PfStandardExitCodes)
        names.push_back("standard-exit-codes");
    return names;
}

std::string FileFlagText(int32_t flags)
{
    std::string s;
    auto add = [&](const char* word) { s += s.empty() ? word : std::string(",") + word; };
    if (flags & FfDesktopShortcut) add("desktop");
    if (flags & FfProgramsShortcut) add("programs");
    if ((flags & FfOverwriteMask) == FfUpdateOnly) add("update-only");
    if ((flags & FfOverwriteMask) == FfKeepExisting) add("keep-existing");
    if ((flags & FfOverwriteMask) == 0x04) add("overwrite-4?");
    if (flags & FfPermanent) add("permanent");
    if (flags & FfToUninstallDir) add("to-uninstall-dir");
    return s.empty() ? "-" : s;
}

std::string Json(const std::string& utf8)
{
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out.push_back((char)c);
            }
        }
    }
    return out + "\"";
}

std::string JsonText(const std::string& cp1252) { return Json(Cp1252ToUtf8(cp1252)); }

std::string JsonDate(const DateTime& t)
{
    return t.month == 0 ? "null" : Json(DateText(t));
}

// Whether the installer carries a signature; its validity is the signing
// tools' business (osslsigncode verify, signtool verify).
std::string SignatureText(const Installer& in)
{
    if (!in.signatureSize)
        return "none";
    return "present (" + std::to_string(in.signatureSize) + " bytes at offset "
           + Hex(in.signatureOffset) + "; not validated here)";
}

// printf into a string.
std::string Printed(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int size = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string out(size > 0 ? (size_t)size : 0, '\0');
    std::vsnprintf(out.data(), out.size() + 1, format, again);
    va_end(again);
    return out;
}

std::string QuotedLine(const std::string& cp1252)
{
    return Json(Cp1252ToUtf8(cp1252));            // quotes and escapes line ends
}

// A text of several lines: its size, then each line behind a bar.
std::string BlockText(const std::string& cp1252)
{
    if (cp1252.empty())
        return "(none)";
    std::string text = NormaliseLineEnds(Cp1252ToUtf8(cp1252), "\n");
    std::string out = std::to_string(cp1252.size()) + " bytes:";
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        out += "\n    | " + text.substr(start, end - start);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return out;
}

template <typename T, typename Show>
std::string Joined(const std::vector<T>& items, const char* between, Show show)
{
    std::string out;
    for (const T& item : items)
        out += (out.empty() ? "" : between) + show(item);
    return out;
}

// What inspect shows: an installer read as far as it goes.
struct Inspected {
    const Installer& in;
    const Description& d;
    const fs::path& path;
    const ArchiveFault& fault;
};

// One row of inspect's output, in both forms. The text form shows `label`
// padded to 20 columns, then what `text` gives (further lines, indented,
// may follow; nullopt leaves the row out); the JSON form shows `key` with
// what `json` gives. A row without a label or a key is in one form only.
struct InspectRow {
    int line;                                     // the row's place in the text form
    const char* label;
    const char* key;
    bool needsDescription;                        // shown once the description was read
    std::function<std::optional<std::string>(const Inspected&)> text;
    std::function<std::string(const Inspected&)> json;
};

// A text of the description, as one quoted line or as a block of lines.
InspectRow DescriptionText(int line, const char* label, const char* key,
                           const std::string Description::*field, bool block = false)
{
    return {line, label, key, true,
            [=](const Inspected& s) { return block ? BlockText(s.d.*field) : QuotedLine(s.d.*field); },
            [=](const Inspected& s) { return JsonText(s.d.*field); }};
}

// Every row, in the JSON object's order: the installer, its headers, then
// the description's fields in the order the archive holds them. The text
// form orders them by `line`.
const std::vector<InspectRow>& InspectRows()
{
    using S = const Inspected&;
    using Maybe = std::optional<std::string>;
    static const std::vector<InspectRow> rows = {
        {1, "installer", "installer", false,
         [](S s) { return s.path.string() + " (" + std::to_string(s.in.image.size()) + " bytes)"; },
         [](S s) { return Json(s.path.string()); }},
        {0, nullptr, "size", false, nullptr, [](S s) { return std::to_string(s.in.image.size()); }},
        {2, "architecture", "architecture", false,
         [](S s) { return s.in.pe ? Maybe(MachineText(*s.in.pe)) : std::nullopt; },
         [](S s) {
             std::optional<Arch> arch = s.in.pe ? StubArch(*s.in.pe) : std::nullopt;
             return arch ? Json(ArchName(*arch)) : std::string("null");
         }},
        {3, "section", "section", false,
         [](S s) {
             if (s.in.section < 0)
                 return Maybe();
             return Maybe(".velt at file offset " + Hex(s.in.rawOffset) + ", " + std::to_string(s.in.rawSize)
                          + " bytes, address " + Hex(s.in.virtualAddress));
         },
         [](S s) {
             return "{\"offset\": " + std::to_string(s.in.rawOffset) + ", \"size\": "
                    + std::to_string(s.in.rawSize) + ", \"address\": " + std::to_string(s.in.virtualAddress) + "}";
         }},
        {4, "signature", "signature", false,
         [](S s) { return s.in.section >= 0 ? Maybe(SignatureText(s.in)) : std::nullopt; },
         [](S s) {
             return s.in.signatureSize ? "{\"offset\": " + std::to_string(s.in.signatureOffset) + ", \"size\": "
                                             + std::to_string(s.in.signatureSize) + "}"
                                       : std::string("null");
         }},
        {0, nullptr, "header", false, nullptr,
         [](S s) {
             return "{\"magic\": " + std::to_string(s.in.magic) + ", \"version\": " + std::to_string(s.in.version)
                    + ", \"descriptionSize\": " + std::to_string(s.in.descriptionSize) + ", \"descriptionKey\": "
                    + std::to_string(s.in.descriptionKey) + ", \"stubChecksum\": "
                    + std::to_string(s.in.stubChecksum) + ", \"sectionDataSize\": "
                    + std::to_string(s.in.sectionDataSize) + "}";
         }},
        {5, "format", nullptr, false,
         [](S s) { return std::to_string(s.in.version / 100) + "." + std::to_string(s.in.version % 100); },
         nullptr},
        {6, "description", nullptr, false,
         [](S s) {
             return std::to_string(s.in.descriptionSize) + " bytes packed, key " + Hex(s.in.descriptionKey);
         },
         nullptr},
        {7, "stub checksum", nullptr, true,
         [](S s) {
             bool ok = StubChecksumMatches(s.in.image.data(), (int32_t)s.in.rawOffset, s.in.peOffset,
                                           s.in.stubChecksum);
             return Hex(s.in.stubChecksum) + (ok ? " (ok)" : " (MISMATCH)");
         },
         nullptr},
        {8, "section data", nullptr, true,
         [](S s) {
             return std::to_string(s.in.sectionDataSize) + " bytes, of which "
                    + std::to_string(s.in.sectionPayload) + " file data";
         },
         nullptr},
        {9, "flags", "productFlags", true,
         [](S s) {
             std::string flags = Hex(s.d.productFlags);
             for (const std::string& name : FlagNames(s.d.productFlags))
                 flags += " " + name;
             return flags;
         },
         [](S s) { return std::to_string(s.d.productFlags); }},
        {0, nullptr, "flagNames", true, nullptr,
         [](S s) { return "[" + Joined(FlagNames(s.d.productFlags), ", ", Json) + "]"; }},
        {10, "archive date", "archiveDate", true, [](S s) { return DateText(s.d.archiveDate); },
         [](S s) { return JsonDate(s.d.archiveDate); }},
        {11, "build date", "buildDate", true,
         [](S s) {
             return std::to_string(s.d.buildYear) + "-" + std::to_string(s.d.buildMonth) + "-"
                    + std::to_string(s.d.buildDay);
         },
         [](S s) {
             return "[" + std::to_string(s.d.buildYear) + ", " + std::to_string(s.d.buildMonth) + ", "
                    + std::to_string(s.d.buildDay) + "]";
         }},
        DescriptionText(13, "publisher", "publisher", &Description::publisher),
        DescriptionText(12, "product", "productName", &Description::productName),
        DescriptionText(17, "start-menu folder", "startMenuFolder", &Description::startMenuFolder),
        DescriptionText(16, "default directory", "defaultDirectory", &Description::defaultDirectory),
        DescriptionText(14, "version", "displayVersion", &Description::displayVersion),
        DescriptionText(18, "registry key", "productRegistry", &Description::productRegistry),
        DescriptionText(26, "licence", "licenseText", &Description::licenseText, true),
        DescriptionText(27, "readme", "readmeText", &Description::readmeText, true),
        DescriptionText(19, "uninstall subdir", "uninstallSubdir", &Description::uninstallSubdir),
        DescriptionText(15, "display name", "displayName", &Description::displayName),
        DescriptionText(21, "volume name", "volumeBaseName", &Description::volumeBaseName),
        DescriptionText(20, "uninstaller", "uninstallerName", &Description::uninstallerName),
        {22, "master product", "masterProduct", true,
         [](S s) { return (s.d.productFlags & PfNeedsMaster) ? Maybe(QuotedLine(s.d.masterProduct)) : std::nullopt; },
         [](S s) { return JsonText(s.d.masterProduct); }},
        DescriptionText(28, "pre-install batch", "preInstallBatch", &Description::preInstallBatch, true),
        DescriptionText(29, "post-install batch", "postInstallBatch", &Description::postInstallBatch, true),
        DescriptionText(30, "final batch", "finalBatch", &Description::finalBatch, true),
        DescriptionText(31, "uninstall batch 1", "uninstallBatch1", &Description::uninstallBatch1, true),
        DescriptionText(32, "uninstall batch 2", "uninstallBatch2", &Description::uninstallBatch2, true),
        {23, "colours", "titleColor", true,
         [](S s) {
             return "title " + ColourText(s.d.titleColor) + ", top " + ColourText(s.d.topColor) + ", bottom "
                    + ColourText(s.d.bottomColor);
         },
         [](S s) { return Json(ColourText(s.d.titleColor)); }},
        {0, nullptr, "topColor", true, nullptr, [](S s) { return Json(ColourText(s.d.topColor)); }},
        {0, nullptr, "bottomColor", true, nullptr, [](S s) { return Json(ColourText(s.d.bottomColor)); }},
        {24, "background", "backgroundBitmapSize", true,
         [](S s) {
             return s.d.backgroundBitmap.empty() ? std::string("(none)")
                                                 : std::to_string(s.d.backgroundBitmap.size()) + " bytes";
         },
         [](S s) { return std::to_string(s.d.backgroundBitmap.size()); }},
        {25, "icon", "iconOffset", true,
         [](S s) {
             return s.d.iconOffset > 0 ? "2216 bytes, stub offset " + Hex((uint32_t)s.d.iconOffset)
                                       : std::string("(stub's own)");
         },
         [](S s) { return std::to_string(s.d.iconOffset); }},
        {33, "associations", "associations", true,
         [](S s) {
             std::string out = std::to_string(s.d.associations.size());
             for (const Association& a : s.d.associations)
                 out += Printed("\n    %s type %s (%s) verb %s%s: %s%s", QuotedLine(a.extension).c_str(),
                                QuotedLine(a.fileType).c_str(), Cp1252ToUtf8(a.description).c_str(),
                                QuotedLine(a.verb).c_str(), (a.flags & 1) ? " (default)" : "",
                                Cp1252ToUtf8(a.command).c_str(),
                                a.language.empty() ? "" : (" [only " + Cp1252ToUtf8(a.language) + "]").c_str());
             return out;
         },
         [](S s) {
             return "[" + Joined(s.d.associations, ", ", [](const Association& a) {
                        return "{\"flags\": " + std::to_string(a.flags) + ", \"extension\": " + JsonText(a.extension)
                               + ", \"fileType\": " + JsonText(a.fileType) + ", \"description\": "
                               + JsonText(a.description) + ", \"verb\": " + JsonText(a.verb) + ", \"command\": "
                               + JsonText(a.command) + ", \"language\": " + JsonText(a.language) + "}";
                    }) + "]";
         }},
        {34, "languages", "languages", true,
         [](S s) { return Joined(s.d.languageNames, ", ", Cp1252ToUtf8); },
         [](S s) { return "[" + Joined(s.d.languageNames, ", ", JsonText) + "]"; }},
        {35, "messages", "messages", true,
         [](S s) {
             std::string out = std::to_string(s.d.messages.size());
             for (size_t n = 0; n < s.d.messages.size(); n++)
                 for (size_t l = 0; l < s.d.messages[n].size(); l++)
                     out += Printed("\n    %3zu %-8s %s", n, Cp1252ToUtf8(s.d.languageNames[l]).c_str(),
                                    QuotedLine(s.d.messages[n][l]).c_str());
             return out;
         },
         [](S s) {
             std::string rows;
             for (const std::vector<std::string>& texts : s.d.messages)
                 rows += std::string(rows.empty() ? "\n    " : ",\n    ") + "[" + Joined(texts, ", ", JsonText) + "]";
             return "[" + rows + "\n  ]";
         }},
        {36, "file data", "payloadSize", true,
         [](S s) {
             return std::to_string(s.d.payloadSize) + " bytes"
                    + ((s.d.productFlags & PfCompressed)
                           ? " compressed to hold " + std::to_string(s.in.payload.size()) + " bytes"
                           : std::string())
                    + ", checksum " + Hex(s.d.payloadChecksum);
         },
         [](S s) { return std::to_string(s.d.payloadSize); }},
        {0, nullptr, "payloadChecksum", true, nullptr, [](S s) { return std::to_string(s.d.payloadChecksum); }},
        {0, nullptr, "expandedPayloadSize", true, nullptr, [](S s) { return std::to_string(s.in.payload.size()); }},
        {37, "volumes", "volumes", true,
         [](S s) {
             auto number = [](int v) { return std::to_string(v); };
             return s.in.volumes.empty() ? std::nullopt : Maybe(Joined(s.in.volumes, ", ", number));
         },
         [](S s) { return "[" + Joined(s.in.volumes, ", ", [](int v) { return std::to_string(v); }) + "]"; }},
        {38, "files", "files", true,
         [](S s) {
             std::string out = std::to_string(s.d.storedSizes.size())
                               + Printed("\n    %-15s %-22s %10s  %-19s  %-8s %s", "destination", "flags", "size",
                                         "time", "checksum", "name");
             for (size_t i = 0; i < s.in.records.size(); i++) {
                 const FileRecord& r = s.in.records[i];
                 const char* kind = DestKindName(r.kind);
                 out += Printed("\n    %-15s %-22s %10zu  %-19s  %-8s %s", kind ? kind : "?",
                                FileFlagText(r.flags).c_str(), r.data.size(), DateText(r.time).c_str(),
                                s.in.recordChecksumOk[i] ? "ok" : "BAD", Cp1252ToUtf8(r.name).c_str());
                 if (!r.text.empty())
                     out += "  text " + QuotedLine(r.text);
                 if (!r.icon.empty())
                     out += "  icon " + QuotedLine(r.icon);
             }
             return out;
         },
         [](S s) {
             std::string files;
             for (size_t i = 0; i < s.in.records.size(); i++) {
                 const FileRecord& r = s.in.records[i];
                 const char* kind = DestKindName(r.kind);
                 files += std::string(files.empty() ? "\n    " : ",\n    ") + "{\"name\": " + JsonText(r.name)
                          + ", \"destination\": " + (kind ? Json(kind) : std::to_string(r.kind))
                          + ", \"flags\": " + std::to_string(r.flags) + ", \"size\": "
                          + std::to_string(r.data.size()) + ", \"time\": " + JsonDate(r.time)
                          + ", \"text\": " + JsonText(r.text) + ", \"icon\": " + JsonText(r.icon)
                          + ", \"checksum\": " + std::to_string(r.checksum) + ", \"checksumOk\": "
                          + (s.in.recordChecksumOk[i] ? "true" : "false") + "}";
             }
             return "[" + files + "\n  ]";
         }},
        {39, "problem", "problem", false,
         [](S s) {
             if (!s.fault)
                 return Maybe();
             return Maybe((s.fault.code ? "code " + std::to_string(s.fault.code) + ": " : std::string())
                          + s.fault.what);
         },
         [](S s) {
             return s.fault ? "{\"code\": " + std::to_string(s.fault.code) + ", \"text\": " + Json(s.fault.what) + "}"
                            : std::string("null");
         }},
    };
    return rows;
}

// The rows shown in one form, in its order.
std::vector<const InspectRow*> ShownRows(const Inspected& s, bool json)
{
    std::vector<const InspectRow*> rows;
    for (const InspectRow& row : InspectRows())
        if ((json ? row.key : row.label) && (!row.needsDescription || s.in.descriptionRead))
            rows.push_back(&row);
    if (!json)
        std::stable_sort(rows.begin(), rows.end(),
                         [](const InspectRow* a, const InspectRow* b) { return a->line < b->line; });
    return rows;
}

void PrintText(const Inspected& s)
{
    for (const InspectRow* row : ShownRows(s, false))
        if (std::optional<std::string> value = row->text(s))
            std::printf("%-20s %s\n", row->label, value->c_str());
}

void PrintJson(const Inspected& s)
{
    std::string o;
    for (const InspectRow* row : ShownRows(s, true))
        o += (o.empty() ? "  " : ",\n  ") + Json(row->key) + ": " + row->json(s);
    std::fputs(("{\n" + o + "\n}\n").c_str(), stdout);
}

int Inspect(int argc, char** argv)
{
    Args a = ParseArgs(argc, argv, 2, {}, {"--json"});
    if (a.help) {
        std::fputs(kInspectHelp, stdout);
        return 0;
    }
    if (a.positional.size() != 1)
        throw UsageError("inspect needs exactly one installer");
    Installer in;
    ArchiveFault fault = ReadInstaller(PathFromUtf8(a.positional[0]), in);
    fs::path path = PathFromUtf8(a.positional[0]);
    Inspected shown{in, in.description, path, fault};
    if (a.options.count("--json"))
        PrintJson(shown);
    else
        PrintText(shown);
    return fault ? 1 : 0;
}

int Verify(int argc, char** argv)
{
    Args a = ParseArgs(argc, argv, 2, {}, {});
    if (a.help) {
        std::fputs(kVerifyHelp, stdout);
        return 0;
    }
    if (a.positional.size() != 1)
        throw UsageError("verify needs exactly one installer");
    return VerifyInstaller(a.positional[0]);
}

int VerifyInstaller(const std::string& path)
{
    Installer in;
    ArchiveFault fault = ReadInstaller(PathFromUtf8(path), in);
    if (!fault) {
        std::printf("%s: sound (%zu files, %zu languages, %zu messages)\n", path.c_str(),
                    in.records.size(), in.description.languageNames.size(),
                    in.description.messages.size());
        std::printf("signature: %s\n", SignatureText(in).c_str());
        return 0;
    }
    if (fault.code)
        std::fprintf(stderr, "%s: corrupt, error code %d: %s\n", path.c_str(), fault.code,
                     fault.what.c_str());
    else
        std::fprintf(stderr, "%s: %s\n", path.c_str(), fault.what.c_str());
    return 1;
}

int Extract(int argc, char** argv)
{
    Args a = ParseArgs(argc, argv, 2, {{"-C", "dir"}, {"--directory", "dir"}}, {});
    if (a.help) {
        std::fputs(kExtractHelp, stdout);
        return 0;
    }
    if (a.positional.size() != 1 || !a.options.count("dir"))
        throw UsageError("extract needs an installer and -C DIR");
    Installer in;
    ArchiveFault fault = ReadInstaller(PathFromUtf8(a.positional[0]), in);
    if (fault) {
        std::fprintf(stderr, "veltpack: %s: %s%s\n", a.positional[0].c_str(),
                     fault.code ? ("error code " + std::to_string(fault.code) + ": ").c_str() : "",
                     fault.what.c_str());
        return 1;
    }
    fs::path dir = PathFromUtf8(a.options["dir"]);
    // Every name is checked before anything is written.
    std::vector<fs::path> targets;
    for (const FileRecord& r : in.records) {
        std::string error;
        std::string name = Cp1252ToUtf8(r.name);
        std::string clean = NormaliseInstallName(name, error);
        if (!error.empty() || clean != name)
            throw std::runtime_error("refusing the name \"" + name + "\": "
                                     + (error.empty() ? "it is not in normal form" : error));
        std::replace(clean.begin(), clean.end(), '\\', '/');
        const char* folder = (r.flags & FfToUninstallDir) ? "uninstall" : DestKindName(r.kind);
        targets.push_back(dir / folder / PathFromUtf8(clean));
    }
    for (size_t i = 0; i < in.records.size(); i++) {
        const FileRecord& r = in.records[i];
        fs::create_directories(targets[i].parent_path());
        std::ofstream out(targets[i], std::ios::binary | std::ios::trunc);
        out.write((const char*)r.data.data(), (std::streamsize)r.data.size());
        out.close();
        if (!out)
            throw std::runtime_error(targets[i].string() + ": cannot write the file");
        if (r.time.month != 0 && !SetFileModifiedTime(targets[i], r.time))
            throw std::runtime_error(targets[i].string() + ": cannot set the file's time");
        std::printf("%s\n", targets[i].string().c_str());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> utf8 = Utf8Arguments(argc, argv);
    std::vector<char*> args;
    for (std::string& arg : utf8)
        args.push_back(arg.data());
    argc = (int)args.size();
    argv = args.data();
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::string command = argv[1];
    try {
        if (command == "-h" || command == "--help" || command == "help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (command == "build")
            return Build(argc, argv);
        if (command == "inspect")
            return Inspect(argc, argv);
        if (command == "verify")
            return Verify(argc, argv);
        if (command == "extract")
            return Extract(argc, argv);
        throw UsageError("unknown command \"" + command + "\"");
    } catch (const UsageError& e) {
        std::fprintf(stderr, "veltpack: %s\n\n%s", e.what(), kUsage);
        return 2;
    } catch (const ProjectError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "veltpack: %s\n", e.what());
        return 1;
    }
}
