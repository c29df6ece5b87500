// Native formatting with the fault fallback: a SIGSEGV/SIGBUS handler,
// installed only around the printf call, jumps back out of it.
#include <setjmp.h>
#include <signal.h>
#include <stdio.h>

#include "core/string.h"

int FormatGuarded(char* buffer, int size, const char* format, va_list args);

namespace {

sigjmp_buf* faultJump = nullptr;

void OnFault(int)
{
    siglongjmp(*faultJump, 1);
}

} // namespace

int FormatGuarded(char* buffer, int size, const char* format, va_list args)
{
    struct sigaction onFault = {};
    onFault.sa_handler = OnFault;
    sigemptyset(&onFault.sa_mask);
    struct sigaction oldSegv, oldBus;
    sigjmp_buf jump;
    // volatile: read after siglongjmp returns here. -1 stays only on a fault.
    volatile int length = -1;
    if (sigsetjmp(jump, 1) == 0) {
        faultJump = &jump;
        sigaction(SIGSEGV, &onFault, &oldSegv);
        sigaction(SIGBUS, &onFault, &oldBus);
        int written = vsnprintf(buffer, (size_t)size, format, args);
        length = written < 0 ? 0 : written < size ? written : size - 1;
    }
    sigaction(SIGSEGV, &oldSegv, nullptr);
    sigaction(SIGBUS, &oldBus, nullptr);
    faultJump = nullptr;
    buffer[length < 0 ? 0 : length] = 0;
    return length;
}
