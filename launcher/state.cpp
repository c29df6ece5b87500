#include "launcher/state.h"

String CommandInterpreter;
HINSTANCE ProgramInstance = NULL;
uint8_t AutomaticMode = 0;
String ProductName;
String InstallDirectoryOverride;
uint8_t UninstallRequested = 0;
int SelectedLanguage = 0;
