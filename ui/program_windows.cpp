#include "ui/program_windows.h"

#include "core/fatal.h"
#include "ui/messages.h"

HWND BackgroundWindow = NULL;
HWND ProgressDialog = NULL;

namespace {

// The fatal-box owner's exit code. Process-wide: a fatal stop (core/fatal.h)
// comes from any depth of the program, where no run is at hand.
UINT FatalExitCode = 1;

void ShowFatalBox(const char* text)
{
    MessageBoxA(BoxOwner(), text, "FATAL ERROR", MB_TASKMODAL | MB_ICONHAND);
    ExitProgram(FatalExitCode);
}

}  // namespace

HWND BoxOwner()
{
    return ProgressDialog != NULL ? ProgressDialog : BackgroundWindow;
}

int AskQuestion(const char* text, int caption)
{
    return MessageBoxA(BoxOwner(), text, MessageText(caption), MB_YESNO | MB_ICONQUESTION);
}

void ExitProgram(UINT exitCode)
{
    if (BackgroundWindow != NULL) {
        DestroyWindow(BackgroundWindow);
        BackgroundWindow = NULL;
    }
    if (ProgressDialog != NULL) {
        DestroyWindow(ProgressDialog);
        ProgressDialog = NULL;
    }
    ExitProcess(exitCode);
}

void OwnFatalBoxes(UINT exitCode)
{
    FatalExitCode = exitCode;
    FatalReportHook = ShowFatalBox;
}

BYTE PumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
        if (message.message == WM_DESTROY || message.message == WM_CLOSE
            || message.message == WM_QUIT)
            return 1;
    }
    return 0;
}
