// The result of an installation: the final box, and a block appended to
// Install.LOG in the uninstall directory.
#pragma once

#include <stdint.h>

#include "core/string.h"

void WriteInstallLog(String errorText, const String& fileReportText, const char* installDir,
                     uint8_t isReinstall, uint8_t showResult);
