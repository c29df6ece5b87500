// Removing the uninstaller's own file, which is in use while it runs: a
// batch script deletes it once the process has ended.
#pragma once

#include <stdint.h>

#include "uninstall/uninstall_run.h"

// Results of RemoveUninstaller.
enum : uint32_t {
    SelfRemovalStarted = 0,
    SelfRemovalScriptFailed = 1,        // the folder or the script could not be written
    SelfRemovalStartFailed = 2,         // the command interpreter did not start
};

// Writes the script into a new private folder of the temporary folder
// (system/private_folder.h) and starts it in a minimised console of its
// own. The script waits until the registered uninstaller's file can be
// deleted (a while at most), removes the uninstall folder, the run's
// installation directory and the parents the installation made
// (run.madeParents) when they are empty, then deletes itself and its
// folder.
uint32_t RemoveUninstaller(UninstallerRun& run);
