// Stops through the fatal-error path so that the test can look at the box
// a user would see. The argument chooses the stop:
//   format   FatalError with a printf-style text
//   check    a failed internal check (file name and line)
#include <windows.h>

#include <string.h>

#include "core/fatal.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR arguments, int)
{
    if (strcmp(arguments, "check") == 0)
        AssertionStop("Core32", 640);
    FatalError("Disk %s is full (%d)", "C:", 42);
}
