// The stub's heap hooks. operator new and delete are our own, on malloc and
// free: they never throw, so no exception machinery is linked in, and a
// failure goes straight to OutOfMemory.
//
// msvcrt calls its new handler from malloc too once the new mode is 1, and
// tells it the size. Its _set_new_handler and _set_new_mode are exported
// only under their decorated C++ names, which the MinGW import library
// lacks, so they are linked at run time.
#include <windows.h>

#include <stdlib.h>

#include "core/fatal.h"

namespace {

typedef int(__cdecl* HeapFailureHandler)(size_t size);
typedef HeapFailureHandler(__cdecl* SetNewHandlerFunction)(HeapFailureHandler handler);
typedef int(__cdecl* SetNewModeFunction)(int mode);

// The handler's type has size_t in it, whose decoration differs: unsigned
// int in a 32-bit process, unsigned __int64 in a 64-bit one.
#ifdef _WIN64
const char kSetNewHandlerName[] = "?_set_new_handler@@YAP6AH_K@ZP6AH0@Z@Z";
#else
const char kSetNewHandlerName[] = "?_set_new_handler@@YAP6AHI@ZP6AHI@Z@Z";
#endif

int __cdecl OnHeapFailure(size_t size)
{
    OutOfMemory(size);
}

} // namespace

void InstallOutOfMemoryHandler()
{
    HMODULE crt = GetModuleHandleA("msvcrt.dll");
    if (crt == NULL)
        return;
    SetNewHandlerFunction setNewHandler = (SetNewHandlerFunction)(void*)GetProcAddress(
        crt, kSetNewHandlerName);
    SetNewModeFunction setNewMode = (SetNewModeFunction)(void*)GetProcAddress(
        crt, "?_set_new_mode@@YAHH@Z");
    if (setNewHandler == NULL || setNewMode == NULL)
        return;
    setNewHandler(OnHeapFailure);
    setNewMode(1);
}

void* operator new(size_t size)
{
    void* block = malloc(size);
    if (block == NULL)
        OutOfMemory(size);
    return block;
}

void* operator new[](size_t size)
{
    void* block = malloc(size);
    if (block == NULL)
        OutOfMemory(size);
    return block;
}

void operator delete(void* block) noexcept
{
    free(block);
}

void operator delete[](void* block) noexcept
{
    free(block);
}

void operator delete(void* block, size_t) noexcept
{
    free(block);
}

void operator delete[](void* block, size_t) noexcept
{
    free(block);
}
