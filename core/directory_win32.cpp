// Directories, drives and the program's own location, on the Win32 API.
#include "core/directory.h"

#include <windows.h>
#include <shellapi.h>

#include <string.h>

#include "core/file.h"
#include "core/paths.h"
#include "core/system_calls.h"

const char kTempFilePrefix[] = "QDT";

namespace {

// Paths shorter than this are drive roots ("C:\") or not paths at all;
// nothing here creates or removes them.
const int kShortestRemovablePath = 4;

bool IsDotEntry(const char* name)
{
    return strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
}

int TextLength(const char* text)
{
    return text ? (int)strlen(text) : 0;
}

// Calls a Win32 getter that fills a buffer and returns the length it wrote,
// or the size it needs when the buffer was too small; grows once for that.
template <typename Getter>
String FetchText(DWORD firstSize, Getter get)
{
    String text;
    text.SetLength((int)firstSize);
    DWORD n = get(text.Data(), firstSize);
    if (n >= firstSize) {
        text.SetLength((int)n + 1);
        n = get(text.Data(), n + 1);
        if (n > (DWORD)text.Length())
            n = 0;
    }
    text.SetLength((int)n);
    return text;
}

// path as the system resolves it (".", "..", doubled and forward slashes);
// empty when it cannot.
String FullPath(const char* path)
{
    return FetchText(MAX_PATH, [path](char* buffer, DWORD size) {
        return GetFullPathNameA(path, size, buffer, NULL);
    });
}

// inner lies in or is outer (ASCII case ignored, trailing backslashes too).
bool IsInsideOrSame(const String& inner, const String& outer)
{
    String base(outer);
    base.TrimRightChar('\\');
    if (base.IsEmpty() || !base.IsPrefixOfNoCase(inner.CStr()))
        return false;
    char next = inner.CharAt(base.Length());
    return next == 0 || next == '\\';
}

// Removes everything in dir, then dir. Goes on past failures; true only
// when everything went.
bool RemoveTreeBelow(const String& dir)
{
    WIN32_FIND_DATAA entry;
    HANDLE find = Sys.FindFirstFileA(PathJoin(dir.CStr(), "*.*").CStr(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    do {
        if (IsDotEntry(entry.cFileName))
            continue;
        String child = PathJoin(dir.CStr(), entry.cFileName);
        bool removed;
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            removed = DeleteFileForced(child.CStr());
        else if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            // A junction or link: its target belongs to someone else.
            removed = RemoveDirectoryOnly(child.CStr());
        else
            removed = RemoveTreeBelow(child);
        ok = ok && removed;
    } while (Sys.FindNextFileA(find, &entry));
    FindClose(find);
    bool removedSelf = RemoveDirectoryOnly(dir.CStr());
    return ok && removedSelf;
}

String DriveRootOf(char letter)
{
    return String::Formatted("%c:\\", letter);
}

bool IsDriveLetter(char letter)
{
    return (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
}

} // namespace

bool DirectoryExists(const char* path)
{
    if (!path || !*path)
        return false;
    // Asking for the attributes answers the same question as entering the
    // directory, without touching the process's current directory.
    DWORD attributes = Sys.GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateDirectoryPath(const char* path)
{
    if (!path || !*path)
        return false;
    if (DirectoryExists(path))
        return true;
    String parent = PathDirectory(path);
    if (strcmp(parent.CStr(), path) == 0)
        return true;
    if (parent.Length() >= kShortestRemovablePath && !DirectoryExists(parent.CStr())
        && !CreateDirectoryPath(parent.CStr()))
        return false;
    Sys.CreateDirectoryA(path, NULL);
    return DirectoryExists(path);
}

bool RemoveDirectoryOnly(const char* path)
{
    if (TextLength(path) < kShortestRemovablePath)
        return false;
    String directory(path);
    directory.StripTrailing('\\');
    return Sys.RemoveDirectoryA(directory.CStr()) != 0;
}

bool PathLiesInside(const char* path, const char* folder)
{
    String inner = FullPath(path);
    String outer = FullPath(folder);
    return !PathsEqual(inner.CStr(), outer.CStr()) && IsInsideOrSame(inner, outer);
}

bool RemoveDirectoryTree(const char* path)
{
    if (TextLength(path) < kShortestRemovablePath)
        return false;
    // Judge the path the system will act on: "C:\." and "C:\\" are the
    // root, whatever their length.
    String full = FullPath(path);
    String root(full);
    root.TrimRightChar('\\');
    if (root.Length() < kShortestRemovablePath - 1)
        return false;
    String windows = GetWindowsDirectoryString();
    if (windows.IsEmpty() || windows.IsPrefixOfNoCase(path) || windows.IsPrefixOfNoCase(full.CStr())
        || IsInsideOrSame(windows, full))
        return false;
    return RemoveTreeBelow(full);
}

bool DeleteFileForced(const char* name)
{
    if (!name)
        return false;
    DWORD attributes = Sys.GetFileAttributesA(name);
    bool wasReadOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    SetReadOnly(name, false);
    if (DeleteFileOnly(name))
        return true;
    DWORD error = GetLastError();
    if (wasReadOnly)
        SetReadOnly(name, true);
    SetLastError(error);
    return false;
}

bool CreateDirectoryOnly(const char* path)
{
    return path && Sys.CreateDirectoryA(path, NULL) != 0;
}

String GetCurrentDirectoryString()
{
    return FetchText(100, [](char* buffer, DWORD size) { return GetCurrentDirectoryA(size, buffer); });
}

String GetModulePath()
{
    char buffer[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, buffer, sizeof buffer);
    if (n >= sizeof buffer)     // cut short: not a usable path
        n = 0;
    return String(buffer, (int)n);
}

String GetModuleDirectory()
{
    return PathDirectory(GetModulePath().CStr());
}

String GetModuleFileTitle()
{
    return PathFileName(GetModulePath().CStr());
}

char GetModuleDrive()
{
    return PathDriveLetter(GetModulePath().CStr());
}

String PathNextToModule(const char* name)
{
    return PathJoin(GetModuleDirectory().CStr(), name);
}

String GetWindowsDirectoryString()
{
    return FetchText(MAX_PATH, [](char* buffer, DWORD size) { return GetWindowsDirectoryA(buffer, size); });
}

String GetSystemDirectoryString()
{
    return FetchText(MAX_PATH, [](char* buffer, DWORD size) { return GetSystemDirectoryA(buffer, size); });
}

String GetShortPath(const char* path)
{
    int length = TextLength(path);
    if (length == 0)
        return String();
    DWORD size = (DWORD)(2 * length > MAX_PATH ? 2 * length : MAX_PATH);
    String shortPath = FetchText(size, [path](char* buffer, DWORD bufferSize) {
        return Sys.GetShortPathNameA(path, buffer, bufferSize);
    });
    return shortPath.IsEmpty() ? String(path) : shortPath;
}

String MakeTempFileName(const char* dir)
{
    if (!dir)
        return String();
    char buffer[MAX_PATH];
    if (!Sys.GetTempFileNameA(dir, kTempFilePrefix, 0, buffer))
        return String();
    return String(buffer);
}

String GetTempDirectoryString()
{
    char buffer[MAX_PATH + 1];
    DWORD length = Sys.GetTempPathA(sizeof buffer, buffer);
    if (length == 0 || length > MAX_PATH)
        return String();
    return String(buffer);
}

bool DriveExists(char letter)
{
    if (!IsDriveLetter(letter))
        return false;
    return GetDriveTypeA(DriveRootOf(letter).CStr()) != DRIVE_NO_ROOT_DIR;
}

long long DiskFreeSpaceOfRoot(const char* root)
{
    DWORD sectorsPerCluster, bytesPerSector, freeClusters, totalClusters;
    if (!root
        || !Sys.GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters,
                                  &totalClusters))
        return -1;
    return (long long)sectorsPerCluster * bytesPerSector * freeClusters;
}

long long DiskFreeSpace(char letter)
{
    if (!IsDriveLetter(letter))
        return -1;
    return DiskFreeSpaceOfRoot(DriveRootOf(letter).CStr());
}

int ClusterSize(char letter)
{
    if (!IsDriveLetter(letter))
        return -1;
    DWORD sectorsPerCluster, bytesPerSector, freeClusters, totalClusters;
    if (!Sys.GetDiskFreeSpaceA(DriveRootOf(letter).CStr(), &sectorsPerCluster, &bytesPerSector,
                               &freeClusters, &totalClusters))
        return -1;
    return (int)(sectorsPerCluster * bytesPerSector);
}

bool ShellOpen(const char* path)
{
    if (!path || !*path)
        return false;
    HINSTANCE result = Sys.ShellExecuteA(NULL, NULL, path, NULL, GetModuleDirectory().CStr(), SW_SHOW);
    return (INT_PTR)result > 32;
}
