// The portable half of the fatal stops: the texts. Reporting them is the
// platform's (fatal_native.cpp, fatal_win32.cpp).
#include "core/fatal.h"

#include <stdarg.h>

namespace {

bool reporting = false;     // a fatal stop is being formatted

// Every program that can stop fatally has the out-of-memory handler.
const bool handlerInstalled = (InstallOutOfMemoryHandler(), true);

} // namespace

void FatalError(const char* format, ...)
{
    // Formatting needs the heap; if it fails in turn, the second
    // stop must not recurse: report the bare format text.
    if (reporting)
        ReportFatal(format);
    reporting = true;
    String text;
    va_list args;
    va_start(args, format);
    text.AppendFormatV(format, args);
    va_end(args);
    ReportFatal(text.CStr());
}

void AssertionStop(const char* file, int line)
{
    FatalError("%s %d", file, line);
}

void OutOfMemory(size_t size)
{
    (void)handlerInstalled;
    // The size text needs a little heap; should that fail too, the heap
    // handler calls back here, and the second call must not loop.
    static bool inside = false;
    if (inside)
        ReportFatal("Out Of Memory.  Make sure your hard drive is not full.");
    inside = true;
    FatalError("Out Of Memory.  Make sure your hard drive is not full.\nRequested size = %s",
               String::FromInt64Grouped((long long)size).CStr());
}
