#include "install/sequence.h"

#include <windows.h>

#include "archive/format.h"
#include "core/directory.h"
#include "core/format.h"
#include "core/paths.h"
#include "core/retry.h"
#include "install/batch.h"
#include "install/install_log.h"
#include "install/placement.h"
#include "install/registry_entries.h"
#include "install/run_state.h"
#include "install/shortcuts.h"
#include "install/uninstall_record.h"
#include "install/versions.h"
#include "launcher/archive.h"
#include "launcher/description.h"
#include "launcher/report.h"
#include "launcher/state.h"
#include "system/registry.h"
#include "system/shell.h"
#include "ui/background.h"
#include "ui/dialogs.h"

namespace {

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr INT_PTR kDialogContinue = 1001;

uint8_t HasFlag(uint32_t flag)
{
    return (ProductFlags & flag) != 0;
}

// ------------------------------------------------------------ step timing

DWORD StepStart = 0;

void MarkStep()
{
    StepStart = GetTickCount();
}

void BeginStep(int message)
{
    MarkStep();
    SetStatusText("%s", MessageText(message));
}

void BeginStepAt(int message, int percent)
{
    BeginStep(message);
    SetProgress(percent);
}

// The tick count wraps after 49 days; a start "after" now counts from the
// other side.
DWORD TicksSinceStepStart()
{
    DWORD now = GetTickCount();
    DWORD elapsed = now - StepStart;
    return elapsed < 0x80000000u ? elapsed : StepStart - now - 1;
}

// Keeps a step on screen for at least `ms` in a run that someone watches,
// with the windows alive meanwhile.
void HoldStep(DWORD ms)
{
    if (AutomaticMode)
        return;
    for (DWORD i = 0; i < ms; i++) {
        if (PumpMessages())
            return;
        DWORD elapsed = TicksSinceStepStart();
        if ((int32_t)elapsed < 0 || elapsed >= ms)
            return;
        Sleep(1);
    }
}

[[noreturn]] void StopWithError(const String& text)
{
    Outcome = OutcomeFailed;
    ShowError("%s", text.CStr());
    ExitProgram();
}

// ------------------------------------------------------------ questions

void ChooseLanguage()
{
    if (LanguageCount <= 1 || AutomaticMode) {
        SelectedLanguage = 0;
        return;
    }
    if (ShowLanguageDialog(LanguageNames, LanguageCount) != kDialogContinue)
        ExitProgram();
}

void ShowProductTitle()
{
    DisplayTitle = MessageText(MsgProductTitle);
    RedrawBackground();
}

void FindMasterProduct()
{
    if (!HasFlag(PfNeedsMaster))
        return;
    String master = MasterProduct.IsEmpty() ? ProductName : MasterProduct;
    String location;
    if (!ProductIsInstalled(master.CStr(), location))
        StopWithError(MessageFormatted(MsgMasterMissing, "s", master.CStr()));
    if (DefaultDirectory.Compare("<master>", false) == 0)
        DefaultDirectory = location;
}

void FindPreviousInstallation()
{
    if (!HasFlag(PfUninstallSupport))
        return;
    String key = String(kUninstallKey) + ProductName;
    if (!RegistryOpenKey(HKEY_LOCAL_MACHINE, key.CStr(), RegOpenOnly))
        return;
    PreviousLocation = RegistryGetString("InstallLocation", "", 0);
    PreviousVersion = RegistryGetString("DisplayVersion", "", 0);
    PreviousSharedFiles = RegistryGetString("SharedFiles", "", 0);
    RegistryCloseKey();
}

bool EarlierInstallationExists()
{
    return !PreviousLocation.IsEmpty() && DirectoryExists(PreviousLocation.CStr());
}

void AskWelcome()
{
    if (AutomaticMode)
        return;
    if (WelcomePrompt(BackgroundWindow, String(MessageText(MsgWelcome)), ProductName))
        ExitProgram();
}

void ShowLicenseAndReadme()
{
    if (AutomaticMode)
        return;
    if (!LicenseText.IsEmpty() && ShowLicenseDialog(LicenseText.CStr()) != kDialogContinue)
        ExitProgram();
    if (!ReadmeText.IsEmpty() && ShowReadmeDialog(ReadmeText.CStr()) != kDialogContinue)
        ExitProgram();
}

int ExistingInstallationMessage()
{
    if (PreviousVersion.IsEmpty() || DisplayVersion.IsEmpty())
        return MsgExistingVersionUnknown;
    int order = CompareVersions(PreviousVersion.CStr(), DisplayVersion.CStr());
    return order == 0 ? MsgExistingSameVersion
         : order < 0  ? MsgExistingOlderVersion
                      : MsgExistingNewerVersion;
}

void AskAboutExistingInstallation()
{
    if (!HasFlag(PfUninstallSupport) || !EarlierInstallationExists())
        return;
    if (HasFlag(PfRefuseReinstall)) {
        AutomaticMode = 0;
        StopWithError(String(MessageText(MsgRefuseReinstall)));
    }
    if (!AutomaticMode) {
        String text = String(MessageText(ExistingInstallationMessage())) + "\r\n" +
                      PreviousLocation + "\r\n\r\n" + MessageText(MsgExistingContinue);
        if (AskQuestion(text.CStr(), MsgExistingCaption) != IDYES)
            ExitProgram();
    }
    IsReinstall = 1;
    InstallDirectory = PreviousLocation;
}

// ------------------------------------------------------------ destination

// Bytes the files take on a drive of this cluster size.
int64_t RequiredSpace(int cluster)
{
    int64_t required = 0;
    for (int i = 0; i < FileCount; i++)
        required += RoundUpToMultiple(StoredSizes[i], cluster);
    return required;
}

// Each refusal of the directory typed: shows why and returns false.
bool IsUsableName(const String& directory)
{
    if (IsValidPathName(directory.CStr()) && IsAbsolutePath(directory.CStr()))
        return true;
    ShowError("%s\r\n%s", MessageText(MsgInvalidDestination), directory.CStr());
    return false;
}

bool IsUsableDrive(const String& directory)
{
    // A network path has no drive letter to test.
    char drive = PathDriveLetter(directory.CStr());
    if (drive == 0 || DriveExists(drive))
        return true;
    ShowError("%s", MessageFormatted(MsgDriveNotAvailable, "c", drive).CStr());
    return false;
}

bool IsUsableLocation(const String& directory)
{
    if (directory.Length() <= 3) {
        ShowError("%s", MessageText(MsgDestinationTooShort));
        return false;
    }
    String programFiles = ProgramFilesFolder();
    if (PathsEqual(directory.CStr(), programFiles.CStr())) {
        ShowError("%s",
                  MessageFormatted(MsgDestinationProgramFiles, "s", programFiles.CStr()).CStr());
        return false;
    }
    return true;
}

bool HasRoomOrUserAgrees(const String& directory)
{
    char drive = PathDriveLetter(directory.CStr());
    if (drive == 0)
        return true;
    int64_t required = RequiredSpace(ClusterSize(drive));
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

bool CreateChosenDirectory(const String& directory)
{
    if (CreateDirectoryPath(directory.CStr()))
        return true;
    ShowError("%s\n%s", MessageText(MsgCannotCreateDir), directory.CStr());
    return false;
}

// Asks until the user gives a directory that passes every check, or
// cancels.
void AskForDestination()
{
    for (;;) {
        if (!ChooseDirectory(InstallDirectory))
            ExitProgram();
        InstallDirectory.Trim();
        const String& directory = InstallDirectory;
        if (directory.IsEmpty())
            continue;
        if (!IsUsableName(directory) || !IsUsableDrive(directory) ||
            !IsUsableLocation(directory) || !HasRoomOrUserAgrees(directory))
            continue;
        bool exists = DirectoryExists(directory.CStr());
        if (!UserConfirms(directory, exists))
            continue;
        if (exists || CreateChosenDirectory(directory))
            return;
    }
}

void ChooseDestination()
{
    if (InstallDirectory.IsEmpty())
        InstallDirectory = DefaultDirectory;
    if (AutomaticMode || !HasFlag(PfAskDirectory)) {
        CreateDirectoryPath(InstallDirectory.CStr());
        return;
    }
    AskForDestination();
}

// ------------------------------------------------------------ the work

void ShowVolumeProgress(int position)
{
    SetProgress(position);
}

void PrepareFileArea()
{
    ArchiveProgress = ShowVolumeProgress;
    AssembleFileData();
    HoldStep(700);
    if (HasFlag(PfCompressed)) {
        BeginStepAt(MsgStatusExpanding, 40);
        ExpandAssembledFileData();
        HoldStep(700);
    }
    MarkStep();
}

void PrepareUninstallDirectory()
{
    UninstallDirectory = UninstallSubdir.IsEmpty()
                             ? InstallDirectory
                             : PathJoin(InstallDirectory.CStr(), UninstallSubdir.CStr());
    if (!UninstallSubdir.IsEmpty())
        CreateDirectoryPath(UninstallDirectory.CStr());
    ClearUninstallList();
}

void PlaceFiles()
{
    for (int i = 0; i < FileCount; i++) {
        SetProgress(i * 40 / FileCount + 45);
        PlaceFile(i);
    }
}

// The background picture, kept for the uninstaller's background.
void SaveBackgroundPicture()
{
    if (!HasFlag(PfKeepBackground) || BackgroundImage.IsEmpty())
        return;
    String path = PathJoin(UninstallDirectory.CStr(), kBackgroundFileName);
    if (BackgroundImage.SaveFile(path.CStr()))
        RecordForUninstall(path.CStr(), 0);
    else
        AppendFailedLine(ErrorText, path.CStr());
}

void WriteUninstallRecord()
{
    if (!HasFlag(PfUninstallSupport) || WriteUninstallData(InstallDirectory.CStr()))
        return;
    AppendFailedLine(ErrorText, PathJoin(UninstallDirectory.CStr(), "Uninstall.DAT").CStr());
}

void CloseProgressDialog()
{
    if (ProgressDialog != NULL) {
        DestroyWindow(ProgressDialog);
        ProgressDialog = NULL;
    }
}

void AskForRestart()
{
    if (!HasFlag(PfRebootNeeded))
        return;
    if (AutomaticMode)
        RebootRequested = 1;
    else if (AskQuestion(MessageText(MsgRestartQuestion), MsgQuestionCaption) == IDYES)
        RebootRequested = 1;
}

// The NT family restarts only for a process that holds the shutdown
// privilege, which a process has but must switch on.
void EnableShutdownPrivilege()
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueA(NULL, "SeShutdownPrivilege", &privileges.Privileges[0].Luid))
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, NULL, NULL);
    CloseHandle(token);
}

