#include "install/shortcuts.h"

#include <windows.h>

#include "core/paths.h"
#include "install/run_state.h"
#include "install/uninstall_record.h"
#include "launcher/description.h"
#include "system/shell.h"
#include "ui/messages.h"

namespace {

// Set once a shortcut landed in the product's start-menu folder; only then
// does the uninstaller get a start-menu shortcut of its own.
uint8_t MadeProgramsShortcut = 0;

// The link path "StartMenuFolder \ name", relative to the Programs folder.
String StartMenuName(const String& name)
{
    return PathJoin(StartMenuFolder.CStr(), name.CStr());
}

// A saved shortcut goes to the uninstaller's list; a failed one becomes an
// error line naming the link.
void RecordShortcut(BYTE saved, const String& link)
{
    if (saved)
        RecordForUninstall(link.CStr(), 0);
    else
        AppendFailedLine(ErrorText, link.CStr());
}

void MakeRequestedShortcuts(const ShortcutRequest& request)
{
    const char* target = request.target.CStr();
    const char* directory = InstallDirectory.CStr();
    const char* icon = request.icon.CStr();
    String link;
    if (request.desktop)
        RecordShortcut(CreateDesktopShortcut(request.name.CStr(), target, "", directory, &link,
                                             icon), link);
    if (request.programs) {
        BYTE saved = CreateProgramsShortcut(StartMenuName(request.name).CStr(), target, "",
                                            directory, &link, icon);
        MadeProgramsShortcut |= saved;
        RecordShortcut(saved, link);
    }
    if (request.startup) {
        link = PathJoin(StartupFolder().CStr(), request.name.CStr());
        RecordShortcut(CreateShortcut(link, target, "", directory, icon), link);
    }
}

}  // namespace

void MakeFileShortcuts()
{
    for (const ShortcutRequest* request = ShortcutRequests; request; request = request->next)
        MakeRequestedShortcuts(*request);
}

void MakeUninstallShortcuts()
{
    String name = String(MessageText(MsgUninstallShortcutName)) + " " + ProductName;
    String target = UninstallerPath();
    String arguments = UninstallArguments();
    String link;
    if (MadeProgramsShortcut)
        RecordShortcut(CreateProgramsShortcut(StartMenuName(name).CStr(), target.CStr(),
                                              arguments.CStr(), "", &link, nullptr), link);
    link = PathJoin(UninstallDirectory.CStr(), name.CStr());
    RecordShortcut(CreateShortcut(link, target.CStr(), arguments.CStr(), "", nullptr), link);
}

// The system looks a bare file name up in its fonts folder, where the font
// was just written.
void AddPlacedFont(const char* name, const String& destination, const char* title,
                   bool permanent)
{
    if (!AddFontFile(name)) {
        AppendFailedLine(ErrorText, destination.CStr());
        return;
    }
    if (!permanent) {
        FontList.AppendFormat("\"%s\" \"%s\" ", title, name);
    }
    FontsChanged = 1;
}

void AnnounceFontChange()
{
    if (FontsChanged)
        SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0);
}
