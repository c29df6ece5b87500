// The uninstaller of an installation: its program file and its
// registration under the system's Uninstall key.
#pragma once

#include "core/string.h"
#include "install/install_run.h"

// The uninstaller's path and its arguments (/u:"product").
String UninstallerPath(const InstallRun& run);
String UninstallArguments(const InstallRun& run);

// Writes the uninstaller (`image`, dated with the archive's date) and the
// registry values of the product. Failures add their lines to the run's
// error text: the file's own, and one for a key that did not open or an
// UninstallString that did not read back as written.
void RegisterUninstall(InstallRun& run, const String& image);
