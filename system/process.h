// Child processes.
#pragma once

#include <windows.h>

#include "core/string.h"

// Starts the program of commandLine (the system may change the text while
// it reads it) with the creation flags, in workDir (null or "": ours).
// show is the first window's show state, or -1 for the program's own
// choice. Returns the process handle, to be closed with CloseProcess; null
// with the reason in GetLastError() when nothing started.
HANDLE StartProcess(String& commandLine, DWORD creationFlags, int show, const char* workDir);
void CloseProcess(HANDLE process);

// Restarts the system, not just the session: files in use are replaced
// while it starts. The NT family restarts only for a process that has
// switched on its shutdown privilege, which nt asks for first. False when
// the system refused.
bool RestartSystem(bool nt);
