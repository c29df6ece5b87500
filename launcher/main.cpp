// Entry of the stub: start-up, the command line, then either the uninstall
// branch or the installation road. Every way out ends through ExitProgram
// or a fatal stop, so the exit code is always 1.
#include <windows.h>

#include "core/byte_stream.h"
#include "core/fatal.h"
#include "install/sequence.h"
#include "launcher/archive.h"
#include "launcher/command_line.h"
#include "launcher/description.h"
#include "launcher/report.h"
#include "launcher/state.h"
#include "system/library.h"
#include "ui/background.h"
#include "uninstall/self_removal.h"
#include "uninstall/uninstall_run.h"

namespace {

constexpr int kInterpreterBufferSize = 256;

// Batch files are started through the command interpreter.
void FindCommandInterpreter()
{
    char expanded[kInterpreterBufferSize];
    DWORD length = ExpandEnvironmentStringsA("%comspec%", expanded, sizeof expanded);
    if (length > 0 && length <= sizeof expanded)
        CommandInterpreter = expanded;
    if (CommandInterpreter.IsBlank())
        CommandInterpreter = "command.com";
}

void SetStartColours()
{
    TitleColor = GetSysColor(COLOR_WINDOWTEXT);
    TopColor = GetSysColor(COLOR_WINDOW);
    BottomColor = 0;
    MonoColor = 1;
}

void ApplyCommandLine(const char* arguments)
{
    CommandLine options;
    String error;
    if (!ParseCommandLine(String(arguments), options, error))
        UsageError(error.CStr());
    AutomaticMode = options.automatic;
    UninstallRequested = options.uninstall;
    ProductName = options.productName;
    InstallDirectoryOverride = options.installDirectory;
}

[[noreturn]] void RunUninstall()
{
    if (ProductName.IsEmpty())
        UsageError("Product name required");
    String installDir = InstallDirectoryOverride;
    if (UninstallRun(installDir))
        RemoveUninstaller(installDir.CStr());
    ExitProgram();
}

// Finds and reads the archive; returns the uninstaller's image, which is
// built before anything is installed.
String LoadArchive()
{
    File own;
    OpenOwnFile(own);
    ArchiveSection section = LocateArchive(own);
    ByteStream description;
    LoadDescription(description);
    ReadDescription(description, ArchiveInfo.descriptionKey);
    return BuildUninstallerImage(own, section);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int)
{
    RestrictLibrarySearch();
    FindCommandInterpreter();
    ProgramInstance = instance;
    SetStartColours();
    OwnFatalBoxes();
    BackgroundWindow = CreateBackgroundWindow(instance, NULL);
    ApplyCommandLine(arguments);
    if (UninstallRequested)
        RunUninstall();
    RunInstallation(LoadArchive());
}
