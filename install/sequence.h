// The installation run after the description is loaded: the questions, the
// files, the other actions in their fixed order, and the end.
#pragma once

#include "core/string.h"
#include "install/install_run.h"

// `uninstallerImage` is the program's file without its archive section.
// Ends the program with the run's outcome.
[[noreturn]] void RunInstallation(InstallRun& run, const String& uninstallerImage);
