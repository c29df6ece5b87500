#include "system/process.h"

#include "core/system_calls.h"

HANDLE StartProcess(String& commandLine, DWORD creationFlags, int show, const char* workDir)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (show >= 0) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = (WORD)show;
    }
    PROCESS_INFORMATION process = {};
    if (!Sys.CreateProcessA(NULL, commandLine.Data(), NULL, NULL, FALSE, creationFlags, NULL,
                            workDir && *workDir ? workDir : NULL, &startup, &process))
        return NULL;
    CloseHandle(process.hThread);
    return process.hProcess;
}

void CloseProcess(HANDLE process)
{
    CloseHandle(process);
}
