#!/usr/bin/env python3
"""End-to-end test of what an installation leaves: an installer built by
veltpack installs under Wine into a folder with blanks in its path, and the
test compares the installed files, Uninstall.DAT, the registration (as
Wine's reg.exe reads it) and the uninstaller with what it computes itself
from the project and the installer's bytes. Then it starts the uninstaller
the ways the system does: through CreateProcess with the registered
command line, and through Wine's own uninstaller.

    result_e2e.py ROBOT STUB
"""

import datetime
import hashlib
import os
import shutil
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "lib"))
sys.path.insert(0, os.path.join(HERE, "..", "launcher"))
import velt_archive as va  # noqa: E402
import velt_format as vf  # noqa: E402
from velt_e2e import (BUILDER, build_installer, FAILURES, Run, check, drive_c,  # noqa: E402
                      log_text, matchable, reg_delete, reg_values, cmd, reg, wine, winpath)

ROBOT, STUB = sys.argv[1:3]
WORK = os.path.join(os.environ["VELT_BINARY_DIR"], "tests", "install", "result")
NAME = "Result Probe"
DIRECTORY = "C:\\Velt Tests\\Result Probe"
UNINSTALL_DIR = DIRECTORY + "\\Uninstall"
UNINSTALLER = UNINSTALL_DIR + "\\Remove Result Probe.exe"
KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + NAME
PF_CUSTOM_COLORS = vf.PfCustomColors

PROJECT = """
[product]
name = "Result Probe"
publisher = "Velt Tests"
version = "3.14b"
display-name = "Result Probe 3.14"
default-directory = "C:\\\\Velt Tests\\\\Result Probe"
start-menu-folder = "Velt Tests\\\\Result Probe"
registry-key = "Velt Tests\\\\Result Probe"
uninstall-subdir = "Uninstall"
uninstaller = "Remove Result Probe.exe"

[flags]
uninstall-support = true

[batch]
uninstall-2 = "echo removed"

[look]
title-color = "#FFEE00"
top-color = "#102030"
bottom-color = "#000000"

[[files]]
source = "app.bin"

[[files]]
source = "help/*.txt"
name = "help/"

[[files]]
source = "note.txt"
to-uninstall-dir = true

[[files]]
source = "shared.ini"
destination = "shared"
"""


def write_project():
    os.makedirs(os.path.join(WORK, "help"))
    with open(os.path.join(WORK, "app.bin"), "wb") as f:
        f.write(bytes(range(256)) * 40)
    for name in ("one", "two"):
        with open(os.path.join(WORK, "help", name + ".txt"), "w") as f:
            f.write("Help page %s.\n" % name)
    for name in ("note.txt", "shared.ini"):
        with open(os.path.join(WORK, name), "w") as f:
            f.write("%s of the probe\n" % name)
    with open(os.path.join(WORK, "product.toml"), "w") as f:
        f.write(PROJECT)
    installer = os.path.join(WORK, "Result Setup.exe")
    inspected = build_installer(os.path.join(WORK, "product.toml"), installer, STUB)
    return installer, inspected


def local_time(text):
    return datetime.datetime.strptime(text, "%Y-%m-%d %H:%M:%S")


def mtime(path):
    return datetime.datetime.fromtimestamp(int(os.path.getmtime(path)))


def colorref(text):
    """A "#RRGGBB" colour as the system stores it: 0x00BBGGRR."""
    red, green, blue = (int(text[i:i + 2], 16) for i in (1, 3, 5))
    return hex(red | green << 8 | blue << 16)


def shared_directory():
    common = cmd("echo %CommonProgramFiles%")
    return common + "\\Velt Tests"


