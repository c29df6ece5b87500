// What differs between the systems the builder runs on: file times, the
// local time zone, terminals, the command line and the encoding of file
// names. Everything else is standard C++.
#pragma once

#include "builder/format.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velt {

// Last-write time in seconds since 1970 (UTC), or nullopt.
std::optional<int64_t> FileModifiedTime(const std::filesystem::path& path);

// The local date and time of a moment in seconds since 1970.
DateTime LocalDateTime(int64_t seconds);

// Sets a file's last-write (and access) time from a local date and time.
bool SetFileModifiedTime(const std::filesystem::path& path, const DateTime& time);

// True when standard error is a terminal (a progress bar is welcome there).
bool StderrIsTerminal();

// The builder's texts are UTF-8: project files, arguments, messages. A path
// made from a plain std::string would take the bytes as the system's narrow
// encoding, which on Windows is not UTF-8; these two convert explicitly.
std::filesystem::path PathFromUtf8(const std::string& utf8);
std::string PathToUtf8(const std::filesystem::path& path);

// The program's arguments in UTF-8. Windows hands main() its arguments in
// the ANSI code page, so they are read from the wide command line there,
// and the console is set to show the UTF-8 the program prints.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// True when the file lies on a file system of the kernel's own (/proc, /sys
// and the like): its "files" are views of processes and devices, such as
// another process's environment, and never an input of an installer.
bool IsOnSystemFileSystem(const std::filesystem::path& path);

// How a program started by RunProgram ended.
struct ProgramEnd {
    bool started = false;             // false: it could not be started at all
    bool exited = false;              // false: a signal ended it
    int status = 0;                   // its exit status when it exited
};

// Starts a program with these arguments (the first names the program,
// looked up in PATH as the system does) without a shell, so that no
// character of any argument means anything to anyone but the program, and
// waits for it. On Windows the arguments are quoted by the rules programs
// read their command line with (CommandLineToArgvW, the C runtimes).
ProgramEnd RunProgram(const std::vector<std::string>& args);

// The command line Windows programs read back as these arguments: each
// argument in double quotes when it holds a blank, a tab or a quote or is
// empty, its quotes and the backslashes before them escaped.
std::string WindowsCommandLine(const std::vector<std::string>& args);

} // namespace velt
