#!/usr/bin/env python3
"""End to end: an installation and its uninstallation leave the Wine prefix
as it was. Installers built by veltpack around this build's stub run under
Wine in a copy of the test prefix of their own (a snapshot of the whole
prefix must not see other tests' installations); the uninstallations run
the registered commands, and the robot answers their boxes.

    uninstall_clean_e2e.py GROUP ROBOT STUB LOCKER

GROUP is one of:
  example   the example product (with a font added) installed and removed
            twice: through UninstallString, run by Wine's own
            uninstaller.exe, and through QuietUninstallString; the drive_c
            tree and the registry compared with a snapshot from before
  minimal   the same for a product of one file and default settings
  script    the self-removal script read while the uninstaller's file is
            held open, with and without an uninstall folder, with percent
            signs in the paths, then let go; an uninstaller held until the
            script gives up; the installer's own file started with /u:
  partial   an installed file held open during the uninstallation: the
            failure notice, the rewritten record, what stays for a second
            run; the second run removes the rest
  record    a registration without a location; records without [Strings],
            with headers 0 and 1001, with an association of two fields; No
            at the confirmation
  associations  an earlier type restored; a type key with another subkey
  shared    shared-file counts of two products, 3 to 2, 1 to deleted after
            the question, a permanent entry, a missing count
  trust     tampered records refused by their digest, and skipped outside
            what an installation owns when there is no digest; a
            keep-existing file that was there before
  font      a font whose file cannot go stays in ProductFonts
  tree      the whole-tree removal of a product without an uninstall list:
            links in the tree are not followed, their targets stay

LOCKER is velt-file-locker.exe. The environment is that of
velt_add_wine_test.
"""

import ctypes
import functools
import hashlib
import json
import os
import re
import shutil
import struct
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
GROUP, ROBOT, STUB, LOCKER = sys.argv[1:5]
WORK = os.path.join(os.environ["VELT_BINARY_DIR"], "tests", "uninstall_clean", GROUP)
OWN_PREFIX = os.path.realpath(os.path.join(WORK, "prefix"))
PREFIX_SCRIPT = os.path.join(os.environ["VELT_SOURCE_DIR"], "scripts", "wine-prefix.sh")
EXAMPLES = os.path.join(os.environ["VELT_SOURCE_DIR"], "examples")
DEJAVU = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"


