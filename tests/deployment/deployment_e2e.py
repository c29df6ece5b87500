#!/usr/bin/env python3
"""End-to-end tests of what deployment tools rely on: the exit code of each
way an installation or an uninstallation ends, with and without
exit-codes = "standard", and the values of the Uninstall key that the
system's list of programs shows.

    deployment_e2e.py GROUP ROBOT STUB LOCKER

GROUP is one of:
  exitcodes     every outcome, both ways (in a copy of the prefix, since a
                deferred file leaves a pending rename behind)
  registration  InstallDate, DisplayIcon, EstimatedSize, NoModify and
                NoRepair as Wine's reg reads them, gone after uninstalling

Exit codes are read from the robot's log ("process 1 exit: N", which it
takes with GetExitCodeProcess): the status Linux sees keeps only the low
byte, so 3010 and 1602 would arrive there as 194 and 66.
"""

import datetime
import json
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
GROUP, ROBOT, STUB, LOCKER = sys.argv[1:5]
WORK = os.path.join(os.environ["VELT_BINARY_DIR"], "tests", "deployment", GROUP)
PREFIX_SCRIPT = os.path.join(os.environ["VELT_SOURCE_DIR"], "scripts", "wine-prefix.sh")
OWN_PREFIX = os.path.join(WORK, "prefix") if GROUP == "exitcodes" else None

shutil.rmtree(WORK, ignore_errors=True)
os.makedirs(WORK)
if OWN_PREFIX:
    if subprocess.run([PREFIX_SCRIPT, "clone", os.environ["WINEPREFIX"], OWN_PREFIX],
                      stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                      stderr=subprocess.DEVNULL).returncode != 0:
        sys.exit("cannot clone the Wine prefix %s" % os.environ["WINEPREFIX"])
    os.environ["WINEPREFIX"] = OWN_PREFIX

sys.path.insert(0, os.path.join(HERE, "..", "lib"))
import velt_format as vf  # noqa: E402
from velt_e2e import (BUILDER, FAILURES, FileLocker, Run, build_installer, check,  # noqa: E402
                      drive_c, log_text, reg_delete, reg_values, step, cmd, reg, winpath)

UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
WELCOME_CAPTION = "Veltpack Utility v6.2"
CONTINUE, STOP = 1001, 1003
YES, NO, OK = 6, 7, 1
LEGACY = 1
# Outcome -> exit code with exit-codes = "standard".
STANDARD = {"success": 0, "restart": 3010, "cancelled": 1602, "failed": 1603}


class Product:
    """A small product in its own folder of WORK; `message(n)` is message n
    as the robot logs it, with the product name in place."""

    def __init__(self, name, standard, flags=(), product="", files=None, extra=None):
        self.name = name
        self.directory = "C:\\Velt Tests\\%s" % name
        self.folder = os.path.join(WORK, name)
        os.makedirs(self.folder, exist_ok=True)
        with open(os.path.join(self.folder, "app.txt"), "w") as f:
            f.write("The program of %s.\n" % name)
        for source, data in (extra or {}).items():
            with open(os.path.join(self.folder, source), "wb") as f:
                f.write(data)
        toml = ('[product]\nname = "%s"\npublisher = "Velt Deploy %s"\n'
                'default-directory = %s\nuninstall-subdir = "Uninstall"\n'
                'uninstaller = "Remove.exe"\n%s%s\n[flags]\nuninstall-support = true\n%s\n'
                % (name, name, json.dumps(self.directory), product,
                   'exit-codes = "standard"\n' if standard else "",
                   "".join("%s = true\n" % flag for flag in flags)))
        toml += files if files is not None else '[[files]]\nsource = "app.txt"\n'
        with open(os.path.join(self.folder, "product.toml"), "w") as f:
            f.write(toml)
        self.installer = os.path.join(self.folder, "Setup.exe")
        self.inspected = build_installer(os.path.join(self.folder, "product.toml"),
                                         self.installer, STUB)
        self.key = UNINSTALL_KEY + name
        # What a run cut short before left behind would change this one.
        self.clean()

    def message(self, n):
        return log_text(self.inspected["messages"][n][0].replace("<product>", self.name))

    def run(self, steps, args=(), installer=None):
        leave = [self.message(vf.MsgProgressCaption)] if "/a" in args else []
        return Run(winpath(installer or self.installer), list(args), steps, leave=leave)

    def uninstall(self, steps, quiet=False):
        values = reg_values(self.key) or {}
        line = values.get("QuietUninstallString" if quiet else "UninstallString", ("", ""))[1]
        if not check(line, "%s: no uninstall command registered" % self.name):
            return None
        return Run(None, [], steps, line=line)

    def clean(self):
        shutil.rmtree(drive_c(self.directory), ignore_errors=True)
        reg_delete(self.key)


def welcome(p, answer=YES):
    return step(WELCOME_CAPTION, p.message(vf.MsgWelcome), "press=%d" % answer)


