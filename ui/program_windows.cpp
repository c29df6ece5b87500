#include "ui/program_windows.h"

#include "core/fatal.h"
#include "ui/messages.h"

HWND BackgroundWindow = NULL;
HWND ProgressDialog = NULL;

namespace {

void ShowFatalBox(const char* text)
{
    Outcome = OutcomeFailed;
    MessageBoxA(BoxOwner(), text, "FATAL ERROR", MB_TASKMODAL | MB_ICONHAND);
    ExitProgram();
}

}  // namespace

uint8_t Outcome = OutcomeCancelled;
uint8_t StandardExitCodes = 0;

HWND BoxOwner()
{
    return ProgressDialog != NULL ? ProgressDialog : BackgroundWindow;
}

int AskQuestion(const char* text, int caption)
{
    return MessageBoxA(BoxOwner(), text, MessageText(caption), MB_YESNO | MB_ICONQUESTION);
}

void ExitProgram()
{
    if (BackgroundWindow != NULL) {
        DestroyWindow(BackgroundWindow);
        BackgroundWindow = NULL;
    }
    if (ProgressDialog != NULL) {
        DestroyWindow(ProgressDialog);
        ProgressDialog = NULL;
    }
    // Indexed by RunOutcome.
    static const UINT kStandardCodes[] = {1602, 1603, 0, 3010};
    ExitProcess(StandardExitCodes ? kStandardCodes[Outcome & 3] : 1);
}

void OwnFatalBoxes()
{
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
