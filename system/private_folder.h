// Folders of the run's own for files that an elevated run writes and then
// hands to another program (batch scripts): nobody without the run's
// rights may create, change or swap anything in them.
#pragma once

#include "core/string.h"

// Makes a new folder "QDT<tag><8 hex digits>" in the temporary folder,
// never one that exists already, whose access list is its own (nothing
// inherited from the temporary folder): full control for the
// administrators, SYSTEM and the running account, passed on to what it
// will hold. Returns its path, or "" when none could be made.
String MakePrivateFolder(char tag);
