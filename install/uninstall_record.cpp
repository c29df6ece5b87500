#include "install/uninstall_record.h"

#include <string.h>

#include "core/containers.h"
#include "core/file.h"
#include "core/format.h"
#include "core/paths.h"
#include "install/placement.h"
#include "install/run_state.h"
#include "install/uninstall_data.h"
#include "launcher/archive.h"
#include "launcher/description.h"
#include "launcher/state.h"
#include "system/registry.h"
#include "ui/background.h"

String AssociationRecords;

namespace {

// The list's text, and the upper-cased paths of the directories and keys
// in it, so that a directory made for many files is listed once. They are
// searched in order: an installation makes few directories, and a hash
// table type of its own would cost the stub more than the searches do.
String uninstallListText;
List<String> recordedDirectories;

// Paths this short are drive roots ("C:\") or less: never removed.
constexpr int kShortestRecordedPath = 4;

const char kRegistrationError[] =
    "Unable to register the uninstall information.  Uninstall will not work properly.\r\n\r\n";

// True when `path` is new to the set (and is now in it).
bool AddToDirectorySet(const char* path)
{
    String key(path);
    key.MakeUpper();
    CollectionIterator it;
    for (String* seen = recordedDirectories.First(it); seen; seen = recordedDirectories.Next(it))
        if (seen->Compare(key) == 0)
            return false;
    recordedDirectories.AddTail(key);
    return true;
}

// ---------------------------------------------------------- registration

// The value's text, or its deletion when `value` is empty and
// `deleteWhenEmpty`.
void WriteText(const char* name, const String& value, bool deleteWhenEmpty)
{
    RegistrySetString(name, value, deleteWhenEmpty ? (RegistryFlags)RegEmptyDeletes : 0);
}

void WriteNumber(const char* name, uint32_t value)
{
    RegistrySetInt(name, value, 0);
}

// "3.14b" gives 3 and 14; a version without "." writes neither number.
void WriteVersionNumbers(const String& version)
{
    int dot = version.FindChar('.');
    if (dot < 0)
        return;
    WriteNumber("VersionMajor", (uint32_t)version.ToInt());
    WriteNumber("VersionMinor", (uint32_t)version.Mid(dot + 1).ToInt());
}

// The title colour belongs to the product only when it chose its colours or
// keeps its picture; otherwise the uninstaller takes the system's.
void WriteTitleColor()
{
    if (ProductFlags & (PfCustomColors | PfKeepBackground))
        WriteNumber("TitleColor", TitleColor);
    else
        RegistryDeleteValue("TitleColor");
}

// Today as the system's list of programs reads it: YYYYMMDD.
String InstallDateText()
{
    DateTime now = LocalDateTimeNow();
    return String::Formatted("%04d%02d%02d", (int)now.year, (int)now.month, (int)now.day);
}

// The files of the archive in kilobytes, rounded up.
uint32_t InstalledKilobytes()
{
    uint64_t bytes = 0;
    for (int i = 0; i < FileCount; i++)
        bytes += (uint32_t)StoredSizes[i];
    return (uint32_t)((bytes + 1023) >> 10);
}

String QuotedUninstallerPath()
{
    return "\"" + UninstallerPath() + "\"";
}

// Every value of the registration, in the order the uninstaller's readers
// and the system's list of programs expect to find them. Returns the
// UninstallString written.
String WriteRegistrationValues()
{
    // The path is quoted: unquoted, a path with blanks (any install under
    // "Program Files") starts the uninstaller with the rest of its path as
    // an argument.
    String uninstall = QuotedUninstallerPath() + " " + UninstallArguments();
    WriteText("UninstallString", uninstall, false);
    WriteText("QuietUninstallString", QuotedUninstallerPath() + " /a " + UninstallArguments(),
              false);
    WriteText("DisplayName", DisplayName.IsEmpty() ? ProductName : DisplayName, false);
    WriteText("InstallSource", OwnPathFromCommandLine(GetCommandLineA()), false);
    WriteText("DisplayVersion", DisplayVersion, true);
    WriteText("Publisher", Publisher, true);
    WriteText("InstallLocation", InstallDirectory, false);
    WriteText("InstallDate", InstallDateText(), false);
    WriteVersionNumbers(DisplayVersion);
    WriteText("ProductRegistry", ProductRegistry, true);
    WriteText("ProductStartMenu", StartMenuFolder, true);
    WriteText("SharedPath", SharedDirectory, true);
    WriteText("ProductFonts", FontList, true);
    WriteNumber("ProductFlags", ProductFlags);
    WriteText("UninstallBatch1", UninstallBatch1, true);
    WriteText("UninstallBatch2", UninstallBatch2, true);
    WriteText("SharedFiles", PreviousSharedFiles, true);
    WriteText("UninstallSubdir", UninstallSubdir, true);
    WriteText("DisplayTitle", MessageText(MsgProductTitle), false);
    WriteTitleColor();
    WriteNumber("TopColor", TopColor);
    WriteNumber("BottomColor", BottomColor);
    WriteNumber("MonoColor", MonoColor ? 1 : 0);
    // What the system's list of programs shows: the product's icon, which
    // the uninstaller carries, the size, and no Modify or Repair buttons,
    // which the uninstaller does not offer.
    WriteText("DisplayIcon", UninstallerPath(), false);
    WriteNumber("EstimatedSize", InstalledKilobytes());
    WriteNumber("NoModify", 1);
    WriteNumber("NoRepair", 1);
    return uninstall;
}

// Opens the product's key, writes the values and reads UninstallString
// back: a registry that silently drops writes leaves an uninstaller nobody
// can start. False when the key did not open or the text differs.
bool WriteRegistration()
{
    String keyPath = UninstallKeyPath(ProductName.CStr());
    if (RegistryOpenSoftwareKey(keyPath.CStr(), 0, 0) == RegOpenFailed)
        return false;
    String written = WriteRegistrationValues();
    bool same = RegistryGetString("UninstallString", String(), 0) == written;
    RegistryCloseKey();
    return same;
}

}  // namespace

