// The description's batch commands and the PATH line of autoexec.bat.
#pragma once

#include "core/string.h"

// Runs `commands` in a batch file with the run's SET block. True when there
// was nothing to run or the interpreter was started.
bool RunBatchCommands(const char* workDir, const String& commands, const char* sharedDir);
// Adds `dir` to (or removes it from) the PATH line; "" on success or when
// there was nothing to do, else the text to report.
String EditAutoexecPath(const char* dir, bool add);
