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
// Makes `value` the default value of `key`, which the open that gave
// `opened` (RegOpenedExisting or RegCreatedNew) found or made. What the key
// was before is kept once in the value "<productName> Backup", for the
// uninstaller: an empty value of no type (REG_NONE) for a key the
// installation created, else the earlier default with its type (an empty
// text when it had none). A null value only marks a created key. True
// when the default value was written (or none was asked for).
BYTE ReplaceDefaultValue(const RegistryKey& key, DWORD opened, const String& productName,
                         const String* value);
