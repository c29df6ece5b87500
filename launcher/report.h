// The program's reporting routines and the process-wide windows they use.
#pragma once

#include <windows.h>

// The full-screen background window, from start-up to the end of the run;
// NULL before it is created and after ExitProgram destroyed it.
extern HWND BackgroundWindow;
// The progress dialog while files are placed; NULL when not open.
extern HWND ProgressDialog;

// Destroys the background window and then the progress dialog (those that
// exist) and ends the process with exit code 1.
[[noreturn]] void ExitProgram();
