// The result of an installation: the final box, and a block appended to
// Install.LOG in the uninstall directory.
#pragma once

#include <stdint.h>

#include "core/string.h"
#include "install/install_run.h"

// Shows the result (with `showResult`) and appends the block of
// `errorText` and `fileReportText` for the run's product, directory and
// kind of installation.
void WriteInstallLog(const InstallRun& run, String errorText, const String& fileReportText,
                     uint8_t showResult);
