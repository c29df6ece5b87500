#include "product/batch.h"

#include <windows.h>

#include "core/directory.h"
#include "core/file.h"
#include "core/paths.h"
#include "product/report.h"
#include "system/private_folder.h"
#include "system/process.h"
#include "system/shell.h"
#include "ui/program_windows.h"

namespace {

// The first file only starts the interpreter on the second, so that the
// interpreter gets room for the SET block (/e:) whatever its default is.
const char kStarterBatch[] = "QDITBF1.BAT";
const char kCommandBatch[] = "QDITBF2.BAT";

String ModuleDrive()
{
    return String::Formatted("%c:", GetModuleDrive());
}

String BootDrive()
{
    return String::Formatted("%c:", BootDriveLetter());
}

// The places handed to the commands after the install and shared
// directories, in the order of their SET lines.
struct SetVariable {
    const char* name;           // the variable
    String (*value)();          // its value, read when the block is built
};
const SetVariable kSetVariables[] = {
    {"InstallerFilepath", GetModulePath},
    {"InstallerDir", GetModuleDirectory},
    {"InstallerFilename", GetModuleFileTitle},
    {"InstallerDrive", ModuleDrive},
    {"SystemDir", GetSystemDirectoryString},
    {"DeviceDir", DevicePathFolder},
    {"MediaDir", MediaFolder},
    {"FavoritesDir", FavoritesFolder},
    {"FontDir", FontsFolder},
    {"DesktopDir", DesktopFolder},
    {"DocumentDir", PersonalFolder},
    {"ProgramsDir", ProgramFilesFolder},
    {"StartMenuDir", StartMenuRootFolder},
    {"SMProgramsDir", ProgramsFolder},
    {"StartupDir", StartupFolder},
    {"BootDrive", BootDrive},
};

void AppendSetBlock(String& text, const char* workDir, const char* sharedDir)
{
    text.AppendFormat("SET InstallDir=%s\nSET InstallDrive=%c:\nSET SharedDir=%s\n", workDir,
                      workDir[0], sharedDir);
    for (const SetVariable& variable : kSetVariables)
        text.AppendFormat("SET %s=%s\n", variable.name, variable.value().CStr());
}

// A PAUSE line (blanks and one '@' allowed, any case): it would wait for a
// key that nobody presses in an automatic run or behind a hidden window.
bool IsPauseLine(String line)
{
    line.Trim();
    line.StripLeading('@');
    line.Trim();
    return line.Compare("PAUSE", false) == 0;
}

void AppendWithoutPauses(String& text, String commands)
{
    while (!commands.IsEmpty()) {
        String line = commands.PopLine();
        if (!IsPauseLine(line))
            text.Append(line).Append('\n');
    }
}

String CommandBatchText(uint8_t withoutPauses, const char* workDir, const String& commands,
                        const char* sharedDir)
{
    String text = "@echo off\n";
    if (workDir[0] != 0)
        AppendSetBlock(text, workDir, sharedDir);
    if (withoutPauses)
        AppendWithoutPauses(text, commands);
    else
        text.Append(commands);
    text.ToCrLf();
    return text;
}

// A console that ran a batch file to its end stays open on Windows 9x with
// the batch's name in its title ("Finished - QDITBF1"), and the wait would
// never end on it, so it is closed instead.
BOOL CALLBACK CloseFinishedBatchWindow(HWND window, LPARAM closed)
{
    char title[256];
    int length = GetWindowTextA(window, title, sizeof title);
    if (length > 8 && String(title).Find("QDITBF1", 1, String::FindNoCase) >= 1) {
        PostMessageA(window, WM_CLOSE, 0, 0);
        *(bool*)closed = true;
    }
    return TRUE;
}

// Keeps the windows alive while the batch runs; ends when the process did,
// or when the pump saw the program's windows go. On the NT family only the
// process's end counts: there a console's title is the batch's command line
// while it runs, so a title with the batch's name says nothing of its end.
// Windows 9x is asked every millisecond for the finished window as well.
void WaitForBatch(HANDLE process)
{
    BYTE nt = OnWindowsNT();
    if (!nt)
        Sleep(250);
    for (;;) {
        DWORD woken = MsgWaitForMultipleObjects(1, &process, FALSE, nt ? INFINITE : 1,
                                                QS_ALLINPUT);
        if (woken != WAIT_OBJECT_0 + 1 && woken != WAIT_TIMEOUT)
            return;
        bool closed = false;
        if (!nt)
            EnumWindows(CloseFinishedBatchWindow, (LPARAM)&closed);
        if (PumpMessages() || closed)
            return;
    }
}

bool StartBatch(uint8_t hidden, const char* starter, const char* workDir)
{
    String commandLine = String::Formatted("\"%s\"", starter);
    HANDLE process = StartProcess(commandLine, NORMAL_PRIORITY_CLASS,
                                  hidden ? SW_HIDE : -1, workDir);
    if (!process)
        return false;
    WaitForBatch(process);
    CloseProcess(process);
    return true;
}

// The starter's line. cmd.exe keeps the quotes of /c "path" only when the
// path holds none of &<>()@^| ("C:\Program Files (x86)\..." does); else it
// drops the first and the last quote of the line, and the path breaks at
// its first blank. So the NT family gets the path in two pairs of quotes,
// of which one pair is left; command.com takes the line as it is.
String StarterText(const String& interpreter, const char* batch)
{
    const char* quote = OnWindowsNT() ? "\"\"" : "\"";
    return String::Formatted("@%s /e:4096 /c %s%s%s", interpreter.CStr(), quote,
                             batch, quote);
}

// Writes a new file (never one that is there), then keeps it open for
// reading only: others may read it, as the system and the interpreter do,
// but nobody may change, delete or rename it until `file` is closed. (A
// handle that may write would keep the system from starting the file.)
bool WriteHeldFile(File& file, const char* path, const String& text)
{
    return file.Open(path, FoCreateNew | FoNoRead) && file.Write(text.CStr(), text.Length())
           && file.Open(path, FoOpenExisting | FoNoWrite | FoShareRead);
}

// Writes both files into `folder`, runs them and waits, then removes files
// and folder. True when the interpreter was started.
bool RunInFolder(const ProductRun& run, uint8_t hidden, const char* workDir,
                 const String& commands, const char* sharedDir, const String& folder)
{
    String starterPath = PathJoin(folder.CStr(), kStarterBatch);
    String batchPath = PathJoin(folder.CStr(), kCommandBatch);
    const char* starter = starterPath.CStr();
    const char* batch = batchPath.CStr();
    uint8_t withoutPauses = run.automaticMode || hidden;
    File starterFile, batchFile;
    bool started = WriteHeldFile(starterFile, starter, StarterText(run.commandInterpreter, batch))
                   && WriteHeldFile(batchFile, batch, CommandBatchText(withoutPauses, workDir,
                                                                      commands, sharedDir))
                   && StartBatch(hidden, starter, workDir);
    starterFile.Close();
    batchFile.Close();
    DeleteFileOnly(starter);
    DeleteFileOnly(batch);
    RemoveDirectoryOnly(folder.CStr());
    return started;
}

}  // namespace

