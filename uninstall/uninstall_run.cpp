#include "uninstall/uninstall_run.h"

#include "archive/format.h"
#include "core/containers.h"
#include "core/directory.h"
#include "core/file.h"
#include "core/paths.h"
#include "product/batch.h"
#include "product/report.h"
#include "product/shared_files.h"
#include "product/uninstall_data.h"
#include "product/uninstall_record.h"
#include "system/registry.h"
#include "system/shell.h"
#include "ui/background.h"
#include "ui/messages.h"
#include "ui/program_windows.h"

namespace {

const char kNotInstalled[] = "No product named '%s' is installed.";
const char kNotAccessible[] =
    "Unable to access the uninstall information for:\r\n%s\r\n\r\n"
    "The uninstallation cannot be performed.";
const char kCorrupt[] =
    "The uninstall information for %s is corrupt.\r\n\r\nThe uninstallation cannot be performed.";
const char kSharedCountsError[] =
    "REGISTRY ERROR:  Unable to adjust shared file reference counts.\r\n\r\n";
const char kLineBlanks[] = " \t\r\n";

// Folder chains (the start menu's, the product key's) are climbed at most
// this far.
constexpr int kMaxClimb = 20;

// With the product's flag for it, and unless automatic, asks question
// `message` about `item`; true when the user declines.
bool Declines(const UninstallerRun& run, uint32_t flag, int message, const String& item, int caption)
{
    if (run.automaticMode || !(run.productFlags & flag))
        return false;
    return AskQuestion(MessageFormatted(message, "s", item.CStr()).CStr(), caption) != IDYES;
}

void ShowNotice(const UninstallerRun& run, const String& text, int caption, UINT icon)
{
    if (!run.automaticMode)
        MessageBoxA(BoxOwner(), text.CStr(), MessageText(caption), icon);
}

// MsgUninstallErrorPrefix, the item, a line end.
void AppendFailure(UninstallerRun& run, const char* item)
{
    run.errorText.AppendFormat("%s %s\r\n", MessageText(MsgUninstallErrorPrefix), item);
}

String ReadText(const RegistryKey& key, const char* name)
{
    return RegistryGetString(key, name, String(), 0);
}

// Deletes a file; true when it is still there afterwards. Whether it stays
// is asked by its attributes: a file that another program holds open
// without sharing cannot be opened to test that it exists, and must not
// pass for one that is already gone.
bool FileRemains(const char* path)
{
    return !DeleteFileForced(path) && PathExists(path);
}

// Removes the next quoted text of a list, blanks before it skipped; empty
// when the list does not continue with a quote.
String PopQuotedText(String& list)
{
    list.TrimLeft(kLineBlanks);
    return list.PopQuoted('"');
}

// ------------------------------------------------------------ registration

// Opens the registration into `registration` (the run keeps it open to the
// end) and reads where the product is; false, after the box, when the run
// cannot start.
bool OpenRegistration(UninstallerRun& run, RegistryKey& registration)
{
    String& installDir = run.installDirectory;
    String keyPath = UninstallKeyPath(run.productName.CStr());
    if (!RegistrySoftwareKeyExists(keyPath.CStr(), 0)) {
        ShowError(run, kNotInstalled, run.productName.CStr());
        return false;
    }
    if (RegistryOpenSoftwareKey(registration, keyPath.CStr(), 0, 0) == RegOpenFailed) {
        ShowError(run, kNotAccessible, run.productName.CStr());
        return false;
    }
    installDir = ReadText(registration, "InstallLocation");
    if (installDir.IsBlank()) {
        ShowError(run, kCorrupt, run.productName.CStr());
        RegistryCloseKey(registration);
        return false;
    }
    return true;
}

// The look of the installation's background, and the uninstall folder.
void RestoreBackground(UninstallerRun& run, const RegistryKey& registration)
{
    run.productFlags = RegistryGetInt(registration, "ProductFlags", 0, 0);
    if (run.productFlags & PfQuietUninstall)
        run.automaticMode = 1;
    SetExitCodes(run, (run.productFlags & PfStandardExitCodes) != 0);
    Background.displayTitle = ReadText(registration, "DisplayTitle");
    Background.titleColor =
        RegistryGetInt(registration, "TitleColor", GetSysColor(COLOR_WINDOWTEXT), 0);
    Background.topColor = RegistryGetInt(registration, "TopColor", GetSysColor(COLOR_WINDOW), 0);
    Background.bottomColor = RegistryGetInt(registration, "BottomColor", 0, 0);
    Background.monoColor = RegistryGetBool(registration, "MonoColor", 1, 0);
    run.uninstallSubdir = ReadText(registration, "UninstallSubdir");
    if (run.productFlags & PfKeepBackground)
        Background.image.LoadFile(UninstallFolderFile(run.installDirectory.CStr(),
                                                     run.uninstallSubdir, kBackgroundFileName)
                                     .CStr());
    RedrawBackground();
}

// The record's messages become the message table (one language).
void AdoptRecordMessages(const UninstallerRun& run, const String& record)
{
    ResizeMessageTable(kMaxUninstallMessageNumber + 1, 1, run.productName);
    SelectMessageLanguage(0);
    UninstallRecordVisitor visitor;
    visitor.message = [](void*, const UninstallMessage& message) {
        SetMessage(message.number, 0, message.text);
    };
    ReadUninstallRecord(record, visitor);
}

// A batch that could not be started is a failure, and its value stays for
// the next run.
void RunBatchValue(UninstallerRun& run, const RegistryKey& registration, const char* name,
                   const char* workDir, const char* sharedDir)
{
    uint8_t hidden = (run.productFlags & PfHideBatch) != 0;
    if (RunBatchCommands(run, hidden, workDir, ReadText(registration, name), sharedDir,
                         run.errorText))
        RegistryDeleteValue(registration, name);
}

// ------------------------------------------------------------ associations

// Puts the backed-up default value of `key` back. True when there was one.
bool RestoreDefault(const RegistryKey& key, const String& backupName)
{
    String earlier = ReadText(key, backupName.CStr());
    if (earlier.IsBlank())
        return false;
    RegistrySetString(key, "", earlier, 0);
    RegistryDeleteValue(key, backupName.CStr());
    return true;
}

// The verb's key under `shell` goes unless its command had an earlier
// default.
void RestoreVerb(const RegistryKey& shell, const String& verb, const String& backupName)
{
    RegistryKey verbKey;
    if (RegistryOpenSubkey(verbKey, shell, verb.CStr(), 0) == RegOpenFailed)
        return;
    bool keep = false;
    RegistryKey command;
    if (RegistryOpenSubkey(command, verbKey, "command", RegOpenOnly) != RegOpenFailed) {
        keep = RestoreDefault(command, backupName);
        RegistryCloseKey(command);
    }
    RegistryCloseKey(verbKey);
    if (!keep)
        RegistryDeleteKey(shell, verb.CStr(), 0);
}

// Gives an extension and its file type back what they held before the
// installation; keys left empty go.
void RestoreAssociation(const UninstallAssociation& association, const String& backupName)
{
    bool extensionGoes = true;
    RegistryKey extension;
    if (RegistryOpenKey(extension, HKEY_CLASSES_ROOT, association.extension.CStr(), RegOpenOnly)
        != RegOpenFailed) {
        extensionGoes = !RestoreDefault(extension, backupName);
        RegistryCloseKey(extension);
    }
    RegistryKey type;
    if (RegistryOpenKey(type, HKEY_CLASSES_ROOT, association.fileType.CStr(), RegOpenOnly)
        == RegOpenFailed)
        return;
    RestoreDefault(type, backupName);
    RegistryKey shell;
    if (RegistryOpenSubkey(shell, type, "shell", RegOpenOnly) != RegOpenFailed) {
        RestoreDefault(shell, backupName);
        RestoreVerb(shell, association.verb, backupName);
        bool shellEmpty = !RegistryHasSubkeys(shell);
        RegistryCloseKey(shell);
        if (shellEmpty)
            RegistryDeleteKey(type, "shell", 0);
    }
    bool typeEmpty = !RegistryHasSubkeys(type);
    RegistryCloseKey(type);
    if (!typeEmpty)
        return;
    RegistryDeleteKeyPath(HKEY_CLASSES_ROOT, association.fileType.CStr(), 0);
    if (extensionGoes)
        RegistryDeleteKeyPath(HKEY_CLASSES_ROOT, association.extension.CStr(), 0);
}

void RestoreAssociations(const UninstallerRun& run, const String& record)
{
    String backupName = run.productName + " Backup";
    UninstallRecordVisitor visitor;
    visitor.context = &backupName;
    visitor.association = [](void* backup, const UninstallAssociation& association) {
        RestoreAssociation(association, *static_cast<String*>(backup));
    };
    ReadUninstallRecord(record, visitor);
}

// ------------------------------------------------------------ fonts

// Unloads and deletes the product's fonts; those whose files stay are kept
// in ProductFonts for another run.
void RemoveFonts(UninstallerRun& run, const RegistryKey& registration)
{
    String list = ReadText(registration, "ProductFonts");
    if (list.IsEmpty())
        return;
    String kept;
    bool changed = false;
    while (!list.IsEmpty()) {
        String title = PopQuotedText(list);
        String file = PopQuotedText(list);
        if (title.IsEmpty() || file.IsEmpty())
            break;
        if (Declines(run, PfAskFonts, MsgFontQuestion, title, MsgFontCaption))
            continue;
        // A font the system no longer holds (after a restart nothing loads
        // it again) cannot be unloaded, yet its file may go; only a font
        // whose file stays is kept for another run.
        String path = PathJoin(FontsFolder().CStr(), file.CStr());
        if (RemoveFontFile(file.CStr()))
            changed = true;
        if (FileRemains(path.CStr())) {
            AppendFailure(run, file.CStr());
            kept.AppendFormat("\"%s\" \"%s\" ", title.CStr(), file.CStr());
        }
    }
    RegistrySetString(registration, "ProductFonts", kept, 0);
    if (changed)
        SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0);
}