def quiet(*cmd):
    """Runs a command with no inherited streams (Wine's helpers outlive it)."""
    return subprocess.run(list(cmd), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode


# Every group snapshots or scans the whole prefix (its temporary folder,
# its processes): each runs in a copy, made before the helpers read
# WINEPREFIX.
shutil.rmtree(WORK, ignore_errors=True)
os.makedirs(WORK)
if quiet(PREFIX_SCRIPT, "clone", os.environ["WINEPREFIX"], OWN_PREFIX) != 0:
    sys.exit("cannot clone the Wine prefix %s" % os.environ["WINEPREFIX"])
os.environ["WINEPREFIX"] = OWN_PREFIX

sys.path.insert(0, os.path.join(HERE, "..", "lib"))
sys.path.insert(0, HERE)
import velt_format as vf  # noqa: E402
from velt_e2e import (BUILDER, FAILURES, FileLocker, Run, build_installer, check,  # noqa: E402
                      drive_c, log_text, reg_delete, reg_values, renamed_font, step, cmd, reg,
                      wait_until, wine_processes)
import prefix_snapshot  # noqa: E402

UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
YES, OK = 6, 1


class Product:
    """An installer built from a project folder; `message(n)` is message n
    of language 0 as the robot logs it, the product name in place."""

    def __init__(self, folder, project="product.toml"):
        self.installer = os.path.join(folder, "Setup.exe")
        inspected = build_installer(os.path.join(folder, project), self.installer, STUB)
        self.name = inspected["productName"]
        self.table = inspected["messages"]
        self.key = UNINSTALL_KEY + self.name

    def text(self, n, *args):
        text = self.table[n][0].replace("<product>", self.name)
        return text % args if args else text

    def message(self, n, *args):
        return log_text(self.text(n, *args))

    def install(self):
        run = Run(self.installer, ["/a"], leave=[self.message(vf.MsgProgressCaption)])
        check(run.status == 1 and run.exit_code() == 1 and not run.boxes,
              "%s: the automatic installation ends with exit code 1 and no box (%s)"
              % (self.name, run.describe()))
        registration = self.registration()
        check(registration is not None, "%s: the installation registers the product"
              % self.name)
        self.directory = registration["InstallLocation"][1]
        self.quiet_command = registration["QuietUninstallString"][1]
        # "<path>" /a /u:"<name>"
        self.uninstaller = self.quiet_command.split('"')[1]
        subdir = registration.get("UninstallSubdir", ("", ""))[1]
        self.shared = registration.get("SharedFiles", ("", ""))[1].strip('"')
        self.records = self.directory + ("\\" + subdir if subdir else "")
        return run

    def registration(self):
        return reg_values(self.key)

    def record(self):
        with open(drive_c(self.records + "\\Uninstall.DAT"), "rb") as f:
            return f.read().decode("cp1252")


# Asked once: the waits below look at the folder many times, and each
# question starts an interpreter.
@functools.lru_cache(maxsize=None)
def user_temp():
    return cmd("echo %TMP%")


def script_folders():
    """The self-removal scripts' folders in the user's temporary folder."""
    temp = drive_c(user_temp())
    return sorted(name for name in os.listdir(temp) if name.upper().startswith("QDTU"))


class FileOpens:
    """Counts the opens of a file from now on, as Linux reports them
    (inotify). Under Wine every attempt to open a file opens its Unix file,
    also one that is then refused for the file's sharing: a del of a held
    file is seen here although it changes nothing."""
    IN_OPEN = 0x20

    def __init__(self, path):
        libc = ctypes.CDLL(None, use_errno=True)
        self.fd = libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
        if self.fd < 0 or libc.inotify_add_watch(self.fd, path.encode(), self.IN_OPEN) < 0:
            raise OSError(ctypes.get_errno(), "cannot watch %s" % path)
        self.count = 0

    def seen(self):
        """The opens so far."""
        while True:
            try:
                events = os.read(self.fd, 4096)
            except BlockingIOError:
                return self.count
            offset = 0
            while offset < len(events):
                _, mask, _, name_length = struct.unpack_from("iIII", events, offset)
                offset += 16 + name_length
                self.count += bool(mask & self.IN_OPEN)

    def close(self):
        os.close(self.fd)


def uninstall_interactively(product, steps):
    """UninstallString as Wine's uninstaller.exe runs it: `--remove` takes
    the name of the registration's key (it lists only keys with a
    DisplayName and an UninstallString), runs the command and waits for
    it. The robot follows the whole tree, so it ends when the
    self-removal script has ended too."""
    return Run("uninstaller", ["--remove", product.name], steps, tree=True)


def uninstall_quietly(product):
    """QuietUninstallString, the command line as registered."""
    return Run(None, line=product.quiet_command, tree=True)


def check_removed(product, what):
    """What the self-removal takes, gone once the script has ended; no
    interpreter left running."""
    gone = wait_until(lambda: not os.path.exists(drive_c(product.uninstaller)))
    check(gone, "%s: the uninstaller %s is deleted" % (what, product.uninstaller))
    for folder in (product.records, product.directory):
        check(not os.path.exists(drive_c(folder)), "%s: %s is removed" % (what, folder))
    check(wait_until(lambda: not script_folders()),
          "%s: the script's folder is gone from %s (left: %s)"
          % (what, user_temp(), script_folders()))
    check(wait_until(lambda: not wine_processes("cmd.exe")),
          "%s: no cmd.exe is left running (%s)" % (what, wine_processes("cmd.exe")))


def check_clean(before, product, what):
    after = prefix_snapshot.take(WORK)
    check(prefix_snapshot.report(before, after, what),
          "%s: the prefix holds nothing else than before (differences above)" % what)


def uninstall_quietly_to(before, p, what):
    """QuietUninstallString: exit code 1 and no box, everything removed,
    the prefix as in the snapshot `before`."""
    run = uninstall_quietly(p)
    check(run.status == 1 and run.exit_code() == 1 and not run.boxes,
          "%s: exit code 1 and no box (%s)" % (what, run.describe()))
    check_removed(p, what)
    check_clean(before, p, what)


# ------------------------------------------------------------------ products

def example_product(font=True):
    """A copy of the example product with a last uninstall batch and a
    font, neither of which the example has."""
    folder = os.path.join(WORK, "example")
    shutil.copytree(EXAMPLES, folder)
    os.makedirs(os.path.join(folder, "fonts"))
    with open(os.path.join(folder, "fonts", "TallyGlyphs.ttf"), "wb") as f:
        f.write(renamed_font(DEJAVU, "VeltUc"))
    with open(os.path.join(folder, "tally.toml"), encoding="utf-8") as f:
        project = f.read()
    assert "\n[batch]\n" in project and "uninstall-2" not in project
    project = project.replace("\n[batch]\n",
                              '\n[batch]\nuninstall-2 = "echo Tally is removed"\n')
    if font:
        project += ('\n[[files]]\nsource = "fonts/TallyGlyphs.ttf"\ndestination = "font"\n'
                    'font-name = "Tally Glyphs"\n')
    with open(os.path.join(folder, "tally.toml"), "w", encoding="utf-8") as f:
        f.write(project)
    return Product(folder, "tally.toml")


def small_product(name, product_keys="", file_name="readme.txt"):
    folder = os.path.join(WORK, name.replace(" ", "-"))
    os.makedirs(folder)
    with open(os.path.join(folder, file_name), "w") as f:
        f.write("The only file of %s.\n" % name)
    with open(os.path.join(folder, "product.toml"), "w") as f:
        f.write('[product]\nname = %s\n%s\n[flags]\nuninstall-support = true\n\n'
                '[[files]]\nsource = %s\n' % (json.dumps(name), product_keys,
                                               json.dumps(file_name)))
    return Product(folder)


# ------------------------------------------------------------------ groups

def confirmation(p):
    return step(p.message(vf.MsgUninstallConfirmCaption), p.message(vf.MsgUninstallConfirm), "press=%d" % YES)


def shared_question(p):
    return step(p.message(vf.MsgSharedFileCaption), p.message(vf.MsgSharedFileQuestion, p.shared), "press=%d" % YES)


def success_notice(p):
    return step(p.message(vf.MsgUninstallCompleteCaption), p.message(vf.MsgUninstallComplete), "press=%d" % OK)


def shown(run):
    """The boxes of a run with their texts, for a failure message."""
    return "; ".join("%r: %r" % (box["caption"], " ".join(t for t in box["texts"] if t))
                     for box in run.boxes.values())


def check_interactive_run(p, run, what, boxes):
    check(run.status == 0 and len(run.boxes) == boxes,
          "%s: Wine's uninstaller runs the uninstaller, %d boxes answered (%s; %s)"
          % (what, boxes, run.describe(), shown(run)))
    # Wine's uninstaller.exe starts the product's uninstaller; in a 64-bit
    # prefix it may start a copy of itself first, so the product's is found
    # by its file name.
    exits = run.exit_codes(log_text(p.uninstaller.split("\\")[-1]))
    check(exits == [1], "%s: the uninstaller ends with exit code 1 (%s)" % (what, exits))


def forget_earlier_runs():
    """The copied prefix may hold the empty folders an earlier run of the
    example left (before the uninstaller existed, or cut short); the
    uninstallation would remove them and they would count as lost."""
    programs, common = cmd("echo %ProgramFiles%"), cmd("echo %CommonProgramFiles%")
    for folder in (common + "\\Northwind Tools",
                   programs + "\\Northwind\\Tally", programs + "\\Northwind"):
        try:
            os.rmdir(drive_c(folder))
        except OSError:
            pass


def group_example():
    p = example_product()
    forget_earlier_runs()
    before = prefix_snapshot.take(WORK)

    p.install()
    check(os.path.exists(drive_c("C:\\windows\\Fonts\\TallyGlyphs.ttf")),
          "example: the font is placed")
    check("Tally Glyphs" in p.registration().get("ProductFonts", ("", ""))[1],
          "example: ProductFonts lists the font")
    run = uninstall_interactively(p, [confirmation(p), shared_question(p), success_notice(p)])
    check_interactive_run(p, run, "example, UninstallString", 3)
    check_removed(p, "example, UninstallString")
    check_clean(before, p, "example, UninstallString")

    p.install()
    uninstall_quietly_to(before, p, "example, QuietUninstallString")


def group_round_trip():
    """The reinstall makes every file, shortcut and key anew and records
    them again; its record must still name everything, the folders the
    first run's destination step made (C:\\Program Files\\Northwind)
    included."""
    folder = os.path.join(WORK, "example")
    shutil.copytree(EXAMPLES, folder)
    p = Product(folder, "tally.toml")
    forget_earlier_runs()
    before = prefix_snapshot.take(WORK)

    p.install()
    p.install()
    uninstall_quietly_to(before, p, "round trip")


def group_minimal():
    p = small_product("Velt Minimal")
    before = prefix_snapshot.take(WORK)

    p.install()
    check(p.directory.lower().endswith("\\velt minimal") and p.records == p.directory,
          "minimal: installed in its default directory, records beside the files (%s)"
          % p.directory)
    run = uninstall_interactively(p, [confirmation(p), success_notice(p)])
    check_interactive_run(p, run, "minimal, UninstallString", 2)
    check_removed(p, "minimal, UninstallString")
    check_clean(before, p, "minimal, UninstallString")

    p.install()
    uninstall_quietly_to(before, p, "minimal, QuietUninstallString")


def batch_path(path):
    """A path as the script's text holds it: "%%" for each percent sign."""
    return path.replace("%", "%%")


def expected_script(p, folder, made_parents):
    """The script's bytes: a wait of a second, then a try to delete the
    registered uninstaller, until it is gone or thirty tries were made;
    then the uninstall folder (when there is one), the installation
    directory and the parents the installation made removed when empty,
    then the script and its folder."""
    script = folder + "\\delunins.bat"
    program = batch_path(p.uninstaller)
    lines = ["set T=", ":T", "set T=%T%x", 'if "%%T%%"=="%s" goto D' % ("x" * 30),
             "ping -n 2 127.0.0.1 >nul", 'del "%s"' % program, 'if exist "%s" goto T' % program,
             ":D"]
    if p.records != p.directory:
        lines.append('rd "%s"' % batch_path(p.records))
    lines.append('rd "%s"' % batch_path(p.directory))
    lines += ['rd "%s"' % batch_path(parent) for parent in made_parents]
    lines.append('del "%s" & rd "%s"' % (batch_path(script), batch_path(folder)))
    return "".join(line + "\r\n" for line in lines).encode("cp1252")


def group_script():
    cases = [
        ("with an uninstall folder", small_product(
            "Script Probe", 'default-directory = "C:\\\\Velt Tests\\\\Script Probe"\n'
            'uninstall-subdir = "Uninstall Files"\nuninstaller = "Remove Probe.exe"')),
        ("without an uninstall folder", small_product(
            "Script Flat", 'default-directory = "C:\\\\Velt Tests\\\\Script Flat"')),
        # Undoubled, the interpreter would read %TMP% as the variable, and
        # delete and remove other paths than these.
        ("with percent signs in its paths", small_product(
            "Script Percent", 'default-directory = "C:\\\\Velt Tests\\\\Script %TMP% 100%"\n'
            'uninstall-subdir = "50% Off"')),
    ]
    temp = user_temp()
    # The parent of both directories: the first installation makes it (it
    # is listed, and its script removes it when empty), the second finds it
    # (not listed). Another's file put into it keeps it in either case.
    parent, other = "C:\\Velt Tests", "C:\\Velt Tests\\other.txt"
    try:
        os.rmdir(drive_c(parent))
    except OSError:
        pass                # other tests' folders are in it
    found_parent = os.path.isdir(drive_c(parent))
    for what, p in cases:
        made_parents = [] if os.path.isdir(drive_c(parent)) else [parent]
        p.install()
        with open(drive_c(other), "w") as f:
            f.write("not the installation's\n")
        check((p.records != p.directory) == (what != cases[1][0]),
              "script, %s: the records are in %s" % (what, p.records))
        # The loader may still read the held file, so the uninstaller
        # starts; nobody may delete it until the locker lets go.
        locker = FileLocker(LOCKER, p.uninstaller, WORK, p.name.replace(" ", "-"),
                            share_read=True)
        run = Run(None, line=p.quiet_command, tree=True, background=True)
        opens = FileOpens(drive_c(p.uninstaller))
        try:
            made = wait_until(lambda: any(
                os.path.exists(os.path.join(drive_c(temp), name, "delunins.bat"))
                for name in script_folders()))
            folders = script_folders()
            check(made and len(folders) == 1 and re.fullmatch("QDTU[0-9A-F]{8}", folders[0]),
                  "script, %s: one folder QDTU<8 hex digits> with delunins.bat in %s (%s)"
                  % (what, temp, folders))
            # The uninstaller ends after it has written its script and
            # started it; the script then waits for the file: it tries to
            # delete it twice (it goes round its loop) after the uninstaller
            # ended, and the file is still there.
            check(wait_until(lambda: any(line.startswith("process 1 exit: ")
                                         for line in run.read().lines)),
                  "script, %s: the uninstaller ends while its file is held" % what)
            after_exit = opens.seen()
            wait_until(lambda: opens.seen() >= after_exit + 2 or run.process.poll() is not None)
            tried = opens.seen() - after_exit
            check(tried >= 2 and os.path.exists(drive_c(p.uninstaller))
                  and wine_processes("cmd.exe"),
                  "script, %s: the uninstaller stays while held, its script tries again "
                  "(%d opens after the uninstaller ended; %s)"
                  % (what, tried, wine_processes("cmd.exe")))
            if made and folders:
                folder = temp + "\\" + folders[0]
                with open(drive_c(folder + "\\delunins.bat"), "rb") as f:
                    script = f.read()
                expected = expected_script(p, folder, made_parents)
                check(script == expected, "script, %s: delunins.bat is\n%r\nexpected\n%r"
                      % (what, script, expected))
        finally:
            opens.close()
            check(locker.release() == 0, "script, %s: the locker was released" % what)
            run.wait()
        check(run.status == 1 and run.exit_code() == 1 and not run.boxes,
              "script, %s: exit code 1, no box (%s)" % (what, run.describe()))
        check_removed(p, "script, %s" % what)
        check(os.path.exists(drive_c(other)),
              "script, %s: %s keeps another's file" % (what, parent))
    os.remove(drive_c(other))
    if not found_parent:
        os.rmdir(drive_c(parent))
    script_gives_up()
    script_from_installer()


def script_gives_up():
    """An uninstaller that stays held: the script tries a while, then
    gives up, removes itself and its folder and ends; the file stays."""
    p = small_product("Script Held", 'default-directory = "C:\\\\Velt Tests\\\\Script Held"')
    p.install()
    locker = FileLocker(LOCKER, p.uninstaller, WORK, "held-uninstaller", share_read=True)
    try:
        run = uninstall_quietly(p)
        check(run.status == 1 and run.exit_code() == 1 and not run.boxes,
              "script, held: the run and its script end by themselves (%s)" % run.describe())
        check(os.path.exists(drive_c(p.uninstaller)),
              "script, held: the uninstaller that could not go stays")
        check(wait_until(lambda: not script_folders()),
              "script, held: the script's folder is gone (left: %s)" % script_folders())
        check(not wine_processes("cmd.exe"), "script, held: no cmd.exe is left running (%s)"
              % wine_processes("cmd.exe"))
    finally:
        check(locker.release() == 0, "script, held: the locker was released")
    shutil.rmtree(drive_c(p.directory), ignore_errors=True)


def script_from_installer():
    """The installer's own file started with /u: uninstalls the product:
    the registered uninstaller goes, the installer stays."""
    p = small_product("ScriptSetup", 'default-directory = "C:\\\\Velt Tests\\\\ScriptSetup"')
    p.install()
    run = Run(p.installer, ["/a", "/u:%s" % p.name], tree=True)
    check(run.status == 1 and run.exit_code() == 1 and not run.boxes,
          "script, from the installer: exit code 1, no box (%s)" % run.describe())
    check(p.registration() is None, "script, from the installer: the product is uninstalled")
    check_removed(p, "script, from the installer")
    check(os.path.exists(p.installer), "script, from the installer: %s stays" % p.installer)


def group_partial():
    """A file held open during the uninstallation: as a program holds its
    own image (others may read it, nobody may delete it), here a file in
    a subfolder; and without any sharing (it cannot even be opened to see
    that it is there), a file of the installation directory itself."""
    # No font: the held file is to be the only item that cannot go.
    p = example_product(font=False)
    forget_earlier_runs()
    before = prefix_snapshot.take(WORK)
    for what, name, share_read in (
            ("partial, held readable", "help\\getting-started.txt", True),
            ("partial, held without sharing", "tally.cmd", False)):
        partial_case(p, before, what, name, share_read)


def partial_case(p, before, what, name, share_read):
    p.install()
    held = p.directory + "\\" + name
    failure = p.message(vf.MsgUninstallErrors, p.text(vf.MsgUninstallErrorPrefix) + " " + held + "\r\n")
    locker = FileLocker(LOCKER, held, WORK, "held", share_read=share_read)
    try:
        run = uninstall_interactively(p, [confirmation(p), shared_question(p),
                                          step(p.message(vf.MsgQuestionCaption), failure, "press=%d" % OK)])
    finally:
        check(locker.release() == 0, "%s: the locker was released" % what)
    check(run.status == 0 and len(run.boxes) == 3,
          "%s: three boxes answered (%s; %s)" % (what, run.describe(), shown(run)))
    notices = [box for box in run.boxes.values() if box["caption"] == p.message(vf.MsgQuestionCaption)]
    check(len(notices) == 1 and notices[0]["texts"][-1:] == [failure],
          "%s: the failure notice names the held file: %r (got %r)" % (what, failure, notices))

    record = p.record() if os.path.exists(drive_c(p.records + "\\Uninstall.DAT")) else ""
    strings = record.find("\r\n\r\n[Strings]\r\n")
    # The parent the destination step made (forget_earlier_runs removed
    # it) stays listed until the run that removes everything.
    made_parent = "~" + p.directory.rsplit("\\", 1)[0]
    check(strings >= 0 and record[:strings].split("\r\n") == [made_parent, held, ""],
          "%s: the new Uninstall.DAT lists the parent the installation made and the held "
          "file, nothing else:\n%s" % (what, record))
    check("[Associations]" not in record, "%s: the new record has no associations" % what)
    stored, actual = record_digest(p)
    check(stored == actual, "%s: the registration holds the new record's digest (%s, %s)"
          % (what, stored, actual))
    check(("~53\r\n" + p.text(vf.MsgUninstallConfirm) + "\r\n") in record,
          "%s: the new record keeps the messages" % what)
    registration = p.registration() or {}
    check(registration.get("UninstallBatch2") == ("REG_SZ", "echo Tally is removed"),
          "%s: the registration and UninstallBatch2 stay (%r)"
          % (what, registration.get("UninstallBatch2")))
    check("UninstallBatch1" not in registration and "ProductRegistry" not in registration,
          "%s: UninstallBatch1 and ProductRegistry are gone (%s)" % (what, sorted(registration)))
    with open(drive_c("C:\\autoexec.bat"), "rb") as f:
        autoexec = f.read()
    # The line names the directory by its short path.
    check(re.fullmatch(rb"PATH=%PATH%;C:\\[^\r\n]*\\Tally\r\n", autoexec),
          "%s: the PATH line stays in autoexec.bat (%r)" % (what, autoexec))
    check(os.path.exists(drive_c(p.uninstaller)) and not script_folders(),
          "%s: no self-removal after a failure (%s)" % (what, script_folders()))

    # The file is free again: a second run takes the rest.
    run = uninstall_interactively(p, [confirmation(p), success_notice(p)])
    check_interactive_run(p, run, what + ", second run", 2)
    check_removed(p, what + ", second run")
    check_clean(before, p, what + ", second run")


# ------------------------------------------------------------------ cases

def case_product(name, flags=(), files="", extra=""):
    """A product of one file and whatever `files` and `extra` add to its
    project; the sources common.dll, keep.dll and glyphs.ttf are there to
    be named."""
    folder = os.path.join(WORK, name.replace(" ", "-"))
    os.makedirs(folder, exist_ok=True)
    for source, text in (("readme.txt", "The file of %s.\n" % name),
                         ("common.dll", "shared by the case products\n"),
                         ("keep.dll", "shared and permanent\n")):
        with open(os.path.join(folder, source), "w") as f:
            f.write(text)
    with open(os.path.join(folder, "glyphs.ttf"), "wb") as f:
        f.write(renamed_font(DEJAVU, "VeltCs"))
    with open(os.path.join(folder, "product.toml"), "w") as f:
        f.write('[product]\nname = %s\npublisher = "Velt Cases"\n\n[flags]\n'
                'uninstall-support = true\n%s\n[[files]]\nsource = "readme.txt"\n%s%s'
                % (json.dumps(name), "".join("%s = true\n" % flag for flag in flags),
                   files, extra))
    return Product(folder)


def reg_set(key, name, data, kind="REG_SZ"):
    where = ["/ve"] if name == "" else ["/v", name]
    reg("add", key, *where, "/t", kind, "/d", str(data), "/f")


def default_value(key):
    values = reg_values(key)
    return None if values is None else values.get("", (None, None))[1]


DIGEST = "UninstallDataSHA256"


def write_record(p, text, digest=True):
    """Writes the record; with `digest` its digest goes into the
    registration, as the installer's own writing does."""
    data = text.encode("cp1252")
    with open(drive_c(p.records + "\\Uninstall.DAT"), "wb") as f:
        f.write(data)
    if digest:
        reg_set(p.key, DIGEST, hashlib.sha256(data).hexdigest())


def record_digest(p):
    """The registration's digest and the digest of the record's bytes."""
    with open(drive_c(p.records + "\\Uninstall.DAT"), "rb") as f:
        data = f.read()
    return (p.registration() or {}).get(DIGEST, (None, None))[1], hashlib.sha256(data).hexdigest()


def command_line(p):
    return '"%s" /u:"%s"' % (p.uninstaller, p.name)


def installed(p, name="readme.txt"):
    return os.path.exists(drive_c(p.directory + "\\" + name))


def box_texts(run):
    return [t for box in run.boxes.values() for t in box["texts"] if t]


def group_record():
    """The early failure of a registration without a location, and
    records as damaged or hand-edited files may read."""
    # A blank InstallLocation: the corrupt-registration box, nothing touched.
    p = case_product("Velt Case Corrupt")
    p.install()
    location = p.directory
    reg_set(p.key, "InstallLocation", " ")
    text = "The uninstall information for %s is corrupt.\\r\\n\\r\\nThe uninstallation " \
           "cannot be performed." % p.name
    run = Run(None, [], [step("Error", None, "press=%d" % OK)], line=command_line(p))
    check(run.status == 1 and box_texts(run) == [text] and installed(p)
          and p.registration() is not None,
          "blank InstallLocation: the corrupt box %r, nothing removed (%s; %s)"
          % (text, run.describe(), shown(run)))
    reg_set(p.key, "InstallLocation", location)
    uninstall_quietly(p)

    # Without "[Strings]" the record is a plain removal list: the boxes have
    # no text, and the file still goes.
    p = case_product("Velt Case Plain")
    p.install()
    write_record(p, p.directory + "\\readme.txt\r\n")
    run = Run(None, [], ["press=%d" % YES, "press=%d" % OK], line=command_line(p), tree=True)
    check(run.status == 1 and not box_texts(run) and not installed(p)
          and p.registration() is None,
          "a record without [Strings]: empty boxes, the file and the registration go (%s)"
          % run.describe())

    # Headers 0 and 1001 are skipped with their text, which therefore does
    # not end up in message 53; a line of two association fields is no
    # association, so its keys stay.
    p = case_product("Velt Case Headers")
    p.install()
    record = p.record()
    at = record.index("~55\r\n")
    record = (record[:at] + "~0\r\nheader zero\r\n~1001\r\nheader 1001\r\n" + record[at:]
              + "\r\n[Associations]\r\n.vctwo~!~VeltCaseTwo.File\r\n")
    write_record(p, record)
    reg_set("HKCR\\.vctwo", "", "VeltCaseTwo.File")
    reg_set("HKCR\\VeltCaseTwo.File\\shell\\open\\command", "", "notepad.exe")
    run = uninstall_interactively(p, [confirmation(p), success_notice(p)])
    check(run.status == 0 and p.text(vf.MsgUninstallConfirm) in [t.replace("\\r\\n", "\r\n") for t in box_texts(run)]
          and not any("header" in t for t in box_texts(run)),
          "headers 0 and 1001 are skipped with their text (%s; %s)" % (run.describe(), shown(run)))
    check(default_value("HKCR\\.vctwo") == "VeltCaseTwo.File"
          and reg_values("HKCR\\VeltCaseTwo.File\\shell\\open\\command") is not None,
          "an association line of two fields is ignored: its keys stay")
    for key in ("HKCR\\.vctwo", "HKCR\\VeltCaseTwo.File"):
        reg_delete(key)

    # No at the confirmation: nothing changes.
    p = case_product("Velt Case Declined")
    p.install()
    run = Run(None, [], [step(p.message(vf.MsgUninstallConfirmCaption), p.message(vf.MsgUninstallConfirm), "press=7")], line=command_line(p))
    check(run.status == 1 and installed(p) and p.registration() is not None,
          "No at the confirmation changes nothing (%s)" % run.describe())
    uninstall_quietly(p)


ASSOCIATIONS = """
[[associations]]
extension = "vcase"
file-type = "VeltCase.Doc"
command = "notepad.exe \\"%1\\""

[[associations]]
extension = "vcnew"
file-type = "VeltCase.New"
command = "notepad.exe \\"%1\\""
"""


def group_associations():
    """An extension that had a type before gets it back and stays; a type
    key with a subkey of someone else's stays; new keys go."""
    reg_set("HKCR\\.vcase", "", "Earlier.Type")
    p = case_product("Velt Case Assoc", extra=ASSOCIATIONS)
    p.install()
    backup = p.name + " Backup"
    check(default_value("HKCR\\.vcase") == "VeltCase.Doc"
          and reg_values("HKCR\\.vcase").get(backup) == ("REG_SZ", "Earlier.Type"),
          "the installation keeps the earlier type in %r" % backup)
    reg_set("HKCR\\VeltCase.Doc\\OtherSub", "", "someone else's")
    uninstall_quietly(p)
    extension = reg_values("HKCR\\.vcase") or {}
    check(extension.get("") == ("REG_SZ", "Earlier.Type") and backup not in extension,
          "the extension gets its earlier type back and stays: %r" % extension)
    check(reg_values("HKCR\\VeltCase.Doc\\OtherSub") is not None
          and reg_values("HKCR\\VeltCase.Doc\\shell") is None,
          "the type key with another subkey stays, without its verb")
    check(reg_values("HKCR\\.vcnew") is None and reg_values("HKCR\\VeltCase.New") is None,
          "the new extension and type go")
    for key in ("HKCR\\.vcase", "HKCR\\VeltCase.Doc"):
        reg_delete(key)


SHARED = '\n[[files]]\nsource = "common.dll"\ndestination = "shared"\n'
PERMANENT = '\n[[files]]\nsource = "keep.dll"\ndestination = "shared"\npermanent = true\n'
COUNTS = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"


def group_shared():
    """Two products share a file: it stays until the second goes. A count
    of 3 goes to 2; a count of 1 removes the value and, after the
    question, the file; a permanent entry only loses its count."""
    a = case_product("Velt Case Share A", files=SHARED)
    b = case_product("Velt Case Share B", flags=["ask-shared-delete"], files=SHARED + PERMANENT)
    a.install()
    b.install()
    shared_dir = b.registration()["SharedPath"][1]
    common, keep = shared_dir + "\\common.dll", shared_dir + "\\keep.dll"

    def count(path):
        values = reg_values(COUNTS) or {}
        return values.get(path, (None, None))[1]

    check(count(common) == "0x2", "two products count the file twice: %r" % count(common))
    uninstall_quietly(a)
    check(count(common) == "0x1" and os.path.exists(drive_c(common)),
          "the first product's removal leaves the file and a count of 1: %r" % count(common))
    a.install()
    reg_set(COUNTS, common, 3, "REG_DWORD")
    uninstall_quietly(a)
    check(count(common) == "0x2" and os.path.exists(drive_c(common)),
          "a count of 3 goes to 2, the file stays: %r" % count(common))
    reg_set(COUNTS, common, 1, "REG_DWORD")
    run = uninstall_interactively(b, [confirmation(b), step(b.message(vf.MsgSharedFileCaption), b.message(vf.MsgSharedFileQuestion, common),
                                                            "press=%d" % YES),
                                      success_notice(b)])
    check(run.status == 0 and count(common) is None and not os.path.exists(drive_c(common)),
          "a count of 1: the value and, after the question, the file go (%s; %s)"
          % (run.describe(), shown(run)))
    check(count(keep) is None and os.path.exists(drive_c(keep)),
          "the permanent entry only loses its count: %r" % count(keep))

    # A missing count is unknown, not zero: the file stays, no value is made.
    a.install()
    reg("delete", COUNTS, "/v", common, "/f")
    uninstall_quietly(a)
    check(count(common) is None and os.path.exists(drive_c(common)),
          "a missing count keeps the file and makes no value: %r" % count(common))


KEEP_EXISTING = '\n[[files]]\nsource = "common.dll"\noverwrite = "keep-existing"\n'
EXEFILE_OPEN = "HKCR\\exefile\\shell\\open\\command"
VICTIM_KEY = "HKCR\\VeltVictim.Class"


def group_trust():
    """A record changed after the installation wrote it (its digest in the
    registration differs) is refused with the corrupt box and nothing
    changes; without a digest (an earlier version's registration) the lines
    outside what an installation owns are skipped. A keep-existing file
    that was there before the installation is not the product's."""
    p = case_product("Velt Case Trust", files=KEEP_EXISTING)
    p.install()
    keep = drive_c(p.directory + "\\common.dll")
    check("common.dll" in p.record(), "a keep-existing file the run wrote is recorded")
    # Installed again, the earlier record lists it: it stays the product's.
    p.install()
    check("common.dll" in p.record(), "a reinstall keeps the file it wrote before recorded")
    uninstall_quietly(p)
    check(not os.path.exists(keep), "the uninstallation removes it")

    # Someone else's file was there first: not recorded, and it survives,
    # also when a record that no registration vouches for claims it.
    os.makedirs(os.path.dirname(keep), exist_ok=True)
    with open(keep, "w") as f:
        f.write("someone else's\n")
    write_record(p, p.directory + "\\common.dll\r\n", digest=False)
    p.install()
    check("common.dll" not in p.record(), "a keep-existing file found there is not recorded:\n%s"
          % p.record())

    victim = "C:\\velt-victim.txt"
    with open(drive_c(victim), "w") as f:
        f.write("not the product's\n")
    reg_set(VICTIM_KEY + "\\sub", "", "not the product's")
    exefile = reg_values(EXEFILE_OPEN)
    check(exefile is not None, "the prefix has %s" % EXEFILE_OPEN)
    original = p.record()
    tampered = [
        ("an outside file", victim + "\r\n", ""),
        ("an outside file by way of ..", p.directory + "\\.." * p.directory.count("\\")
         + victim[2:] + "\r\n", ""),
        ("a key line", "!VeltVictim.Class\r\n", ""),
        ("an association onto exefile", "", "\r\n\r\n[Associations]\r\n.exe~!~exefile~!~open\r\n"),
    ]

    def untouched(what):
        with open(keep) as f:
            kept = f.read()
        check(os.path.exists(drive_c(victim)) and reg_values(VICTIM_KEY + "\\sub") is not None
              and reg_values(EXEFILE_OPEN) == exefile and kept == "someone else's\n",
              "%s: nothing outside the product changes" % what)

    corrupt = ("The uninstall information for %s is corrupt.\\r\\n\\r\\nThe uninstallation "
               "cannot be performed." % p.name)
    for what, line, tail in tampered:
        what = "tampered record, " + what
        write_record(p, line + original + tail, digest=False)
        run = Run(None, [], [step("Error", None, "press=%d" % OK)], line=command_line(p))
        check(run.exit_code() == 1 and box_texts(run) == [corrupt],
              "%s: the corrupt box %r (%s; %s)" % (what, corrupt, run.describe(), shown(run)))
        check(installed(p) and p.registration() is not None,
              "%s: the product and its registration stay" % what)
        untouched(what)

    # An earlier version's registration has no digest: the record is obeyed
    # inside what the installation owns, and only there.
    reg("delete", p.key, "/v", DIGEST, "/f")
    write_record(p, "".join(line for _, line, _ in tampered) + original
                 + tampered[-1][2], digest=False)
    run = uninstall_quietly(p)
    check(run.exit_code() == 1 and not run.boxes and not installed(p)
          and p.registration() is None,
          "no digest: the product's files and registration go (%s)" % run.describe())
    untouched("no digest")
    for path in (keep, drive_c(victim)):
        os.remove(path)
    reg_delete(VICTIM_KEY)


FONT = ('\n[[files]]\nsource = "glyphs.ttf"\ndestination = "font"\n'
        'font-name = "Velt Case Glyphs"\n')


def group_font():
    """A font whose file cannot go (held open) is named in the failure
    notice and kept in ProductFonts; the registration stays, and the next
    run, the file let go, removes it."""
    p = case_product("Velt Case Font", files=FONT)
    p.install()
    font = "C:\\windows\\Fonts\\glyphs.ttf"
    check(os.path.exists(drive_c(font)), "the font is placed")
    locker = FileLocker(LOCKER, font, WORK, "font")
    failure = step(p.message(vf.MsgQuestionCaption), p.text(vf.MsgUninstallErrorPrefix).split("\r")[0], "press=%d" % OK)
    run = uninstall_interactively(p, [confirmation(p), failure])
    locker.release()
    registration = p.registration() or {}
    check(run.status == 0 and any("glyphs.ttf" in t for t in box_texts(run)),
          "the failure notice names the font (%s; %s)" % (run.describe(), shown(run)))
    check(registration.get("ProductFonts") == ("REG_SZ", '"Velt Case Glyphs" "glyphs.ttf" '),
          "ProductFonts keeps the font in its quoted form: %r" % (registration.get("ProductFonts"),))
    run = uninstall_quietly(p)
    check(p.registration() is None and not os.path.exists(drive_c(font)),
          "the next run removes the font and the registration (%s)" % run.describe())


def group_tree():
    """A product without an uninstall list loses its whole folder, and only
    that: links inside it lead to folders and a file outside, in the
    prefix and on the host, which all survive. Wine 8 cannot make a
    Windows junction or symbolic link (CreateSymbolicLink does nothing);
    a link of the host's in the prefix's drive is what it shows instead,
    as a directory or file whose handle resolves to the place outside."""
    p = case_product("Velt Case Tree", flags=["no-uninstall-list"])
    p.install()
    inside = drive_c(p.directory)
    os.makedirs(os.path.join(inside, "data", "deeper"))
    for name in ("data\\deeper\\leaf.txt", "data\\read-only.txt"):
        with open(os.path.join(inside, *name.split("\\")), "w") as f:
            f.write("the product's own\n")
    os.chmod(os.path.join(inside, "data", "read-only.txt"), 0o444)
    outside = [os.path.join(WORK, "host outside"), drive_c("C:\\Velt Tree Outside")]
    for folder in outside:
        os.makedirs(os.path.join(folder, "inner"), exist_ok=True)
        with open(os.path.join(folder, "inner", "keep.txt"), "w") as f:
            f.write("someone else's\n")
    links = {os.path.join(inside, "to host"): outside[0],
             os.path.join(inside, "data", "to prefix"): outside[1],
             os.path.join(inside, "data", "to file.txt"): os.path.join(outside[1], "inner",
                                                                     "keep.txt")}
    for link, target in links.items():
        os.symlink(target, link)
    run = uninstall_quietly(p)
    check(run.status == 1 and run.exit_code() == 1 and not run.boxes,
          "tree: the quiet uninstallation ends with exit code 1, no box (%s)" % run.describe())
    for folder in outside:
        check(os.path.isfile(os.path.join(folder, "inner", "keep.txt")),
              "tree: %s and what it holds survive" % folder)
    left = sorted(os.path.relpath(os.path.join(d, n), inside)
                  for d, dirs, files in os.walk(inside) for n in dirs + files) \
        if os.path.isdir(inside) else []
    # Wine deletes the target of a host link asked to delete the link: the
    # uninstaller leaves such links, with the folders that hold them (on
    # Windows, where a link shows as one, it removes the link itself).
    check(left == ["data", "data/to file.txt", "data/to prefix", "to host"],
          "tree: all but the links and the folder holding them is removed: %r" % left)
    check(p.registration() is None, "tree: the registration is removed")


if __name__ == "__main__":
    try:
        if not os.path.isfile(BUILDER):
            sys.exit("no native builder at %r: build it (the native preset) first" % BUILDER)
        for program in (ROBOT, STUB, LOCKER):
            if not os.path.isfile(program):
                sys.exit("missing %s: build the win64 (or win32) preset first" % program)
        if not os.path.isfile(DEJAVU):
            sys.exit("no %s: install the fonts-dejavu-core package" % DEJAVU)
        Run.work, Run.robot = WORK, ROBOT
        globals()["group_" + GROUP]()
    finally:
        quiet(PREFIX_SCRIPT, "stop", OWN_PREFIX)
        if not FAILURES:
            shutil.rmtree(OWN_PREFIX, ignore_errors=True)
    print("%d runs, %d failures" % (Run.count, len(FAILURES)))
    sys.exit(1 if FAILURES else 0)
