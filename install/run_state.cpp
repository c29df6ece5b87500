#include "install/run_state.h"

#include "ui/messages.h"

String InstallDirectory;
String UninstallDirectory;
uint8_t IsReinstall = 0;
String PreviousLocation;
String PreviousVersion;
String PreviousSharedFiles;
String ErrorText;
String FileReportText;
List<String> SharedFileList;
ShortcutRequest* ShortcutRequests = nullptr;
String FontList;
uint8_t FontsChanged = 0;
uint8_t RebootRequested = 0;

namespace {

ShortcutRequest* LastShortcutRequest = nullptr;

}  // namespace

void AddShortcutRequest(const ShortcutRequest& request)
{
    ShortcutRequest* added = new ShortcutRequest(request);
    added->next = nullptr;
    if (LastShortcutRequest)
        LastShortcutRequest->next = added;
    else
        ShortcutRequests = added;
    LastShortcutRequest = added;
}

void ClearShortcutRequests()
{
    while (ShortcutRequests) {
        ShortcutRequest* next = ShortcutRequests->next;
        delete ShortcutRequests;
        ShortcutRequests = next;
    }
    LastShortcutRequest = nullptr;
}

void AppendFailedLine(String& errorText, const char* path)
{
    errorText.AppendFormat("%s %s\r\n", MessageText(MsgErrorLinePrefix), path);
}
