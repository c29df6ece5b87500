// The test stub's failure plan (built only into velt-stub-faults, with
// VELT_SYSTEM_FAULTS): before anything else runs, the entries of Sys named
// by the environment variable VELT_SYSTEM_FAULTS are replaced by hooks that
// count their calls and make the planned one fail.
//
// The plan is a list of "Function:N:error" separated by ";", for example
// "MoveFileExA:2:32;RegSetValueExA:1:5": the second MoveFileExA call fails
// with ERROR_SHARING_VIOLATION, the first RegSetValueExA with
// ERROR_ACCESS_DENIED. A failed call does nothing and returns what the
// system returns for a failure, with the error as its reason; every other
// call goes to the system.
#ifndef VELT_SYSTEM_FAULTS
#error "system_faults_win32.cpp belongs to the test stub only"
#endif

#include <stdlib.h>
#include <string.h>

#include "core/system_calls.h"

namespace {

#define VELT_SYSTEM_CALL_INDEX(function, failure) k##function,
enum CallIndex { VELT_SYSTEM_CALLS(VELT_SYSTEM_CALL_INDEX) kCallCount };
#undef VELT_SYSTEM_CALL_INDEX

#define VELT_SYSTEM_CALL_NAME(function, failure) #function,
const char* const kCallNames[] = {VELT_SYSTEM_CALLS(VELT_SYSTEM_CALL_NAME)};
#undef VELT_SYSTEM_CALL_NAME

struct PlannedFault {
    int calls = 0;          // calls of the entry so far
    int failing = 0;        // the call (from 1) that fails; 0 for none
    DWORD error = 0;        // its reason
};
PlannedFault plan[kCallCount];
SystemCalls original;       // the system's functions, for every call that passes

bool TakeFault(int index, DWORD* error)
{
    PlannedFault& fault = plan[index];
    if (++fault.calls != fault.failing)
        return false;
    *error = fault.error;
    return true;
}

template <typename Pointer> struct Hook;
template <typename Result, typename... Args> struct Hook<Result(WINAPI*)(Args...)> {
    template <int Index, Result(WINAPI* SystemCalls::*Member)(Args...), typename Failure>
    static Result WINAPI Call(Args... args)
    {
        DWORD error;
        if (!TakeFault(Index, &error))
            return (original.*Member)(args...);
        SetLastError(error);
        return (Result)Failure::Value(error);
    }
};

#define VELT_SYSTEM_CALL_FAILURE(function, failure) \
    struct Fail##function {                         \
        static auto Value(DWORD error)              \
        {                                           \
            (void)error;                            \
            return failure;                         \
        }                                           \
    };
VELT_SYSTEM_CALLS(VELT_SYSTEM_CALL_FAILURE)
#undef VELT_SYSTEM_CALL_FAILURE

int IndexOf(const char* name, size_t length)
{
    for (int i = 0; i < kCallCount; i++) {
        if (strlen(kCallNames[i]) == length && strncmp(kCallNames[i], name, length) == 0)
            return i;
    }
    return -1;
}

// Reads "Function:N:error" entries; a malformed entry is skipped.
void ReadPlan(const char* text)
{
    while (*text) {
        const char* colon = strchr(text, ':');
        if (!colon)
            return;
        int index = IndexOf(text, (size_t)(colon - text));
        char* end;
        long call = strtol(colon + 1, &end, 10);
        DWORD error = *end == ':' ? (DWORD)strtoul(end + 1, &end, 10) : 0;
        if (index >= 0 && call > 0) {
            plan[index].failing = (int)call;
            plan[index].error = error;
        }
        text = end;
        while (*text == ';' || *text == ' ')
            text++;
    }
}

void InstallFaults()
{
    char text[1024];
    DWORD length = GetEnvironmentVariableA("VELT_SYSTEM_FAULTS", text, sizeof text);
    if (length == 0 || length >= sizeof text)
        return;
    ReadPlan(text);
    original = Sys;
#define VELT_SYSTEM_CALL_HOOK(function, failure)                                          \
    if (plan[k##function].failing)                                                       \
        Sys.function = &Hook<decltype(&::function)>::template Call<k##function,          \
                                                                   &SystemCalls::function, \
                                                                   Fail##function>;
    VELT_SYSTEM_CALLS(VELT_SYSTEM_CALL_HOOK)
#undef VELT_SYSTEM_CALL_HOOK
}

// Sys is filled by the linker, so a constructor may change it.
struct FaultInstaller {
    FaultInstaller() { InstallFaults(); }
} installer;

}  // namespace
