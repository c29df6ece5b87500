// The shared-file list: the shared (type 1) and system (type 6) files an
// installation counted in SharedDLLs. The placement makes the list, the
// registration keeps it as its SharedFiles text, and both the next
// installation of the product (which takes its counts back) and the
// uninstaller (which counts them down) read it again: its writer and its
// reader live here, side by side.
//
// An entry is the file's path, with one blank after it when the file is
// only counted and never deleted (a system file or a permanent shared
// file). The text holds the entries in double quotes, separated by ";":
//
//   "C:\Shared\two.dll";"C:\Windows\system32\one.dll "
//
// Portable: tested on the host.
#pragma once

#include "core/string.h"

// The entry for `path`: with its blank when the file is only counted.
String SharedFileEntry(const String& path, bool countOnly);

// The SharedDLLs value an entry counts: its path without the blank.
String SharedFilePath(const String& entry);

// Appends `entry` to the list text `list`.
void AppendSharedFile(String& list, const String& entry);

// Takes the next entry from the front of the list text `list`: its path
// into `path` and whether it is only counted into `countOnly`. Blanks and
// line ends before an entry are skipped, one ";" after it is removed.
// Returns no when the list holds no further entry: it is at its end, the
// next text is not in quotes, or the entry is empty; the reading ends
// there.
bool PopSharedFile(String& list, String& path, bool& countOnly);
