#include "install/sequence.h"

#include <windows.h>

#include "archive/format.h"
#include "core/directory.h"
#include "core/file.h"
#include "core/format.h"
#include "core/paths.h"
#include "core/retry.h"
#include "system/process.h"
#include "install/install_log.h"
#include "install/placement.h"
#include "install/registration.h"
#include "install/registry_entries.h"
#include "install/shortcuts.h"
#include "install/versions.h"
#include "product/archive.h"
#include "product/batch.h"
#include "product/report.h"
#include "product/uninstall_record.h"
#include "system/registry.h"
#include "system/shell.h"
#include "ui/background.h"
#include "ui/dialogs.h"
#include "ui/messages.h"
#include "ui/program_windows.h"

namespace {

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr INT_PTR kDialogContinue = 1001;

uint8_t HasFlag(const InstallRun& run, uint32_t flag)
{
    return (ProductFlagsOf(run) & flag) != 0;
}

// ------------------------------------------------------------ step timing

void MarkStep(InstallRun& run)
{
    run.stepStart = GetTickCount();
}

void BeginStep(InstallRun& run, int message)
{
    MarkStep(run);
    SetStatusText("%s", MessageText(message));
}

void BeginStepAt(InstallRun& run, int message, int percent)
{
    BeginStep(run, message);
    SetProgress(percent);
}

// The tick count wraps after 49 days; a start "after" now counts from the
// other side.
DWORD TicksSinceStepStart(const InstallRun& run)
{
    DWORD now = GetTickCount();
    DWORD elapsed = now - run.stepStart;
    return elapsed < 0x80000000u ? elapsed : run.stepStart - now - 1;
}

// Keeps a step on screen for at least `ms` in a run that someone watches,
// with the windows alive meanwhile.
void HoldStep(const InstallRun& run, DWORD ms)
{
    if (run.automaticMode)
        return;
    for (DWORD i = 0; i < ms; i++) {
        if (PumpMessages())
            return;
        DWORD elapsed = TicksSinceStepStart(run);
        if ((int32_t)elapsed < 0 || elapsed >= ms)
            return;
        Sleep(1);
    }
}

[[noreturn]] void StopWithError(InstallRun& run, const String& text)
{
    run.outcome = OutcomeFailed;
    ShowError(run, "%s", text.CStr());
    EndRun(run);
}

// ------------------------------------------------------------ questions

void ChooseLanguage(const InstallRun& run)
{
    const DescriptionFields& d = run.description;
    if (d.languageCount <= 1 || run.automaticMode) {
        SelectMessageLanguage(0);
        return;
    }
    if (ShowLanguageDialog(d.languageNames, d.languageCount) != kDialogContinue)
        EndRun(run);
}

void ShowProductTitle()
{
    Background.displayTitle = MessageText(MsgProductTitle);
    RedrawBackground();
}

// A product that needs its master product installs only where the master
// is, and takes its directory when the description says "<master>".
void FindMasterProduct(InstallRun& run)
{
    if (!HasFlag(run, PfNeedsMaster))
        return;
    const String& masterProduct = run.description.masterProduct;
    String master = masterProduct.IsEmpty() ? run.productName : masterProduct;
    String location;
    if (!ProductIsInstalled(master.CStr(), location))
        StopWithError(run, MessageFormatted(MsgMasterMissing, "s", master.CStr()));
    if (run.defaultDirectory.Compare("<master>", false) == 0)
        run.defaultDirectory = location;
}

void FindPreviousInstallation(InstallRun& run)
{
    if (!HasFlag(run, PfUninstallSupport))
        return;
    String key = String(kUninstallKey) + run.productName;
    RegistryKey registration;
    if (!RegistryOpenKey(registration, HKEY_LOCAL_MACHINE, key.CStr(), RegOpenOnly))
        return;
    run.previousLocation = RegistryGetString(registration, "InstallLocation", "", 0);
    run.previousVersion = RegistryGetString(registration, "DisplayVersion", "", 0);
    run.previousSharedFiles = RegistryGetString(registration, "SharedFiles", "", 0);
    RegistryCloseKey(registration);
}

bool EarlierInstallationExists(const InstallRun& run)
{
    return !run.previousLocation.IsEmpty() && DirectoryExists(run.previousLocation.CStr());
}

void AskWelcome(const InstallRun& run)
{
    if (run.automaticMode)
        return;
    if (WelcomePrompt(BackgroundWindow, String(MessageText(MsgWelcome)), run.productName))
        EndRun(run);
}

void ShowLicenseAndReadme(const InstallRun& run)
{
    if (run.automaticMode)
        return;
    const DescriptionFields& d = run.description;
    if (!d.licenseText.IsEmpty() && ShowLicenseDialog(d.licenseText.CStr()) != kDialogContinue)
        EndRun(run);
    if (!d.readmeText.IsEmpty() && ShowReadmeDialog(d.readmeText.CStr()) != kDialogContinue)
        EndRun(run);
}

int ExistingInstallationMessage(const InstallRun& run)
{
    const String& displayVersion = run.description.displayVersion;
    if (run.previousVersion.IsEmpty() || displayVersion.IsEmpty())
        return MsgExistingVersionUnknown;
    int order = CompareVersions(run.previousVersion.CStr(), displayVersion.CStr());
    return order == 0 ? MsgExistingSameVersion
         : order < 0  ? MsgExistingOlderVersion
                      : MsgExistingNewerVersion;
}

void AskAboutExistingInstallation(InstallRun& run)
{
    if (!HasFlag(run, PfUninstallSupport) || !EarlierInstallationExists(run))
        return;
    if (HasFlag(run, PfRefuseReinstall)) {
        run.automaticMode = 0;
        StopWithError(run, String(MessageText(MsgRefuseReinstall)));
    }
    if (!run.automaticMode) {
        String text = String(MessageText(ExistingInstallationMessage(run))) + "\r\n" +
                      run.previousLocation + "\r\n\r\n" + MessageText(MsgExistingContinue);
        if (AskQuestion(text.CStr(), MsgExistingCaption) != IDYES)
            EndRun(run);
    }
    run.isReinstall = 1;
    run.installDirectory = run.previousLocation;
}

// ------------------------------------------------------------ destination

// Bytes the files take on a drive of this cluster size.
int64_t RequiredSpace(const DescriptionFields& d, int cluster)
{
    int64_t required = 0;
    for (int i = 0; i < d.fileCount; i++)
        required += RoundUpToMultiple(d.storedSizes[i], cluster);
    return required;
}

// Each refusal of the directory typed: shows why and returns false.
bool IsUsableName(const InstallRun& run, const String& directory)
{
    if (IsValidPathName(directory.CStr()) && IsAbsolutePath(directory.CStr()))
        return true;
    ShowError(run, "%s\r\n%s", MessageText(MsgInvalidDestination), directory.CStr());
    return false;
}

bool IsUsableDrive(const InstallRun& run, const String& directory)
{
    // A network path has no drive letter to test.
    char drive = PathDriveLetter(directory.CStr());
    if (drive == 0 || DriveExists(drive))
        return true;
    ShowError(run, "%s", MessageFormatted(MsgDriveNotAvailable, "c", drive).CStr());
    return false;
}

// The uninstaller of a product may remove its folder whole: never a root
// or a folder that holds what others own, however it is written.
bool IsUsableLocation(const InstallRun& run, const String& directory)
{
    String folder;
    int refusal = FolderRefusal(directory.CStr(), folder);
    if (refusal == FolderIsRoot)
        ShowError(run, "%s", MessageText(MsgDestinationTooShort));
    else if (refusal == FolderIsShared)
        ShowError(run, "%s", MessageFormatted(MsgDestinationProgramFiles, "s", folder.CStr()).CStr());
    return refusal == FolderUsable;
}

// The checks of a typed directory, each refusal shown (unless automatic).
bool IsUsableDestination(const InstallRun& run, const String& directory)
{
    return IsUsableName(run, directory) && IsUsableDrive(run, directory)
           && IsUsableLocation(run, directory);
}

bool HasRoomOrUserAgrees(const InstallRun& run, const String& directory)
{
    char drive = PathDriveLetter(directory.CStr());
    if (drive == 0)
        return true;
    int64_t required = RequiredSpace(run.description, ClusterSize(drive));
    int64_t free = DiskFreeSpace(drive);
    if (required < free)
        return true;
    String text = MessageFormatted(MsgNotEnoughSpace, "scs", FormatByteSize(required).CStr(), drive,
                                   FormatByteSize(free).CStr());
    return AskQuestion(text.CStr(), MsgQuestionCaption) == IDYES;
}

bool UserConfirms(const String& directory, bool exists)
{
    String text = MessageFormatted(exists ? MsgConfirmExistingDir : MsgConfirmCreateDir, "s",
                                   directory.CStr());
    return AskQuestion(text.CStr(), MsgDestinationCaption) == IDYES;
}

// Makes the install directory with its missing parents. The parents made
// are listed for the uninstaller (the list holds nothing else yet), the
// nearest first: its self-removal script removes them after the
// directory, each only when empty. A folder that was there before is
// never listed, nor one of a directory that could not be made.
bool MakeInstallDirectory(InstallRun& run)
{
    String parent = run.installDirectory;
    for (;;) {
        parent = PathDirectory(parent.CStr());
        if (parent.Length() <= 3 || DirectoryExists(parent.CStr()))
            break;
        RecordForUninstall(run.uninstallList, parent.CStr(), UiDirectory);
    }
    if (CreateDirectoryPath(run.installDirectory.CStr()))
        return true;
    ClearUninstallList(run.uninstallList);
    return false;
}

// A reinstall makes no directory, yet the parents the first installation
// made are still the product's: they are listed again from its record.
void ListEarlierMadeParents(InstallRun& run)
{
    // Only a record that the registration vouches for: anyone may have
    // left an Uninstall.DAT in the folder.
    String record;
    if (ReadTrustedUninstallData(
            UninstallDataPath(run.installDirectory.CStr(), run.description.uninstallSubdir),
            run.productName.CStr(), record)
        != RecordVerified)
        return;
    UninstallRecordVisitor visitor;
    visitor.context = &run;
    visitor.item = [](void* context, const UninstallItem& item) {
        InstallRun& run = *static_cast<InstallRun*>(context);
        if (IsMadeParentItem(item, run.installDirectory))
            RecordForUninstall(run.uninstallList, item.path.CStr(), UiDirectory);
    };
    ReadUninstallRecord(record, visitor);
}

bool CreateChosenDirectory(InstallRun& run, const String& directory)
{
    if (MakeInstallDirectory(run))
        return true;
    ShowError(run, "%s\n%s", MessageText(MsgCannotCreateDir), directory.CStr());
    return false;
}

// Asks until the user gives a directory that passes every check, or
// cancels.
void AskForDestination(InstallRun& run)
{
    for (;;) {
        if (!ChooseDirectory(run.installDirectory))
            EndRun(run);
        run.installDirectory.Trim();
        const String& directory = run.installDirectory;
        if (directory.IsEmpty())
            continue;
        if (!IsUsableDestination(run, directory) || !HasRoomOrUserAgrees(run, directory))
            continue;
        bool exists = DirectoryExists(directory.CStr());
        if (!UserConfirms(directory, exists))
            continue;
        if (exists || CreateChosenDirectory(run, directory))
            return;
    }
}

void ChooseDestination(InstallRun& run)
{
    if (run.installDirectory.IsEmpty())
        run.installDirectory = run.defaultDirectory;
    if (run.automaticMode || !HasFlag(run, PfAskDirectory)) {
        // /d: and the default pass the dialog's checks too; a refused one
        // ends the run as a failure, before anything is changed.
        if (!IsUsableDestination(run, run.installDirectory))
            StopWithError(run, String());
        MakeInstallDirectory(run);
        return;
    }
    AskForDestination(run);
}

// ------------------------------------------------------------ the work

void ShowVolumeProgress(int position)
{
    SetProgress(position);
}

void PrepareFileArea(InstallRun& run)
{
    FileDataSource source = {run.archive, run.description, ShowVolumeProgress,
                             ExitCodeOf(run, OutcomeCancelled)};
    AssembleFileData(source, run.archiveCursor);
    HoldStep(run, 700);
    if (HasFlag(run, PfCompressed)) {
        BeginStepAt(run, MsgStatusExpanding, 40);
        ExpandAssembledFileData(source, run.archiveCursor);
        HoldStep(run, 700);
    }
    MarkStep(run);
}

void PrepareUninstallDirectory(InstallRun& run)
{
    const String& subdir = run.description.uninstallSubdir;
    run.uninstallDirectory = subdir.IsEmpty()
                                 ? run.installDirectory
                                 : PathJoin(run.installDirectory.CStr(), subdir.CStr());
    if (!subdir.IsEmpty())
        CreateDirectoryPath(run.uninstallDirectory.CStr());
    // Only a record that the registration vouches for tells what the
    // product wrote: anyone may have left an Uninstall.DAT in the folder.
    if (ReadTrustedUninstallData(UninstallDataPath(run.installDirectory.CStr(), subdir),
                                 run.productName.CStr(), run.previousRecord)
        != RecordVerified)
        run.previousRecord.Clear();
}

void PlaceFiles(InstallRun& run)
{
    int32_t fileCount = run.description.fileCount;
    for (int i = 0; i < fileCount; i++) {
        SetProgress(i * 40 / fileCount + 45);
        PlaceFile(run, i);
    }
}

// The background picture, kept for the uninstaller's background.
void SaveBackgroundPicture(InstallRun& run)
{
    if (!HasFlag(run, PfKeepBackground) || Background.image.IsEmpty())
        return;
    String path = PathJoin(run.uninstallDirectory.CStr(), kBackgroundFileName);
    if (Background.image.SaveFile(path.CStr()))
        RecordForUninstall(run.uninstallList, path.CStr(), 0);
    else
        AppendFailedLine(run.errorText, path.CStr());
}

void WriteUninstallRecord(InstallRun& run)
{
    if (!HasFlag(run, PfUninstallSupport))
        return;
    String path = UninstallDataPath(run.installDirectory.CStr(), run.description.uninstallSubdir);
    if (WriteUninstallData(path, run.productName.CStr(), run.uninstallList,
                           run.associationRecords))
        return;
    AppendFailedLine(run.errorText,
                     PathJoin(run.uninstallDirectory.CStr(), "Uninstall.DAT").CStr());
}

void CloseProgressDialog()
{
    if (ProgressDialog != NULL) {
        DestroyWindow(ProgressDialog);
        ProgressDialog = NULL;
    }
}

void AskForRestart(InstallRun& run)
{
    if (!HasFlag(run, PfRebootNeeded))
        return;
    if (run.automaticMode)
        run.rebootRequested = 1;
    else if (AskQuestion(MessageText(MsgRestartQuestion), MsgQuestionCaption) == IDYES)
        run.rebootRequested = 1;
}

// Runs one of the installation's batches in the install directory.
bool RunInstallBatch(const InstallRun& run, const String& commands, String& errorText)
{
    return RunBatchCommands(run, HasFlag(run, PfHideBatch), run.installDirectory.CStr(),
                            commands, run.sharedDirectory.CStr(), errorText);
}

// The last batch runs after the log was written and the result shown: one
// that cannot start gets a log block of its own, and the user is asked
// about it as about the other errors.
void RunFinalBatch(InstallRun& run)
{
    String error;
    if (!RunInstallBatch(run, run.description.finalBatch, error)) {
        WriteInstallLog(run, error, String(), 1);
        run.errorText += error;
    }
}

}  // namespace