def expect_code(what, run, outcome, standard):
    want = STANDARD[outcome] if standard else LEGACY
    got = run.exit_code() if run else None
    check(got == want, "%s (%s): exit code %r, expected %r (%s)"
          % (what, "standard" if standard else "legacy", got, want,
             run.describe() if run else "no run"))


def Locker(path, tag, share_read=False):
    """velt-file-locker holding a file (a Windows path) open until released."""
    return FileLocker(LOCKER, path, WORK, tag, share_read=share_read)


# ------------------------------------------------------------- exit codes

def install_cases(standard):
    tag = "S" if standard else "L"
    # Success, without questions.
    p = Product("Exit Plain " + tag, standard)
    p.clean()
    expect_code("success (/a)", p.run([], ["/a"]), "success", standard)
    check(os.path.exists(drive_c(p.directory + "\\app.txt")), "success: app.txt installed")

    # Success, interactive: the welcome, progress and completion boxes.
    p.clean()
    run = p.run([welcome(p), step(p.message(vf.MsgProgressCaption), None, "keep"),
                 step(p.message(vf.MsgInstallCompleteCaption), p.message(vf.MsgInstallComplete), "press=%d" % OK)])
    expect_code("success (interactive)", run, "success", standard)

    # The welcome question answered No.
    p.clean()
    expect_code("no at the welcome", p.run([welcome(p, NO)]), "cancelled", standard)

    # The existing installation: No to installing over it.
    os.makedirs(drive_c(p.directory), exist_ok=True)
    for name, value in (("UninstallString", "x"), ("InstallLocation", p.directory),
                        ("DisplayVersion", "1.0")):
        reg("add", p.key, "/v", name, "/d", value, "/f")
    run = p.run([welcome(p), step(p.message(vf.MsgExistingCaption), None, "press=%d" % NO)])
    expect_code("no to the existing installation", run, "cancelled", standard)
    p.clean()

    # Stop at the licence and at the directory dialog.
    licensed = Product("Exit Licence " + tag, standard, flags=["ask-directory"],
                       product='licence = "licence.txt"\n',
                       extra={"licence.txt": b"Use it well.\r\n"})
    licensed.clean()
    run = licensed.run([welcome(licensed), step(licensed.message(vf.MsgLicenseCaption), None, "press=%d" % STOP)])
    expect_code("stop at the licence", run, "cancelled", standard)
    run = licensed.run([welcome(licensed), step(licensed.message(vf.MsgLicenseCaption), None, "press=%d" % CONTINUE),
                        step(licensed.message(vf.MsgDestinationCaption), None, "press=%d" % STOP)])
    expect_code("stop at the directory dialog", run, "cancelled", standard)
    check(not os.path.exists(drive_c(licensed.directory + "\\app.txt")),
          "nothing installed after a stop")

    # A corrupt archive found once the description is read: a stub byte
    # changed (code 40) ends as a failure.
    with open(p.installer, "rb") as f:
        data = bytearray(f.read())
    data[0x4E] ^= 0x20
    damaged = os.path.join(p.folder, "damaged.exe")
    with open(damaged, "wb") as f:
        f.write(data)
    run = p.run(["caption=FATAL ERROR|text=Error code: %d|press=%d" % (vf.kCorruptStubChecksum, OK)], ["/a"],
                installer=damaged)
    expect_code("corrupt archive (40)", run, "failed", standard)
    # Header damage (the magic, code 20) is found before the description
    # says which codes to use: exit code 1 either way.
    with open(p.installer, "rb") as f:
        data = bytearray(f.read())
    raw_offset = p.inspected["section"]["offset"]
    data[raw_offset] ^= 1
    with open(damaged, "wb") as f:
        f.write(data)
    run = p.run(["caption=FATAL ERROR|text=Error code: %d|press=%d" % (vf.kCorruptMagic, OK)], ["/a"],
                installer=damaged)
    got = run.exit_code()
    check(got == 1, "corrupt header (20), %s: exit code %r, expected 1 (%s)"
          % ("standard" if standard else "legacy", got, run.describe()))

    # A fatal stop: an add-on whose master product is missing.
    addon = Product("Exit Addon " + tag, standard, product='master = "Velt Missing Master"\n')
    text = addon.message(vf.MsgMasterMissing).replace("%s", "Velt Missing Master")
    run = addon.run([step("Error", text, "press=%d" % OK)], ["/a"])
    expect_code("fatal stop (missing master)", run, "failed", standard)

    # Restart needed and declined: a shared file held open is deferred.
    publisher = "Velt Deploy Exit Restart " + tag
    shared = cmd("echo %CommonProgramFiles%") + "\\" + publisher
    target = shared + "\\busy.dll"
    os.makedirs(drive_c(shared), exist_ok=True)
    with open(drive_c(target), "wb") as f:
        f.write(b"the copy in use")
    old = time.time() - 10 * 86400
    os.utime(drive_c(target), (old, old))
    busy = Product("Exit Restart " + tag, standard,
                   files='[[files]]\nsource = "busy.dll"\ndestination = "shared"\n',
                   extra={"busy.dll": b"the new copy" * 100})
    busy.clean()
    locker = Locker(target, "restart-" + tag, share_read=True)
    try:
        run = busy.run([welcome(busy), step(busy.message(vf.MsgProgressCaption), None, "keep"),
                        step(busy.message(vf.MsgInstallCompleteCaption), busy.message(vf.MsgInstallComplete), "press=%d" % OK),
                        step(busy.message(vf.MsgQuestionCaption), busy.message(vf.MsgRestartQuestion), "press=%d" % NO)])
    finally:
        locker.release()
    expect_code("restart needed, declined", run, "restart", standard)
    busy.clean()
    shutil.rmtree(drive_c(shared), ignore_errors=True)


