#!/usr/bin/env python3
"""End-to-end tests of the batch commands and the PATH edit: installers
built by veltpack with [batch] texts and the edit-path flag, run under
Wine, whose own command interpreter (cmd.exe) runs the batch files. The
batch texts leave files behind (their environment, their directory, a copy
of the working files) that the test reads back.

    batch_e2e.py GROUP ROBOT STUB

GROUP is one of: environment, pause, path, console, failure, planted. The
environment is that of velt_add_wine_test.
"""

import functools
import json
import re
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
import velt_format as vf  # noqa: E402
from velt_e2e import (BUILDER, build_installer, FAILURES, HANG_SECONDS, Run, check,  # noqa: E402
                      drive_c, log_text, reg_delete, reg_values, step, cmd, wait_until,
                      winpath)

GROUP, ROBOT, STUB = sys.argv[1:4]
WORK = os.path.join(os.environ["VELT_BINARY_DIR"], "tests", "batch", GROUP)
UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
SHELL_FOLDERS = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"
WINDOWS_SETTINGS = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion"
WELCOME_CAPTION = "Veltpack Utility v6.2"
YES, OK = 6, 1
AUTOEXEC = "C:\\autoexec.bat"
# Where a product with a relative default directory goes: the program-files
# folder that the installer's architecture sees on 64-bit Windows.
PROGRAM_FILES = ("C:\\Program Files (x86)" if os.environ["VELT_ARCH"] == "x86"
                 else "C:\\Program Files")


def toml_text(text):
    return json.dumps(text)


class Product:
    """A one-file product in its own folder of WORK, with the batch texts
    `batch` ({"pre-install": text, ...}) and `flags`. Its default directory
    is C:\\Velt Tests\\<name>, or `relative` to the program-files folder."""

    def __init__(self, name, batch=None, flags=(), publisher="Velt Batch", relative=None):
        self.name = name
        self.directory = PROGRAM_FILES + "\\" + relative if relative else "C:\\Velt Tests\\" + name
        self.folder = os.path.join(WORK, name)
        os.makedirs(self.folder, exist_ok=True)
        with open(os.path.join(self.folder, "app.txt"), "w") as f:
            f.write("The program of %s.\n" % name)
        toml = ('[product]\nname = %s\npublisher = %s\ndefault-directory = %s\n\n[flags]\n%s\n'
                % (toml_text(name), toml_text(publisher), toml_text(relative or self.directory),
                   "".join("%s = true\n" % flag for flag in flags)))
        if batch:
            toml += "[batch]\n" + "".join("%s = %s\n" % (key, toml_text(text))
                                          for key, text in batch.items()) + "\n"
        toml += '[[files]]\nsource = "app.txt"\n'
        with open(os.path.join(self.folder, "product.toml"), "w") as f:
            f.write(toml)
        self.installer = os.path.join(self.folder, "Setup.exe")
        self.table = build_installer(os.path.join(self.folder, "product.toml"),
                                   self.installer, STUB)["messages"]
        self.clean()

    def message(self, n):
        return log_text(self.table[n][0].replace("<product>", self.name))

    def install(self, args=("/a",), steps=()):
        leave = [self.message(vf.MsgProgressCaption)] if "/a" in args else []
        return Run(winpath(self.installer), list(args), list(steps), leave=leave)

    def interactive_steps(self):
        return [step(WELCOME_CAPTION, self.message(vf.MsgWelcome), "press=%d" % YES),
                step(self.message(vf.MsgProgressCaption), None, "keep"),
                step(self.message(vf.MsgInstallCompleteCaption), self.message(vf.MsgInstallComplete), "press=%d" % OK)]

    def path(self, name):
        return os.path.join(drive_c(self.directory), name)

    def read(self, name):
        """A file the installation or its batch left, as bytes; None when
        it is missing."""
        try:
            with open(self.path(name), "rb") as f:
                return f.read()
        except OSError:
            return None

    def log(self):
        data = self.read("Install.LOG")
        return data.decode("cp1252") if data else ""

    def clean(self):
        shutil.rmtree(drive_c(self.directory), ignore_errors=True)
        reg_delete(UNINSTALL_KEY + self.name)


