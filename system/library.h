// Run-time linking. Libraries are always loaded from the system directory,
// never by a bare name that the search order could resolve to a planted
// file, and every library kept is freed when the process exits.
#pragma once

#include <windows.h>

#include "core/string.h"

// Returns 1 and sets *function when the library loads and exports name;
// otherwise 0, *function = null, and the library is not kept.
BYTE LinkFunction(const char* library, const char* name, FARPROC* function);

struct LinkEntry {
    const char* name;           // exported function name
    FARPROC* function;          // filled in (null when missing); null ends the table
    BYTE optional;              // 1: a missing function is no failure
};
// Links every entry of a table from one library, which is kept in every
// case once it loaded. Returns 0 when the library does not load (nothing
// linked) or a function without the optional mark is missing.
BYTE LinkFunctionTable(const char* library, const LinkEntry* table);

// Limits the library search of the process to the system directory, where
// the system supports it. Called first thing at start.
void RestrictLibrarySearch();
// The full path of a library in the system directory.
String SystemLibraryPath(const char* library);
