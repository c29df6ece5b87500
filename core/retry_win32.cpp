#include "core/retry.h"

#include <windows.h>

namespace {

// The run's log text. Process-wide because the wrappers that retry sit
// below every run and take no run of their own; set and cleared by the run.
String* retryLog = nullptr;

bool IsTransient(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

}  // namespace

void SetRetryLog(String* log)
{
    retryLog = log;
}

void LogRetry(const char* action, const char* name)
{
    DWORD error = GetLastError();
    if (retryLog)
        retryLog->AppendFormat("Retrying %s of %s (error %lu)\r\n", action, name ? name : "",
                               (unsigned long)error);
    SetLastError(error);
}

bool RetryAfterTransientError(int& retries, const char* action, const char* name)
{
    DWORD error = GetLastError();
    if (!IsTransient(error) || retries >= kTransientRetries)
        return false;
    retries++;
    LogRetry(action, name);
    Sleep(kTransientRetryDelayMs);
    SetLastError(error);
    return true;
}
