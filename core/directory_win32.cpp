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

// A kernel32 function that older systems lack; null there.
FARPROC KernelFunction(const char* name)
{
    return GetProcAddress(GetModuleHandleA("kernel32.dll"), name);
}

typedef DWORD(WINAPI* PathOfHandleProc)(HANDLE, LPSTR, DWORD, DWORD);

// The file or directory path names, for its attributes only (flags:
// FILE_FLAG_OPEN_REPARSE_POINT for a link itself rather than its target).
// INVALID_HANDLE_VALUE when it is not there.
HANDLE OpenEntry(const char* path, DWORD share, DWORD flags)
{
    return Sys.CreateFileA(path, FILE_READ_ATTRIBUTES, share, NULL, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | flags, NULL);
}

// Where the system says the handle's file is, links followed, in plain
// form; "" where the system cannot say (before Vista).
String PathOfHandle(HANDLE handle)
{
    PathOfHandleProc pathOf = (PathOfHandleProc)(void*)KernelFunction("GetFinalPathNameByHandleA");
    if (!pathOf)
        return String();
    return PathPlainForm(FetchText(MAX_PATH, [pathOf, handle](char* buffer, DWORD size) {
        return pathOf(handle, buffer, size, 0);
    }).CStr());
}

// What the existing path is: through a handle where the system can say,
// else (before Vista) its short name, which is one for all its spellings.
String ResolveExisting(const String& path, HANDLE handle)
{
    String resolved = PathOfHandle(handle);
    return resolved.IsEmpty() ? GetShortPath(path.CStr()) : resolved;
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

bool RemoveEntry(const String& path, const String& container);

// Removes everything in dir, whose handle is held: while it is, nobody can
// rename dir or put a link in its place. Goes on past failures.
bool RemoveEntriesIn(const String& dir, const String& resolvedDir)
{
    WIN32_FIND_DATAA entry;
    HANDLE find = Sys.FindFirstFileA(PathJoin(dir.CStr(), "*.*").CStr(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    do {
        if (!IsDotEntry(entry.cFileName))
            ok = RemoveEntry(PathJoin(dir.CStr(), entry.cFileName), resolvedDir) && ok;
    } while (Sys.FindNextFileA(find, &entry));
    FindClose(find);
    return ok;
}

// Removes path, and when it is a directory everything in it. What path
// is, is asked of the entry itself when it is removed, not of a listing
// made before. A junction or symbolic link, which the handle shows as
// such, is removed as a link and never walked into. An entry that the
// system resolves to a place outside `container` without saying that it
// is a link (how Wine shows a link of the host's, which it would delete
// at its target) is left alone. What links point to is someone else's.
bool RemoveEntry(const String& path, const String& container)
{
    HANDLE handle = OpenEntry(path.CStr(), FILE_SHARE_READ | FILE_SHARE_WRITE,
                              FILE_FLAG_OPEN_REPARSE_POINT);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    info.dwFileAttributes = 0;
    GetFileInformationByHandle(handle, &info);
    DWORD attributes = info.dwFileAttributes;
    String resolved = PathOfHandle(handle);
    bool isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    bool isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // Known, and a link or inside: anything else is left as it is.
    bool ok = attributes != 0
              && (isLink || resolved.IsEmpty() || container.IsEmpty()
                  || IsInsideOrSame(resolved, container));
    bool walk = ok && isDirectory && !isLink;
    if (walk)
        ok = RemoveEntriesIn(path, resolved);
    CloseHandle(handle);
    if (!ok && !walk)
        return false;
    if (isDirectory)
        return RemoveDirectoryOnly(path.CStr()) && ok;
    // A link's own attributes are left as they are: its target's are not
    // the product's to change.
    return isLink ? DeleteFileOnly(path.CStr()) : DeleteFileForced(path.CStr());
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
    if (!*path || !*folder)
        return false;
    String inner = CanonicalPath(path);
    String outer = CanonicalPath(folder);
    return !PathsEqual(inner.CStr(), outer.CStr()) && IsInsideOrSame(inner, outer);
}

bool RemoveDirectoryTree(const char* path)
{
    if (TextLength(path) < kShortestRemovablePath)
        return false;
    // Judged by the place the system will act on: "C:\." is the root and
    // "C:\WINDOWS~1\.." holds the Windows directory, whatever their text.
    String place = CanonicalPath(path);
    String windows = CanonicalPath(GetWindowsDirectoryString().CStr());
    if (PathIsRoot(place.CStr()) || PathIsRoot(windows.CStr()) || IsInsideOrSame(place, windows)
        || IsInsideOrSame(windows, place))
        return false;
    String full = FullPath(path);
    return RemoveEntry(full, CanonicalPath(PathDirectory(full.CStr()).CStr()));
}

String CanonicalPath(const char* path)
{
    String full = FullPath(PathPlainForm(path).CStr());
    full.TrimRightChar('\\');
    String part(full);
    while (!PathIsRoot(part.CStr())) {
        HANDLE handle = OpenEntry(part.CStr(), FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
        if (handle != INVALID_HANDLE_VALUE) {
            String resolved = ResolveExisting(part, handle);
            CloseHandle(handle);
            return resolved + (full.CStr() + part.Length());
        }
        part.Truncate(PathLastSeparator(part.CStr()));
    }
    return full;
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
