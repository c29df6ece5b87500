// Run-time linking from the system directory.
#include "system/library.h"

#include <stdlib.h>

namespace {

constexpr int kMaxLinkedLibraries = 16;
HMODULE LinkedLibraries[kMaxLinkedLibraries];  // freed at exit
int LinkedLibraryCount = 0;

void FreeLinkedLibraries()
{
    while (LinkedLibraryCount > 0)
        FreeLibrary(LinkedLibraries[--LinkedLibraryCount]);
}

void KeepLibrary(HMODULE library)
{
    if (LinkedLibraryCount == 0)
        atexit(FreeLinkedLibraries);
    // A full list only means the library stays loaded until the process
    // ends, which it would anyway.
    if (LinkedLibraryCount < kMaxLinkedLibraries)
        LinkedLibraries[LinkedLibraryCount++] = library;
}

HMODULE LoadSystemLibrary(const char* library)
{
    if (!library || !*library)
        return NULL;
    // The altered search path makes the library's own imports resolve from
    // the system directory too.
    return LoadLibraryExA(SystemLibraryPath(library).CStr(), NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

String SystemLibraryPath(const char* library)
{
    char directory[MAX_PATH];
    UINT length = GetSystemDirectoryA(directory, sizeof directory);
    if (length == 0 || length >= sizeof directory)
        return String(library);
    String path(directory);
    path.EnsureTrailing('\\');
    path.Append(library);
    return path;
}

void RestrictLibrarySearch()
{
    // Both calls are missing from older systems, so they are looked up
    // rather than imported; kernel32 is always loaded. Without them a DLL
    // planted beside the installer (a downloads folder) could be loaded.
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (!kernel)
        return;
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesProc)(DWORD);
    typedef BOOL(WINAPI * SetDllDirectoryProc)(const char*);
    auto setDefault = (SetDefaultDllDirectoriesProc)(void*)GetProcAddress(kernel, "SetDefaultDllDirectories");
    auto setDirectory = (SetDllDirectoryProc)(void*)GetProcAddress(kernel, "SetDllDirectoryA");
    const DWORD kSearchSystem32 = 0x800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
    if (setDefault)
        setDefault(kSearchSystem32);
    if (setDirectory)
        setDirectory("");  // takes the current directory out of the search
}

BYTE LinkFunction(const char* library, const char* name, FARPROC* function)
{
    *function = NULL;
    HMODULE module = LoadSystemLibrary(library);
    if (!module)
        return 0;
    FARPROC found = GetProcAddress(module, name);
    if (!found) {
        FreeLibrary(module);
        return 0;
    }
    *function = found;
    KeepLibrary(module);
    return 1;
}

BYTE LinkFunctionTable(const char* library, const LinkEntry* table)
{
    HMODULE module = LoadSystemLibrary(library);
    if (!module)
        return 0;
    KeepLibrary(module);
    BYTE complete = 1;
    for (const LinkEntry* entry = table; entry->function; ++entry) {
        *entry->function = GetProcAddress(module, entry->name);
        if (!*entry->function && !entry->optional)
            complete = 0;
    }
    return complete;
}
