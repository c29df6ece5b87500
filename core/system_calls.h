// The seam to the system: every file, directory, registry, process and
// shell call that the wrappers of core/ and system/ make goes through the
// table Sys, one entry per Win32 function, named as the function is.
//
// The product's table holds the system's own functions and nothing else.
// The test stub (the same sources with VELT_SYSTEM_FAULTS, target
// velt-stub-faults) replaces entries at start-up so that a chosen call
// fails with a chosen error (system_faults_win32.cpp); the flows above the
// wrappers never see the difference.
//
// Only the wrappers call through Sys: the flows (launcher/, install/,
// uninstall/, ui/) call the wrappers.
#pragma once

#include <windows.h>
#include <shellapi.h>

// X(function, value returned by a failed call, with `error` the reason).
// Registry functions return their reason instead of setting it.
#define VELT_SYSTEM_CALLS(X)                                \
    X(CreateFileA, INVALID_HANDLE_VALUE)                    \
    X(WriteFile, FALSE)                                     \
    X(FlushFileBuffers, FALSE)                              \
    X(SetEndOfFile, FALSE)                                  \
    X(SetFileTime, FALSE)                                   \
    X(MoveFileA, FALSE)                                     \
    X(MoveFileExA, FALSE)                                   \
    X(DeleteFileA, FALSE)                                   \
    X(GetFileAttributesA, INVALID_FILE_ATTRIBUTES)          \
    X(SetFileAttributesA, FALSE)                            \
    X(CreateDirectoryA, FALSE)                              \
    X(RemoveDirectoryA, FALSE)                              \
    X(GetTempFileNameA, 0)                                  \
    X(GetTempPathA, 0)                                      \
    X(WritePrivateProfileStringA, FALSE)                    \
    X(RegCreateKeyExA, (LONG)error)                         \
    X(RegOpenKeyExA, (LONG)error)                           \
    X(RegSetValueExA, (LONG)error)                          \
    X(RegDeleteValueA, (LONG)error)                         \
    X(RegDeleteKeyA, (LONG)error)                           \
    X(CreateProcessA, FALSE)                                \
    X(ExitWindowsEx, FALSE)                                 \
    X(ShellExecuteA, (HINSTANCE)SE_ERR_ACCESSDENIED)

#define VELT_SYSTEM_CALL_MEMBER(function, failure) decltype(&::function) function;
// One pointer per Win32 function the wrappers use.
struct SystemCalls {
    VELT_SYSTEM_CALLS(VELT_SYSTEM_CALL_MEMBER)
};
#undef VELT_SYSTEM_CALL_MEMBER

// The functions the wrappers call: the system's own, unless the test stub
// swapped one.
extern SystemCalls Sys;
