#include "ui/program_windows.h"

#include "core/fatal.h"

HWND BackgroundWindow = NULL;
HWND ProgressDialog = NULL;

namespace {

void ShowFatalBox(const char* text)
{
    MessageBoxA(BoxOwner(), text, "FATAL ERROR", MB_TASKMODAL | MB_ICONHAND);
    ExitProgram();
}

}  // namespace

HWND BoxOwner()
{
    return ProgressDialog != NULL ? ProgressDialog : BackgroundWindow;
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
    ExitProcess(1);
}

void OwnFatalBoxes()
{
    FatalReportHook = ShowFatalBox;
}
