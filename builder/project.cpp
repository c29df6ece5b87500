#include "builder/project.h"

#include "archive/volumes.h"
#include "builder/icon.h"
#include "builder/messages.h"
#include "builder/pe.h"
#include "builder/platform.h"
#include "builder/text.h"

#include <toml++/toml.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>

namespace velt {

namespace fs = std::filesystem;

namespace {

const uint32_t kDefaultTitleColor = 0xFFFFFF;      // white
const uint32_t kDefaultTopColor = 0x800000;        // #000080, dark blue
const uint32_t kDefaultBottomColor = 0x000000;

// Reading context: the project's path and directory, for messages and for
// relative paths.
class Reader {
public:
    Reader(const fs::path& path, const ProjectOptions& options)
        : path_(path), dir_(path.parent_path()), options_(options) {}

    std::string Where(const toml::node& node) const
    {
        const toml::source_region& r = node.source();
        return path_.string() + ":" + std::to_string(r.begin.line) + ":"
             + std::to_string(r.begin.column);
    }
    [[noreturn]] void Fail(const toml::node& node, const std::string& message) const
    {
        throw ProjectError(Where(node) + ": " + message);
    }

    // Rejects keys the table does not know, so a typo is not silently lost.
    void AllowKeys(const toml::table& table, std::initializer_list<const char*> keys,
                   const std::string& what) const
    {
        for (auto&& entry : table) {
            const toml::key& key = entry.first;
            bool known = std::any_of(keys.begin(), keys.end(),
                                     [&](const char* k) { return key.str() == k; });
            if (!known) {
                const toml::source_position& at = key.source().begin;
                throw ProjectError(path_.string() + ":" + std::to_string(at.line) + ":"
                                   + std::to_string(at.column) + ": unknown key \""
                                   + std::string(key.str()) + "\" in " + what);
            }
        }
    }

    const toml::table* Table(const toml::table& parent, const char* key) const
    {
        const toml::node* node = parent.get(key);
        if (!node)
            return nullptr;
        if (!node->is_table())
            Fail(*node, std::string("\"") + key + "\" must be a table");
        return node->as_table();
    }

    // A UTF-8 text from the project, as Windows-1252 bytes.
    std::string Text(const toml::node& node, const std::string& utf8) const
    {
        std::string bad;
        std::optional<std::string> text = Utf8ToCp1252(utf8, &bad);
        if (!text)
            Fail(node, bad);
        if (text->find('\0') != std::string::npos)
            Fail(node, "texts cannot hold NUL characters");
        return *text;
    }

    std::optional<std::string> Utf8(const toml::table& t, const char* key) const
    {
        const toml::node* node = t.get(key);
        if (!node)
            return std::nullopt;
        if (!node->is_string())
            Fail(*node, std::string("\"") + key + "\" must be a text");
        return node->as_string()->get();
    }

    std::string Text(const toml::table& t, const char* key, const std::string& fallback = "") const
    {
        std::optional<std::string> utf8 = Utf8(t, key);
        return utf8 ? Text(*t.get(key), *utf8) : fallback;
    }

    bool Bool(const toml::table& t, const char* key, bool fallback) const
    {
        const toml::node* node = t.get(key);
        if (!node)
            return fallback;
        if (!node->is_boolean())
            Fail(*node, std::string("\"") + key + "\" must be true or false");
        return node->as_boolean()->get();
    }

    // A path relative to the project's directory; the file must exist.
    fs::path File(const toml::node& node, const std::string& utf8)
    {
        fs::path p = Inside(node, utf8);
        std::error_code ec;
        if (!fs::exists(p, ec))
            Fail(node, "no such file: " + p.string());
        CheckOrdinaryFile(node, p);
        inputs.push_back(p);
        return p;
    }

    // A path that the project names, checked to stay inside the project's
    // folder: relative, without ".." above it, and (unless links are
    // followed) without a symbolic link on the way. Parts that do not exist
    // are left for the caller to report.
    fs::path Inside(const toml::node& node, const std::string& utf8) const
    {
        fs::path given = PathFromUtf8(utf8);
        if (given.has_root_name() || given.has_root_directory())
            Fail(node, "\"" + utf8 + "\" is not in the project's folder: sources are given "
                       "relative to it");
        fs::path relative = given.lexically_normal();
        if (relative.empty() || relative == ".")
            return dir_;
        if (*relative.begin() == "..")
            Fail(node, "\"" + utf8 + "\" leaves the project's folder");
        fs::path at = dir_;
        for (const fs::path& part : relative) {
            if (part == ".")
                continue;
            at /= part;
            std::error_code ec;
            fs::file_status status = fs::symlink_status(at, ec);
            if (ec || !fs::exists(status))
                break;
            if (fs::is_symlink(status) && !options_.followLinks)
                Fail(node, at.string() + " is a symbolic link: links among the sources are "
                           "followed only with --follow-links");
        }
        return dir_ / relative;
    }

    // A source is read as a file: a folder, a device, a pipe or a socket
    // is refused, and so is a kernel file such as /proc/self/environ,
    // which reads like an ordinary file and holds the build's environment.
    void CheckOrdinaryFile(const toml::node& node, const fs::path& p) const
    {
        std::error_code ec;
        if (!fs::is_regular_file(p, ec))
            Fail(node, p.string() + " is not an ordinary file (a folder, device, pipe or socket)");
        if (IsOnSystemFileSystem(p))
            Fail(node, p.string() + " is a file of the system (/proc, /sys), not a source");
    }

