// Placing the archive's files: one record at a time from the archive
// cursor, under the overwrite, date and version rules, with files in use
// replaced at the next start of the system; and the shared-file counts.
#pragma once

#include <stdint.h>

#include "core/format.h"
#include "core/string.h"
#include "install/install_run.h"

// Reads record `index` at the run's archive cursor and places it. The
// cursor moves past the whole record whether or not the file is placed.
void PlaceFile(InstallRun& run, int index);

// Writes `size` bytes to `path` (three attempts) and sets its time when
// `time` is set, under the product's write flags. A failure appends its
// error line to `errorText`.
bool WriteInstalledFile(const InstallRun& run, const char* path, const uint8_t* data,
                        int32_t size, const DateTime& time, String& errorText);

// `time` is unset, the existing file's time cannot be read, or it is
// earlier than `time`.
bool IsOutOfDate(const char* path, const DateTime& time);

// Links MoveFileExA for the replacements at the next start (NT family).
void LinkMoveFileEx();

// Counts this run's shared files in SharedDLLs, taking back the counts of
// the installation it replaces, and rebuilds run.previousSharedFiles.
void UpdateSharedCounts(InstallRun& run);
