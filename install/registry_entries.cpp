#include "install/registry_entries.h"

// Filled in with the registry entries and the associations.
void CreateProductKeys()
{
}

void AssociateFileTypes()
{
}