def expect_installed(what, run, product):
    check(run.status == 1 and run.exit_code() == 1,
          "%s: the installer ends with 1 (%s)" % (what, run.describe()))
    check(product.read("app.txt") is not None, "%s: the file is installed" % what)
    check(not run.boxes, "%s: no box (%r, %s)" % (what, run.boxes, run.describe()))


def no_working_files(what, product):
    for name in ("QDITBF1.BAT", "QDITBF2.BAT"):
        check(product.read(name) is None, "%s: %s is deleted afterwards" % (what, name))


# ---------------------------------------------------------- environment

def comspec():
    return cmd("echo %COMSPEC%")


def folder(values, name, fallback):
    """A Shell Folders / CurrentVersion value as the installer reads it
    (names without regard to case), else its fallback."""
    for key, (_, data) in (values or {}).items():
        if key.lower() == name.lower() and data:
            return data.rstrip("\\") if len(data) > 3 else data
    return fallback


def expected_variables(p, shared):
    shell = reg_values(SHELL_FOLDERS)
    settings = reg_values(WINDOWS_SETTINGS)
    windows = cmd("echo %WINDIR%")
    start_menu = folder(shell, "Start Menu", windows + "\\Start Menu")
    programs = folder(shell, "Programs", start_menu + "\\Programs")
    installer = winpath(p.installer)
    return [
        ("InstallDir", p.directory),
        ("InstallDrive", "C:"),
        ("SharedDir", shared),
        ("InstallerFilepath", installer),
        ("InstallerDir", installer.rsplit("\\", 1)[0]),
        ("InstallerFilename", "Setup.exe"),
        ("InstallerDrive", "Z:"),
        ("SystemDir", cmd("echo %WINDIR%\\system32")),
        ("DeviceDir", folder(settings, "DevicePath", windows + "\\INF")),
        ("MediaDir", folder(settings, "MediaPath", windows + "\\Media")),
        ("FavoritesDir", folder(shell, "Favorites", windows + "\\Favorites")),
        ("FontDir", folder(shell, "Fonts", windows + "\\Fonts")),
        ("DesktopDir", folder(shell, "Desktop", windows + "\\Desktop")),
        ("DocumentDir", folder(shell, "Personal", "c:\\My Documents")),
        ("ProgramsDir", folder(settings, "ProgramFilesDir", "c:\\Program Files")),
        ("StartMenuDir", start_menu),
        ("SMProgramsDir", programs),
        ("StartupDir", folder(shell, "Startup", programs + "\\StartUp")),
        ("BootDrive", "C:"),
    ]


# Each batch leaves its environment, its directory, the folder of the
# working files and copies of both, under a tag of its own. The failing
# commands come first: an unknown program and a copy of a missing file must
# not end the batch, nor the installation.
def probe_batch(tag):
    return ("nosuch-program-%s.exe\n"
            'copy "%%InstallDir%%\\missing.txt" "%%InstallDir%%\\nowhere.txt"\n'
            'set > "%%InstallDir%%\\%s-env.txt"\n'
            'cd > "%%InstallDir%%\\%s-cwd.txt"\n'
            'echo %%~dp0> "%%InstallDir%%\\%s-folder.txt"\n'
            'copy "%%~dp0QDITBF1.BAT" "%%InstallDir%%\\%s-starter.txt"\n'
            'copy "%%~dp0QDITBF2.BAT" "%%InstallDir%%\\%s-commands.txt"\n'
            % (tag, tag, tag, tag, tag, tag))


# Asked once: the waits below look at the folder many times, and each
# question starts an interpreter.
@functools.lru_cache(maxsize=None)
def user_temp():
    return cmd("echo %TMP%")


