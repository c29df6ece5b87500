// Times the stub's own Unpack, built as the stub builds it, on block files:
//   unpack_timer.exe BLOCK...
// For each block it prints the best of several runs in MB/s of output.
#include "archive/codec.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static unsigned char* ReadWhole(const char* path, long* size)
{
    FILE* f = fopen(path, "rb");
    if (!f)
        return nullptr;
    fseek(f, 0, SEEK_END);
    *size = ftell(f);
    fseek(f, 0, SEEK_SET);
    unsigned char* bytes = (unsigned char*)malloc((size_t)*size);
    size_t got = fread(bytes, 1, (size_t)*size, f);
    fclose(f);
    if ((long)got != *size) {
        free(bytes);
        return nullptr;
    }
    return bytes;
}

int main(int argc, char** argv)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    int failures = 0;
    for (int i = 1; i < argc; i++) {
        long size = 0;
        unsigned char* block = ReadWhole(argv[i], &size);
        if (!block) {
            printf("%s: cannot read\n", argv[i]);
            failures++;
            continue;
        }
        double best = 1e30;
        int32_t outSize = 0;
        for (int run = 0; run < 7; run++) {
            uint8_t* data = block;
            int32_t n = (int32_t)size;
            LARGE_INTEGER t0, t1;
            QueryPerformanceCounter(&t0);
            bool ok = Unpack(data, n);
            QueryPerformanceCounter(&t1);
            if (!ok) {
                printf("%s: Unpack failed\n", argv[i]);
                failures++;
                break;
            }
            free(data);
            outSize = n;
            double seconds = (double)(t1.QuadPart - t0.QuadPart) / (double)frequency.QuadPart;
            if (seconds < best)
                best = seconds;
        }
        printf("%-40s %10d bytes  %8.1f MB/s\n", argv[i], outSize, outSize / best / 1e6);
        free(block);
    }
    return failures ? 1 : 0;
}
