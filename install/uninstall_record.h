// What an installation leaves for its uninstaller: the list of installed
// items, the record file Uninstall.DAT (written here and read back here by
// the uninstaller), the uninstaller program and its registration.
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

// Writes Uninstall.DAT into the uninstall directory under installDir.
bool WriteUninstallData(const char* installDir);

// Writes the uninstaller (`image`) and the registry values of the product.
void RegisterUninstall(const String& image);
