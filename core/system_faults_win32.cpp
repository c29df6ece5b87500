// The test stub's failure plan (built only into velt-stub-faults, with
// VELT_SYSTEM_FAULTS): before anything else runs, entries of Sys are
// replaced by hooks that count their calls and make the planned ones fail.
//
// VELT_SYSTEM_FAULTS is a list of "Function:N:error[:count]" separated by
// ";", for example "MoveFileExA:2:32;RegSetValueExA:1:5:0": the second
// MoveFileExA call fails with ERROR_SHARING_VIOLATION, and every
// RegSetValueExA call from the first on with ERROR_ACCESS_DENIED. count is
// how many calls fail from the Nth on (1 when left out, 0 for all). A
// failed call does nothing and returns what the system returns for a
// failure, with the error as its reason; every other call goes on to the
// system.
//
// VELT_SYSTEM_TRACE names a file to which every call through Sys appends
// a line "Function N texts", N counting the calls of that function from 1
// and texts the call's text arguments that are not null (paths, names,
// command lines), and " FAILS" for a planned failure, so that a test can
// find the N of the call it aims at.
#ifndef VELT_SYSTEM_FAULTS
#error "system_faults_win32.cpp belongs to the test stub only"
#endif

#include <stdlib.h>
#include <string.h>

#include <type_traits>

#include "core/string.h"
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
    int failing = 0;        // the first call (from 1) that fails; 0 for none
    int count = 1;          // how many fail from there; 0 for all
    DWORD error = 0;        // their reason
};
PlannedFault plan[kCallCount];
SystemCalls original;       // the system's functions, for every call that passes
HANDLE trace = INVALID_HANDLE_VALUE;    // the trace file, when asked for

// Counts the call; true when it is to fail, with the reason.
bool TakeFault(int index, DWORD* error)
{
    PlannedFault& fault = plan[index];
    int call = ++fault.calls;
    if (fault.failing == 0 || call < fault.failing
        || (fault.count != 0 && call >= fault.failing + fault.count))
        return false;
    *error = fault.error;
    return true;
}

// The text arguments that are not null, each after " ", onto line. A
// `char*` is mostly a buffer the call is to fill, whose bytes are nobody's
// yet: it counts only where it is the call's input (writable), as the
// command line of CreateProcessA is.
void AppendTexts(String& line, bool writableIsInput)
{
    (void)line;
    (void)writableIsInput;
}

template <typename First, typename... Rest>
void AppendTexts(String& line, bool writableIsInput, First first, Rest... rest)
{
    if constexpr (std::is_same_v<First, const char*> || std::is_same_v<First, char*>) {
        if (first && (std::is_same_v<First, const char*> || writableIsInput)) {
            line.Append(" ");
            line.Append(first);
        }
    }
    AppendTexts(line, writableIsInput, rest...);
}

void Trace(const String& line)
{
    if (trace == INVALID_HANDLE_VALUE)
        return;
    DWORD error = GetLastError();
    DWORD written;
    ::WriteFile(trace, line.CStr(), (DWORD)line.Length(), &written, NULL);
    SetLastError(error);
}

template <typename Pointer> struct Hook;
template <typename Result, typename... Args> struct Hook<Result(WINAPI*)(Args...)> {
    template <int Index, Result(WINAPI* SystemCalls::*Member)(Args...), typename Failure>
    static Result WINAPI Call(Args... args)
    {
        DWORD error;
        bool fails = TakeFault(Index, &error);
        if (trace != INVALID_HANDLE_VALUE) {
            String line = String::Formatted("%s %d", kCallNames[Index], plan[Index].calls);
            AppendTexts(line, Index == kCreateProcessA || Index == kRegCreateKeyExA, args...);
            line.Append(fails ? " FAILS\r\n" : "\r\n");
            Trace(line);
        }
        if (!fails)
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
        long count = *end == ':' ? strtol(end + 1, &end, 10) : 1;
        if (index >= 0 && call > 0 && count >= 0) {
            plan[index].failing = (int)call;
            plan[index].count = (int)count;
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
    if (length != 0 && length < sizeof text)
        ReadPlan(text);
    length = GetEnvironmentVariableA("VELT_SYSTEM_TRACE", text, sizeof text);
    if (length != 0 && length < sizeof text)
        trace = ::CreateFileA(text, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    original = Sys;
    bool tracing = trace != INVALID_HANDLE_VALUE;
#define VELT_SYSTEM_CALL_HOOK(function, failure)                                          \
    if (tracing || plan[k##function].failing)                                            \
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
