// The installation run after the description is loaded: the questions, the
// files, the other actions in their fixed order, and the end.
#pragma once

#include "core/string.h"

// `uninstallerImage` is the program's file without its archive section.
[[noreturn]] void RunInstallation(const String& uninstallerImage);
