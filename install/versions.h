// Installed products and versions.
#pragma once

#include "core/string.h"

// The product has a registration with an uninstall command; `location`
// gets its InstallLocation.
bool ProductIsInstalled(const char* name, String& location);

// Compares version texts number by number, then by their last letter.
// Negative, 0 or positive.
int CompareVersions(const char* a, const char* b);