    bool FollowLinks() const { return options_.followLinks; }

    // The text of a file: UTF-8 without its byte-order mark, line ends made
    // uniform, as Windows-1252 bytes.
    std::string TextFile(const toml::node& node, const std::string& utf8, const char* eol)
    {
        fs::path p = File(node, utf8);
        Bytes bytes = ReadWholeFile(p);
        std::string text(bytes.begin(), bytes.end());
        if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
            text.erase(0, 3);
        std::string bad;
        std::optional<std::string> converted = Utf8ToCp1252(NormaliseLineEnds(text, eol), &bad);
        if (!converted)
            Fail(node, p.string() + ": " + bad);
        if (converted->find('\0') != std::string::npos)
            Fail(node, p.string() + ": texts cannot hold NUL characters");
        return *converted;
    }

    const fs::path& Dir() const { return dir_; }
    std::vector<fs::path> inputs;

private:
    fs::path path_;
    fs::path dir_;
    ProjectOptions options_;
};

uint32_t Colour(const Reader& r, const toml::table& t, const char* key, uint32_t fallback,
                bool& given)
{
    std::optional<std::string> text = r.Utf8(t, key);
    if (!text)
        return fallback;
    bool ok = text->size() == 7 && (*text)[0] == '#'
           && text->find_first_not_of("0123456789abcdefABCDEF", 1) == std::string::npos;
    if (!ok)
        r.Fail(*t.get(key), std::string("\"") + key + "\" must be a colour like \"#1E90FF\"");
    uint32_t rgb = (uint32_t)std::stoul(text->substr(1), nullptr, 16);
    given = true;
    // Stored as the system's colour word: red in the low byte.
    return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
}

// The letter-case-free form of a path part as Windows compares it: without
// the blanks and full stops it drops from the end.
std::string FolderKey(std::string part)
{
    while (!part.empty() && (part.back() == ' ' || part.back() == '.'))
        part.pop_back();
    std::transform(part.begin(), part.end(), part.begin(),
                   [](unsigned char c) { return (char)std::tolower(c); });
    return part;
}

bool OneOf(const std::string& key, std::initializer_list<const char*> names)
{
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return key == n; });
}

// The parts of a path between its separators ('\' or '/'), empty ones
// (doubled separators) left out.
std::vector<std::string> FolderParts(const std::string& path)
{
    std::vector<std::string> parts;
    std::string part;
    for (char c : path + '\\') {
        if (c != '\\' && c != '/') {
            part += c;
        } else if (!part.empty()) {
            parts.push_back(part);
            part.clear();
        }
    }
    return parts;
}

// Keys under HKLM\Software and HKCU\Software that belong to the system or
// to every program, and names of the hives themselves: the uninstaller
// deletes the product's key with everything below it.
const std::initializer_list<const char*> kSystemRegistryKeys = {
    "microsoft", "windows", "classes", "policies", "wow6432node", "clients",
    "registeredapplications", "odbc", "software", "system", "hkey_local_machine", "hklm",
    "hkey_current_user", "hkcu", "hkey_classes_root", "hkcr", "hkey_users", "hku",
    "hkey_current_config", "hkcc"};

// Why the product's registry key is not one of its own; "" when it is.
std::string RegistryKeyProblem(const std::string& key)
{
    if (key.empty())
        return "";
    size_t start = 0;
    std::vector<std::string> parts;
    while (true) {
        size_t cut = key.find('\\', start);
        parts.push_back(key.substr(start, cut == std::string::npos ? std::string::npos : cut - start));
        if (cut == std::string::npos)
            break;
        start = cut + 1;
    }
    for (const std::string& part : parts)
        if (part.find_first_not_of(' ') == std::string::npos)
            return "every part must be a key name (no leading, trailing or doubled \\)";
    if (parts.size() < 2)
        return "give at least two parts, as in \"Publisher\\Product\": the uninstaller deletes "
               "the whole key";
    if (OneOf(FolderKey(parts[0]), kSystemRegistryKeys))
        return "\"" + parts[0] + "\" is a key of the system or of all programs";
    return "";
}

