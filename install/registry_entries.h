// The product's own registry key and its file associations.
#pragma once

// The product's key under HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER.
void CreateProductKeys();
// Every association of the description, recorded for the uninstaller.
void AssociateFileTypes();
