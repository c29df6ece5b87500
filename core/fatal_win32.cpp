// The stub's report of the fatal stops: a task-modal stop box, then the
// common exit.
#include <windows.h>

#include "core/fatal.h"
#include "launcher/report.h"

void ReportFatal(const char* text)
{
    HWND owner = ProgressDialog != NULL ? ProgressDialog : BackgroundWindow;
    MessageBoxA(owner, text, "FATAL ERROR", MB_TASKMODAL | MB_ICONHAND);
    ExitProgram();
}