// Why the default install directory is not a folder of the product's own
// (the uninstaller removes it): a drive or share root, the Windows folder or
// one of its system folders, a program-files or common-files folder,
// ProgramData, the users' folder or a user's profile. "" when it is fine.
std::string DefaultDirectoryProblem(const std::string& directory)
{
    std::string s = directory;
    std::replace(s.begin(), s.end(), '/', '\\');
    if (s.empty() || FolderKey(s) == "<master>")
        return "";
    if (s.rfind("\\\\?\\", 0) == 0 || s.rfind("\\\\.\\", 0) == 0)
        return "a device path (\\\\?\\, \\\\.\\) is not an install directory";
    enum { UnderProgramFiles, UnderWindows, Rooted, Share } base = UnderProgramFiles;
    std::string rest = s;
    if (FolderKey(s.substr(0, 4)) == "<os>") {
        base = UnderWindows;
        rest = s.substr(4);
    } else if (s.size() >= 2 && s[1] == ':' && std::isalpha((unsigned char)s[0])) {
        rest = s.substr(2);
        base = !rest.empty() && rest[0] == '\\' ? Rooted : UnderProgramFiles;
    } else if (s.rfind("\\\\", 0) == 0) {
        std::vector<std::string> parts = FolderParts(s);
        if (parts.size() <= 2)
            return "it is the root of a network share";
        base = Share;
        size_t server = s.find('\\', 2);
        size_t share = s.find('\\', server + 1);
        rest = share == std::string::npos ? "" : s.substr(share);
    } else if (s[0] == '\\') {
        base = Rooted;
    }
    std::string lowered = FolderKey(rest);
    if (lowered.find("<os>") != std::string::npos)
        return "<os> stands only at the start";
    std::vector<std::string> parts = FolderParts(rest);
    std::vector<std::string> keys;
    for (const std::string& part : parts) {
        std::string key = FolderKey(part);
        if (key.empty())
            return "every part must be a folder name (no \".\" or \"..\")";
        // An 8.3 alias such as PROGRA~1 hides which folder it is.
        size_t tilde = key.find('~');
        if (tilde != std::string::npos && tilde + 1 < key.size()
            && std::isdigit((unsigned char)key[tilde + 1]))
            return "write the folder's long name, not a short alias (\"" + part + "\")";
        keys.push_back(key);
    }
    const std::initializer_list<const char*> kWindowsFolders = {
        "system", "system32", "syswow64", "sysnative", "fonts", "temp", "winsxs", "inf",
        "installer", "help", "tasks", "boot", "servicing", "assembly", "microsoft.net",
        "globalization", "resources", "security", "setup", "softwaredistribution"};
    switch (base) {
    case UnderWindows:
        if (keys.empty() || (keys.size() == 1 && OneOf(keys[0], kWindowsFolders)))
            return "it is the Windows folder or one of its system folders";
        return "";
    case UnderProgramFiles:
        if (keys.empty())
            return "it is the program-files folder itself";
        if (keys.size() == 1 && keys[0] == "common files")
            return "it is the folder of files shared by all programs";
        return "";
    case Rooted:
    case Share:
        break;
    }
    if (keys.empty())
        return "it is the root of a drive";
    const std::string& top = keys[0];
    if (OneOf(top, {"windows", "winnt"}) && (keys.size() == 1 || (keys.size() == 2 && OneOf(keys[1], kWindowsFolders))))
        return "it is the Windows folder or one of its system folders";
    if (OneOf(top, {"program files", "program files (x86)", "programdata"})
        && (keys.size() == 1 || (keys.size() == 2 && keys[1] == "common files")))
        return "it is a folder of all programs";
    if (OneOf(top, {"users", "documents and settings"}) && keys.size() <= 2)
        return "it is the users' folder or a user's profile";
    if (keys.size() == 1 && OneOf(top, {"$recycle.bin", "system volume information", "recovery",
                                        "boot", "perflogs"}))
        return "it is a folder of the system";
    return "";
}

// The folders and the key the uninstaller removes must be the product's
// own: uninstall-subdir and start-menu-folder stay inside their folders,
// registry-key names a key of the product's, default-directory a folder
// that is not the system's, all programs' or the users'. Their texts are
// stored as they are written.
void CheckProductPlaces(const Reader& r, const toml::table& t, const Description& d)
{
    const std::pair<const char*, const std::string*> folders[] = {
        {"uninstall-subdir", &d.uninstallSubdir}, {"start-menu-folder", &d.startMenuFolder}};
    for (auto [key, value] : folders) {
        if (value->empty())
            continue;
        std::string error;
        if (NormaliseInstallName(*value, error).empty())
            r.Fail(*t.get(key), "bad " + std::string(key) + " \"" + Cp1252ToUtf8(*value) + "\": "
                                + error + "; it stays inside its folder");
    }
    std::string problem = RegistryKeyProblem(d.productRegistry);
    if (!problem.empty())
        r.Fail(*t.get("registry-key"), "bad registry-key \"" + Cp1252ToUtf8(d.productRegistry)
                                       + "\": " + problem + "; name the product's own key");
    problem = DefaultDirectoryProblem(d.defaultDirectory);
    if (!problem.empty())
        r.Fail(*t.get("default-directory"), "bad default-directory \""
                                            + Cp1252ToUtf8(d.defaultDirectory) + "\": " + problem);
}

