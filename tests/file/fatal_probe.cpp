// Runs into one of File's fatal stops, chosen by the first argument, so a
// script can check the box it shows (with the test robot answering it).
// Reaching the end means the stop did not stop: exit code 7.
#include <string.h>

#include "core/file.h"

int main(int argc, char** argv)
{
    const char* stop = argc > 1 ? argv[1] : "";
    const char* name = argc > 2 ? argv[2] : "C:\\no-such-dir\\probe.bin";
    File file;
    if (strcmp(stop, "pop") == 0) {
        file.PopPosition();
    } else if (strcmp(stop, "write") == 0) {
        // A failed open keeps the write access it was asked for, but no handle.
        file.Open(name, FoOpenExisting);
        file.Write("x", 1);
    } else if (strcmp(stop, "required") == 0) {
        file.Open(name, FoOpenExisting | FoRequired);
    }
    return 7;
}
