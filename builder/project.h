// The project file: a TOML description of one product, read into the
// installer's description and a list of files.
#pragma once

#include "builder/bytes.h"
#include "builder/format.h"
#include "builder/pe.h"

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace velt {

// A mistake in the project or its inputs; what() reads
// "file:line:column: message" when it points into the project file.
struct ProjectError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One file to install. The record holds everything but the data, checksum
// and time, which the builder fills from `source`.
struct ProjectFile {
    std::filesystem::path source;
    FileRecord record;
    std::string where;                // "file:line:column" of its [[files]] entry
};

struct Project {
    std::filesystem::path path;       // the project file
    Description description;          // all but sizes, payload, dates and icon offset
    std::optional<Bytes> icon;        // the 2216-byte uninstaller icon
    std::optional<Arch> arch;         // the stub's architecture, when the project names one
    std::vector<ProjectFile> files;
    std::vector<std::filesystem::path> inputs;   // every file read, for the date
};

// How the builder reads the project's sources.
struct ProjectOptions {
    // Sources (and licence, readme, batch and picture files) are files
    // inside the project's folder, reached without symbolic links; with
    // this, links are followed wherever they lead. Either way a source must
    // be an ordinary file, not a device, pipe, socket or a kernel file of
    // /proc or /sys.
    bool followLinks = false;
};

// Reads and checks a project file. Throws ProjectError.
Project LoadProject(const std::filesystem::path& path, const ProjectOptions& options = {});

// Reads a whole file. Throws ProjectError naming the file.
Bytes ReadWholeFile(const std::filesystem::path& path);

// Matches a relative '/'-separated path against a glob pattern of the same
// form: '*' and '?' within one part, '**' for any number of parts.
bool GlobMatch(const std::string& pattern, const std::string& path);

// Checks and normalises a name under a destination: '/' becomes '\\';
// returns "" and sets `error` when it is empty, absolute, names a drive,
// climbs out with "..", or has a part that Windows would not store as
// such a file (a character it forbids, a trailing blank or full stop, or
// a device name such as NUL or COM1).
std::string NormaliseInstallName(const std::string& name, std::string& error);

} // namespace velt
