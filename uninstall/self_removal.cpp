#include "uninstall/self_removal.h"

#include <windows.h>

#include "core/directory.h"
#include "core/file.h"
#include "core/paths.h"
#include "core/string.h"
#include "product/batch.h"
#include "system/library.h"
#include "system/private_folder.h"
#include "system/process.h"

namespace {

const char kScriptName[] = "delunins.bat";

// The script's wait: thirty tries at most, a second apart, so that a file
// that cannot go does not keep the script running forever. The counter is
// a growing text, which every interpreter can compare.
const char kWaitLoop[] = "set T=\r\n:T\r\nset T=%T%x\r\nif \"%T%\"==\"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\" goto D"
                         "\r\nping -n 2 127.0.0.1 >nul\r\n";
const char kRemoveFolderLine[] = "rd \"%s\"\r\n";

// The script's lines. Only the registered uninstaller is deleted, never
// the running program as such: an installer started with /u: stays. The
// delete is tried until the program has ended and let go of its file (see
// kWaitLoop). Then the uninstall folder, the installation directory and
// the parents the installation made go when they are empty, and last the
// script and its folder, on one line, because the interpreter reads no
// line after its file is gone. The interpreter reads "%%" in the paths as
// one percent sign.
String ScriptText(UninstallerRun& run, const String& folder, const String& script)
{
    String text;
    const char* uninstaller = run.registeredUninstaller.CStr();
    if (*uninstaller)
        text.Format("del \"%s\"\r\nif exist \"%s\" goto T\r\n:D\r\n", uninstaller, uninstaller);
    const char* installDir = run.installDirectory.CStr();
    if (!run.uninstallSubdir.IsEmpty())
        text.AppendFormat(kRemoveFolderLine, PathJoin(installDir, run.uninstallSubdir.CStr()).CStr());
    text.AppendFormat(kRemoveFolderLine, installDir);
    CollectionIterator it;
    for (String* parent = run.madeParents.First(it); parent; parent = run.madeParents.Next(it))
        text.AppendFormat(kRemoveFolderLine, parent->CStr());
    text.AppendFormat("del \"%s\" & rd \"%s\"\r\n", script.CStr(), folder.CStr());
    text.ReplaceAll("%", "%%");
    return *uninstaller ? kWaitLoop + text : text;
}

// Starts the system's own interpreter (by its full path: a program of that
// name elsewhere on the search path must not run in its place; Windows 9x
// has only its COMSPEC) on the script in a minimised console of its own,
// which closes when the script ends. The script's last line removes its
// folder; an interpreter that keeps the script open until the end (Wine's
// does) cannot remove it then, so the command line tries once more after
// the script. The working directory is the temporary folder: a process's
// working directory cannot be removed, and the directories the script
// removes must not be it.
bool StartScript(const UninstallerRun& run, const String& folder, const String& script)
{
    String interpreter = OnWindowsNT() ? SystemLibraryPath("cmd.exe")
                                       : run.commandInterpreter;
    String commandLine = String::Formatted("\"%s\" /c call \"%s\" & rd \"%s\"",
                                           interpreter.CStr(), script.CStr(), folder.CStr());
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
    String folder = MakePrivateFolder('U');
    if (folder.IsEmpty())
        return SelfRemovalScriptFailed;
    String script = PathJoin(folder.CStr(), kScriptName);
    if (!WriteFileFromString(script.CStr(), ScriptText(run, folder, script))) {
        RemoveDirectoryOnly(folder.CStr());
        return SelfRemovalScriptFailed;
    }
    if (!StartScript(run, folder, script)) {
        DeleteFileOnly(script.CStr());
        RemoveDirectoryOnly(folder.CStr());
        return SelfRemovalStartFailed;
    }
    return SelfRemovalStarted;
}
