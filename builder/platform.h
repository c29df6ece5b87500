// What differs between the systems the builder runs on: file times, the
// local time zone and terminals. Everything else is standard C++.
#pragma once

#include "builder/format.h"

#include <cstdint>
#include <filesystem>
#include <optional>

namespace velt {

// Last-write time in seconds since 1970 (UTC), or nullopt.
std::optional<int64_t> FileModifiedTime(const std::filesystem::path& path);

// The local date and time of a moment in seconds since 1970.
DateTime LocalDateTime(int64_t seconds);

// Sets a file's last-write (and access) time from a local date and time.
bool SetFileModifiedTime(const std::filesystem::path& path, const DateTime& time);

// True when standard error is a terminal (a progress bar is welcome there).
bool StderrIsTerminal();

} // namespace velt