void ReadProduct(Reader& r, const toml::table& root, Project& p)
{
    const toml::table* t = r.Table(root, "product");
    if (!t)
        throw ProjectError(p.path.string() + ":1:1: the project has no [product] table");
    r.AllowKeys(*t, {"name", "publisher", "version", "display-name", "default-directory",
                     "start-menu-folder", "registry-key", "uninstall-subdir", "uninstaller",
                     "volume-name", "master", "licence", "license", "readme", "arch",
                     "exit-codes"}, "[product]");
    Description& d = p.description;
    if (!t->get("name"))
        r.Fail(*t, "[product] needs a \"name\"");
    d.productName = r.Text(*t, "name");
    if (d.productName.find_first_not_of(" \t") == std::string::npos)
        r.Fail(*t->get("name"), "the product name is blank");
    d.publisher = r.Text(*t, "publisher");
    d.displayVersion = r.Text(*t, "version");
    d.displayName = r.Text(*t, "display-name");
    d.defaultDirectory = r.Text(*t, "default-directory");
    d.startMenuFolder = r.Text(*t, "start-menu-folder");
    d.productRegistry = r.Text(*t, "registry-key");
    d.uninstallSubdir = r.Text(*t, "uninstall-subdir");
    d.uninstallerName = r.Text(*t, "uninstaller", "Uninstall.exe");
    d.volumeBaseName = r.Text(*t, "volume-name", "DISK");
    // Both become plain file names beside the installer or in the
    // uninstall folder: one name, under the same rules as installed files.
    for (const char* key : {"uninstaller", "volume-name"})
        if (const toml::node* node = t->get(key)) {
            std::string value = r.Text(*t, key);
            if (value.find_first_not_of(" \r\n\t") == std::string::npos)
                r.Fail(*node, std::string("\"") + key + "\" is blank");
            std::string error;
            std::string fileName = value;
            if (std::string(key) == "volume-name")
                fileName = VolumeFileName(value.c_str(), kFirstVolumeNumber).CStr();
            if (NormaliseInstallName(fileName, error).empty())
                r.Fail(*node, "bad " + std::string(key) + " \"" + value + "\": " + error);
            else if (value.find_first_of("\\/") != std::string::npos)
                r.Fail(*node, "bad " + std::string(key) + " \"" + value
                                  + "\": a file name without folders is needed");
        }
    CheckProductPlaces(r, *t, d);
    if (const toml::node* node = t->get("arch")) {
        p.arch = ArchFromName(r.Utf8(*t, "arch").value_or(""));
        if (!p.arch)
            r.Fail(*node, "\"arch\" is \"x86\" or \"x64\"");
    }
    // Deployment tools read 0, 3010, 1602 and 1603; "legacy" keeps the
    // stub's exit code 1 for every ending.
    if (const toml::node* node = t->get("exit-codes")) {
        std::string codes = r.Utf8(*t, "exit-codes").value_or("");
        if (codes == "standard")
            d.productFlags |= PfStandardExitCodes;
        else if (codes != "legacy")
            r.Fail(*node, "\"exit-codes\" is \"standard\" or \"legacy\"");
    }
    if (t->get("master")) {
        d.masterProduct = r.Text(*t, "master");
        d.productFlags |= PfNeedsMaster;
    }
    if (t->get("licence") && t->get("license"))
        r.Fail(*t->get("license"), "give either \"licence\" or \"license\"");
    for (const char* key : {"licence", "license"})
        if (std::optional<std::string> file = r.Utf8(*t, key))
            d.licenseText = r.TextFile(*t->get(key), *file, "\r\n");
    if (std::optional<std::string> file = r.Utf8(*t, "readme"))
        d.readmeText = r.TextFile(*t->get("readme"), *file, "\r\n");
}

void ReadFlags(Reader& r, const toml::table& root, Description& d)
{
    d.productFlags |= PfChecksums | PfCompressed;
    const toml::table* t = r.Table(root, "flags");
    if (!t)
        return;
    for (auto&& [key, node] : *t) {
        const NamedValue* flag = nullptr;
        for (size_t i = 0; i < kFlagNameCount; i++)
            if (key.str() == kFlagNames[i].name)
                flag = &kFlagNames[i];
        if (!flag)
            r.Fail(node, "unknown flag \"" + std::string(key.str()) + "\"");
        if (r.Bool(*t, flag->name, false))
            d.productFlags |= flag->value;
        else
            d.productFlags &= ~flag->value;
    }
}

void ReadBatch(Reader& r, const toml::table& root, Description& d)
{
    const toml::table* t = r.Table(root, "batch");
    if (!t)
        return;
    r.AllowKeys(*t, {"pre-install", "post-install", "final", "uninstall-1", "uninstall-2",
                     "pre-install-file", "post-install-file", "final-file", "uninstall-1-file",
                     "uninstall-2-file"}, "[batch]");
    const std::pair<const char*, std::string*> texts[] = {
        {"pre-install", &d.preInstallBatch}, {"post-install", &d.postInstallBatch},
        {"final", &d.finalBatch}, {"uninstall-1", &d.uninstallBatch1},
        {"uninstall-2", &d.uninstallBatch2}};
    for (auto [key, text] : texts) {
        std::string fileKey = std::string(key) + "-file";
        if (t->get(key) && t->get(fileKey))
            r.Fail(*t->get(fileKey), std::string("give either \"") + key + "\" or \"" + fileKey + "\"");
        if (t->get(key))
            *text = NormaliseLineEnds(r.Text(*t, key), "\n");
        else if (std::optional<std::string> file = r.Utf8(*t, fileKey.c_str()))
            *text = r.TextFile(*t->get(fileKey), *file, "\n");
    }
}

