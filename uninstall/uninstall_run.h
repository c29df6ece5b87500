// The uninstaller: undoes an installation from its registration and its
// record Uninstall.DAT, then reports.
#pragma once

#include <windows.h>

#include "core/string.h"

// Uninstalls the product named ProductName. `installDir` receives the
// registration's InstallLocation as soon as it is read. True only when
// every step succeeded; false when the run could not start (the reason is
// shown) or something could not be removed (kept for another run).
BYTE UninstallRun(String& installDir);
