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

// The registration's value that holds the SHA-256 digest of Uninstall.DAT
// as last written: the record lies in a folder that others may be able to
// change, the registration only administrators can.
extern const char kRecordDigestValue[];

// Writes Uninstall.DAT at `path`: the list, the uninstaller's messages in
// the selected language and `associationRecords`, one
// "extension~!~type~!~verb" line per processed association
// (product/uninstall_data.h has the format). The file is replaced whole
// (a failure leaves the earlier record as it was), then its digest goes
// into the registration of `productName`, when there is one. False when
// either fails; the caller reports it.
bool WriteUninstallData(const String& path, const char* productName, const UninstallList& list,
                        const String& associationRecords);
// How far a record read back can be trusted.
enum RecordTrust : uint8_t {
    RecordTampered = 0,     // it differs from the digest the registration holds
    RecordUnverified = 1,   // no digest to compare with (an earlier version's), or no record
    RecordVerified = 2,     // it is as it was written
};
// Reads the record at `path` into `record` (empty when there is none) and
// compares it with the digest in the registration of `productName`. A
// RecordTampered one is emptied.
uint8_t ReadTrustedUninstallData(const String& path, const char* productName, String& record);