// Files in use are replaced while the system starts, so the user's yes to
// the question is a restart, not a log-off.
bool RestartSystem()
{
    if (IsWindowsNT())
        EnableShutdownPrivilege();
    return ExitWindowsEx(EWX_REBOOT, 0xFFFFFFFF) != 0;
}

// Runs one of the installation's batches in the install directory.
bool RunInstallBatch(const String& commands, String& errorText)
{
    return RunBatchCommands(InstallDirectory.CStr(), commands, SharedDirectory.CStr(), errorText);
}

// The last batch runs after the log was written and the result shown: one
// that cannot start gets a log block of its own, and the user is asked
// about it as about the other errors.
void RunFinalBatch()
{
    String error;
    if (!RunInstallBatch(FinalBatch, error)) {
        WriteInstallLog(error, String(), InstallDirectory.CStr(), IsReinstall, 1);
        ErrorText += error;
    }
}

}  // namespace

void RunInstallation(const String& uninstallerImage)
{
    // The run ends in ExitProgram, so the text outlives every retry. Its
    // lines head the log's file lines.
    String retryLines;
    SetRetryLog(&retryLines);
    ChooseLanguage();
    ShowProductTitle();
    FindMasterProduct();
    FindPreviousInstallation();
    AskWelcome();
    ShowLicenseAndReadme();
    InstallDirectory = InstallDirectoryOverride;
    AskAboutExistingInstallation();
    if (!IsReinstall)
        ChooseDestination();
    RunInstallBatch(PreInstallBatch, ErrorText);

    OpenProgressDialog(!HasFlag(PfNoCancel));
    BeginStep(MsgStatusPreparing);
    PrepareFileArea();
    if (IsWindowsNT())
        LinkMoveFileEx();
    PrepareUninstallDirectory();
    PlaceFiles();
    AnnounceFontChange();
    SetProgress(87);
    if (HasFlag(PfUninstallSupport))
        UpdateSharedCounts();
    HoldStep(400);
    BeginStepAt(MsgStatusShortcuts, 90);
    MakeFileShortcuts();
    if (HasFlag(PfUninstallSupport))
        MakeUninstallShortcuts();
    SetProgress(95);
    HoldStep(700);
    SaveBackgroundPicture();
    CreateProductKeys();
    AssociateFileTypes();
    if (HasFlag(PfEditPath))
        ErrorText += EditAutoexecPath(InstallDirectory.CStr(), true);
    if (HasFlag(PfUninstallSupport))
        RegisterUninstall(uninstallerImage);
    HoldStep(700);
    BeginStepAt(MsgStatusFinal, 100);
    WriteUninstallRecord();
    RunInstallBatch(PostInstallBatch, ErrorText);
    HoldStep(700);
    CloseProgressDialog();

    WriteInstallLog(ErrorText, retryLines + FileReportText, InstallDirectory.CStr(), IsReinstall,
                    1);
    AskForRestart();
    RunFinalBatch();
    RemoveDirectoryOnly(SharedDirectory.CStr());
    RemoveDirectoryOnly(InstallDirectory.CStr());
    bool restarted = RebootRequested && RestartSystem();
    if (!ErrorText.IsEmpty())
        Outcome = OutcomeFailed;
    else if (HasFlag(PfRebootNeeded) && !restarted)
        Outcome = OutcomeRestartPending;
    else
        Outcome = OutcomeSucceeded;
    ExitProgram();
}
