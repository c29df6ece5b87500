// The program's windows, which live for the whole run, the owner of its
// boxes, and the way out that closes them.
//
// The two windows are process-wide: the boxes that the dialog procedures,
// the message pumps and the fatal stops show must find their owner from
// inside the system's calls, where no run can be handed to them.
#pragma once

#include <windows.h>
#include <stdint.h>

// The full-screen background window, from start-up to the end of the run;
// NULL before it is created and after ExitProgram destroyed it.
extern HWND BackgroundWindow;
// The progress dialog while files are placed; NULL when not open.
extern HWND ProgressDialog;

// The owner of the program's boxes: the progress dialog when it is open,
// else the background window (NULL when neither exists).
HWND BoxOwner();

// A Yes/No question with the question icon, owned by BoxOwner() and
// captioned by message `caption`. Returns the button pressed (IDYES...).
int AskQuestion(const char* text, int caption);

// Destroys the background window and then the progress dialog (those that
// exist) and ends the process with `exitCode`.
[[noreturn]] void ExitProgram(UINT exitCode);

// Dispatches every waiting message of the thread without waiting. Returns
// 1 as soon as a destroy, close or quit message went through, else 0 once
// the queue is empty.
BYTE PumpMessages();

// From now on the fatal stops show their box owned by BoxOwner() and end
// through ExitProgram with `exitCode`. Called again when the run learns
// which exit codes its product wants.
void OwnFatalBoxes(UINT exitCode);
