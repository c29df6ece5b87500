// The one retry policy of the wrappers of core/ and system/.
//
// Only errors known to pass by themselves are retried: a sharing or lock
// violation while a virus scanner, an indexer or a backup holds the file
// for a moment. Anything else is the answer and goes back to the caller at
// once. A retry comes after a short wait, at most kTransientRetries times
// for one call, and each one leaves a line in the retry log.
#pragma once

#include "core/string.h"

const int kTransientRetries = 3;
const unsigned long kTransientRetryDelayMs = 100;

// After a failed call, with its reason in GetLastError(): true when the
// reason is transient and `retries` (the retries made so far for this call,
// counted up here) is below the limit; then it has waited and logged
// "Retrying <action> of <name> (error <code>)". False otherwise. The reason
// stays readable either way.
bool RetryAfterTransientError(int& retries, const char* action, const char* name);

// Leaves "Retrying <action> of <name> (error <code>)" in the retry log, the
// code being GetLastError(), which stays. For a caller that retries on its
// own terms (the three attempts of placing a file).
void LogRetry(const char* action, const char* name);

// Where the retry lines go: the log text of the run, or null for none.
// The run that sets it clears it again before the text goes away.
void SetRetryLog(String* log);
