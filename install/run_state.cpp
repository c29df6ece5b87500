#include "install/run_state.h"

String InstallDirectory;
String UninstallDirectory;
uint8_t IsReinstall = 0;

String PreviousLocation;
String PreviousVersion;
String PreviousSharedFiles;

String ErrorText;
String FileReportText;

Vector<String> SharedFileList;
Vector<ShortcutRequest> ShortcutRequests;

String FontList;
uint8_t FontsChanged = 0;

uint8_t RebootRequested = 0;
