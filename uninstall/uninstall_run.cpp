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

// The look of the installation's background, the uninstall folder and
// the uninstaller.
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
    String command = ReadText(registration, "UninstallString");
    run.registeredUninstaller = PopQuotedText(command);
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

// What an installation was to a key, as its backup value tells.
enum KeyOrigin : int {
    KeyFound,       // nothing to undo, or a value others changed since
    KeyRestored,    // the key was there: its default from before is back
    KeyCreated,     // the installation made it and it is still its own
};

// Puts the default value of `key` from before the installation back with
// its type and drops the backup. A record that marks its keys has its
// value (`ours`) put back only while the default is still that value;
// one of earlier versions always has it put back.
int RestoreDefault(const RegistryKey& key, const String& backupName,
                   const UninstallAssociation& association, const String& ours)
{
    const char* backup = backupName.CStr();
    DWORD kind = RegistryValueType(key, backup);
    if (kind == RegNoValue)
        return KeyFound;
    DWORD current = RegistryValueType(key, "");
    bool stillOurs = !association.marked || current == RegNoValue
                     || (current == REG_SZ && ReadText(key, "").Compare(ours, false) == 0);
    // The mark of a created key goes with the key, which another
    // association of the record may still hold.
    if (kind == REG_NONE && stillOurs)
        return KeyCreated;
    int origin = KeyFound;
    if (kind != REG_NONE && stillOurs) {
        RegistryCopyValue(key, backup, "");
        origin = KeyRestored;
    }
    RegistryDeleteValue(key, backup);
    return origin;
}

// Whether a key goes after its default was dealt with: a marked record
// removes what the installation created and nobody filled since; one of
// earlier versions whatever held no backup.
bool KeyGoes(const UninstallAssociation& association, int origin)
{
    return association.marked ? origin == KeyCreated : origin != KeyRestored;
}

// Whether a key left without subkeys goes: a marked record's only when the
// installation created it; a record of earlier versions' always.
bool EmptyKeyGoes(const UninstallAssociation& association, int origin)
{
    return !association.marked || origin == KeyCreated;
}

// The verb's key under `shell` goes unless it was there before (or, for a
// record of earlier versions, its command had an earlier default); a
// command key the installation added to an earlier verb goes alone.
void RestoreVerb(const RegistryKey& shell, const UninstallAssociation& association,
                 const String& backupName)
{
    RegistryKey verbKey;
    const char* verb = association.verb.CStr();
    if (RegistryOpenSubkey(verbKey, shell, verb, RegOpenOnly) == RegOpenFailed)
        return;
    int verbOrigin = RestoreDefault(verbKey, backupName, association, String());
    int commandOrigin = KeyFound;
    RegistryKey command;
    if (RegistryOpenSubkey(command, verbKey, "command", RegOpenOnly) != RegOpenFailed) {
        commandOrigin = RestoreDefault(command, backupName, association, association.command);
        RegistryCloseKey(command);
    }
    bool verbGoes = KeyGoes(association, commandOrigin) && EmptyKeyGoes(association, verbOrigin);
    if (!verbGoes && association.marked && commandOrigin == KeyCreated)
        RegistryDeleteKey(verbKey, "command", 0);
    RegistryCloseKey(verbKey);
    if (verbGoes)
        RegistryDeleteKey(shell, verb, 0);
}

