#include "builder/platform.h"

#include <cerrno>
#include <ctime>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#else
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>
#ifdef __linux__
#include <sys/vfs.h>
#endif
extern char** environ;
#endif

namespace velt {

#ifdef _WIN32

// Windows keeps times as FILETIMEs (100 ns steps since 1601, UTC) and knows
// the local zone itself. The C library's localtime would read the zone from
// a TZ variable in its own older syntax instead, and under Wine that
// variable is the Unix one ("Europe/Berlin"), which it misreads.
namespace {

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kTicksTo1970 = 116444736000000000;   // 1601-01-01 to 1970-01-01

FILETIME FileTimeOf(int64_t seconds)
{
    uint64_t ticks = (uint64_t)(seconds * kTicksPerSecond + kTicksTo1970);
    return {(DWORD)ticks, (DWORD)(ticks >> 32)};
}

} // namespace

std::optional<int64_t> FileModifiedTime(const std::filesystem::path& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    int64_t ticks = (int64_t)(((uint64_t)data.ftLastWriteTime.dwHighDateTime << 32)
                              | data.ftLastWriteTime.dwLowDateTime) - kTicksTo1970;
    // Whole seconds, rounded down as stat() does for times before 1970.
    return ticks >= 0 ? ticks / kTicksPerSecond : -((-ticks + kTicksPerSecond - 1) / kTicksPerSecond);
}

DateTime LocalDateTime(int64_t seconds)
{
    if (seconds < -kTicksTo1970 / kTicksPerSecond)
        return {};
    FILETIME utc = FileTimeOf(seconds);
    SYSTEMTIME universal, local;
    // SystemTimeToTzSpecificLocalTime applies daylight saving time by the
    // date converted, where FileTimeToLocalFileTime would use today's.
    if (!FileTimeToSystemTime(&utc, &universal) || !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local))
        return {};
    return {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
}

bool SetFileModifiedTime(const std::filesystem::path& path, const DateTime& time)
{
    SYSTEMTIME local = {};
    local.wYear = (WORD)time.year;
    local.wMonth = (WORD)time.month;
    local.wDay = (WORD)time.day;
    local.wHour = (WORD)time.hour;
    local.wMinute = (WORD)time.minute;
    local.wSecond = (WORD)time.second;
    SYSTEMTIME universal;
    FILETIME stamp;
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &universal) || !SystemTimeToFileTime(&universal, &stamp))
        return false;
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = SetFileTime(file, nullptr, &stamp, &stamp) != 0;
    return CloseHandle(file) && ok;
}

bool StderrIsTerminal()
{
    // _isatty() is also true for NUL; only a console takes a progress bar.
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

std::vector<std::string> Utf8Arguments(int argc, char** argv)
{
    SetConsoleOutputCP(CP_UTF8);
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide)
        return {argv, argv + argc};
    std::vector<std::string> args;
    for (int i = 0; i < count; i++)
        args.push_back(PathToUtf8(std::filesystem::path(wide[i])));
    LocalFree(wide);
    return args;
}

bool IsOnSystemFileSystem(const std::filesystem::path&)
{
    return false;
}

ProgramEnd RunProgram(const std::vector<std::string>& args)
{
    ProgramEnd end;
    if (args.empty())
        return end;
    std::wstring line = PathFromUtf8(WindowsCommandLine(args)).wstring();
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    // No application name: the system finds the program as it finds the
    // first word of any command line (the builder's folder, the current
    // one, the system folders, PATH; ".exe" added).
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return end;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    end.started = end.exited = true;
    end.status = (int)code;
    return end;
}

#else

std::optional<int64_t> FileModifiedTime(const std::filesystem::path& path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return (int64_t)st.st_mtime;
}

DateTime LocalDateTime(int64_t seconds)
{
    time_t t = (time_t)seconds;
    struct tm tm {};
    localtime_r(&t, &tm);
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
    struct utimbuf times = {t, t};
    return utime(path.c_str(), &times) == 0;
}

bool StderrIsTerminal()
{
    return isatty(2) != 0;
}

std::vector<std::string> Utf8Arguments(int argc, char** argv)
{
    return {argv, argv + argc};
}

bool IsOnSystemFileSystem(const std::filesystem::path& path)
{
#ifdef __linux__
    // The magic numbers of <linux/magic.h>: proc, sysfs, debugfs, tracefs,
    // securityfs, cgroup, cgroup2, configfs, efivarfs, pstore, bpf, devpts.
    static const unsigned long kSystem[] = {0x9fa0, 0x62656572, 0x64626720, 0x74726163,
                                            0x73636673, 0x27e0eb, 0x63677270, 0x62656570,
                                            0xde5e81e4, 0x6165676c, 0xcafe4a11, 0x1cd1};
    struct statfs fs;
    if (statfs(path.c_str(), &fs) != 0)
        return false;
    for (unsigned long magic : kSystem)
        if ((unsigned long)fs.f_type == magic)
            return true;
#else
    (void)path;
#endif
    return false;
}

ProgramEnd RunProgram(const std::vector<std::string>& args)
{
    ProgramEnd end;
    if (args.empty())
        return end;
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return end;
    int status = 0;
    while (waitpid(pid, &status, 0) == -1)
        if (errno != EINTR)
            return end;
    end.started = true;
    end.exited = WIFEXITED(status);
    end.status = end.exited ? WEXITSTATUS(status) : 0;
    return end;
}

#endif

std::string WindowsCommandLine(const std::vector<std::string>& args)
{
    std::string line;
    for (const std::string& arg : args) {
        if (!line.empty())
            line += ' ';
        if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) {
            line += arg;
            continue;
        }
        line += '"';
        size_t backslashes = 0;
        for (char c : arg) {
            if (c == '\\') {
                backslashes++;
                continue;
            }
            // Backslashes count double only before a quote.
            line.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
            backslashes = 0;
            line += c;
        }
        line.append(backslashes * 2, '\\');    // before the closing quote
        line += '"';
    }
    return line;
}

std::filesystem::path PathFromUtf8(const std::string& utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string PathToUtf8(const std::filesystem::path& path)
{
    std::u8string utf8 = path.u8string();
    return std::string(utf8.begin(), utf8.end());
}

} // namespace velt