// ------------------------------------------------------------------- list

void ClearUninstallList()
{
    uninstallListText.Clear();
    recordedDirectories.Clear();
}

void RecordForUninstall(const char* path, int kind)
{
    if (path == nullptr || (int)strlen(path) < kShortestRecordedPath)
        return;
    if (kind != UiFile && !AddToDirectorySet(path))
        return;
    uninstallListText += UninstallItemLine(path, kind);
}

const String& UninstallListText()
{
    return uninstallListText;
}

// ------------------------------------------------------------ uninstaller

String UninstallKeyPath(const char* productName)
{
    String path("Microsoft\\Windows\\CurrentVersion\\Uninstall\\");
    return path + productName;
}

String UninstallerPath()
{
    return PathJoin(UninstallDirectory.CStr(), UninstallerName.CStr());
}

String UninstallArguments()
{
    return "/u:\"" + ProductName + "\"";
}

const char kInstallLogName[] = "Install.LOG";
const char kBackgroundFileName[] = "Installer Background.BMP";

String UninstallFolderFile(const char* installDir, const char* name)
{
    return PathJoin(installDir, PathJoin(UninstallSubdir.CStr(), name).CStr());
}

String UninstallDataPath(const char* installDir)
{
    return UninstallFolderFile(installDir, "Uninstall.DAT");
}

bool WriteUninstallData(const char* installDir)
{
    String text = UninstallDataText(uninstallListText, MessageText, AssociationRecords);
    return WriteFileFromString(UninstallDataPath(installDir).CStr(), text);
}

void RegisterUninstall(const String& image)
{
    // A missing uninstaller file is reported by the write itself; the
    // registration is still worth having, for the record's sake.
    WriteInstalledFile(UninstallerPath().CStr(), (const uint8_t*)image.CStr(), image.Length(),
                       ArchiveDate, ErrorText);
    if (!WriteRegistration())
        ErrorText += kRegistrationError;
}