void RunInstallation(InstallRun& run, const String& uninstallerImage)
{
    // The run ends in ExitProgram, so the text outlives every retry. Its
    // lines head the log's file lines.
    String retryLines;
    SetRetryLog(&retryLines);
    const DescriptionFields& d = run.description;
    ChooseLanguage(run);
    ShowProductTitle();
    run.defaultDirectory = d.defaultDirectory;
    FindMasterProduct(run);
    FindPreviousInstallation(run);
    AskWelcome(run);
    ShowLicenseAndReadme(run);
    AskAboutExistingInstallation(run);
    if (run.isReinstall)
        ListEarlierMadeParents(run);
    else
        ChooseDestination(run);
    RunInstallBatch(run, d.preInstallBatch, run.errorText);

    OpenProgressDialog(!HasFlag(run, PfNoCancel), ExitCodeOf(run, OutcomeCancelled));
    BeginStep(run, MsgStatusPreparing);
    PrepareFileArea(run);
    if (IsWindowsNT())
        LinkMoveFileEx();
    PrepareUninstallDirectory(run);
    PlaceFiles(run);
    AnnounceFontChange(run);
    SetProgress(87);
    if (HasFlag(run, PfUninstallSupport))
        UpdateSharedCounts(run);
    HoldStep(run, 400);
    BeginStepAt(run, MsgStatusShortcuts, 90);
    MakeFileShortcuts(run);
    if (HasFlag(run, PfUninstallSupport))
        MakeUninstallShortcuts(run);
    SetProgress(95);
    HoldStep(run, 700);
    SaveBackgroundPicture(run);
    CreateProductKeys(run);
    AssociateFileTypes(run);
    if (HasFlag(run, PfEditPath))
        run.errorText += EditAutoexecPath(run.installDirectory.CStr(), true, run.madeAutoexec);
    if (HasFlag(run, PfUninstallSupport))
        RegisterUninstall(run, uninstallerImage);
    HoldStep(run, 700);
    BeginStepAt(run, MsgStatusFinal, 100);
    WriteUninstallRecord(run);
    RunInstallBatch(run, d.postInstallBatch, run.errorText);
    HoldStep(run, 700);
    CloseProgressDialog();

    WriteInstallLog(run, run.errorText, retryLines + run.fileReportText, 1);
    AskForRestart(run);
    RunFinalBatch(run);
    RemoveDirectoryOnly(run.sharedDirectory.CStr());
    RemoveDirectoryOnly(run.installDirectory.CStr());
    bool restarted = run.rebootRequested && RestartSystem(IsWindowsNT());
    if (!run.errorText.IsEmpty())
        run.outcome = OutcomeFailed;
    else if (HasFlag(run, PfRebootNeeded) && !restarted)
        run.outcome = OutcomeRestartPending;
    else
        run.outcome = OutcomeSucceeded;
    EndRun(run);
}
