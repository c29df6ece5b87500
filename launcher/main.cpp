// Entry of the stub: start-up, the command line, then either the uninstall
// branch or the installation road. The entry makes the run that each road
// hands to its steps. Every way out ends through ExitProgram or a fatal
// stop, so the exit code is always 1 (or the standard code of the run's
// outcome, when the product asks for those).
#include <windows.h>

#include "archive/description.h"
#include "core/byte_stream.h"
#include "core/fatal.h"
#include "install/install_run.h"
#include "install/sequence.h"
#include "launcher/command_line.h"
#include "product/archive.h"
#include "product/description.h"
#include "product/report.h"
#include "product/run.h"
#include "system/library.h"
#include "ui/background.h"
#include "uninstall/self_removal.h"
#include "uninstall/uninstall_run.h"

namespace {

constexpr int kInterpreterBufferSize = 256;

// Batch files are started through the command interpreter.
String FindCommandInterpreter()
{
    String interpreter;
    char expanded[kInterpreterBufferSize];
    DWORD length = ExpandEnvironmentStringsA("%comspec%", expanded, sizeof expanded);
    if (length > 0 && length <= sizeof expanded)
        interpreter = expanded;
    if (interpreter.IsBlank())
        interpreter = "command.com";
    return interpreter;
}

void SetStartColours()
{
    Background.titleColor = GetSysColor(COLOR_WINDOWTEXT);
    Background.topColor = GetSysColor(COLOR_WINDOW);
    Background.bottomColor = 0;
    Background.monoColor = 1;
}

CommandLine ReadCommandLine(const char* arguments)
{
    CommandLine options;
    String error;
    if (!ParseCommandLine(String(arguments), options, error))
        UsageError(error.CStr());
    return options;
}

// What the command line gives either run.
void StartRun(ProductRun& run, const CommandLine& options, const String& interpreter)
{
    run.productName = options.productName;
    run.automaticMode = options.automatic;
    run.installDirectory = options.installDirectory;
    run.commandInterpreter = interpreter;
}

[[noreturn]] void RunUninstall(const CommandLine& options, const String& interpreter)
{
    if (options.productName.IsEmpty())
        UsageError("Product name required");
    UninstallerRun run;
    StartRun(run, options, interpreter);
    if (UninstallRun(run))
        RemoveUninstaller(run);
    EndRun(run);
}

// Finds and reads the archive, then installs; the uninstaller's image is
// built before anything is installed.
[[noreturn]] void RunInstall(const CommandLine& options, const String& interpreter)
{
    OpenedArchive archive;
    DescriptionFields description;
    InstallRun run(description, archive);
    StartRun(run, options, interpreter);
    File own;
    OpenOwnFile(own);
    ArchiveSection section = LocateArchive(own, archive);
    ByteStream packed;
    LoadDescription(archive, packed);
    ReadDescription(packed, archive.header.descriptionKey, description, run);
    String image = BuildUninstallerImage(own, section, archive, description);
    own.Close();
    RunInstallation(run, image);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int)
{
    RestrictLibrarySearch();
    String interpreter = FindCommandInterpreter();
    SetStartColours();
    OwnFatalBoxes(1);
    BackgroundWindow = CreateBackgroundWindow(instance, NULL);
    CommandLine options = ReadCommandLine(arguments);
    if (options.uninstall)
        RunUninstall(options, interpreter);
    RunInstall(options, interpreter);
}
