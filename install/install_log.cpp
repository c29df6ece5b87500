#include "install/install_log.h"

#include <windows.h>

#include "core/directory.h"
#include "core/file.h"
#include "core/format.h"
#include "core/paths.h"
#include "install/uninstall_record.h"
#include "launcher/description.h"
#include "launcher/state.h"
#include "ui/program_windows.h"

namespace {

// The version this installer reports in every log block.
constexpr double kInstallerVersion = 6.2;

String InstallLogPath(const char* installDir)
{
    return UninstallFolderFile(installDir, kInstallLogName);
}

// Tells the user how the run went. With errors, asks whether to read the
// log (true: open it at the end); without, says the installation is
// complete, and the completion becomes the text the log records.
bool ShowInstallResult(String& errorText, const String& logPath)
{
    if (!errorText.IsEmpty()) {
        if (AutomaticMode)
            return false;
        String question = MessageFormatted(MsgLogWrittenQuestion, "s", logPath.CStr());
        return MessageBoxA(BackgroundWindow, question.CStr(), MessageText(MsgLogWrittenCaption),
                           MB_YESNO | MB_ICONINFORMATION) == IDYES;
    }
    if (!AutomaticMode)
        MessageBoxA(BackgroundWindow, MessageText(MsgInstallComplete),
                    MessageText(MsgInstallCompleteCaption), MB_ICONINFORMATION);
    errorText = MessageText(MsgInstallCompleteCaption);
    errorText += "\r\n\r\n";
    return false;
}

String InstallLogBlock(const String& errorText, const String& fileReportText,
                       const char* installDir, uint8_t isReinstall)
{
    String block;
    block.AppendFormat("\r\nInstallation log for: %s\r\n", ProductName.CStr());
    block.AppendFormat("Install date: %s\r\n", DateTimeNowText().CStr());
    block.AppendFormat("Install type: %s\r\n", isReinstall ? "Reinstall" : "New");
    block.Append("Install location: ");
    block.Append(installDir);
    block.Append("\r\n");
    block.AppendFormat("Installer version: %.1f\r\n", kInstallerVersion);
    if (!DisplayVersion.IsEmpty())
        block.AppendFormat("Product version: %s\r\n", DisplayVersion.CStr());
    block.Append("\r\n");
    if (!fileReportText.IsEmpty()) {
        block.Append(fileReportText);
        block.Append("\r\n");
    }
    block.Append(errorText);
    return block;
}

}  // namespace

void WriteInstallLog(String errorText, const String& fileReportText, const char* installDir,
                     uint8_t isReinstall, uint8_t showResult)
{
    String logPath = InstallLogPath(installDir);
    bool hadErrors = !errorText.IsEmpty();
    bool openLog = showResult ? ShowInstallResult(errorText, logPath) : false;

    // A clean run leaves a trace only when the product asks for one.
    if (!(ProductFlags & PfAlwaysLog) && !hadErrors && fileReportText.IsEmpty())
        return;
    String block = InstallLogBlock(errorText, fileReportText, installDir, isReinstall);
    if (AppendTextToFile(logPath.CStr(), block.CStr()) && openLog)
        ShellOpen(logPath.CStr());
}