def uninstall_cases(standard):
    tag = "S" if standard else "L"
    p = Product("Exit Uninstall " + tag, standard)
    p.clean()
    check(p.run([], ["/a"]).exit_code() == (0 if standard else 1), "installed for uninstalling")
    confirm = step(p.message(vf.MsgUninstallConfirmCaption), p.message(vf.MsgUninstallConfirm), "press=%d" % YES)
    run = p.uninstall([step(p.message(vf.MsgUninstallConfirmCaption), p.message(vf.MsgUninstallConfirm), "press=%d" % NO)])
    expect_code("uninstall: no at the confirmation", run, "cancelled", standard)

    # A file held open as a running program is (others may read it, not
    # delete it) cannot be removed: the uninstall ends with a warning.
    locker = Locker(p.directory + "\\app.txt", "uninstall-" + tag, share_read=True)
    try:
        run = p.uninstall([confirm, step(p.message(vf.MsgQuestionCaption), None, "press=%d" % OK)])
    finally:
        locker.release()
    expect_code("uninstall: a file held open", run, "failed", standard)

    # Installed again, then removed.
    p.clean()
    p.run([], ["/a"])
    run = p.uninstall([confirm, step(p.message(vf.MsgUninstallCompleteCaption), p.message(vf.MsgUninstallComplete), "press=%d" % OK)])
    expect_code("uninstall: success", run, "success", standard)
    check(reg_values(p.key) is None, "the registration is gone after uninstalling")
    p.clean()


def group_exitcodes():
    try:
        for standard in (False, True):
            install_cases(standard)
            uninstall_cases(standard)
    finally:
        subprocess.run([PREFIX_SCRIPT, "stop", OWN_PREFIX], stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


# ----------------------------------------------------------- registration

def group_registration():
    data = {"big.bin": bytes(range(256)) * 20, "small.txt": b"x" * 100}
    p = Product("Deploy Listing", False, extra=data,
                files="".join('[[files]]\nsource = "%s"\n\n' % n for n in ["app.txt"] + list(data)))
    p.clean()
    before = datetime.date.today()
    run = p.run([], ["/a"])
    after = datetime.date.today()
    check(run.exit_code() == 1, "installed (%s)" % run.describe())
    values = reg_values(p.key) or {}
    dates = {d.strftime("%Y%m%d") for d in (before, after)}
    check(values.get("InstallDate", ("", ""))[0] == "REG_SZ"
          and values["InstallDate"][1] in dates,
          "InstallDate is today's YYYYMMDD: %r" % (values.get("InstallDate"),))
    uninstaller = p.directory + "\\Uninstall\\Remove.exe"
    check(values.get("DisplayIcon") == ("REG_SZ", uninstaller),
          "DisplayIcon is the uninstaller: %r" % (values.get("DisplayIcon"),))
    total = sum(os.path.getsize(os.path.join(p.folder, n)) for n in ["app.txt"] + list(data))
    kilobytes = (total + 1023) // 1024
    check(values.get("EstimatedSize") == ("REG_DWORD", "0x%x" % kilobytes),
          "EstimatedSize is %d KB as a DWORD: %r" % (kilobytes, values.get("EstimatedSize")))
    for name in ("NoModify", "NoRepair"):
        check(values.get(name) == ("REG_DWORD", "0x1"), "%s is 1: %r" % (name, values.get(name)))
    run = p.uninstall([], quiet=True)
    check(run is not None and reg_values(p.key) is None,
          "the key and its values are gone after uninstalling (%s)"
          % (run.describe() if run else "no run"))
    p.clean()


def main():
    for program in (ROBOT, STUB, LOCKER):
        if not os.path.exists(program):
            raise SystemExit("missing %s: build the win64 preset" % program)
    if not BUILDER or not os.path.exists(BUILDER):
        raise SystemExit("no builder at %r: build the native preset first" % BUILDER)
    Run.work, Run.robot = WORK, ROBOT
    {"exitcodes": group_exitcodes, "registration": group_registration}[GROUP]()
    if FAILURES:
        print("%d failed" % len(FAILURES))
        sys.exit(1)
    print("all passed")


if __name__ == "__main__":
    main()
