// The program's reporting routines. ExitProgram, PumpMessages and the
// windows that own the boxes are the user interface's (ui/program_windows.h).
#pragma once

#include <windows.h>

#include "core/string.h"
#include "product/run.h"
#include "ui/program_windows.h"

// The non-fatal error box, captioned by message 21 (or "Error") and owned
// by the progress dialog when it is open, else by the background window.
// Formats like printf; a blank text, and the run's automatic mode, show
// nothing.
void ShowError(const ProductRun& run, const char* format, ...) VELT_PRINTF_FORMAT(2, 3);
// The corrupt-archive stop: message 13, or the built-in text, with the code.
[[noreturn]] void ArchiveCorrupt(int code);
// The usage stop: text, then the switches the program understands.
[[noreturn]] void UsageError(const char* text);
// The system's text for the thread's last error code; "" for code 0 or
// when the system has none. Valid until the next call.
const char* LastErrorText();
// The system is of the NT family.
BYTE IsWindowsNT();