def group_environment():
    batches = {"pre-install": probe_batch("pre"), "post-install": probe_batch("post"),
               "final": probe_batch("final")}
    p = Product("Batch Environment", batches, flags=("uninstall-support",))
    run = p.install()
    expect_installed("environment", run, p)
    no_working_files("environment", p)
    shared = cmd("echo %CommonProgramFiles%") + "\\Velt Batch"
    variables = expected_variables(p, shared)
    set_block = "".join("SET %s=%s\r\n" % pair for pair in variables)
    for tag, key in (("pre", "pre-install"), ("post", "post-install"), ("final", "final")):
        what = "%s batch" % tag
        env = p.read(tag + "-env.txt")
        if not check(env is not None, "%s: ran and wrote its environment" % what):
            continue
        seen = {}
        for line in env.decode("cp1252").splitlines():
            name, _, value = line.partition("=")
            seen[name.lower()] = value
        for name, value in variables:
            check(seen.get(name.lower()) == value,
                  "%s: %s is %r, not %r" % (what, name, value, seen.get(name.lower())))
        cwd = (p.read(tag + "-cwd.txt") or b"").decode("cp1252").strip()
        check(cwd.lower() == p.directory.lower(),
              "%s: runs in the install directory, not %r" % (what, cwd))
        # The working files lie in a new folder of the temporary folder,
        # not in the install directory.
        folder = (p.read(tag + "-folder.txt") or b"").decode("cp1252").strip()
        check(re.fullmatch(re.escape(user_temp()) + r"\\QDTB[0-9A-F]{8}\\", folder, re.I),
              "%s: the working files are in %s\\QDTB<8 hex digits>, not %r"
              % (what, user_temp(), folder))
        check(folder and not os.path.exists(drive_c(folder)),
              "%s: their folder %s is removed afterwards" % (what, folder))
        # cmd.exe keeps the outer pair of quotes only for a path without
        # &<>()@^|; two pairs leave one whatever the path holds.
        starter = p.read(tag + "-starter.txt")
        expected = '@%s /e:4096 /c ""%sQDITBF2.BAT""' % (comspec(), folder)
        check(starter == expected.encode("cp1252"),
              "%s: QDITBF1.BAT is %r, not %r" % (what, starter, expected))
        commands = p.read(tag + "-commands.txt")
        expected = ("@echo off\r\n" + set_block
                    + batches[key].replace("\n", "\r\n")).encode("cp1252")
        check(commands == expected,
              "%s: QDITBF2.BAT is\n%r\nnot\n%r" % (what, commands, expected))
    p.clean()


# --------------------------------------------------------------- pause

PAUSES = ["pause", "  @ pause  ", "@Pause", "\tPAUSE", "  PaUsE\t"]
KEPT = ["echo pause>nul", "rem @pause", "@ @pause-not", "pause now >nul <nul"]


def pause_batch():
    """Pause lines of every form among lines that only look like one; the
    batch copies itself first, so the copy shows what was dropped."""
    lines = ['copy "%~dp0QDITBF2.BAT" "%InstallDir%\\commands.txt" >nul']
    for pause, kept in zip(PAUSES, KEPT + [""]):
        lines += [pause, kept] if kept else [pause]
    lines.append('echo done> "%InstallDir%\\done.txt"')
    return lines


def commands_of(data):
    """The command lines of a QDITBF2.BAT copy, after the SET block."""
    lines = data.decode("cp1252").split("\r\n")
    return [line for line in lines if line != "@echo off" and not line.startswith("SET ")]


def group_pause():
    lines = pause_batch()
    text = "\n".join(lines) + "\n"
    kept = [line for line in lines if line not in PAUSES] + [""]
    cases = [
        ("automatic run", (), ("/a",), False),
        ("hide-batch run", ("hide-batch",), (), True),
    ]
    for what, flags, args, interactive in cases:
        p = Product("Batch Pause " + str(len(flags)), {"pre-install": text}, flags)
        run = p.install(args, p.interactive_steps() if interactive else ())
        check(run.status == 1 and run.exit_code() == 1,
              "%s: ends with 1, the pauses waited for nobody (%s)" % (what, run.describe()))
        commands = p.read("commands.txt")
        if check(commands is not None, "%s: the batch ran" % what):
            check(commands_of(commands) == kept,
                  "%s: only the pause lines are dropped: %r" % (what, commands_of(commands)))
        check(p.read("done.txt") is not None, "%s: the batch ran to its end" % what)
        p.clean()

    # An interactive run keeps its PAUSE, and the batch waits for a key.
    # With a console input that stays open (a pipe) the batch stops at the
    # pause, the installer waiting for it, until a key comes through the
    # pipe; then the batch and the installation go on to their ends. (With
    # the input at its end, as for the other runs, Wine's PAUSE returns at
    # once.)
    p = Product("Batch Pause Kept", {"pre-install": 'copy "%~dp0QDITBF2.BAT" '
                                     '"%InstallDir%\\commands.txt" >nul\npause\n'
                                     'echo done> "%InstallDir%\\done.txt"\n'})
    run, keyboard = run_with_open_input(p, p.interactive_steps())
    reached = wait_until(lambda: p.read("commands.txt") is not None
                         or run.process.poll() is not None)
    commands = p.read("commands.txt")
    if check(reached and commands is not None, "interactive run: the batch ran"):
        check("pause" in commands_of(commands), "interactive run: the pause is kept")
    check(p.read("done.txt") is None and run.process.poll() is None,
          "interactive run: the batch waits at its pause (%s)" % run.log_path)
    keyboard.write(b"\r\n")
    keyboard.close()
    run.wait()
    check(run.status == 1 and run.exit_code() == 1 and p.read("done.txt") is not None,
          "interactive run: a key lets the batch and the installation end (%s)"
          % run.describe())
    started = [line for line in run.lines if "started: cmd.exe" in line]
    check(started, "interactive run: cmd.exe ran: %r" % run.lines)
    p.clean()


