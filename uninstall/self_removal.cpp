#include "uninstall/self_removal.h"

#include <windows.h>

#include "core/directory.h"
#include "core/file.h"
#include "core/paths.h"
#include "core/string.h"
#include "system/process.h"

namespace {

const char kScriptName[] = "delunins.bat";
// Names tried for the script's folder before giving up.
constexpr int kFolderAttempts = 100;

// Makes a folder of its own in the user's temporary folder, which only that
// user may write, so that nobody else can change the script before it runs.
// Only a folder made here and now will do: an existing one could have been
// prepared by someone else. Returns its path, or "" when none could be made.
String MakeScriptFolder()
{
    String temp = GetTempDirectoryString();
    String folder;
    if (temp.IsEmpty())
        return folder;
    DWORD seed = GetTickCount();
    for (int attempt = 0; attempt < kFolderAttempts; attempt++) {
        // The temporary folder's path ends with a backslash.
        folder.Format("%s%sU%08lX", temp.CStr(), kTempFilePrefix, seed + attempt);
        if (CreateDirectoryOnly(folder.CStr()))
            return folder;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    folder.Clear();
    return folder;
}

const char kRemoveFolderLine[] = "rd \"%s\"\r\n";

// The script's lines: delete the program until it is free to go, remove
// the uninstall folder, the installation directory and the parents the
// installation made when they are empty, then the script itself and its
// folder, on one line, because the interpreter reads no line after its
// file is gone.
String ScriptText(UninstallerRun& run, const String& folder, const String& script)
{
    const char* installDir = run.installDirectory.CStr();
    String program = GetModulePath();
    String uninstallFolder;
    if (!run.uninstallSubdir.IsEmpty())
        uninstallFolder.Format(kRemoveFolderLine,
                               PathJoin(installDir, run.uninstallSubdir.CStr()).CStr());
    String parents;
    CollectionIterator it;
    for (String* parent = run.madeParents.First(it); parent; parent = run.madeParents.Next(it))
        parents.AppendFormat(kRemoveFolderLine, parent->CStr());
    return String::Formatted(":Repeat\r\ndel \"%s\"\r\nif exist \"%s\" goto Repeat\r\n"
                             "%srd \"%s\"\r\n%sdel \"%s\" & rd \"%s\"\r\n",
                             program.CStr(), program.CStr(), uninstallFolder.CStr(), installDir,
                             parents.CStr(), script.CStr(), folder.CStr());
}

// Starts the interpreter on the script in a minimised console of its own,
// which closes when the script ends. The script's last line removes its
// folder; an interpreter that keeps the script open until the end (Wine's
// does) cannot remove it then, so the command line tries once more after
// the script. The working directory is the temporary folder: a process's
// working directory cannot be removed, and the directories the script
// removes must not be it.
bool StartScript(const String& interpreter, const String& folder, const String& script)
{
    String commandLine = String::Formatted("\"%s\" /c call \"%s\" & rd \"%s\"",
                                           interpreter.CStr(), script.CStr(),
                                           folder.CStr());
    String workDir = PathDirectory(folder.CStr());
    HANDLE process = StartProcess(commandLine, CREATE_NEW_CONSOLE, SW_MINIMIZE, workDir.CStr());
    if (!process)
        return false;
    CloseProcess(process);
    return true;
}

}  // namespace

uint32_t RemoveUninstaller(UninstallerRun& run)
{
    String folder = MakeScriptFolder();
    if (folder.IsEmpty())
        return SelfRemovalScriptFailed;
    String script = PathJoin(folder.CStr(), kScriptName);
    if (!WriteFileFromString(script.CStr(), ScriptText(run, folder, script))) {
        RemoveDirectoryOnly(folder.CStr());
        return SelfRemovalScriptFailed;
    }
    if (!StartScript(run.commandInterpreter, folder, script)) {
        DeleteFileOnly(script.CStr());
        RemoveDirectoryOnly(folder.CStr());
        return SelfRemovalStartFailed;
    }
    return SelfRemovalStarted;
}
