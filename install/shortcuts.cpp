#include "install/shortcuts.h"

// Filled in with the shortcuts and the fonts.
void MakeFileShortcuts()
{
}

void MakeUninstallShortcuts()
{
}

void AddPlacedFont(const char*, const String&, const char*, bool)
{
}

void AnnounceFontChange()
{
}
