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
            held open, with and without an uninstall folder, then let go
  partial   an installed file held open during the uninstallation: the
            failure notice, the rewritten record, what stays for a second
            run; the second run removes the rest

LOCKER is velt-file-locker.exe. The environment is that of
velt_add_wine_test.
"""

import json
import os
import re
import shutil
import subprocess
import sys
import time

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
from velt_e2e import (BUILDER, FAILURES, FileLocker, Run, build_installer, check,  # noqa: E402
                      drive_c, log_text, reg_values, renamed_font, step, wine,
                      wine_processes)
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
        run = Run(self.installer, ["/a"], timeout=120, leave=[self.message(54)])
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


def user_temp():
    return wine("cmd", "/c", "echo %TMP%").strip()


def script_folders():
    """The self-removal scripts' folders in the user's temporary folder."""
    temp = drive_c(user_temp())
    return sorted(name for name in os.listdir(temp) if name.upper().startswith("QDTU"))


def wait_until(condition, seconds=60):
    deadline = time.time() + seconds
    while not condition() and time.time() < deadline:
        time.sleep(0.2)
    return condition()


def uninstall_interactively(product, steps):
    """UninstallString as Wine's uninstaller.exe runs it: `--remove` takes
    the name of the registration's key (it lists only keys with a
    DisplayName and an UninstallString), runs the command and waits for
    it. The robot follows the whole tree, so it ends when the
    self-removal script has ended too."""
    return Run("uninstaller", ["--remove", product.name], steps, tree=True, timeout=120)


def uninstall_quietly(product):
    """QuietUninstallString, the command line as registered."""
    return Run(None, line=product.quiet_command, tree=True, timeout=120)


def check_removed(product, what):
    """What the self-removal takes, gone once the script has ended; no
    interpreter left running."""
    gone = wait_until(lambda: not os.path.exists(drive_c(product.uninstaller)), 30)
    check(gone, "%s: the uninstaller %s is deleted" % (what, product.uninstaller))
    for folder in (product.records, product.directory):
        check(not os.path.exists(drive_c(folder)), "%s: %s is removed" % (what, folder))
    check(wait_until(lambda: not script_folders(), 10),
          "%s: the script's folder is gone from %s (left: %s)"
          % (what, user_temp(), script_folders()))
    check(wait_until(lambda: not wine_processes("cmd.exe"), 10),
          "%s: no cmd.exe is left running (%s)" % (what, wine_processes("cmd.exe")))


def check_clean(before, product, what):
    after = prefix_snapshot.take(WORK)
    check(prefix_snapshot.report(before, after, product.directory, what),
          "%s: the prefix holds nothing else than before (differences above)" % what)


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
    return step(p.message(55), p.message(53), "press=%d" % YES)


def shared_question(p):
    return step(p.message(35), p.message(59, p.shared), "press=%d" % YES)


def success_notice(p):
    return step(p.message(15), p.message(34), "press=%d" % OK)


def shown(run):
    """The boxes of a run with their texts, for a failure message."""
    return "; ".join("%r: %r" % (box["caption"], " ".join(t for t in box["texts"] if t))
                     for box in run.boxes.values())


def check_interactive_run(p, run, what, boxes):
    check(run.status == 0 and len(run.boxes) == boxes,
          "%s: Wine's uninstaller runs the uninstaller, %d boxes answered (%s; %s)"
          % (what, boxes, run.describe(), shown(run)))
    # The uninstaller is the second process; the self-removal script's
    # interpreter comes after the batch commands' ones.
    exits = [line for line in run.lines if line.startswith("process 2 exit: ")]
    check(exits == ["process 2 exit: 1"], "%s: the uninstaller ends with exit code 1 (%s)"
          % (what, exits))


def forget_earlier_runs():
    """The copied prefix may hold the empty folders an earlier run of the
    example left (before the uninstaller existed, or cut short); the
    uninstallation would remove them and they would count as lost."""
    for folder in ("C:\\Program Files\\Common Files\\Northwind Tools",
                   "C:\\Program Files\\Northwind\\Tally", "C:\\Program Files\\Northwind"):
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
    run = uninstall_quietly(p)
    check(run.status == 1 and run.exit_code() == 1 and not run.boxes,
          "example, QuietUninstallString: exit code 1 and no box (%s)" % run.describe())
    check_removed(p, "example, QuietUninstallString")
    check_clean(before, p, "example, QuietUninstallString")


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
    run = uninstall_quietly(p)
    check(run.status == 1 and run.exit_code() == 1 and not run.boxes,
          "minimal, QuietUninstallString: exit code 1 and no box (%s)" % run.describe())
    check_removed(p, "minimal, QuietUninstallString")
    check_clean(before, p, "minimal, QuietUninstallString")


def expected_script(p, folder):
    """The script's bytes: the uninstaller deleted until it is free, the
    uninstall folder (when there is one) and the installation directory
    removed when empty, then the script and its folder."""
    script = folder + "\\delunins.bat"
    lines = [":Repeat", 'del "%s"' % p.uninstaller, 'if exist "%s" goto Repeat' % p.uninstaller]
    if p.records != p.directory:
        lines.append('rd "%s"' % p.records)
    lines += ['rd "%s"' % p.directory, 'del "%s" & rd "%s"' % (script, folder)]
    return "".join(line + "\r\n" for line in lines).encode("cp1252")


def group_script():
    cases = [
        ("with an uninstall folder", small_product(
            "Script Probe", 'default-directory = "C:\\\\Velt Tests\\\\Script Probe"\n'
            'uninstall-subdir = "Uninstall Files"\nuninstaller = "Remove Probe.exe"')),
        ("without an uninstall folder", small_product(
            "Script Flat", 'default-directory = "C:\\\\Velt Tests\\\\Script Flat"')),
    ]
    temp = user_temp()
    for what, p in cases:
        p.install()
        check((p.records != p.directory) == (what == cases[0][0]),
              "script, %s: the records are in %s" % (what, p.records))
        # The loader may still read the held file, so the uninstaller
        # starts; nobody may delete it until the locker lets go.
        locker = FileLocker(LOCKER, p.uninstaller, WORK, p.name.replace(" ", "-"),
                            share_read=True)
        run = Run(None, line=p.quiet_command, tree=True, timeout=120, background=True)
        try:
            made = wait_until(lambda: any(
                os.path.exists(os.path.join(drive_c(temp), name, "delunins.bat"))
                for name in script_folders()), 60)
            folders = script_folders()
            check(made and len(folders) == 1 and re.fullmatch("QDTU[0-9A-F]{8}", folders[0]),
                  "script, %s: one folder QDTU<8 hex digits> with delunins.bat in %s (%s)"
                  % (what, temp, folders))
            if made and folders:
                folder = temp + "\\" + folders[0]
                with open(drive_c(folder + "\\delunins.bat"), "rb") as f:
                    script = f.read()
                expected = expected_script(p, folder)
                check(script == expected, "script, %s: delunins.bat is\n%r\nexpected\n%r"
                      % (what, script, expected))
            # The uninstaller has ended; its script waits for the file.
            check(wait_until(lambda: any(line.startswith("process 1 exit: ")
                                         for line in run.read().lines), 60),
                  "script, %s: the uninstaller ends while its file is held" % what)
            time.sleep(1)
            check(os.path.exists(drive_c(p.uninstaller)) and wine_processes("cmd.exe"),
                  "script, %s: the uninstaller stays while held, its script runs (%s)"
                  % (what, wine_processes("cmd.exe")))
        finally:
            check(locker.release() == 0, "script, %s: the locker was released" % what)
            run.wait()
        check(run.status == 1 and run.exit_code() == 1 and not run.boxes,
              "script, %s: exit code 1, no box (%s)" % (what, run.describe()))
        check_removed(p, "script, %s" % what)


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
    failure = p.message(10, p.text(58) + " " + held + "\r\n")
    locker = FileLocker(LOCKER, held, WORK, "held", share_read=share_read)
    try:
        run = uninstall_interactively(p, [confirmation(p), shared_question(p),
                                          step(p.message(20), failure, "press=%d" % OK)])
    finally:
        check(locker.release() == 0, "%s: the locker was released" % what)
    check(run.status == 0 and len(run.boxes) == 3,
          "%s: three boxes answered (%s; %s)" % (what, run.describe(), shown(run)))
    notices = [box for box in run.boxes.values() if box["caption"] == p.message(20)]
    check(len(notices) == 1 and notices[0]["texts"][-1:] == [failure],
          "%s: the failure notice names the held file: %r (got %r)" % (what, failure, notices))

    record = p.record() if os.path.exists(drive_c(p.records + "\\Uninstall.DAT")) else ""
    strings = record.find("\r\n\r\n[Strings]\r\n")
    check(strings >= 0 and record[:strings].split("\r\n") == [held, ""],
          "%s: the new Uninstall.DAT lists the held file and nothing else:\n%s" % (what, record))
    check("[Associations]" not in record, "%s: the new record has no associations" % what)
    check(("~53\r\n" + p.text(53) + "\r\n") in record,
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
    check(re.fullmatch(rb"\r\nPATH=%PATH%;C:\\[^\r\n]*\\Tally\r\n", autoexec),
          "%s: the PATH line stays in autoexec.bat (%r)" % (what, autoexec))
    check(os.path.exists(drive_c(p.uninstaller)) and not script_folders(),
          "%s: no self-removal after a failure (%s)" % (what, script_folders()))

    # The file is free again: a second run takes the rest.
    run = uninstall_interactively(p, [confirmation(p), success_notice(p)])
    check_interactive_run(p, run, what + ", second run", 2)
    check_removed(p, what + ", second run")
    check_clean(before, p, what + ", second run")


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
