// The stub's report of the fatal stops: a task-modal stop box, then the
// end of the process with exit code 1.
#include <windows.h>

#include "core/fatal.h"

void (*FatalReportHook)(const char* text) = NULL;

void ReportFatal(const char* text)
{
    if (FatalReportHook != NULL)
        FatalReportHook(text);
    MessageBoxA(NULL, text, "FATAL ERROR", MB_TASKMODAL | MB_ICONHAND);
    ExitProcess(1);
}
