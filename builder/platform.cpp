#include "builder/platform.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <ctime>

#ifdef _WIN32
#include <io.h>
#include <sys/utime.h>
#else
#include <unistd.h>
#include <utime.h>
#endif

namespace velt {

std::optional<int64_t> FileModifiedTime(const std::filesystem::path& path)
{
#ifdef _WIN32
    struct _stat64 st;
    if (_wstat64(path.c_str(), &st) != 0)
        return std::nullopt;
#else
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return std::nullopt;
#endif
    return (int64_t)st.st_mtime;
}

DateTime LocalDateTime(int64_t seconds)
{
    time_t t = (time_t)seconds;
    struct tm tm {};
#ifdef _WIN32
    localtime_s(&tm, &t);
#else
    localtime_r(&t, &tm);
#endif
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

bool SetFileModifiedTime(const std::filesystem::path& path, const DateTime& time)
{
    struct tm tm {};
    tm.tm_year = time.year - 1900;
    tm.tm_mon = time.month - 1;
    tm.tm_mday = time.day;
    tm.tm_hour = time.hour;
    tm.tm_min = time.minute;
    tm.tm_sec = time.second;
    tm.tm_isdst = -1;                       // let the zone rules decide
    time_t t = mktime(&tm);
    if (t == (time_t)-1)
        return false;
#ifdef _WIN32
    struct __utimbuf64 times = {t, t};
    return _wutime64(path.c_str(), &times) == 0;
#else
    struct utimbuf times = {t, t};
    return utime(path.c_str(), &times) == 0;
#endif
}

bool StderrIsTerminal()
{
#ifdef _WIN32
    return _isatty(2) != 0;
#else
    return isatty(2) != 0;
#endif
}

} // namespace velt
