#include "launcher/state.h"

String CommandInterpreter;
HINSTANCE ProgramInstance = NULL;
uint8_t AutomaticMode = 0;
String InstallDirectoryOverride;
uint8_t UninstallRequested = 0;