void ReadLook(Reader& r, const toml::table& root, Project& p)
{
    Description& d = p.description;
    d.titleColor = kDefaultTitleColor;
    d.topColor = kDefaultTopColor;
    d.bottomColor = kDefaultBottomColor;
    const toml::table* t = r.Table(root, "look");
    if (!t)
        return;
    r.AllowKeys(*t, {"title-color", "top-color", "bottom-color", "background", "icon"}, "[look]");
    bool given = false, gradient = false;
    d.titleColor = Colour(r, *t, "title-color", kDefaultTitleColor, given);
    d.topColor = Colour(r, *t, "top-color", kDefaultTopColor, gradient);
    d.bottomColor = Colour(r, *t, "bottom-color", kDefaultBottomColor, gradient);
    if (given || gradient)
        d.productFlags |= PfCustomColors;
    if (std::optional<std::string> file = r.Utf8(*t, "background")) {
        const toml::node& node = *t->get("background");
        d.backgroundBitmap = ReadWholeFile(r.File(node, *file));
        const Bytes& b = d.backgroundBitmap;
        if (b.size() < 54 || b[0] != 'B' || b[1] != 'M')
            r.Fail(node, "the background must be a Windows bitmap (.bmp) file");
    }
    if (std::optional<std::string> file = r.Utf8(*t, "icon")) {
        const toml::node& node = *t->get("icon");
        std::string error;
        p.icon = IconImageFromIco(ReadWholeFile(r.File(node, *file)), error);
        if (!p.icon)
            r.Fail(node, error);
    }
}

// The source's parts before the first part with a wildcard: the folder the
// glob walks, and the glob of the rest.
bool SplitGlob(const std::string& source, std::string& base, std::string& pattern)
{
    std::string s = source;
    std::replace(s.begin(), s.end(), '\\', '/');
    size_t wild = s.find_first_of("*?[");
    if (wild == std::string::npos)
        return false;
    size_t cut = s.rfind('/', wild);
    base = cut == std::string::npos ? "" : s.substr(0, cut);
    pattern = cut == std::string::npos ? s : s.substr(cut + 1);
    return true;
}

std::vector<std::pair<fs::path, std::string>> ExpandGlob(const Reader& r, const toml::node& node,
                                                        const std::string& source)
{
    std::string base, pattern;
    SplitGlob(source, base, pattern);
    fs::path root = r.Inside(node, base);
    if (root.empty())
        root = ".";                               // a project in the current folder
    std::vector<std::pair<fs::path, std::string>> matches;
    std::error_code ec;
    if (!fs::is_directory(root, ec))
        r.Fail(node, "no such folder: " + root.string());
    // The walk does not enter linked folders; a link it meets that the
    // glob matches is taken only with --follow-links.
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        std::u8string generic = it->path().lexically_relative(root).generic_u8string();
        std::string relative(generic.begin(), generic.end());
        if (!GlobMatch(pattern, relative))
            continue;
        std::error_code kind;
        bool link = it->is_symlink(kind);
        if (link && !r.FollowLinks())
            r.Fail(node, it->path().string() + " is a symbolic link: links among the sources are "
                         "followed only with --follow-links");
        if (!it->is_regular_file(kind))
            continue;
        r.CheckOrdinaryFile(node, it->path());
        matches.emplace_back(it->path(), relative);
    }
    if (ec)
        r.Fail(node, "cannot list " + root.string() + ": " + ec.message());
    std::sort(matches.begin(), matches.end(),
              [](const auto& a, const auto& b) { return a.second < b.second; });
    return matches;
}

std::string Stem(const std::string& name)
{
    size_t slash = name.find_last_of('\\');
    std::string file = slash == std::string::npos ? name : name.substr(slash + 1);
    size_t dot = file.rfind('.');
    return dot == std::string::npos || dot == 0 ? file : file.substr(0, dot);
}

// One [[files]] entry as it is read: what each stage leaves for the next.
struct FilesEntry {
    const toml::node& item;
    const toml::table& t;
    std::string source{};                         // as the project writes it
    FileRecord base{};                            // kind and flags, shared by the entry's files
    bool glob = false;                            // the source names many files
    std::string nameUtf8{};                       // the name, or the folder of a glob's files
    std::vector<std::pair<fs::path, std::string>> sources{};  // each file, and its name below a glob
};

void EntryKeysAndSource(Reader& r, FilesEntry& e)
{
    r.AllowKeys(e.t, {"source", "destination", "name", "overwrite", "shortcuts", "shortcut-name",
                      "font-name", "version", "icon", "permanent", "to-uninstall-dir"},
                "[[files]]");
    std::optional<std::string> source = r.Utf8(e.t, "source");
    if (!source || source->empty())
        r.Fail(e.t, "a [[files]] entry needs a \"source\"");
    e.source = *source;
}

void EntryDestination(Reader& r, FilesEntry& e)
{
    std::string dest = r.Text(e.t, "destination", "install");
    if (!DestKindFromName(dest, e.base.kind))
        r.Fail(*e.t.get("destination"), "unknown destination \"" + dest
               + "\" (install, shared, font, install-startup or system)");
}

void EntryOverwrite(Reader& r, FilesEntry& e)
{
    std::string overwrite = r.Text(e.t, "overwrite", "always");
    if (overwrite == "update-only")
        e.base.flags |= FfUpdateOnly;
    else if (overwrite == "keep-existing")
        e.base.flags |= FfKeepExisting;
    else if (overwrite != "always")
        r.Fail(*e.t.get("overwrite"), "unknown overwrite mode \"" + overwrite
               + "\" (always, update-only or keep-existing)");
}

