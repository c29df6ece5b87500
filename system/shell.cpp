#include "system/shell.h"

#include <objbase.h>
#include <shlobj.h>

#include "core/directory.h"
#include "core/paths.h"
#include "system/library.h"
#include "system/registry.h"

namespace {

// The shell link class and the two interfaces we use from it. Defined here
// so that the stub needs no GUID library.
const GUID kShellLinkClass = {0x00021401, 0x0000, 0x0000,
                              {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID kShellLinkAnsi = {0x000214EE, 0x0000, 0x0000,
                             {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID kPersistFile = {0x0000010B, 0x0000, 0x0000,
                           {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

const int kVersionPartWidth = 10;

// A folder text loses one trailing backslash, except a drive root (C:\).
String WithoutTrailingBackslash(String folder)
{
    if (folder.Length() > 3)
        folder.StripTrailing('\\');
    return folder;
}

// The looked-up folder, or `fallback` joined with `name` when the lookup
// is empty.
String FolderOr(const String& found, const String& fallback, const char* name)
{
    if (!found.IsEmpty())
        return found;
    return PathJoin(fallback.CStr(), name);
}

String UnderWindows(const String& found, const char* name)
{
    return FolderOr(found, GetWindowsDirectoryString(), name);
}

// Folders of the system, of all programs and of the users: a CSIDL, or
// one of the ids below that no CSIDL takes, in the low six bits; in the
// high two, how many levels up the folder lies from it, which also
// refuses each folder in it (the profiles' folder is no CSIDL of its own:
// it holds the profile, and two levels up the public documents).
enum : BYTE {
    kProgramFilesSetting = 0x3C,    // ProgramFilesFolder(): its text names it in messages
    kWindowsSetting = 0x3D,         // also where the shell cannot name folders
    kNativeProgramFiles = 0x3E,     // a 64-bit system's, seen from a 32-bit program
    kNativeCommonFiles = 0x3F,
    kOneUp = 0x40,
    kTwoUp = 0x80,
};
const BYTE kProtectedFolders[] = {
    kProgramFilesSetting, kWindowsSetting, kNativeProgramFiles, kNativeCommonFiles,
    CSIDL_SYSTEM, CSIDL_SYSTEMX86, CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86,
    CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROGRAM_FILES_COMMONX86, CSIDL_COMMON_APPDATA,
    CSIDL_COMMON_DOCUMENTS, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_COMMON_STARTMENU,
    CSIDL_COMMON_PROGRAMS, CSIDL_PROFILE, CSIDL_APPDATA, CSIDL_LOCAL_APPDATA, CSIDL_PERSONAL,
    CSIDL_DESKTOPDIRECTORY, CSIDL_STARTMENU, CSIDL_PROGRAMS, CSIDL_FONTS,
    CSIDL_PROFILE | kOneUp, CSIDL_COMMON_DOCUMENTS | kTwoUp};

typedef HRESULT(WINAPI* FolderPathFunction)(HWND, int, HANDLE, DWORD, LPSTR);

// The folder by CSIDL; "" where the shell (before Windows 2000) or the
// system does not name it.
String SharedFolder(int id)
{
    FolderPathFunction folderPath =
        (FolderPathFunction)(void*)GetProcAddress(GetModuleHandleA("shell32.dll"), "SHGetFolderPathA");
    char buffer[MAX_PATH];
    if (!folderPath || folderPath(NULL, id, NULL, 0, buffer) != S_OK)
        return String();
    return String(buffer);
}

// The 64-bit program-files folders, which a 32-bit program on a 64-bit
// system finds named only in its environment ("%ProgramW6432%"); ""
// elsewhere.
String NativeFolder(const char* variable)
{
    char buffer[MAX_PATH];
    DWORD length = ExpandEnvironmentStringsA(variable, buffer, sizeof buffer);
    return String(length <= sizeof buffer && buffer[0] != '%' ? buffer : "");
}

String ProtectedFolder(BYTE entry)
{
    int id = entry & 0x3F;
    if (id == kProgramFilesSetting)
        return ProgramFilesFolder();
    if (id == kWindowsSetting)
        return GetWindowsDirectoryString();
    if (id >= kNativeProgramFiles)
        return NativeFolder(id == kNativeProgramFiles ? "%ProgramW6432%" : "%CommonProgramW6432%");
    String folder = SharedFolder(id);
    for (int up = entry >> 6; up > 0; up--)
        folder = PathDirectory(folder.CStr());
    return folder;
}

typedef DWORD(WINAPI* VersionSizeFunction)(LPCSTR, LPDWORD);
typedef BOOL(WINAPI* VersionInfoFunction)(LPCSTR, DWORD, DWORD, LPVOID);
typedef BOOL(WINAPI* VersionQueryFunction)(LPCVOID, LPCSTR, LPVOID*, PUINT);

// The system's version.dll, linked at run time on first use from the
// system directory: a version.dll placed beside the installer is never
// picked up, and the library stays out of the stub's import table.
struct VersionFunctions {
    VersionSizeFunction getSize;
    VersionInfoFunction getInfo;
    VersionQueryFunction query;
};

const VersionFunctions* LinkVersionFunctions()
{
    static VersionFunctions functions;
    static BYTE linked = 0, tried = 0;
    if (!tried) {
        tried = 1;
        static const LinkEntry table[] = {
            {"GetFileVersionInfoSizeA", (FARPROC*)&functions.getSize, 0},
            {"GetFileVersionInfoA", (FARPROC*)&functions.getInfo, 0},
            {"VerQueryValueA", (FARPROC*)&functions.query, 0},
            {NULL, NULL, 0},
        };
        linked = LinkFunctionTable("version.dll", table);
    }
    return linked ? &functions : NULL;
}

// The FileVersion string of the 040904E4 block, "" when there is none.
String ReadFileVersion(const char* path)
{
    const VersionFunctions* version = LinkVersionFunctions();
    if (!version)
        return String();
    DWORD ignored = 0;
    DWORD size = version->getSize(path, &ignored);
    if (size == 0)
        return String();
    String block;
    block.Reset((int)size);
    char* found = nullptr;
    UINT foundLength = 0;
    String text;
    if (version->getInfo(path, 0, size, block.Data())
        && version->query(block.Data(), "\\StringFileInfo\\040904E4\\FileVersion",
                          (void**)&found, &foundLength)
        && found && foundLength > 0)
        text.AssignUpTo(found, (int)foundLength);
    return text;
}

// Left-fills every dot-separated part with zeros to kVersionPartWidth.
void PadVersionParts(String& text)
{
    int start = 0;
    for (int i = 0; i <= text.Length(); i++) {
        if (i == text.Length() || text.CharAt(i) == '.') {
            int missing = kVersionPartWidth - (i - start);
            if (missing > 0) {
                text.Insert('0', start, missing);
                i += missing;
            }
            start = i + 1;
        }
    }
}

}  // namespace

String ShellFolderPath(const char* name)
{
    String path = String::Formatted(
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\%s", name);
    return WithoutTrailingBackslash(
        RegistryReadPath(HKEY_CURRENT_USER, path.CStr(), String(), 0));
}

String WindowsSettingPath(const char* name)
{
    String path = String::Formatted("Software\\Microsoft\\Windows\\CurrentVersion\\%s", name);
    return WithoutTrailingBackslash(
        RegistryReadPath(HKEY_LOCAL_MACHINE, path.CStr(), String(), 0));
}

String DesktopFolder()
{
    return UnderWindows(ShellFolderPath("Desktop"), "Desktop");
}

String PersonalFolder()
{
    String found = ShellFolderPath("Personal");
    return found.IsEmpty() ? String("c:\\My Documents") : found;
}

String FavoritesFolder()
{
    return UnderWindows(ShellFolderPath("Favorites"), "Favorites");
}

String FontsFolder()
{
    return UnderWindows(ShellFolderPath("Fonts"), "Fonts");
}

String StartMenuRootFolder()
{
    return UnderWindows(ShellFolderPath("Start Menu"), "Start Menu");
}

String ProgramsFolder()
{
    String found = ShellFolderPath("Programs");
    return found.IsEmpty() ? PathJoin(StartMenuRootFolder().CStr(), "Programs") : found;
}

// The value is "Startup", the folder of the fallback "StartUp".
String StartupFolder()
{
    String found = ShellFolderPath("Startup");
    return found.IsEmpty() ? PathJoin(ProgramsFolder().CStr(), "StartUp") : found;
}

String ProgramFilesFolder()
{
    String found = WindowsSettingPath("ProgramFilesDir");
    return found.IsEmpty() ? String("c:\\Program Files") : found;
}

String CommonFilesFolder()
{
    String found = WindowsSettingPath("CommonFilesDir");
    return found.IsEmpty() ? PathJoin(ProgramFilesFolder().CStr(), "Common Files") : found;
}

String DevicePathFolder()
{
    return UnderWindows(WindowsSettingPath("DevicePath"), "INF");
}

String MediaFolder()
{
    return UnderWindows(WindowsSettingPath("MediaPath"), "Media");
}

int FolderRefusal(const char* directory, String& folder)
{
    String place = CanonicalPath(directory);
    if (PathIsRoot(place.CStr()))
        return FolderIsRoot;
    String parent = PathDirectory(place.CStr());
    for (BYTE entry : kProtectedFolders) {
        folder = ProtectedFolder(entry);
        if (folder.IsEmpty())
            continue;
        String shared = CanonicalPath(folder.CStr());
        if (PathsEqual(place.CStr(), shared.CStr()))
            return FolderIsShared;
        if (entry > kNativeCommonFiles && PathsEqual(parent.CStr(), shared.CStr())) {
            folder = directory;
            return FolderIsShared;
        }
    }
    return FolderUsable;
}

char BootDriveLetter()
{
    String bootDir = RegistryReadPath(
        HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Setup\\BootDir",
        String(), 0);
    char letter = bootDir.CharAt(0);
    if (bootDir.CharAt(1) != ':')
        return 'C';
    if (letter >= 'a' && letter <= 'z')
        return (char)(letter - 'a' + 'A');
    if (letter >= 'A' && letter <= 'Z')
        return letter;
    return 'C';
}

// Saves the link object to linkPath through its persist-file interface.
static BYTE SaveShortcut(IShellLinkA* link, String& linkPath)
{
    IPersistFile* file = nullptr;
    if (FAILED(link->QueryInterface(kPersistFile, (void**)&file)))
        return 0;
    if (linkPath.Find(".LNK", 0, String::FindNoCase) < 0)
        linkPath.Append(".LNK");
    CreateDirectoryPath(PathDirectory(linkPath.CStr()).CStr());
    WCHAR wideName[MAX_PATH] = {};
    BYTE saved = 0;
    // A name that does not fit is not saved: a cut-off name would be
    // written unterminated.
    if (MultiByteToWideChar(CP_ACP, 0, linkPath.CStr(), -1, wideName, MAX_PATH) > 0)
        saved = file->Save(wideName, TRUE) == S_OK;
    file->Release();
    return saved;
}

BYTE CreateShortcut(String& linkPath, const char* target, const char* arguments,
                    const char* workingDirectory, const char* iconFile)
{
    if (FAILED(CoInitialize(nullptr)))
        return 0;
    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(kShellLinkClass, nullptr, CLSCTX_INPROC_SERVER, kShellLinkAnsi,
                                (void**)&link))) {
        CoUninitialize();
        return 0;
    }
    link->SetPath(target);
    link->SetIconLocation(iconFile && *iconFile ? iconFile : target, 0);
    if (arguments)
        link->SetArguments(arguments);
    if (workingDirectory)
        link->SetWorkingDirectory(workingDirectory);
    BYTE saved = SaveShortcut(link, linkPath);
    link->Release();
    CoUninitialize();
    return saved;
}

// Both named shortcut makers: the link goes into `folder`, and its final
// path (with ".LNK") is handed back whatever the result.
static BYTE CreateShortcutIn(const String& folder, const char* name, const char* target,
                             const char* arguments, const char* workingDirectory,
                             String* linkPath, const char* iconFile)
{
    String link = PathJoin(folder.CStr(), name);
    BYTE saved = CreateShortcut(link, target, arguments, workingDirectory, iconFile);
    if (linkPath)
        *linkPath = link;
    return saved;
}

BYTE CreateDesktopShortcut(const char* name, const char* target, const char* arguments,
                           const char* workingDirectory, String* linkPath,
                           const char* iconFile)
{
    return CreateShortcutIn(DesktopFolder(), name, target, arguments, workingDirectory,
                            linkPath, iconFile);
}

BYTE CreateProgramsShortcut(const char* name, const char* target, const char* arguments,
                            const char* workingDirectory, String* linkPath,
                            const char* iconFile)
{
    return CreateShortcutIn(ProgramsFolder(), name, target, arguments, workingDirectory,
                            linkPath, iconFile);
}

String FileVersionText(const char* path, BYTE padded)
{
    String text = ReadFileVersion(path);
    if (padded && !text.IsEmpty()) {
        text.MakeUpper();
        PadVersionParts(text);
    }
    return text;
}
