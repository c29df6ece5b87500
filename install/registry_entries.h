// The product's own registry key and its file associations.
#pragma once

#include <windows.h>

#include "core/string.h"

// The product's key under HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER.
void CreateProductKeys();
// Every association of the description, recorded for the uninstaller.
void AssociateFileTypes();
// Makes `value` the current key's default value; a different earlier
// default is kept in the value "<product> Backup". With ignoreCase an
// earlier default that differs only in letter case counts as the same.
// True when the default value was written.
BYTE ReplaceDefaultValue(const String& value, bool ignoreCase = false);