def run_with_open_input(product, steps):
    """A robot run like Run's in the background, but with a standard input
    that stays open: returns the run and the pipe to write its input to."""
    run = Run.__new__(Run)
    Run.count += 1
    run.log_path = os.path.join(Run.work, "run%03d.log" % Run.count)
    run.leave = []
    command = [os.environ["WINELOADER"], Run.robot, "--timeout", str(HANG_SECONDS),
               "--log", run.log_path]
    for item in steps:
        command += ["--do", item]
    command += ["--", winpath(product.installer)]
    with open(run.log_path + ".err", "wb") as err:
        run.process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                       stderr=err)
    return run, run.process.stdin


# ------------------------------------------------------------- console

MARKERS = "C:\\Velt Tests\\Batch Markers " + GROUP
# A limit for runs with slow batches that only a hang reaches.
SLOW_RUN_SECONDS = 300


def slow_batch(tag):
    """A batch that writes its first line, waits on ping a while, then
    writes its last line, into MARKERS\\<tag>.txt."""
    marker = "%s\\%s.txt" % (MARKERS, tag)
    return ('echo start> "%s"\nping -n 3 127.0.0.1 >nul\necho end>> "%s"\n' % (marker, marker))


def marker(tag):
    try:
        with open(os.path.join(drive_c(MARKERS), tag + ".txt"), "rb") as f:
            return f.read()
    except OSError:
        return None


def expect_ran_to_end(what, tag):
    got = marker(tag)
    check(got == b"start\r\nend\r\n", "%s: the %s batch ran to its last line: %r"
          % (what, tag, got))


def group_console():
    """Started as a user starts them, without the test's console: each
    batch gets a console window of its own, whose title while it runs is
    the batch's command line, with the working file's name in it. The
    installer waits for the batch to end and closes no window of it. The
    product goes to its default directory in the program-files folder,
    which for the x86 build is "C:\\Program Files (x86)": a path with
    parentheses and blanks, which the interpreter's command line must keep
    whole; the product's own folder has parentheses for the x64 build."""
    shutil.rmtree(drive_c(MARKERS), ignore_errors=True)
    os.makedirs(drive_c(MARKERS))
    tags = ("pre-install", "post-install", "final", "uninstall-1", "uninstall-2")
    p = Product("Batch Console", {tag: slow_batch(tag) for tag in tags},
                flags=("uninstall-support",), relative="Velt Batch (Tests)\\Console")
    run = Run(winpath(p.installer), ["/a"], leave=[p.message(vf.MsgProgressCaption)], detached=True,
              timeout=SLOW_RUN_SECONDS)
    expect_installed("started alone", run, p)
    location = (reg_values(UNINSTALL_KEY + p.name) or {}).get("InstallLocation", ("", ""))[1]
    check(location == p.directory, "installed into %r, not %r" % (location, p.directory))
    for tag in tags[:3]:
        expect_ran_to_end("started alone", tag)
    no_working_files("started alone", p)

    # The uninstaller, started as the system starts it, runs the first
    # batch in the install directory and the second in its drive's root.
    line = reg_values(UNINSTALL_KEY + p.name)["QuietUninstallString"][1]
    run = Run(None, [], [], line=line, tree=True, detached=True,
              timeout=SLOW_RUN_SECONDS)
    check(run.status == 1 and not run.boxes, "uninstall: ends with 1, no box (%s)"
          % run.describe())
    for tag in tags[3:]:
        expect_ran_to_end("uninstall", tag)
    check(reg_values(UNINSTALL_KEY + p.name) is None, "uninstall: the registration is gone")
    p.clean()
    shutil.rmtree(drive_c(MARKERS), ignore_errors=True)


