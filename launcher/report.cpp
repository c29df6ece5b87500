// The program's reporting routines.
#include "launcher/report.h"

HWND BackgroundWindow = NULL;
HWND ProgressDialog = NULL;

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
