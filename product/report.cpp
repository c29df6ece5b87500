// The program's reporting routines.
#include "product/report.h"

#include <stdarg.h>

#include "core/directory.h"
#include "core/error_text.h"
#include "core/fatal.h"
#include "ui/messages.h"

namespace {

const char kCorruptArchive[] =
    "This self-extracting archive is corrupt.  This is often caused by a virus on your "
    "computer.  The installation cannot proceed.\r\n\r\nCheck your system for viruses, then ask "
    "your vendor to send you a replacement.\r\n\r\nError code: %d";
const char kUsage[] =
    "%s\n\nUsage:\n%s [/a] [/d:<dir>] [/n:<name>] [/u:<name>]\n\n/a\tAutomatic mode\n"
    "/d:\"dir\"\tOverride installation directory\n/n:\"name\"\tOverride product name\n"
    "/u:\"name\"\tUninstall product by name";

String LastErrorTextBuffer;     // the last call's text, kept until the next call

}  // namespace

void ShowError(const ProductRun& run, const char* format, ...)
{
    if (run.automaticMode)
        return;
    String text;
    va_list args;
    va_start(args, format);
    text.AppendFormatV(format, args);
    va_end(args);
    if (text.IsBlank())
        return;
    const char* caption = MessageText(MsgErrorCaption);
    if (!*caption)
        caption = "Error";
    MessageBoxA(BoxOwner(), text.CStr(), caption, MB_ICONHAND);
}

void ArchiveCorrupt(int code)
{
    // The archive's own text should be a format with one %d, like the
    // built-in one; damaged, it is shown as it stands.
    String message = *MessageText(MsgCorruptArchive)
                       ? MessageFormatted(MsgCorruptArchive, "d", code)
                       : String::Formatted(kCorruptArchive, code);
    FatalError("%s", message.CStr());
}

void UsageError(const char* text)
{
    FatalError(kUsage, text, GetModuleFileTitle().CStr());
}

const char* LastErrorText()
{
    DWORD code = GetLastError();
    if (code == 0)
        return "";
    LastErrorTextBuffer = SystemErrorText(code);
    return LastErrorTextBuffer.CStr();
}

BYTE IsWindowsNT()
{
    OSVERSIONINFOA version;
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}
