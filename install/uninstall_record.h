// What an installation leaves for its uninstaller: the list of installed
// items, the record file Uninstall.DAT (written here; its format, and the
// reader the uninstaller uses, are in install/uninstall_data.h), the
// uninstaller program and its registration.
#pragma once

#include <stdint.h>

#include "core/string.h"

// Empties the list and its set of directories.
void ClearUninstallList();
// kind 0: a file or shortcut; 1: a directory the installation created
// (listed once); other kinds: a key, listed once.
void RecordForUninstall(const char* path, int kind);
const String& UninstallListText();

// One "extension~!~type~!~verb" line per processed association.
extern String AssociationRecords;

// The uninstaller's path and its arguments (/u:"product").
String UninstallerPath();
String UninstallArguments();

// The product's registration key below Software\ of HKEY_LOCAL_MACHINE:
// "Microsoft\Windows\CurrentVersion\Uninstall\" + the name.
String UninstallKeyPath(const char* productName);

// The files of the uninstall folder (installDir \ UninstallSubdir).
extern const char kInstallLogName[];        // "Install.LOG"
extern const char kBackgroundFileName[];    // "Installer Background.BMP"
String UninstallFolderFile(const char* installDir, const char* name);
// installDir \ UninstallSubdir \ "Uninstall.DAT".
String UninstallDataPath(const char* installDir);

// Writes Uninstall.DAT into the uninstall directory under installDir: the
// list, the uninstaller's messages and AssociationRecords
// (install/uninstall_data.h has the format). False when the file cannot be
// written; the caller reports it.
bool WriteUninstallData(const char* installDir);

// Writes the uninstaller (`image`, dated ArchiveDate) and the registry
// values of the product. Failures add their lines to ErrorText: the file's
// own, and one for a key that did not open or an UninstallString that did
// not read back as written.
void RegisterUninstall(const String& image);
