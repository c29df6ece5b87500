// The uninstaller: undoes an installation from its registration and its
// record Uninstall.DAT, then reports.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "core/containers.h"
#include "core/string.h"
#include "product/run.h"

// The install, shared, desktop, programs, startup and fonts folders.
constexpr int kOwnedFolderCount = 6;

// What one uninstallation knows: made by the entry from the command line,
// filled from the registration, and handed to every step. The product name
// and installDirectory (InstallLocation) come first; errorText collects
// what could not be removed.
struct UninstallerRun : ProductRun {
    uint32_t productFlags = 0;      // the registration's ProductFlags
    String uninstallSubdir;         // the registration's UninstallSubdir
    String registeredUninstaller;   // the program UninstallString starts ("": none)
    String installPrefix;           // the install directory with a trailing backslash
    List<String> recordedDirectories;   // removed after the record's files
    // Parents of the install directory that the destination step made,
    // the nearest first: the self-removal script removes them when empty.
    List<String> madeParents;
    // The folders an installation places its files, shortcuts and fonts
    // in: whatever its record says, nothing outside them is removed.
    String ownedFolders[kOwnedFolderCount];
};

// Uninstalls the product named run.productName. run.installDirectory
// receives the registration's InstallLocation as soon as it is read. True
// only when every step succeeded; false when the run could not start (the
// reason is shown) or something could not be removed (kept for another
// run).
BYTE UninstallRun(UninstallerRun& run);