# ------------------------------------------------------------- failure

# A command interpreter that does not exist. Wine gives a program started
# from Linux the COMSPEC of the prefix's registry, so cmd.exe sets this one
# and then starts the program, which inherits it: the installer takes its
# interpreter from it, and the system starts a batch file through it.
MISSING_COMSPEC = "C:\\no-such-folder\\cmd.exe"


def without_interpreter(line, steps=(), leave=()):
    """A robot run of the command `line` that sees MISSING_COMSPEC."""
    return Run(None, [], list(steps), line="cmd.exe /c set COMSPEC=%s&& %s"
               % (MISSING_COMSPEC, line), tree=True, leave=list(leave))


def batch_error(work_dir):
    return ("Unable to run the batch file %s\\QDITBF2.BAT.\r\n\r\n"
            % work_dir.rstrip("\\"))


def installer_line(p, args):
    return '"%s" %s' % (winpath(p.installer), args)


def install_failure_cases():
    """Each batch that cannot be started leaves its line in Install.LOG,
    after which the installation goes on; interactively the user is asked
    about the log as for any error. The batch after the log (final) gets a
    block of its own in the log, and its own question."""
    cases = [
        # what, batch, why it cannot start, interactive
        ("no interpreter before the files", "pre-install", "interpreter", False),
        ("no interpreter after the log", "final", "interpreter", True),
    ]
    for what, key, cause, interactive in cases:
        p = Product("Batch Failure " + key, {key: 'echo ran> "%InstallDir%\\ran.txt"\n'},
                    flags=("always-log",))
        steps = []
        if interactive:
            steps = p.interactive_steps() + [step(p.message(vf.MsgLogWrittenCaption), None, "press=7")]
        args = "" if interactive else "/a"
        leave = [] if interactive else [p.message(vf.MsgProgressCaption)]
        run = without_interpreter(installer_line(p, args), steps, leave)
        code = (run.exit_codes("Setup.exe") or [None])[-1]
        check(run.status in (0, 1) and code == 1 and p.read("app.txt") is not None,
              "%s: the installation goes on and ends with 1 (%s)" % (what, run.describe()))
        check(p.read("ran.txt") is None, "%s: the batch did not run" % what)
        log = p.log()
        check(batch_error(p.directory) in log, "%s: Install.LOG holds %r:\n%s"
              % (what, batch_error(p.directory), log))
        if interactive:
            check(log.count("Installation log for: ") == 2
                  and log.rindex(batch_error(p.directory)) > log.rindex("Installation log for"),
                  "%s: the error has a log block of its own:\n%s" % (what, log))
            captions = [box["caption"] for box in run.boxes.values()]
            check(captions[-2:] == [p.message(vf.MsgInstallCompleteCaption), p.message(vf.MsgLogWrittenCaption)],
                  "%s: completion, then the question about the log (%s)"
                  % (what, run.describe()))
        p.clean()


