// What an installation leaves for its uninstaller and the uninstaller reads
// back: the list of installed items, the record file Uninstall.DAT (its
// format, and the reader the uninstaller uses, are in
// product/uninstall_data.h), and where the uninstall folder's files and
// the registration are.
#pragma once

#include <stdint.h>

#include "core/containers.h"
#include "core/string.h"
#include "product/uninstall_data.h"

// The items an uninstaller removes, in the order they were recorded: the
// removal list of Uninstall.DAT. A directory or key is listed once.
struct UninstallList {
    String text;                        // the list's lines (UninstallItemLine)
    // The upper-cased paths of the directories and keys in the list. They
    // are searched in order: an installation makes few directories, and a
    // hash table type of its own would cost the stub more than the
    // searches do.
    List<String> recordedDirectories;
};

// Empties the list and its set of directories.
void ClearUninstallList(UninstallList& list);
// kind 0: a file or shortcut; 1: a directory the installation created
// (listed once); other kinds: a key, listed once.
void RecordForUninstall(UninstallList& list, const char* path, int kind);

// A directory line of the record that names a parent of `directory` (the
// installation directory): one the destination step made, which only the
// self-removal script can remove, after the directory itself.
bool IsMadeParentItem(const UninstallItem& item, const String& directory);

// The product's registration key below Software\ of HKEY_LOCAL_MACHINE:
// "Microsoft\Windows\CurrentVersion\Uninstall\" + the name.
String UninstallKeyPath(const char* productName);
// The machine's shared-file counts: a value per path, under HKEY_LOCAL_MACHINE.
extern const char kSharedCountsKey[];

// The files of the uninstall folder (installDir \ uninstallSubdir).
extern const char kInstallLogName[];        // "Install.LOG"
extern const char kBackgroundFileName[];    // "Installer Background.BMP"
String UninstallFolderFile(const char* installDir, const String& uninstallSubdir,
                           const char* name);
// installDir \ uninstallSubdir \ "Uninstall.DAT".
String UninstallDataPath(const char* installDir, const String& uninstallSubdir);

// Writes Uninstall.DAT at `path`: the list, the uninstaller's messages in
// the selected language and `associationRecords`, one
// "extension~!~type~!~verb" line per processed association
// (product/uninstall_data.h has the format). False when the file cannot be
// written; the caller reports it.
bool WriteUninstallData(const String& path, const UninstallList& list,
                        const String& associationRecords);
