// Special folders, the boot drive, shortcut files and file versions.
//
// Folder locations come from the values the shell keeps in the registry
// (HKEY_CURRENT_USER ...\Explorer\Shell Folders and HKEY_LOCAL_MACHINE
// ...\Windows\CurrentVersion); when a value is missing or empty a fixed
// fallback, mostly under the Windows directory, is used. The lookups never
// fail. A folder text longer than a drive root has no trailing backslash.
#pragma once

#include <windows.h>

#include "core/string.h"
#include "core/system_calls.h"

// The Shell Folders value `name` of the current user ("" when missing).
String ShellFolderPath(const char* name);
// The CurrentVersion value `name` of the machine ("" when missing).
String WindowsSettingPath(const char* name);

String DesktopFolder();
String PersonalFolder();
String FavoritesFolder();
String FontsFolder();
// Loads or unloads the font file name (a bare name is looked up in the
// fonts folder). True when the system did it. Inline: the stub's size
// counts, and a call of its own would cost more than the call it wraps.
inline bool AddFontFile(const char* name)
{
    return Sys.AddFontResourceA(name) != 0;
}
inline bool RemoveFontFile(const char* name)
{
    return Sys.RemoveFontResourceA(name) != 0;
}
String StartMenuRootFolder();
String ProgramsFolder();
String StartupFolder();
String ProgramFilesFolder();
String CommonFilesFolder();
String DevicePathFolder();
String MediaFolder();

// What keeps `directory` from being one product's folder, which its
// uninstaller may remove whole, compared by CanonicalPath: the root of a
// drive or share, or a folder of the system, of all programs or of the
// users (the profiles' folder and each profile in it), which `folder`
// then holds as the system names it (a profile: as `directory` does).
enum : int { FolderUsable = 0, FolderIsRoot = 1, FolderIsShared = 2 };
int FolderRefusal(const char* directory, String& folder);

// The boot drive's letter in upper case, 'C' when the system does not say.
char BootDriveLetter();

// Writes a shell shortcut to `linkPath`, which gets ".LNK" appended unless
// it already contains that text in any case (the caller sees the final
// name). Missing folders of the link are created. The icon is `iconFile`,
// or the target itself when none is given; null `arguments` or
// `workingDirectory` are left unset. Returns 1 when the file was saved.
BYTE CreateShortcut(String& linkPath, const char* target, const char* arguments,
                    const char* workingDirectory, const char* iconFile);
// CreateShortcut on the name joined to DesktopFolder(), respectively to
// ProgramsFolder(). The final link path is stored in `linkPath` when given, whether or
// not the shortcut was saved.
BYTE CreateDesktopShortcut(const char* name, const char* target, const char* arguments,
                           const char* workingDirectory, String* linkPath,
                           const char* iconFile);
BYTE CreateProgramsShortcut(const char* name, const char* target, const char* arguments,
                            const char* workingDirectory, String* linkPath,
                            const char* iconFile);

// The FileVersion text of the file's U.S. English (code page 1252) version
// block, "" when there is none. Padded, every dot-separated part is
// upper-cased and left-filled with zeros to 10 characters
// (4.0.1 -> 0000000004.0000000000.0000000001), so that versions compare
// part by part; a longer part is kept whole.
String FileVersionText(const char* path, BYTE padded);
