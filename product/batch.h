// The description's batch commands and the PATH line of autoexec.bat.
#pragma once

#include <stdint.h>

#include "core/string.h"
#include "product/report.h"
#include "product/run.h"

// The NT family, whose interpreter is cmd.exe, rather than Windows 9x with
// command.com. A 64-bit program runs on the NT family only, so its build
// leaves out what serves Windows 9x.
inline BYTE OnWindowsNT()
{
#ifdef _WIN64
    return 1;
#else
    return IsWindowsNT();
#endif
}

// Runs `commands` in a batch file with the run's SET block and waits for
// it, through the run's command interpreter; `hidden` (PfHideBatch) hides
// its window. In a hidden or automatic run PAUSE lines are left out. True
// when there was nothing to run or the interpreter was started; else a line
// saying so is appended to `errorText` (a working file could not be
// written, or the process could not be created).
bool RunBatchCommands(const ProductRun& run, uint8_t hidden, const char* workDir,
                      const String& commands, const char* sharedDir, String& errorText);
// Adds the line "PATH=%PATH%;<dir>" to the boot drive's autoexec.bat or
// removes it (the whole line, never a part of another one); "" on
// success or when there was nothing to do, else the text to report.
// `created`: an add that made the file sets it; a removal that is given it
// set deletes the file when nothing but blank lines is left.
String EditAutoexecPath(const char* dir, bool add, uint8_t& created);
