// Native report of the fatal stops: the text on stderr, exit code 1, so that
// tests can check both.
#include <stdio.h>
#include <stdlib.h>

#include <new>

#include "core/fatal.h"

void ReportFatal(const char* text)
{
    fputs(text, stderr);
    fputc('\n', stderr);
    fflush(stderr);
    _Exit(1);
}

namespace {

// The standard new handler is not told the size that failed.
void OnNewFailure()
{
    OutOfMemory(0);
}

} // namespace

void InstallOutOfMemoryHandler()
{
    // Only the handler: replacing operator new would blind AddressSanitizer.
    std::set_new_handler(OnNewFailure);
}
