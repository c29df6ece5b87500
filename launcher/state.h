// Process-wide state of the launcher, set at start and from the command
// line; it lives for the whole run.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "core/string.h"
#include "ui/messages.h"     // ProductName, SelectedLanguage

extern String CommandInterpreter;       // %comspec% expanded, or "command.com"
extern HINSTANCE ProgramInstance;       // the entry function's instance
extern uint8_t AutomaticMode;           // /a or PfAutomatic: no questions, no error boxes
extern String InstallDirectoryOverride; // /d:
extern uint8_t UninstallRequested;      // /u