// ------------------------------------------------------------ files and folders

// Deletes a recorded file or key, or collects a directory. A file that
// stays is recorded again, for the rewritten record. The folder of a file
// inside the installation directory is collected too: a record rewritten
// after a failure lists only the files, and the run that retries them
// leaves no empty folders behind.
void RemoveRecordedItem(void* context, const UninstallItem& item)
{
    UninstallerRun& run = *static_cast<UninstallerRun*>(context);
    const char* path = item.path.CStr();
    if (item.kind == UiDirectory) {
        run.recordedDirectories.AddTail(item.path);
    } else if (item.kind == UiKey) {
        RegistryDeleteKeyPath(HKEY_CLASSES_ROOT, path, 0);
    } else if (FileRemains(path)) {
        AppendFailure(run, path);
        RecordForUninstall(run.uninstallList, path, UiFile);
    } else if (run.installPrefix.IsPrefixOfNoCase(path)) {
        // Files of one folder follow each other: it is collected once.
        String folder = PathDirectory(path);
        CollectionIterator it;
        String* last = run.recordedDirectories.Last(it);
        if (!last || *last != folder)
            run.recordedDirectories.AddTail(folder);
    }
}

void RemoveRecordedItems(UninstallerRun& run, const String& record)
{
    run.installPrefix = run.installDirectory;
    run.installPrefix.EnsureTrailing('\\');
    UninstallRecordVisitor visitor;
    visitor.context = &run;
    visitor.item = RemoveRecordedItem;
    ReadUninstallRecord(record, visitor);
}

