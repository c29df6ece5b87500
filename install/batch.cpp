#include "install/batch.h"

// Filled in with the batch runner and the PATH edit.
bool RunBatchCommands(const char*, const String&, const char*)
{
    return true;
}

String EditAutoexecPath(const char*, bool)
{
    return String();
}