void EntryShortcuts(Reader& r, FilesEntry& e)
{
    const toml::node* list = e.t.get("shortcuts");
    if (!list)
        return;
    if (!list->is_array())
        r.Fail(*list, "\"shortcuts\" must be a list such as [\"desktop\", \"programs\"]");
    for (const toml::node& s : *list->as_array()) {
        std::string which = s.is_string() ? s.as_string()->get() : "";
        if (which == "desktop")
            e.base.flags |= FfDesktopShortcut;
        else if (which == "programs")
            e.base.flags |= FfProgramsShortcut;
        else
            r.Fail(s, "a shortcut is \"desktop\" or \"programs\"");
    }
    bool installKind = e.base.kind == DestInstall || e.base.kind == DestInstallStartup;
    if (!installKind && !list->as_array()->empty())
        r.Fail(*list, "shortcuts are made only for install and install-startup files");
}

void EntryFlags(Reader& r, FilesEntry& e)
{
    if (r.Bool(e.t, "permanent", false))
        e.base.flags |= FfPermanent;
    if (r.Bool(e.t, "to-uninstall-dir", false))
        e.base.flags |= FfToUninstallDir;
}

// The keys that belong to one kind of file only.
void EntryKindOptions(Reader& r, FilesEntry& e)
{
    const toml::table& t = e.t;
    e.base.icon = r.Text(t, "icon");
    if (!e.base.icon.empty() && !(e.base.flags & (FfDesktopShortcut | FfProgramsShortcut)))
        r.Fail(*t.get("icon"), "\"icon\" is the icon of a shortcut; give \"shortcuts\" too");
    if (t.get("shortcut-name") && !(e.base.flags & (FfDesktopShortcut | FfProgramsShortcut)))
        r.Fail(*t.get("shortcut-name"), "\"shortcut-name\" needs \"shortcuts\"");
    if (t.get("font-name") && e.base.kind != DestFont)
        r.Fail(*t.get("font-name"), "\"font-name\" is for files with destination \"font\"");
    if (t.get("version") && e.base.kind != DestSystem)
        r.Fail(*t.get("version"), "\"version\" is for files with destination \"system\"");
}

// The files the source names: those a glob matches, below the name as a
// folder, or the one file, under its own name unless the entry gives one.
void EntrySources(Reader& r, FilesEntry& e)
{
    const toml::node& sourceNode = *e.t.get("source");
    e.nameUtf8 = r.Utf8(e.t, "name").value_or("");
    std::string base, pattern;
    e.glob = SplitGlob(e.source, base, pattern);
    if (e.glob) {
        e.sources = ExpandGlob(r, sourceNode, e.source);
        if (e.sources.empty())
            r.Fail(sourceNode, "\"" + e.source + "\" matches no files");
        if (!e.nameUtf8.empty() && e.nameUtf8.back() != '/' && e.nameUtf8.back() != '\\')
            e.nameUtf8 += '/';
        return;
    }
    fs::path file = r.File(sourceNode, e.source);
    r.inputs.pop_back();                          // added with the others by AddEntryFile
    std::string fileName = PathToUtf8(file.filename());
    e.sources.emplace_back(file, fileName);
    if (e.nameUtf8.empty())
        e.nameUtf8 = fileName;
    else if (e.nameUtf8.back() == '/' || e.nameUtf8.back() == '\\')
        e.nameUtf8 += fileName;
    else
        e.sources.back().second = "";
}

// The stages of reading one [[files]] entry, in order.
void (*const kFilesEntryStages[])(Reader&, FilesEntry&) = {
    EntryKeysAndSource, EntryDestination, EntryOverwrite, EntryShortcuts,
    EntryFlags, EntryKindOptions, EntrySources,
};

// Where each installed name was first given, by destination folder and
// name in lower case.
using InstalledNames = std::map<std::pair<int32_t, std::string>, std::string>;

// One file of an entry, named where it is installed, with the text its
// record carries (a shortcut's or a font's name, a system file's version),
// unless another entry installs the same name to the same folder.
void AddEntryFile(Reader& r, const FilesEntry& e, const fs::path& path, const std::string& relative,
                  InstalledNames& seen, Project& p)
{
    const toml::table& t = e.t;
    ProjectFile f;
    f.source = path;
    f.where = r.Where(e.item);
    f.record = e.base;
    const toml::node& nameNode = t.get("name") ? *t.get("name") : *t.get("source");
    std::string error;
    std::string name = e.glob ? e.nameUtf8 + relative : e.nameUtf8;
    f.record.name = NormaliseInstallName(r.Text(nameNode, name), error);
    if (!error.empty())
        r.Fail(nameNode, "bad name \"" + name + "\": " + error);
    if (f.record.flags & (FfDesktopShortcut | FfProgramsShortcut))
        f.record.text = r.Text(t, "shortcut-name", Stem(f.record.name));
    else if (f.record.kind == DestFont)
        f.record.text = r.Text(t, "font-name", Stem(f.record.name));
    else if (f.record.kind == DestSystem)
        f.record.text = t.get("version") ? r.Text(t, "version") : FileVersionText(ReadWholeFile(path));
    std::string key = f.record.name;
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return (char)std::tolower(c); });
    int32_t where = (f.record.flags & FfToUninstallDir) ? -1 : f.record.kind;
    if (where == DestInstallStartup)
        where = DestInstall;
    auto [it, fresh] = seen.emplace(std::make_pair(where, key), f.where);
    if (!fresh)
        r.Fail(e.item, "\"" + name + "\" is installed twice (first at " + it->second + ")");
    r.inputs.push_back(path);
    p.files.push_back(std::move(f));
}