def uninstall_failure_cases():
    """An uninstall batch that cannot be started is a failure that the
    final box names; the registration, with the batch, stays, and a later
    run with an interpreter runs the batch and finishes. The first batch
    runs in the install directory, the second in its drive's root."""
    shutil.rmtree(drive_c(MARKERS), ignore_errors=True)
    os.makedirs(drive_c(MARKERS))
    for key, work_dir, value in (("uninstall-1", None, "UninstallBatch1"),
                                 ("uninstall-2", "C:\\", "UninstallBatch2")):
        p = Product("Batch Failure " + key, {key: slow_batch(key)}, flags=("uninstall-support",))
        run = p.install()
        expect_installed(key, run, p)
        line = reg_values(UNINSTALL_KEY + p.name)["UninstallString"][1]
        error = batch_error(work_dir or p.directory)
        steps = [step(p.message(vf.MsgUninstallConfirmCaption), p.message(vf.MsgUninstallConfirm), "press=%d" % YES),
                 step(p.message(vf.MsgQuestionCaption), None, "press=%d" % OK)]
        run = without_interpreter(line, steps)
        texts = [t for box in run.boxes.values() for t in box["texts"]]
        check(any(log_text(error) in t for t in texts),
              "%s without an interpreter: the final box names %r: %r (%s)"
              % (key, error, texts, run.describe()))
        values = reg_values(UNINSTALL_KEY + p.name) or {}
        check(value in values, "%s without an interpreter: the registration and %s stay: %r"
              % (key, value, sorted(values)))
        check(marker(key) is None, "%s without an interpreter: the batch did not run" % key)
        line = values.get("QuietUninstallString", ("", ""))[1]
        run = Run(None, [], [], line=line, tree=True, detached=True,
                  timeout=SLOW_RUN_SECONDS)
        expect_ran_to_end("%s tried again" % key, key)
        check(reg_values(UNINSTALL_KEY + p.name) is None and not run.boxes,
              "%s tried again: the product is removed (%s)" % (key, run.describe()))
        p.clean()
    shutil.rmtree(drive_c(MARKERS), ignore_errors=True)


def group_failure():
    install_failure_cases()
    uninstall_failure_cases()


# ------------------------------------------------------------- planted

def group_planted():
    """Files named as the working files, put first where the batches run
    (the install directory; the drive root for the last uninstall batch):
    as someone who may write there could, to have commands run with the
    installer's rights. None of them is run or changed, and each batch of
    the product runs as it should."""
    shutil.rmtree(drive_c(MARKERS), ignore_errors=True)
    os.makedirs(drive_c(MARKERS))
    tags = ("pre-install", "post-install", "final", "uninstall-1", "uninstall-2")
    p = Product("Batch Planted", {tag: 'echo start> "%s\\%s.txt"\necho end>> "%s\\%s.txt"\n'
                                  % (MARKERS, tag, MARKERS, tag) for tag in tags},
                flags=("uninstall-support",))
    planted = {}
    for where in (p.directory, "C:\\"):
        os.makedirs(drive_c(where), exist_ok=True)
        for name in ("QDITBF1.BAT", "QDITBF2.BAT"):
            path = os.path.join(drive_c(where), name)
            planted[path] = ('@echo planted> "%s\\planted-%s.txt"\r\n'
                             % (MARKERS, name)).encode("cp1252")
            with open(path, "wb") as f:
                f.write(planted[path])
    try:
        run = p.install()
        expect_installed("planted", run, p)
        line = reg_values(UNINSTALL_KEY + p.name)["QuietUninstallString"][1]
        run = Run(None, [], [], line=line, tree=True)
        check(run.status == 1 and not run.boxes, "planted, uninstall: ends with 1, no box (%s)"
              % run.describe())
        check(reg_values(UNINSTALL_KEY + p.name) is None,
              "planted, uninstall: the registration is gone")
        for tag in tags:
            expect_ran_to_end("planted", tag)
        for path, data in planted.items():
            with open(path, "rb") as f:
                check(f.read() == data, "planted: %s is unchanged" % path)
        ran = [name for name in os.listdir(drive_c(MARKERS)) if name.startswith("planted-")]
        check(not ran, "planted: no planted file ran: %r" % ran)
    finally:
        for path in planted:
            os.remove(path)
        p.clean()
        shutil.rmtree(drive_c(MARKERS), ignore_errors=True)


# ---------------------------------------------------------------- path

def read_autoexec():
    try:
        with open(drive_c(AUTOEXEC), "rb") as f:
            return f.read()
    except OSError:
        return None


def write_autoexec(data):
    remove_autoexec()
    if data is not None:
        with open(drive_c(AUTOEXEC), "wb") as f:
            f.write(data)


def remove_autoexec():
    path = drive_c(AUTOEXEC)
    if os.path.isdir(path):
        shutil.rmtree(path)
    elif os.path.exists(path):
        os.remove(path)


def short_directory(line):
    return line[len(b"PATH=%PATH%;"):-2].decode("cp1252")


def group_path():
    saved = read_autoexec()
    try:
        path_cases()
    finally:
        write_autoexec(saved)


