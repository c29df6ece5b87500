// Shortcuts of the placed files and of the uninstaller, and fonts.
#pragma once

#include "core/string.h"

// The shortcuts asked for by the placed files, in order.
void MakeFileShortcuts();
// The uninstaller's shortcuts.
void MakeUninstallShortcuts();
// Adds a placed font file to the system; `name` is the record's file name,
// `title` its font name.
void AddPlacedFont(const char* name, const String& destination, const char* title,
                   bool permanent);
// Tells every window that the fonts changed, when a font was added.
void AnnounceFontChange();
