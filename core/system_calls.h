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
//
// Left outside: closing handles (CloseHandle, FindClose, RegCloseKey) and
// releasing a hash or its provider, whose failure nobody could act on;
// what the system answers without touching a file (GetFullPathNameA,
// GetModuleFileNameA, the Windows, system and current directories,
// GetDriveTypeA); the loader (LoadLibraryExA, GetProcAddress, version.dll's
// functions linked at run time); the wait for a batch's process and the
// shutdown privilege; COM's shortcut object and the shell's folder picker
// of ui/.
#pragma once

#include <windows.h>
#include <shellapi.h>
#include <wincrypt.h>

// X(function, value returned by a failed call, with `error` the reason).
// Registry functions return their reason instead of setting it.
#define VELT_SYSTEM_CALLS(X)                                \
    X(CreateFileA, INVALID_HANDLE_VALUE)                    \
    X(ReadFile, FALSE)                                      \
    X(WriteFile, FALSE)                                     \
    X(SetFilePointer, INVALID_SET_FILE_POINTER)             \
    X(GetFileSize, INVALID_FILE_SIZE)                       \
    X(GetFileTime, FALSE)                                   \
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
    X(FindFirstFileA, INVALID_HANDLE_VALUE)                 \
    X(FindNextFileA, FALSE)                                 \
    X(GetShortPathNameA, 0)                                 \
    X(GetDiskFreeSpaceA, FALSE)                             \
    X(GetTempFileNameA, 0)                                  \
    X(GetTempPathA, 0)                                      \
    X(WritePrivateProfileStringA, FALSE)                    \
    X(RegCreateKeyExA, (LONG)error)                         \
    X(RegOpenKeyExA, (LONG)error)                           \
    X(RegQueryValueExA, (LONG)error)                        \
    X(RegEnumKeyA, (LONG)error)                             \
    X(RegQueryInfoKeyA, (LONG)error)                        \
    X(RegSetValueExA, (LONG)error)                          \
    X(RegDeleteValueA, (LONG)error)                         \
    X(RegDeleteKeyA, (LONG)error)                           \
    X(CreateProcessA, FALSE)                                \
    X(ExitWindowsEx, FALSE)                                 \
    X(ShellExecuteA, (HINSTANCE)SE_ERR_ACCESSDENIED)        \
    X(AddFontResourceA, 0)                                  \
    X(RemoveFontResourceA, 0)                               \
    X(CryptAcquireContextA, FALSE)                          \
    X(CryptCreateHash, FALSE)                               \
    X(CryptHashData, FALSE)                                 \
    X(CryptGetHashParam, FALSE)

#define VELT_SYSTEM_CALL_MEMBER(function, failure) decltype(&::function) function;
// One pointer per Win32 function the wrappers use.
struct SystemCalls {
    VELT_SYSTEM_CALLS(VELT_SYSTEM_CALL_MEMBER)
};
#undef VELT_SYSTEM_CALL_MEMBER

// The functions the wrappers call: the system's own, unless the test stub
// swapped one.
extern SystemCalls Sys;
