#include "install/install_log.h"

#include <windows.h>

#include "archive/format.h"
#include "core/directory.h"
#include "core/file.h"
#include "core/format.h"
#include "core/paths.h"
#include "product/uninstall_record.h"
#include "ui/messages.h"
#include "ui/program_windows.h"

namespace {

// The version this installer reports in every log block.
constexpr double kInstallerVersion = 6.2;

String InstallLogPath(const InstallRun& run)
{
    return UninstallFolderFile(run.installDirectory.CStr(), run.description.uninstallSubdir,
                               kInstallLogName);
}

// Tells the user how the run went. With errors, asks whether to read the
// log (true: open it at the end); without, says the installation is
// complete, and the completion becomes the text the log records.
bool ShowInstallResult(const InstallRun& run, String& errorText, const String& logPath)
{
    if (!errorText.IsEmpty()) {
        if (run.automaticMode)
            return false;
        String question = MessageFormatted(MsgLogWrittenQuestion, "s", logPath.CStr());
        return MessageBoxA(BackgroundWindow, question.CStr(), MessageText(MsgLogWrittenCaption),
                           MB_YESNO | MB_ICONINFORMATION) == IDYES;
    }
    if (!run.automaticMode)
        MessageBoxA(BackgroundWindow, MessageText(MsgInstallComplete), MessageText(MsgInstallCompleteCaption), MB_ICONINFORMATION);
    errorText = MessageText(MsgInstallCompleteCaption);
    errorText += "\r\n\r\n";
    return false;
}

String InstallLogBlock(const InstallRun& run, const String& errorText,
                       const String& fileReportText)
{
    const String& displayVersion = run.description.displayVersion;
    String block;
    block.AppendFormat("\r\nInstallation log for: %s\r\n", run.productName.CStr());
    block.AppendFormat("Install date: %s\r\n", DateTimeNowText().CStr());
    block.AppendFormat("Install type: %s\r\n", run.isReinstall ? "Reinstall" : "New");
    block.Append("Install location: ");
    block.Append(run.installDirectory);
    block.Append("\r\n");
    block.AppendFormat("Installer version: %.1f\r\n", kInstallerVersion);
    if (!displayVersion.IsEmpty())
        block.AppendFormat("Product version: %s\r\n", displayVersion.CStr());
    block.Append("\r\n");
    if (!fileReportText.IsEmpty()) {
        block.Append(fileReportText);
        block.Append("\r\n");
    }
    block.Append(errorText);
    return block;
}

}  // namespace

void WriteInstallLog(const InstallRun& run, String errorText, const String& fileReportText,
                     uint8_t showResult)
{
    String logPath = InstallLogPath(run);
    bool hadErrors = !errorText.IsEmpty();
    bool openLog = showResult ? ShowInstallResult(run, errorText, logPath) : false;

    // A clean run leaves a trace only when the product asks for one.
    if (!(run.description.productFlags & PfAlwaysLog) && !hadErrors && fileReportText.IsEmpty())
        return;
    String block = InstallLogBlock(run, errorText, fileReportText);
    if (AppendTextToFile(logPath.CStr(), block.CStr()) && openLog)
        ShellOpen(logPath.CStr());
}