bool RunBatchCommands(const ProductRun& run, uint8_t hidden, const char* workDir,
                      const String& commands, const char* sharedDir, String& errorText)
{
    if (commands.IsEmpty())
        return true;
    // The files go into a folder of the run's own rather than the working
    // directory, where anyone who may write there could have put files of
    // these names first, or change them before the interpreter reads them.
    String folder = MakePrivateFolder('B');
    bool started = !folder.IsEmpty() && RunInFolder(run, hidden, workDir, commands, sharedDir,
                                                    folder);
    if (!started)
        errorText.AppendFormat("Unable to run the batch file %s.\r\n\r\n",
                               PathJoin(workDir, kCommandBatch).CStr());
    return started;
}

namespace {

// Where `line` stands in `text` as a whole line of its own, in any letter
// case, the last line also without its line end: its start, with its
// length and line end in `length`; -1 when it is not there.
int FindWholeLine(const String& text, const String& line, int& length)
{
    for (int at = 0; at < text.Length(); at += length) {
        int end = text.FindChar('\n', at);
        length = (end < 0 ? text.Length() : end + 1) - at;
        String found = text.Mid(at, length);
        found.TrimRight("\r\n");
        if (found.Compare(line, false) == 0)
            return at;
    }
    return -1;
}

}  // namespace

String EditAutoexecPath(const char* dir, bool add, uint8_t& created)
{
    String autoexec = String::Formatted("%c:\\autoexec.bat", BootDriveLetter());
    const char* path = autoexec.CStr();
    String text;
    bool missing = !PathExists(path);
    bool ok = missing ? add : ReadFileToString(path, text);
    String line = String::Formatted("PATH=%%PATH%%;%s", GetShortPath(dir).CStr());
    int length = 0;
    int at = FindWholeLine(text, line, length);
    // The file is replaced whole, through a new file beside it, so that it
    // is never left cut short.
    if (ok && add && at < 0) {
        if (!text.IsEmpty() && !text.LastIs('\n'))
            text += "\r\n";
        text += line + "\r\n";
        ok = ReplaceFileFromString(path, text);
        if (missing)
            created = ok;
    } else if (ok && !add && at >= 0) {
        text.Delete(at, length);
        // A file that the installation made goes when nothing else is in it.
        ok = created && text.IsBlank() ? DeleteFileOnly(path) : ReplaceFileFromString(path, text);
    }
    if (!ok)
        return String::Formatted("Unable to modify %s.  You will need to manually %s %s %s the "
                                 "PATH environment variable.\r\n\r\n", path,
                                 add ? "add" : "remove", dir, add ? "to" : "from");
    return String();
}
