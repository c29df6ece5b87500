#include "product/uninstall_record.h"

#include <string.h>

#include "core/file.h"
#include "core/paths.h"
#include "product/uninstall_data.h"
#include "system/digest.h"
#include "system/registry.h"
#include "ui/messages.h"

namespace {

// Paths this short are drive roots ("C:\") or less: never removed.
constexpr int kShortestRecordedPath = 4;

// True when `path` is new to the list's set of directories (and is now in it).
bool AddToDirectorySet(UninstallList& list, const char* path)
{
    String key(path);
    key.MakeUpper();
    CollectionIterator it;
    for (String* seen = list.recordedDirectories.First(it); seen;
         seen = list.recordedDirectories.Next(it))
        if (seen->Compare(key) == 0)
            return false;
    list.recordedDirectories.AddTail(key);
    return true;
}

}  // namespace

// ------------------------------------------------------------------- list

void ClearUninstallList(UninstallList& list)
{
    list.text.Clear();
    list.recordedDirectories.Clear();
}

void RecordForUninstall(UninstallList& list, const char* path, int kind)
{
    if (path == nullptr || (int)strlen(path) < kShortestRecordedPath)
        return;
    if (kind != UiFile && !AddToDirectorySet(list, path))
        return;
    list.text += UninstallItemLine(path, kind);
}

bool IsMadeParentItem(const UninstallItem& item, const String& directory)
{
    return item.kind == UiDirectory && item.path.IsPrefixOfNoCase(directory.CStr())
           && directory.CharAt(item.path.Length()) == '\\';
}

// ------------------------------------------------------------ locations

const char kSharedCountsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

String UninstallKeyPath(const char* productName)
{
    String path("Microsoft\\Windows\\CurrentVersion\\Uninstall\\");
    return path + productName;
}

const char kInstallLogName[] = "Install.LOG";
const char kBackgroundFileName[] = "Installer Background.BMP";

String UninstallFolderFile(const char* installDir, const String& uninstallSubdir,
                           const char* name)
{
    return PathJoin(installDir, PathJoin(uninstallSubdir.CStr(), name).CStr());
}

String UninstallDataPath(const char* installDir, const String& uninstallSubdir)
{
    return UninstallFolderFile(installDir, uninstallSubdir, "Uninstall.DAT");
}

const char kRecordDigestValue[] = "UninstallDataSHA256";

namespace {

// The registration of the product, opened only when it exists.
bool OpenRegistration(RegistryKey& key, const char* productName)
{
    return RegistryOpenSoftwareKey(key, UninstallKeyPath(productName).CStr(), 0, RegOpenOnly)
           != RegOpenFailed;
}

}  // namespace

bool WriteUninstallData(const String& path, const char* productName, const UninstallList& list,
                        const String& associationRecords)
{
    String text = UninstallDataText(list.text, MessageText, associationRecords);
    String digest = Sha256Text(text);
    // Without a registration there is nobody to tell. A system without the
    // provider stores no digest: the record is then taken as an earlier
    // version's, inside the removal bounds.
    RegistryKey key;
    bool registered = OpenRegistration(key, productName);
    // Until the new record has replaced the old one either may be on disk,
    // should the run be killed: both are vouched for meanwhile.
    if (registered && !digest.IsEmpty()) {
        String both = digest;
        both += ' ';
        both += RegistryGetString(key, kRecordDigestValue, String(), 0);
        RegistrySetString(key, kRecordDigestValue, both, 0);
    }
    if (!ReplaceFileFromString(path.CStr(), text))
        return false;
    return !registered || RegistrySetString(key, kRecordDigestValue, digest, RegEmptyDeletes);
}

uint8_t ReadTrustedUninstallData(const String& path, const char* productName, String& record)
{
    // A record that cannot be read lists nothing to remove.
    if (!ReadFileToString(path.CStr(), record))
        return RecordUnverified;
    RegistryKey key;
    String stored;
    if (OpenRegistration(key, productName))
        stored = RegistryGetString(key, kRecordDigestValue, String(), 0);
    if (stored.IsEmpty())
        return RecordUnverified;
    // The value holds one digest, or during a rewrite the new record's
    // and the old one's, separated by a space.
    String digest = Sha256Text(record);
    if (!digest.IsEmpty() && stored.Find(digest.CStr()) >= 0)
        return RecordVerified;
    record.Clear();
    return RecordTampered;
}