void ReadFiles(Reader& r, const toml::table& root, Project& p)
{
    const toml::node* node = root.get("files");
    if (!node)
        throw ProjectError(p.path.string() + ":1:1: the project has no [[files]]");
    if (!node->is_array_of_tables())
        r.Fail(*node, "\"files\" must be an array of tables ([[files]])");
    InstalledNames seen;
    for (const toml::node& item : *node->as_array()) {
        FilesEntry entry{item, *item.as_table()};
        for (auto stage : kFilesEntryStages)
            stage(r, entry);
        for (const auto& [path, relative] : entry.sources)
            AddEntryFile(r, entry, path, relative, seen, p);
    }
}

void ReadAssociations(Reader& r, const toml::table& root, Description& d)
{
    const toml::node* node = root.get("associations");
    if (!node)
        return;
    if (!node->is_array_of_tables())
        r.Fail(*node, "\"associations\" must be an array of tables ([[associations]])");
    for (const toml::node& item : *node->as_array()) {
        const toml::table& t = *item.as_table();
        r.AllowKeys(t, {"extension", "file-type", "description", "verb", "command",
                        "default-verb", "language"}, "[[associations]]");
        Association a;
        a.extension = r.Text(t, "extension");
        if (a.extension.empty() || a.extension == ".")
            r.Fail(t, "an association needs an \"extension\"");
        a.command = r.Text(t, "command");
        if (a.command.empty())
            r.Fail(t, "an association needs a \"command\"");
        a.fileType = r.Text(t, "file-type");
        a.description = r.Text(t, "description");
        a.verb = r.Text(t, "verb", "open");
        if (a.verb.empty())
            r.Fail(*t.get("verb"), "the verb is empty");
        a.language = r.Text(t, "language");
        a.flags = r.Bool(t, "default-verb", false) ? 1 : 0;
        d.associations.push_back(std::move(a));
    }
}

void ReadLanguages(Reader& r, const toml::table& root, Description& d)
{
    struct Language {
        std::string name;
        const MessageSet* set;
        std::map<int, std::string> overrides;
    };
    std::vector<Language> languages;
    const toml::node* node = root.get("languages");
    if (!node) {
        languages.push_back({"English", FindMessageSet("en"), {}});
    } else {
        if (!node->is_array() || !(node->as_array()->empty() || node->is_array_of_tables()))
            r.Fail(*node, "\"languages\" must be an array of tables ([[languages]])");
        if (node->as_array()->empty())
            r.Fail(*node, "no languages are given");
        if (node->as_array()->size() > 255)
            r.Fail(*node, "more than 255 languages are given");
        for (const toml::node& item : *node->as_array()) {
            const toml::table& t = *item.as_table();
            r.AllowKeys(t, {"texts", "name", "messages"}, "[[languages]]");
            Language lang;
            std::string code = r.Text(t, "texts", "en");
            lang.set = FindMessageSet(code);
            if (!lang.set)
                r.Fail(*t.get("texts"), "no built-in texts \"" + code + "\" (en, de, fr or es)");
            lang.name = r.Text(t, "name", *Utf8ToCp1252(lang.set->name));
            if (lang.name.empty())
                r.Fail(*t.get("name"), "the language name is empty");
            for (const Language& other : languages)
                if (other.name == lang.name)
                    r.Fail(item, "the language \"" + lang.name + "\" is given twice");
            if (const toml::table* messages = r.Table(t, "messages")) {
                for (auto&& [key, text] : *messages) {
                    std::string k(key.str());
                    bool digits = !k.empty() && k.size() <= 5
                               && k.find_first_not_of("0123456789") == std::string::npos;
                    int number = digits ? std::stoi(k) : -1;
                    if (number < 0 || number >= kMaxMessageCount)
                        r.Fail(text, "a message number is 0 to 9999, not \"" + k + "\"");
                    if (!text.is_string())
                        r.Fail(text, "message " + k + " must be a text");
                    std::string value = r.Text(text, text.as_string()->get());
                    if (number < kBuiltInMessageCount) {
                        const char* want = MessageConversions(number);
                        if (want && ConversionsOf(value) != want)
                            r.Fail(text, "message " + k + " must hold the conversions "
                                   + [&] { std::string s; for (char c : std::string(want)) s += std::string(s.empty() ? "" : ", ") + "%" + c; return s; }()
                                   + " in this order (write %% for a percent sign)");
                    }
                    lang.overrides[number] = value;
                }
            }
            languages.push_back(std::move(lang));
        }
    }
    int count = kBuiltInMessageCount;
    for (const Language& lang : languages)
        if (!lang.overrides.empty())
            count = std::max(count, lang.overrides.rbegin()->first + 1);
    d.messages.assign((size_t)count, {});
    for (const Language& lang : languages) {
        d.languageNames.push_back(lang.name);
        for (int n = 0; n < count; n++) {
            auto it = lang.overrides.find(n);
            std::string text = it != lang.overrides.end() ? it->second
                             : n < kBuiltInMessageCount ? *Utf8ToCp1252(lang.set->texts[n])
                                                        : std::string();
            d.messages[n].push_back(std::move(text));
        }
    }
}