// The recorded directories, deepest first, each with the parents it leaves
// empty, up to the installation directory, which stays. A directory taken
// is emptied in the list.
void RemoveDirectories(UninstallerRun& run)
{
    const String& installDir = run.installDirectory;
    for (;;) {
        String* longest = nullptr;
        CollectionIterator it;
        for (String* path = run.recordedDirectories.First(it); path; path = run.recordedDirectories.Next(it))
            if (!longest || path->Length() > longest->Length())
                longest = path;
        if (!longest || longest->IsEmpty())
            return;
        String directory = longest->Extract(0);
        while (!PathsEqual(directory.CStr(), installDir.CStr())
               && RemoveDirectoryOnly(directory.CStr())) {
            directory.StripTrailing('\\');
            directory = PathDirectory(directory.CStr());
        }
    }
}

// The product's start-menu folder, and its parent when that is left empty;
// the Programs folder itself always stays.
void RemoveStartMenuFolder(const RegistryKey& registration)
{
    String folder = ReadText(registration, "ProductStartMenu");
    if (folder.IsBlank())
        return;
    String programs = ProgramsFolder();
    String path = PathJoin(programs.CStr(), folder.CStr());
    for (int pass = 0; pass < kMaxClimb; pass++) {
        if (PathsEqual(path.CStr(), programs.CStr()) || !RemoveDirectoryOnly(path.CStr()))
            return;
        // "Programs\A\B" becomes "Programs\A\", which names A; a second
        // cut would change nothing.
        String parent = path;
        if (!PathRemoveFileName(parent) || parent == path)
            return;
        path = parent;
    }
}

// ------------------------------------------------------------ shared files

// Counts down one value of the shared-counts key; true when the count
// reached zero or there was none.
bool CountDown(const RegistryKey& counts, const String& path)
{
    DWORD count = RegistryGetInt(counts, path.CStr(), 0, 0);
    if (count > 0)
        RegistrySetInt(counts, path.CStr(), count - 1, RegEmptyDeletes);
    return count <= 1;
}

void CountDownSharedFiles(UninstallerRun& run, const RegistryKey& registration)
{
    String list = ReadText(registration, "SharedFiles");
    if (list.IsEmpty())
        return;
    RegistryKey counts;
    if (RegistryOpenKey(counts, HKEY_LOCAL_MACHINE, kSharedCountsKey, 0) == RegOpenFailed) {
        run.errorText += kSharedCountsError;
        return;
    }
    String path;
    bool countOnly;
    while (PopSharedFile(list, path, countOnly)) {
        // A system file or a permanent shared file is only counted down.
        if (!CountDown(counts, path) || countOnly || !FileExists(path.CStr()))
            continue;
        if (Declines(run, PfAskSharedDelete, MsgSharedFileQuestion, path, MsgSharedFileCaption))
            continue;
        DeleteFileForced(path.CStr());
    }
    RegistryCloseKey(counts);
}