def expected_record(inspected):
    """Uninstall.DAT as the installation must write it."""
    lines = [DIRECTORY + "\\app.bin", "~" + DIRECTORY + "\\help",
             DIRECTORY + "\\help\\one.txt", DIRECTORY + "\\help\\two.txt",
             UNINSTALL_DIR + "\\note.txt",
             UNINSTALL_DIR + "\\%s %s.LNK"
             % (inspected["messages"][vf.MsgUninstallShortcutName][0], NAME)]
    text = "".join(line + "\r\n" for line in lines) + "\r\n\r\n[Strings]\r\n"
    for n in vf.UNINSTALL_MESSAGES:
        message = inspected["messages"][n][0].replace("<product>", NAME)
        text += "~%d\r\n%s\r\n" % (n, message)
    return text.encode("cp1252")


def check_files(inspected):
    for record in inspected["files"]:
        name = record["name"]
        if record["destination"] == "shared":
            installed = drive_c(shared_directory() + "\\" + name)
        elif name == "note.txt":
            installed = drive_c(UNINSTALL_DIR + "\\" + name)
        else:
            installed = drive_c(DIRECTORY + "\\" + name)
        source = os.path.join(WORK, name.replace("\\", "/"))
        if not check(os.path.exists(installed), "%s is installed at %s" % (name, installed)):
            continue
        with open(installed, "rb") as a, open(source, "rb") as b:
            check(a.read() == b.read(), "%s has the archive's bytes" % name)
        check(mtime(installed) == local_time(record["time"]),
              "%s has the archive's time %s (got %s)" % (name, record["time"], mtime(installed)))


def record_digest():
    try:
        with open(drive_c(UNINSTALL_DIR + "\\Uninstall.DAT"), "rb") as f:
            return hashlib.sha256(f.read()).hexdigest()
    except OSError:
        return None


def check_registration(installer, inspected):
    values = reg_values(KEY)
    if not check(values is not None, "the registration key exists"):
        return
    quoted = '"%s"' % UNINSTALLER
    flags = inspected["productFlags"]
    expected = {
        "UninstallString": ("REG_SZ", '%s /u:"%s"' % (quoted, NAME)),
        "QuietUninstallString": ("REG_SZ", '%s /a /u:"%s"' % (quoted, NAME)),
        "DisplayName": ("REG_SZ", "Result Probe 3.14"),
        "InstallSource": ("REG_SZ", winpath(installer)),
        "DisplayVersion": ("REG_SZ", "3.14b"),
        "Publisher": ("REG_SZ", "Velt Tests"),
        "InstallLocation": ("REG_SZ", DIRECTORY),
        "VersionMajor": ("REG_DWORD", "0x3"),
        "VersionMinor": ("REG_DWORD", "0xe"),
        "ProductRegistry": ("REG_SZ", "Velt Tests\\Result Probe"),
        "ProductStartMenu": ("REG_SZ", "Velt Tests\\Result Probe"),
        "SharedPath": ("REG_SZ", shared_directory()),
        "ProductFlags": ("REG_DWORD", hex(flags)),
        "UninstallBatch2": ("REG_SZ", "echo removed"),
        "SharedFiles": ("REG_SZ", '"%s\\shared.ini"' % shared_directory()),
        "UninstallSubdir": ("REG_SZ", "Uninstall"),
        "DisplayTitle": ("REG_SZ", NAME),
        "TitleColor": ("REG_DWORD", colorref("#FFEE00")),
        "TopColor": ("REG_DWORD", colorref("#102030")),
        "BottomColor": ("REG_DWORD", colorref("#000000")),
        "MonoColor": ("REG_DWORD", "0x0"),
        # What vouches for Uninstall.DAT: its SHA-256.
        "UninstallDataSHA256": ("REG_SZ", record_digest()),
    }
    check(flags & PF_CUSTOM_COLORS, "the project's colours are its own")
    # The list of programs reads the date as YYYYMMDD; the icon is the
    # uninstaller's, the size the files' in KB, rounded up.
    date = values.pop("InstallDate", ("", ""))
    today = time.strftime("%Y%m%d")
    check(date == ("REG_SZ", today), "InstallDate is today as YYYYMMDD: %r" % (date,))
    kilobytes = (sum(f["size"] for f in inspected["files"]) + 1023) // 1024
    expected.update({
        "DisplayIcon": ("REG_SZ", UNINSTALLER),
        "EstimatedSize": ("REG_DWORD", hex(kilobytes)),
        "NoModify": ("REG_DWORD", "0x1"),
        "NoRepair": ("REG_DWORD", "0x1"),
    })
    for name, value in expected.items():
        check(values.get(name) == value, "%s is %r, not %r" % (name, value, values.get(name)))
    extra = sorted(set(values) - set(expected))
    check(not extra, "no other values: %r" % extra)


