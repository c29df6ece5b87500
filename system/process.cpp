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

namespace {

void EnableShutdownPrivilege()
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueA(NULL, "SeShutdownPrivilege", &privileges.Privileges[0].Luid))
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, NULL, NULL);
    CloseHandle(token);
}

}  // namespace

bool RestartSystem(bool nt)
{
    if (nt)
        EnableShutdownPrivilege();
    return Sys.ExitWindowsEx(EWX_REBOOT, 0xFFFFFFFF) != 0;
}