def path_cases():
    p = Product("Batch Path Long Name", flags=("edit-path",))
    # The first installation, on a missing file, creates it with nothing but
    # its line, the short form of the install directory.
    write_autoexec(None)
    run = p.install()
    expect_installed("missing autoexec.bat", run, p)
    created = read_autoexec()
    if not check(created is not None and created.startswith(b"PATH=%PATH%;")
                 and created.endswith(b"\r\n") and created.count(b"\r\n") == 1,
                 "missing autoexec.bat: created with the PATH line, got %r" % created):
        return
    line = created
    short = short_directory(line)
    check(" " not in short and all(len(part) <= 12 for part in short.split("\\")),
          "the PATH line holds the short form: %r" % short)
    found = cmd("if exist %s\\app.txt echo found" % short)
    check(found == "found", "the short form names the install directory: %r" % short)

    cases = [
        ("already there", b"REM boot\r\n" + line + b"SET X=1\r\n", None),
        ("already there in other case", b"REM boot\r\n" + line.lower(), None),
        ("last line without line end", b"REM boot\r\nSET X=1",
         b"REM boot\r\nSET X=1\r\n" + line),
        ("last line with line end", b"REM boot\r\n", b"REM boot\r\n" + line),
    ]
    for what, before, after in cases:
        write_autoexec(before)
        run = p.install()
        expect_installed(what, run, p)
        after = before if after is None else after
        check(read_autoexec() == after, "%s: autoexec.bat is %r, not %r"
              % (what, read_autoexec(), after))
        check(not p.log(), "%s: no error logged: %r" % (what, p.log()))
        p.clean()

    # Adding twice keeps one line.
    write_autoexec(b"REM boot\r\n")
    p.install()
    run = p.install()
    expect_installed("installed twice", run, p)
    check(read_autoexec() == b"REM boot\r\n" + line,
          "installed twice: one PATH line, got %r" % read_autoexec())
    p.clean()

    # The uninstallation takes the line, and the file with it when the
    # installation made it: also after a reinstall, which found the file.
    u = Product("Batch Path Uninstall", flags=("edit-path", "uninstall-support"))
    for what, before, reinstall, after in (
            ("made by the installation", None, False, None),
            ("made, then installed again", None, True, None),
            ("there before", b"REM boot\r\nSET X=1", True, b"REM boot\r\nSET X=1\r\n")):
        write_autoexec(before)
        u.install()
        if reinstall:
            u.install()
        quiet = (reg_values(UNINSTALL_KEY + u.name) or {}).get("QuietUninstallString",
                                                               ("", ""))[1]
        run = Run(None, line=quiet, tree=True)
        check(run.status == 1 and not run.boxes and read_autoexec() == after,
              "%s, uninstalled: autoexec.bat is %r, not %r (%s)"
              % (what, read_autoexec(), after, run.describe()))
        u.clean()

    # A folder where the file should be: it cannot be opened nor created,
    # the message asks the user to edit PATH, and the log keeps it.
    remove_autoexec()
    os.makedirs(drive_c(AUTOEXEC))
    run = p.install()
    check(run.status == 1 and run.exit_code() == 1, "autoexec.bat unwritable: the run goes on")
    message = ("Unable to modify C:\\autoexec.bat.  You will need to manually add %s to the "
               "PATH environment variable.\r\n\r\n" % p.directory)
    check(message in p.log(), "autoexec.bat unwritable: Install.LOG holds %r, got %r"
          % (message, p.log()))
    remove_autoexec()
    # Interactively the run's errors lead to the question about the log.
    os.makedirs(drive_c(AUTOEXEC))
    steps = p.interactive_steps()[:2] + [step(p.message(vf.MsgLogWrittenCaption), None, "press=7")]
    run = p.install((), steps)
    check(run.status == 1, "autoexec.bat unwritable, interactive: the log question (%s)"
          % run.describe())
    remove_autoexec()
    p.clean()


if __name__ == "__main__":
    if not os.path.isfile(BUILDER):
        sys.exit("no native builder at %r: build it (the native preset) first" % BUILDER)
    if not os.path.isfile(STUB):
        sys.exit("no stub at %r: build the win64 or win32 preset first" % STUB)
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    Run.work, Run.robot = WORK, ROBOT
    globals()["group_" + GROUP]()
    print("%d runs, %d failures" % (Run.count, len(FAILURES)))
    sys.exit(1 if FAILURES else 0)
