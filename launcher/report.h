// The program's reporting routines and the process-wide windows they use.
#pragma once

#include <windows.h>

#include "core/string.h"

// The full-screen background window, from start-up to the end of the run;
// NULL before it is created and after ExitProgram destroyed it.
extern HWND BackgroundWindow;
// The progress dialog while files are placed; NULL when not open.
extern HWND ProgressDialog;

// Destroys the background window and then the progress dialog (those that
// exist) and ends the process with exit code 1.
[[noreturn]] void ExitProgram();

// The non-fatal error box, captioned by message 21 (or "Error") and owned
// by the progress dialog when it is open, else by the background window.
// Formats like printf; a blank text, and automatic mode, show nothing.
void ShowError(const char* format, ...) VELT_PRINTF_FORMAT(1, 2);
// The corrupt-archive stop: message 13, or the built-in text, with the code.
[[noreturn]] void ArchiveCorrupt(int code);
// The usage stop: text, then the switches the program understands.
[[noreturn]] void UsageError(const char* text);
// The system's text for the thread's last error code; "" for code 0 or
// when the system has none. Valid until the next call.
const char* LastErrorText();
// The system is of the NT family.
BYTE IsWindowsNT();
// Dispatches every waiting message of the thread without waiting. Returns
// 1 as soon as a destroy, close or quit message went through, else 0 once
// the queue is empty.
BYTE PumpMessages();
