#include "install/registration.h"

#include "archive/format.h"
#include "core/format.h"
#include "core/paths.h"
#include "install/placement.h"
#include "product/archive.h"
#include "product/uninstall_record.h"
#include "system/registry.h"
#include "ui/background.h"
#include "ui/messages.h"

namespace {

const char kRegistrationError[] =
    "Unable to register the uninstall information.  Uninstall will not work properly.\r\n\r\n";

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
void WriteTitleColor(const InstallRun& run)
{
    if (run.description.productFlags & (PfCustomColors | PfKeepBackground))
        WriteNumber("TitleColor", Background.titleColor);
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
uint32_t InstalledKilobytes(const DescriptionFields& d)
{
    uint64_t bytes = 0;
    for (int i = 0; i < d.fileCount; i++)
        bytes += (uint32_t)d.storedSizes[i];
    return (uint32_t)((bytes + 1023) >> 10);
}

String QuotedUninstallerPath(const InstallRun& run)
{
    return "\"" + UninstallerPath(run) + "\"";
}

// Every value of the registration, in the order the uninstaller's readers
// and the system's list of programs expect to find them. Returns the
// UninstallString written.
String WriteRegistrationValues(const InstallRun& run)
{
    const DescriptionFields& d = run.description;
    // The path is quoted: unquoted, a path with blanks (any install under
    // "Program Files") starts the uninstaller with the rest of its path as
    // an argument.
    String uninstall = QuotedUninstallerPath(run) + " " + UninstallArguments(run);
    WriteText("UninstallString", uninstall, false);
    WriteText("QuietUninstallString", QuotedUninstallerPath(run) + " /a " + UninstallArguments(run),
              false);
    WriteText("DisplayName", d.displayName.IsEmpty() ? run.productName : d.displayName, false);
    WriteText("InstallSource", OwnPathFromCommandLine(GetCommandLineA()), false);
    WriteText("DisplayVersion", d.displayVersion, true);
    WriteText("Publisher", d.publisher, true);
    WriteText("InstallLocation", run.installDirectory, false);
    WriteText("InstallDate", InstallDateText(), false);
    WriteVersionNumbers(d.displayVersion);
    WriteText("ProductRegistry", d.productRegistry, true);
    WriteText("ProductStartMenu", d.startMenuFolder, true);
    WriteText("SharedPath", run.sharedDirectory, true);
    WriteText("ProductFonts", run.fontList, true);
    WriteNumber("ProductFlags", ProductFlagsOf(run));
    WriteText("UninstallBatch1", d.uninstallBatch1, true);
    WriteText("UninstallBatch2", d.uninstallBatch2, true);
    WriteText("SharedFiles", run.previousSharedFiles, true);
    WriteText("UninstallSubdir", d.uninstallSubdir, true);
    WriteText("DisplayTitle", MessageText(MsgProductTitle), false);
    WriteTitleColor(run);
    WriteNumber("TopColor", Background.topColor);
    WriteNumber("BottomColor", Background.bottomColor);
    WriteNumber("MonoColor", Background.monoColor ? 1 : 0);
    // What the system's list of programs shows: the product's icon, which
    // the uninstaller carries, the size, and no Modify or Repair buttons,
    // which the uninstaller does not offer.
    WriteText("DisplayIcon", UninstallerPath(run), false);
    WriteNumber("EstimatedSize", InstalledKilobytes(d));
    WriteNumber("NoModify", 1);
    WriteNumber("NoRepair", 1);
    return uninstall;
}

// Opens the product's key, writes the values and reads UninstallString
// back: a registry that silently drops writes leaves an uninstaller nobody
// can start. False when the key did not open or the text differs.
bool WriteRegistration(const InstallRun& run)
{
    String keyPath = UninstallKeyPath(run.productName.CStr());
    if (RegistryOpenSoftwareKey(keyPath.CStr(), 0, 0) == RegOpenFailed)
        return false;
    String written = WriteRegistrationValues(run);
    bool same = RegistryGetString("UninstallString", String(), 0) == written;
    RegistryCloseKey();
    return same;
}

}  // namespace

String UninstallerPath(const InstallRun& run)
{
    return PathJoin(run.uninstallDirectory.CStr(), run.description.uninstallerName.CStr());
}

String UninstallArguments(const InstallRun& run)
{
    return "/u:\"" + run.productName + "\"";
}

void RegisterUninstall(InstallRun& run, const String& image)
{
    // A missing uninstaller file is reported by the write itself; the
    // registration is still worth having, for the record's sake.
    WriteInstalledFile(run, UninstallerPath(run).CStr(), (const uint8_t*)image.CStr(),
                       image.Length(), run.description.archiveDate, run.errorText);
    if (!WriteRegistration(run))
        run.errorText += kRegistrationError;
}
