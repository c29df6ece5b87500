#!/usr/bin/env python3
"""The main job's part under Wine (scripts/main-job.sh builds everything
first): installs an installer of the example product in automatic mode,
shows what the test robot saw and what a user would check afterwards, then
uninstalls it through its registered QuietUninstallString and compares
drive_c and the registry with a snapshot from before the installation.

    main-job.py ROBOT INSTALLER WORK

runs in the environment of scripts/wine-env.sh with VELT_ARCH set to the
installer's architecture, and uses the end-to-end tests' own helpers
(tests/lib/velt_e2e.py, tests/uninstall_clean/prefix_snapshot.py). Exit
status 1 when nothing was installed, or when the uninstallation left
anything at all.
"""

import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "lib"))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "uninstall_clean"))
from velt_e2e import (FAILURES, Run, check, drive_c, reg_values, reg_view,  # noqa: E402
                      wait_until)
import prefix_snapshot  # noqa: E402

ROBOT, INSTALLER, WORK = (os.path.abspath(arg) for arg in sys.argv[1:4])
KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tally"


def title(text):
    print("\n== %s ==" % text, flush=True)


def show_run(run, what):
    """The robot's log of a run; False when the robot itself failed (its
    codes from 100 up: a box waited, or the run hung)."""
    title("%s under Wine (exit code %d)" % (what, run.status))
    print("\n".join(run.lines), flush=True)
    if run.status >= 100:
        with open(run.err_path, errors="replace") as err:
            print(err.read(), flush=True)
        return False
    return True


def show_key(key):
    """The values of a registry key, in the view of the installer."""
    values = reg_values(key)
    title('reg query "%s" %s' % (key, reg_view(key)))
    for name, (kind, data) in (values or {}).items():
        print("    %s    %s    %s" % (name or "(Default)", kind, data))
    if values is None:
        print("(no such key)")
    return values


def show_tree(folder):
    """Every file and folder below a Windows folder: size, last-write time
    (what the installer gave it), path. False when it holds no file."""
    root = drive_c(folder)
    title("%s (%s)" % (folder, os.path.relpath(root)))
    if not os.path.isdir(root):
        print("(missing)")
        return False
    lines, files = [], 0
    for parent, dirs, names in os.walk(root):
        for name in dirs + names:
            path = os.path.join(parent, name)
            stamp = time.strftime("%Y-%m-%d %H:%M:%S", time.localtime(os.path.getmtime(path)))
            relative = os.path.relpath(path, root)
            if os.path.isdir(path):
                lines.append((relative + "/", "%12s  %s  %s/" % ("<dir>", stamp, relative)))
            else:
                files += 1
                lines.append((relative, "%12d  %s  %s" % (os.path.getsize(path), stamp, relative)))
    print("\n".join(line for _, line in sorted(lines)))
    return files > 0


def show_text(path):
    """A text file of the installation (CR LF, the Windows ANSI code page);
    its text, None when it is missing."""
    title(path)
    try:
        with open(drive_c(path), "rb") as f:
            text = f.read().decode("cp1252")
    except FileNotFoundError:
        print("(missing)")
        return None
    print(text.replace("\r\n", "\n"), end="" if text.endswith("\n") else "\n")
    return text


def show_installation(registration):
    """What a user looks at afterwards; each missing piece is a failure."""
    value = lambda name: registration.get(name, ("", ""))[1]
    location = value("InstallLocation")
    if not check(location, "no InstallLocation in the registration"):
        return location
    check(show_tree(location), "no files in %s" % location)
    shared = value("SharedPath")
    if shared:
        check(show_tree(shared), "no files in the shared directory %s" % shared)
    records = location + ("\\" + value("UninstallSubdir") if value("UninstallSubdir") else "")
    record = show_text(records + "\\Uninstall.DAT")
    check(record is not None, "no Uninstall.DAT")
    check(show_text(records + "\\Install.LOG") is not None, "no Install.LOG")
    title("shortcuts")
    links = [line for line in (record or "").splitlines() if line.lower().endswith(".lnk")]
    check(links, "no shortcuts")
    for link in links:
        there = os.path.exists(drive_c(link))
        print(link if there else link + " (missing)")
        check(there, "no %s" % link)
    for key in ("HKCR\\.tly", "HKCR\\Northwind.TallySheet\\shell\\open\\command"):
        check(show_key(key) is not None, "no %s" % key)
    check(show_text("C:\\autoexec.bat") is not None, "no C:\\autoexec.bat")
    return location


def main():
    os.makedirs(WORK, exist_ok=True)
    Run.work, Run.robot = WORK, ROBOT
    before = prefix_snapshot.take(WORK)

    # The progress dialog shows or not, as the run is slow or quick: no question.
    run = Run(INSTALLER, ["/a"], leave=["Installing Tally"])
    if not show_run(run, "%s /a" % INSTALLER):
        return 1
    registration = show_key(KEY)
    check(registration is not None, "the product is not registered")
    location = show_installation(registration or {})
    if FAILURES:
        print("\nThe installation failed: %s." % "; ".join(FAILURES))
        return 1

    # Uninstalling, as a deployment tool does: the registered quiet command,
    # no questions, no boxes. The robot follows the uninstaller and the
    # script it starts to delete the uninstaller's own file once it has ended.
    quiet = registration["QuietUninstallString"][1]
    uninstaller = quiet.split('"')[1]
    run = Run(None, line=quiet, tree=True)
    if not show_run(run, quiet):
        return 1
    check(wait_until(lambda: not os.path.exists(drive_c(uninstaller))),
          "the uninstaller %s is still there" % uninstaller)
    title("drive_c and the registry (HKLM, HKCU, HKCR) against the snapshot before the "
          "installation")
    after = prefix_snapshot.take(WORK)
    check(prefix_snapshot.report(before, after, "uninstalled"),
          "something is left after the uninstallation")
    if FAILURES:
        print("\nThe uninstallation failed: %s." % "; ".join(FAILURES))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
