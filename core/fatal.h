// The foundation's fatal stops. Each one reports its text (a message box
// captioned "FATAL ERROR" in the stub, stderr in the native build) and ends
// the process with exit code 1; none of them returns.
#pragma once

#include <stddef.h>

#include "core/string.h"

// Formats like printf (String::Format) and stops the program.
[[noreturn]] void FatalError(const char* format, ...) VELT_PRINTF_FORMAT(1, 2);

// A failed internal check: FatalError("%s %d", file, line), where file names
// the module of the check ("Core32") and line is its number.
[[noreturn]] void AssertionStop(const char* file, int line);

// The heap could not supply size bytes: "Out Of Memory. ... Requested size = ".
[[noreturn]] void OutOfMemory(size_t size);

// Platform part: shows or prints the finished text and ends the process.
[[noreturn]] void ReportFatal(const char* text);

#ifdef _WIN32
// Shows the fatal box and ends the process, when the layer that owns the
// program's windows has set it (OwnFatalBoxes); until then the box has no
// owner and the process ends with exit code 1 right after it.
extern void (*FatalReportHook)(const char* text);
#endif

// Platform part: makes failed `new` (and, on Windows, failed malloc) reach
// OutOfMemory. Runs during static initialisation.
void InstallOutOfMemoryHandler();
