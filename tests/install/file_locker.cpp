// Holds a file open for the placement tests, as another program holds a
// file it uses:
//
//     file_locker [--share-read] FILE READY RELEASE [SECONDS]
//
// Opens FILE (which must exist) for reading with share mode 0, or with
// FILE_SHARE_READ (others may read it but not write it, as the loader
// holds a running program's image) after --share-read; then creates
// READY so that the test knows the file is held, and keeps the handle until
// RELEASE exists or SECONDS (default 120) have passed. Exit code 0 when
// released, 1 when the time ran out, 2 on bad usage or a failed open or
// create.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

bool Exists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool CreateMarker(const char* path)
{
    HANDLE marker = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, NULL);
    if (marker == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(marker);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    DWORD share = 0;
    if (argc > 1 && strcmp(argv[1], "--share-read") == 0) {
        share = FILE_SHARE_READ;
        --argc;
        ++argv;
    }
    if (argc < 4 || argc > 5) {
        fprintf(stderr, "usage: file_locker [--share-read] FILE READY RELEASE [SECONDS]\n");
        return 2;
    }
    DWORD seconds = argc == 5 ? (DWORD)strtoul(argv[4], NULL, 10) : 120;
    HANDLE held = CreateFileA(argv[1], GENERIC_READ, share, NULL, OPEN_EXISTING, 0, NULL);
    if (held == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "file_locker: cannot open %s (error %lu)\n", argv[1],
                GetLastError());
        return 2;
    }
    if (!CreateMarker(argv[2])) {
        fprintf(stderr, "file_locker: cannot create %s (error %lu)\n", argv[2],
                GetLastError());
        CloseHandle(held);
        return 2;
    }
    DWORD start = GetTickCount();
    bool released = false;
    while (!(released = Exists(argv[3])) && GetTickCount() - start < seconds * 1000)
        Sleep(50);
    CloseHandle(held);
    return released ? 0 : 1;
}
