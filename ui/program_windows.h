// The program's windows, which live for the whole run, the owner of its
// boxes, and the way out that closes them.
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

// How the run ended, for its exit code. A run counts as cancelled until it
// learns otherwise: every way out that it does not mark is the user's no.
enum RunOutcome : uint8_t {
    OutcomeCancelled = 0,
    OutcomeFailed = 1,          // a fatal stop, or errors the user was told of
    OutcomeSucceeded = 2,
    OutcomeRestartPending = 3,  // succeeded, but a restart it needs was not made
};
extern uint8_t Outcome;
// With the product's standard-exit-codes switch the exit code tells the
// outcome (0, 3010, 1602, 1603, as deployment tools read them); without it
// every run ends with 1.
extern uint8_t StandardExitCodes;

// Destroys the background window and then the progress dialog (those that
// exist) and ends the process: exit code 1, or the outcome's standard code.
[[noreturn]] void ExitProgram();

// Dispatches every waiting message of the thread without waiting. Returns
// 1 as soon as a destroy, close or quit message went through, else 0 once
// the queue is empty.
BYTE PumpMessages();

// From now on the fatal stops show their box owned by BoxOwner() and end
// through ExitProgram.
void OwnFatalBoxes();
