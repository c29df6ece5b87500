// The product's own registry key and its file associations.
#pragma once

#include <windows.h>

#include "core/string.h"
#include "install/install_run.h"
#include "system/registry.h"

// The product's key under HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER.
void CreateProductKeys(InstallRun& run);
// Every association of the description for the selected language,
// recorded in run.associationRecords for the uninstaller.
void AssociateFileTypes(InstallRun& run);
// Makes `value` the default value of `key`; a different earlier
// default is kept in the value "<productName> Backup". With ignoreCase an
// earlier default that differs only in letter case counts as the same.
// True when the default value was written.
BYTE ReplaceDefaultValue(const RegistryKey& key, const String& productName, const String& value,
                         bool ignoreCase = false);