def check_uninstaller(installer, inspected):
    with open(installer, "rb") as f:
        data = f.read()
    d = va.Installer(data).description
    expected = va.uninstaller_image(data, d["iconOffset"], d["uninstallerIcon"])
    path = drive_c(UNINSTALLER)
    if not check(os.path.exists(path), "the uninstaller is written"):
        return
    with open(path, "rb") as f:
        check(f.read() == expected, "the uninstaller is the installer without its archive")
    check(mtime(path) == local_time(inspected["archiveDate"]),
          "the uninstaller has the archive's date")


def check_uninstall_commands(values, table):
    """The registered command lines start the uninstaller with its product
    name, as the system starts them: the whole text as CreateProcess's
    command line, and through Wine's own uninstaller. The first two are
    answered No at the confirmation; the quiet one removes the product."""
    def message(n):
        return matchable(log_text(table[n][0].replace("<product>", NAME)))
    confirm = "caption=%s|text=%s|press=7" % (message(vf.MsgUninstallConfirmCaption), message(vf.MsgUninstallConfirm))
    run = Run(None, [], [confirm], line=values["UninstallString"][1])
    check(run.status == 1 and len(run.boxes) == 1 and reg_values(KEY) is not None,
          "UninstallString asks before it uninstalls; No keeps the product (%s)"
          % run.describe())
    listing = wine("uninstaller", "--list")
    check("Result Probe 3.14" in listing, "Wine's uninstaller lists the product: %r" % listing)
    run = Run(None, [], [confirm], line='uninstaller --remove "%s"' % NAME, tree=True)
    started = [line for line in run.lines if "started" in line and "Remove Result Probe" in line]
    check(len(run.boxes) == 1 and started, "Wine's uninstaller starts ours (%s)" % run.describe())
    run = Run(None, [], [], line=values["QuietUninstallString"][1], tree=True)
    check(run.status == 1 and not run.boxes and reg_values(KEY) is None,
          "QuietUninstallString removes the product without a box (%s)" % run.describe())


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    Run.work, Run.robot = WORK, ROBOT
    shutil.rmtree(drive_c(DIRECTORY), ignore_errors=True)
    reg_delete(KEY)
    installer, inspected = write_project()
    run = Run(winpath(installer), ["/a"], leave=["Installing " + NAME])
    check(run.status == 1 and not run.boxes, "silent install (%s)" % run.describe())
    check_files(inspected)
    record = drive_c(UNINSTALL_DIR + "\\Uninstall.DAT")
    if check(os.path.exists(record), "Uninstall.DAT is written"):
        with open(record, "rb") as f:
            got = f.read()
        want = expected_record(inspected)
        check(got == want, "Uninstall.DAT byte for byte:\n%r\nexpected\n%r" % (got, want))
    check_registration(installer, inspected)
    check_uninstaller(installer, inspected)
    values = reg_values(KEY)
    if values and "UninstallString" in values:
        check_uninstall_commands(values, inspected["messages"])
    shutil.rmtree(drive_c(DIRECTORY), ignore_errors=True)
    shutil.rmtree(drive_c(shared_directory()), ignore_errors=True)
    reg_delete(KEY)
    reg("delete", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs",
         "/v", shared_directory() + "\\shared.ini", "/f", check_status=False)


if __name__ == "__main__":
    if not os.path.isfile(BUILDER):
        sys.exit("no native builder at %r: build it (the native preset) first" % BUILDER)
    main()
    print("%d runs, %d failures" % (Run.count, len(FAILURES)))
    sys.exit(1 if FAILURES else 0)
