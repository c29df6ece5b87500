#include "install/install_run.h"

#include "archive/format.h"
#include "ui/messages.h"

InstallRun::~InstallRun()
{
    ClearShortcutRequests(*this);
}

uint32_t ProductFlagsOf(const InstallRun& run)
{
    return run.description.productFlags | (run.restartNeeded ? (uint32_t)PfRebootNeeded : 0);
}

void AddShortcutRequest(InstallRun& run, const ShortcutRequest& request)
{
    ShortcutRequest* added = new ShortcutRequest(request);
    added->next = nullptr;
    if (run.lastShortcutRequest)
        run.lastShortcutRequest->next = added;
    else
        run.shortcutRequests = added;
    run.lastShortcutRequest = added;
}

void ClearShortcutRequests(InstallRun& run)
{
    while (run.shortcutRequests) {
        ShortcutRequest* next = run.shortcutRequests->next;
        delete run.shortcutRequests;
        run.shortcutRequests = next;
    }
    run.lastShortcutRequest = nullptr;
}

void AppendFailedLine(String& errorText, const char* path)
{
    errorText.AppendFormat("%s %s\r\n", MessageText(MsgErrorLinePrefix), path);
}
