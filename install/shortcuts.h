// Shortcuts of the placed files and of the uninstaller, and fonts.
#pragma once

#include "core/string.h"
#include "install/install_run.h"

// The shortcuts asked for by the placed files, in order.
void MakeFileShortcuts(InstallRun& run);
// The uninstaller's shortcuts.
void MakeUninstallShortcuts(InstallRun& run);
// Adds a placed font file to the system; `name` is the record's file name,
// `title` its font name.
void AddPlacedFont(InstallRun& run, const char* name, const String& destination,
                   const char* title, bool permanent);
// Tells every window that the fonts changed, when a font was added.
void AnnounceFontChange(const InstallRun& run);
