#include "install/shortcuts.h"

#include <windows.h>

#include "core/paths.h"
#include "install/registration.h"
#include "product/uninstall_record.h"
#include "system/shell.h"
#include "ui/messages.h"

namespace {

// The link path "StartMenuFolder \ name", relative to the Programs folder.
String StartMenuName(const InstallRun& run, const String& name)
{
    return PathJoin(run.description.startMenuFolder.CStr(), name.CStr());
}

// A saved shortcut goes to the uninstaller's list; a failed one becomes an
// error line naming the link.
void RecordShortcut(InstallRun& run, BYTE saved, const String& link)
{
    if (saved)
        RecordForUninstall(run.uninstallList, link.CStr(), 0);
    else
        AppendFailedLine(run.errorText, link.CStr());
}

void MakeRequestedShortcuts(InstallRun& run, const ShortcutRequest& request)
{
    const char* target = request.target.CStr();
    const char* directory = run.installDirectory.CStr();
    const char* icon = request.icon.CStr();
    String link;
    if (request.desktop)
        RecordShortcut(run, CreateDesktopShortcut(request.name.CStr(), target, "", directory, &link,
                                             icon), link);
    if (request.programs) {
        BYTE saved = CreateProgramsShortcut(StartMenuName(run, request.name).CStr(), target, "",
                                            directory, &link, icon);
        run.madeProgramsShortcut |= saved;
        RecordShortcut(run, saved, link);
    }
    if (request.startup) {
        link = PathJoin(StartupFolder().CStr(), request.name.CStr());
        RecordShortcut(run, CreateShortcut(link, target, "", directory, icon), link);
    }
}

}  // namespace

void MakeFileShortcuts(InstallRun& run)
{
    for (const ShortcutRequest* request = run.shortcutRequests; request; request = request->next)
        MakeRequestedShortcuts(run, *request);
}

void MakeUninstallShortcuts(InstallRun& run)
{
    String name = String(MessageText(MsgUninstallShortcutName)) + " " + run.productName;
    String target = UninstallerPath(run);
    String arguments = UninstallArguments(run);
    String link;
    if (run.madeProgramsShortcut)
        RecordShortcut(run, CreateProgramsShortcut(StartMenuName(run, name).CStr(), target.CStr(),
                                                   arguments.CStr(), "", &link, nullptr), link);
    link = PathJoin(run.uninstallDirectory.CStr(), name.CStr());
    RecordShortcut(run, CreateShortcut(link, target.CStr(), arguments.CStr(), "", nullptr), link);
}

// The system looks a bare file name up in its fonts folder, where the font
// was just written.
void AddPlacedFont(InstallRun& run, const char* name, const String& destination,
                   const char* title, bool permanent)
{
    if (!AddFontFile(name)) {
        AppendFailedLine(run.errorText, destination.CStr());
        return;
    }
    if (!permanent) {
        run.fontList.AppendFormat("\"%s\" \"%s\" ", title, name);
    }
    run.fontsChanged = 1;
}

void AnnounceFontChange(const InstallRun& run)
{
    if (run.fontsChanged)
        SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0);
}
