// Win32 formatting with the fault fallback. GCC has no __try, so a vectored
// exception handler jumps back out of the printf call on an access
// violation. The CRT's longjmp unwinds the SEH frames registered since the
// setjmp, which leaves the thread's handler chain intact.
#include <windows.h>

#include <setjmp.h>
#include <stdio.h>

#include "core/string.h"

int FormatGuarded(char* buffer, int size, const char* format, va_list args);

namespace {

jmp_buf* faultJump = nullptr;   // set only while FormatGuarded formats
PVOID faultHandler = nullptr;

LONG CALLBACK OnFault(EXCEPTION_POINTERS* info)
{
    if (faultJump == nullptr || info->ExceptionRecord->ExceptionCode != EXCEPTION_ACCESS_VIOLATION)
        return EXCEPTION_CONTINUE_SEARCH;
    jmp_buf* jump = faultJump;
    faultJump = nullptr;
    longjmp(*jump, 1);
}

} // namespace

int FormatGuarded(char* buffer, int size, const char* format, va_list args)
{
    if (faultHandler == nullptr)
        faultHandler = AddVectoredExceptionHandler(1, OnFault);
    jmp_buf jump;
    // volatile: read after longjmp returns here. -1 stays only on a fault.
    volatile int length = -1;
    if (setjmp(jump) == 0) {
        faultJump = &jump;
        // msvcrt's own printf, small; -1 means the output was cut to size
        // and left unterminated.
        int written = _vsnprintf(buffer, (size_t)size, format, args);
        length = written < 0 || written >= size ? size - 1 : written;
    }
    faultJump = nullptr;
    buffer[length < 0 ? 0 : length] = 0;
    return length;
}