// Gives an extension and its file type back what they held before the
// installation; keys it created go when nothing else is left in them.
void RestoreAssociation(const UninstallAssociation& association, const String& backupName)
{
    // A missing extension key counts as one to delete: nothing happens.
    int extensionOrigin = KeyCreated;
    RegistryKey extension;
    if (RegistryOpenKey(extension, HKEY_CLASSES_ROOT, association.extension.CStr(), RegOpenOnly)
        != RegOpenFailed) {
        extensionOrigin = RestoreDefault(extension, backupName, association, association.fileType);
        if (RegistryHasSubkeys(extension) && association.marked)
            extensionOrigin = KeyFound;
        RegistryCloseKey(extension);
    }
    bool typeGoes = false;
    RegistryKey type;
    if (RegistryOpenKey(type, HKEY_CLASSES_ROOT, association.fileType.CStr(), RegOpenOnly)
        != RegOpenFailed) {
        int typeOrigin = RestoreDefault(type, backupName, association, association.description);
        RegistryKey shell;
        if (RegistryOpenSubkey(shell, type, "shell", RegOpenOnly) != RegOpenFailed) {
            int shellOrigin = RestoreDefault(shell, backupName, association,
                                             association.defaultVerb);
            RestoreVerb(shell, association, backupName);
            bool shellGoes = !RegistryHasSubkeys(shell) && EmptyKeyGoes(association, shellOrigin);
            RegistryCloseKey(shell);
            if (shellGoes)
                RegistryDeleteKey(type, "shell", 0);
        }
        typeGoes = !RegistryHasSubkeys(type) && EmptyKeyGoes(association, typeOrigin);
        RegistryCloseKey(type);
        if (typeGoes)
            RegistryDeleteKeyPath(HKEY_CLASSES_ROOT, association.fileType.CStr(), 0);
    }
    // Earlier versions took the extension only together with its type.
    if (KeyGoes(association, extensionOrigin) && (typeGoes || association.marked))
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

// ------------------------------------------------------------ bounds

// The folders an installation places its files, shortcuts and fonts in.
void FindOwnedFolders(UninstallerRun& run)
{
    String* folders = run.ownedFolders;
    folders[0] = run.installDirectory;
    folders[1] = run.sharedDirectory;
    folders[2] = DesktopFolder();
    folders[3] = ProgramsFolder();
    folders[4] = StartupFolder();
    folders[5] = FontsFolder();
}

// `path` lies inside one of the owned folders.
bool IsOwnedPath(const UninstallerRun& run, const char* path)
{
    for (const String& folder : run.ownedFolders)
        if (PathLiesInside(path, folder.CStr()))
            return true;
    return false;
}

// A directory the run may remove (when empty): inside an owned folder, or
// one of the folders that hold the installation directory, which its
// destination may have made.
bool MayRemoveDirectory(const UninstallerRun& run, const char* path)
{
    return IsOwnedPath(run, path) || PathLiesInside(run.installDirectory.CStr(), path);
}

// ------------------------------------------------------------ files and folders

// Deletes a recorded file, or collects a directory. A file that stays is
// recorded again, for the rewritten record. The folder of a file inside
// the installation directory is collected too: a record rewritten after a
// failure lists only the files, and the run that retries them leaves no
// empty folders behind.
//
// Skipped: what lies outside what an installation can own, and key lines.
// The engine writes none; the only keys of HKEY_CLASSES_ROOT an
// installation owns are its associations', which their own records give
// back and remove, so a key line could only take someone else's.
void RemoveRecordedItem(void* context, const UninstallItem& item)
{
    UninstallerRun& run = *static_cast<UninstallerRun*>(context);
    const char* path = item.path.CStr();
    if (IsMadeParentItem(item, run.installDirectory)) {
        // Still holding the directory: left to the self-removal script,
        // and kept in the record for a later run should this one fail.
        run.madeParents.AddTail(item.path);
        RecordForUninstall(run.uninstallList, path, UiDirectory);
    } else if (item.kind == UiDirectory) {
        if (MayRemoveDirectory(run, path))
            run.recordedDirectories.AddTail(item.path);
    } else if (item.kind == UiKey || !IsOwnedPath(run, path)) {
        return;
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
               && MayRemoveDirectory(run, directory.CStr())
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
// reached zero. Without a count nobody can tell who else uses the file:
// it stays, and so does the (missing) value.
bool CountDown(const RegistryKey& counts, const String& path)
{
    if (!RegistryValueExists(counts, path.CStr()))
        return false;
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
        uint8_t created = (uint8_t)RegistryGetInt(registration, "AutoexecCreated", 0, 0);
        String message = EditAutoexecPath(installDir.CStr(), false, created);
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
    uint8_t trust = ReadTrustedUninstallData(dataPath, run.productName.CStr(), record);
    if (trust == RecordTampered) {
        ShowError(run, kCorrupt, run.productName.CStr());
        RegistryCloseKey(registration);
        return 0;
    }
    AdoptRecordMessages(run, record);
    if (!run.automaticMode && AskQuestion(MessageText(MsgUninstallConfirm), MsgUninstallConfirmCaption) != IDYES) {
        run.outcome = OutcomeCancelled;
        EndRun(run);
    }

    run.sharedDirectory = ReadText(registration, "SharedPath");
    FindOwnedFolders(run);
    RunBatchValue(run, registration, "UninstallBatch1", installDir.CStr(),
                  run.sharedDirectory.CStr());
    // Nothing tells an earlier version's association lines from someone
    // else's type (exefile): without a digest they stay as they are.
    if (trust == RecordVerified)
        RestoreAssociations(run, record);
    RemoveFonts(run, registration);
    ClearUninstallList(run.uninstallList);
    RemoveRecordedItems(run, record);
    RemoveDirectories(run);
    DeleteFileOnly(UninstallFolderFile(installDir.CStr(), run.uninstallSubdir, kInstallLogName).CStr());
    WriteUninstallData(dataPath, run.productName.CStr(), run.uninstallList, String());
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