bool GlobPart(const char* p, const char* s)
{
    for (; *p; p++, s++) {
        if (*p == '*') {
            for (const char* t = s;; t++) {
                if (GlobPart(p + 1, t))
                    return true;
                if (!*t)
                    return false;
            }
        }
        if (!*s || (*p != '?' && *p != *s))
            return false;
    }
    return !*s;
}

bool GlobParts(const std::vector<std::string>& pattern, size_t i,
               const std::vector<std::string>& path, size_t j)
{
    if (i == pattern.size())
        return j == path.size();
    if (pattern[i] == "**") {
        for (size_t k = j; k <= path.size(); k++)
            if (GlobParts(pattern, i + 1, path, k))
                return true;
        return false;
    }
    return j < path.size() && GlobPart(pattern[i].c_str(), path[j].c_str())
        && GlobParts(pattern, i + 1, path, j + 1);
}

std::vector<std::string> SplitPath(const std::string& s)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        size_t slash = s.find('/', start);
        parts.push_back(s.substr(start, slash - start));
        if (slash == std::string::npos)
            return parts;
        start = slash + 1;
    }
}

// Windows opens a device instead of a file for these names, in every
// folder, in any letter case, with any extension ("nul.txt") and with
// blanks before the extension ("con .log").
bool IsDeviceName(const std::string& part)
{
    std::string base = part.substr(0, part.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    std::transform(base.begin(), base.end(), base.begin(),
                   [](unsigned char c) { return (char)std::toupper(c); });
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (base == device)
            return true;
    if (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0)
        return false;
    std::string number = base.substr(std::min<size_t>(3, base.size()));
    return (number.size() == 1 && number[0] >= '0' && number[0] <= '9')
        || number == "\u00B9" || number == "\u00B2" || number == "\u00B3";   // superscript 1, 2, 3
}

} // namespace

Bytes ReadWholeFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw ProjectError(path.string() + ": cannot open the file");
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw ProjectError(path.string() + ": cannot read the file");
    return bytes;
}

bool GlobMatch(const std::string& pattern, const std::string& path)
{
    return GlobParts(SplitPath(pattern), 0, SplitPath(path), 0);
}

std::string NormaliseInstallName(const std::string& name, std::string& error)
{
    std::string s = name;
    std::replace(s.begin(), s.end(), '/', '\\');
    if (s.empty()) {
        error = "the name is empty";
        return "";
    }
    if (s[0] == '\\') {
        error = "the name must be relative, not absolute";
        return "";
    }
    if (s.find(':') != std::string::npos) {
        error = "the name must not hold a drive or a colon";
        return "";
    }
    size_t start = 0;
    while (true) {
        size_t cut = s.find('\\', start);
        std::string part = s.substr(start, cut == std::string::npos ? std::string::npos : cut - start);
        if (part.empty() || part == "." || part == "..") {
            error = "every part of the name must be a real file or folder name (no \"..\")";
            return "";
        }
        for (unsigned char c : part)
            if (c < 32 || std::string("<>\"|?*").find((char)c) != std::string::npos) {
                error = "the name holds a character Windows does not allow in file names";
                return "";
            }
        if (part.back() == ' ' || part.back() == '.') {
            error = "a name part must not end in a blank or a full stop";
            return "";
        }
        if (IsDeviceName(part)) {
            error = "\"" + part + "\" is a device name on Windows (CON, NUL, COM1 and the like)";
            return "";
        }
        if (cut == std::string::npos)
            break;
        start = cut + 1;
    }
    error.clear();
    return s;
}

Project LoadProject(const fs::path& path, const ProjectOptions& options)
{
    Project p;
    p.path = path;
    Bytes bytes = ReadWholeFile(path);
    std::string doc(bytes.begin(), bytes.end());
    toml::table root;
    try {
        root = toml::parse(doc, path.string());
    } catch (const toml::parse_error& e) {
        const toml::source_position& at = e.source().begin;
        throw ProjectError(path.string() + ":" + std::to_string(at.line) + ":"
                           + std::to_string(at.column) + ": " + std::string(e.description()));
    }
    Reader r(path, options);
    r.AllowKeys(root, {"product", "flags", "batch", "look", "files", "associations", "languages"},
                "the project");
    r.inputs.push_back(path);
    ReadProduct(r, root, p);
    ReadLook(r, root, p);
    ReadFlags(r, root, p.description);       // after [look]: explicit flags win
    ReadBatch(r, root, p.description);
    ReadFiles(r, root, p);
    ReadAssociations(r, root, p.description);
    ReadLanguages(r, root, p.description);
    p.inputs = std::move(r.inputs);
    return p;
}

} // namespace velt
