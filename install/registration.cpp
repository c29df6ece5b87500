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
void WriteText(const RegistryKey& key, const char* name, const String& value,
               bool deleteWhenEmpty)
{
    RegistrySetString(key, name, value, deleteWhenEmpty ? (RegistryFlags)RegEmptyDeletes : 0);
}

void WriteNumber(const RegistryKey& key, const char* name, uint32_t value)
{
    RegistrySetInt(key, name, value, 0);
}

// "3.14b" gives 3 and 14; a version without "." writes neither number.
void WriteVersionNumbers(const RegistryKey& key, const String& version)
{
    int dot = version.FindChar('.');
    if (dot < 0)
        return;
    WriteNumber(key, "VersionMajor", (uint32_t)version.ToInt());
    WriteNumber(key, "VersionMinor", (uint32_t)version.Mid(dot + 1).ToInt());
}

// The title colour belongs to the product only when it chose its colours or
// keeps its picture; otherwise the uninstaller takes the system's.
void WriteTitleColor(const RegistryKey& key, const InstallRun& run)
{
    if (run.description.productFlags & (PfCustomColors | PfKeepBackground))
        WriteNumber(key, "TitleColor", Background.titleColor);
    else
        RegistryDeleteValue(key, "TitleColor");
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
String WriteRegistrationValues(const RegistryKey& key, const InstallRun& run)
{
    const DescriptionFields& d = run.description;
    // The path is quoted: unquoted, a path with blanks (any install under
    // "Program Files") starts the uninstaller with the rest of its path as
    // an argument.
    String uninstall = QuotedUninstallerPath(run) + " " + UninstallArguments(run);
    WriteText(key, "UninstallString", uninstall, false);
    WriteText(key, "QuietUninstallString",
              QuotedUninstallerPath(run) + " /a " + UninstallArguments(run), false);
    WriteText(key, "DisplayName", d.displayName.IsEmpty() ? run.productName : d.displayName,
              false);
    WriteText(key, "InstallSource", OwnPathFromCommandLine(GetCommandLineA()), false);
    WriteText(key, "DisplayVersion", d.displayVersion, true);
    WriteText(key, "Publisher", d.publisher, true);
    WriteText(key, "InstallLocation", run.installDirectory, false);
    WriteText(key, "InstallDate", InstallDateText(), false);
    WriteVersionNumbers(key, d.displayVersion);
    WriteText(key, "ProductRegistry", d.productRegistry, true);
    WriteText(key, "ProductStartMenu", d.startMenuFolder, true);
    WriteText(key, "SharedPath", run.sharedDirectory, true);
    WriteText(key, "ProductFonts", run.fontList, true);
    WriteNumber(key, "ProductFlags", ProductFlagsOf(run));
    WriteText(key, "UninstallBatch1", d.uninstallBatch1, true);
    WriteText(key, "UninstallBatch2", d.uninstallBatch2, true);
    WriteText(key, "SharedFiles", run.previousSharedFiles, true);
    WriteText(key, "UninstallSubdir", d.uninstallSubdir, true);
    WriteText(key, "DisplayTitle", MessageText(MsgProductTitle), false);
    WriteTitleColor(key, run);
    WriteNumber(key, "TopColor", Background.topColor);
    WriteNumber(key, "BottomColor", Background.bottomColor);
    WriteNumber(key, "MonoColor", Background.monoColor ? 1 : 0);
    // What the system's list of programs shows: the product's icon, which
    // the uninstaller carries, the size, and no Modify or Repair buttons,
    // which the uninstaller does not offer.
    WriteText(key, "DisplayIcon", UninstallerPath(run), false);
    WriteNumber(key, "EstimatedSize", InstalledKilobytes(d));
    WriteNumber(key, "NoModify", 1);
    WriteNumber(key, "NoRepair", 1);
    // Kept over a reinstall, which finds the file there: the file goes
    // with its last PATH line only when an installation made it.
    if (run.madeAutoexec)
        WriteNumber(key, "AutoexecCreated", 1);
    return uninstall;
}

// Opens the product's key, writes the values and reads UninstallString
// back: a registry that silently drops writes leaves an uninstaller nobody
// can start. False when the key did not open or the text differs.
bool WriteRegistration(const InstallRun& run)
{
    String keyPath = UninstallKeyPath(run.productName.CStr());
    RegistryKey key;
    if (RegistryOpenSoftwareKey(key, keyPath.CStr(), 0, 0) == RegOpenFailed)
        return false;
    String written = WriteRegistrationValues(key, run);
    bool same = RegistryGetString(key, "UninstallString", String(), 0) == written;
    RegistryCloseKey(key);
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