// ------------------------------------------------------------ product key

// Deletes Software\<key> with its subkeys, then its parent key when that is
// left empty.
void RemoveProductKey(const String& key, BYTE user)
{
    String path = key;
    for (int pass = 0; pass < kMaxClimb && !path.IsEmpty(); pass++) {
        if (!RegistryDeleteSoftwareKey(path.CStr(), user, pass == 0 ? (RegistryFlags)0 : RegOnlyIfEmpty))
            return;
        // "A\B" becomes "A\", which names A itself; a second cut would
        // change nothing.
        String parent = path;
        if (!PathRemoveFileName(parent) || parent == path)
            return;
        path = parent;
    }
}

// The whole installation tree, when the product asked not to list its
// files; never a root or a folder of the system, of all programs or of the
// users, however the registration writes it.
void RemoveInstallTree(const String& installDir)
{
    String folder;
    if (FolderRefusal(installDir.CStr(), folder) == FolderUsable)
        RemoveDirectoryTree(installDir.CStr());
}

// Once nothing failed: the last batch, then the record, the PATH line and
// the registration itself. A last batch that cannot start keeps them all,
// so that a later run, with its messages, can try again.
void RemoveRegistration(UninstallerRun& run, const RegistryKey& registration)
{
    const String& installDir = run.installDirectory;
    RunBatchValue(run, registration, "UninstallBatch2", PathDriveRoot(installDir.CStr()).CStr(),
                  "");
    if (!run.errorText.IsEmpty())
        return;
    DeleteFileOnly(UninstallDataPath(installDir.CStr(), run.uninstallSubdir).CStr());
    if (run.productFlags & PfEditPath) {
        String message = EditAutoexecPath(installDir.CStr(), false);
        ShowError(run, "%s", message.CStr());
    }
    RegistryDeleteSoftwareKey(UninstallKeyPath(run.productName.CStr()).CStr(), 0, 0);
}

}  // namespace

BYTE UninstallRun(UninstallerRun& run)
{
    // Until the user confirms, any end is a failure to start, except the
    // no to the confirmation itself.
    run.outcome = OutcomeFailed;
    RegistryKey registration;
    if (!OpenRegistration(run, registration))
        return 0;
    RestoreBackground(run, registration);
    const String& installDir = run.installDirectory;
    String dataPath = UninstallDataPath(installDir.CStr(), run.uninstallSubdir);
    String record;
    ReadFileToString(dataPath.CStr(), record);
    AdoptRecordMessages(run, record);
    if (!run.automaticMode && AskQuestion(MessageText(MsgUninstallConfirm), MsgUninstallConfirmCaption) != IDYES) {
        run.outcome = OutcomeCancelled;
        EndRun(run);
    }

    run.sharedDirectory = ReadText(registration, "SharedPath");
    RunBatchValue(run, registration, "UninstallBatch1", installDir.CStr(),
                  run.sharedDirectory.CStr());
    RestoreAssociations(run, record);
    RemoveFonts(run, registration);
    ClearUninstallList(run.uninstallList);
    RemoveRecordedItems(run, record);
    RemoveDirectories(run);
    DeleteFileOnly(UninstallFolderFile(installDir.CStr(), run.uninstallSubdir, kInstallLogName).CStr());
    WriteUninstallData(dataPath, run.uninstallList, String());
    ClearUninstallList(run.uninstallList);
    RemoveStartMenuFolder(registration);
    CountDownSharedFiles(run, registration);
    RemoveDirectoryOnly(run.sharedDirectory.CStr());
    String productKey = ReadText(registration, "ProductRegistry");
    if (!productKey.IsEmpty()) {
        RemoveProductKey(productKey, 0);
        RemoveProductKey(productKey, 1);
        RegistryDeleteValue(registration, "ProductRegistry");
    }
    if (run.productFlags & PfNoUninstallList)
        RemoveInstallTree(installDir);
    if (run.errorText.IsEmpty())
        RemoveRegistration(run, registration);
    RegistryCloseKey(registration);

    if (run.errorText.IsEmpty()) {
        run.outcome = OutcomeSucceeded;
        ShowNotice(run, MessageText(MsgUninstallComplete), MsgUninstallCompleteCaption,
                   MB_ICONINFORMATION);
        return 1;
    }
    ShowNotice(run, MessageFormatted(MsgUninstallErrors, "s", run.errorText.CStr()),
               MsgQuestionCaption, MB_ICONWARNING);
    return 0;
}
