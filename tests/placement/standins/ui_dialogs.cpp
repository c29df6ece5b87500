// STAND-IN for the test program only, linked while ui/dialogs.cpp is not
// in the tree: a status line that is formatted and dropped.
#include "ui/dialogs.h"

#include <stdarg.h>

uint8_t SetStatusText(const char* format, ...)
{
    String text;
    va_list args;
    va_start(args, format);
    text.AppendFormatV(format, args);
    va_end(args);
    return 0;
}
