#!/usr/bin/env python3
"""End to end through the seam to the system: an installer built around the
test stub (velt-stub-faults), whose system calls fail as the environment
variable VELT_SYSTEM_FAULTS plans, installs over earlier copies and is
uninstalled again under Wine. For each kind of call (create, write, move,
delete, registry set, process start during the installation; delete,
registry set, process start during the uninstallation) one case makes the
call aimed at fail, and the test checks the error line the user is shown
(Install.LOG, the uninstaller's failure notice), the retries the log
shows, and that every file is either its earlier copy, whole, or the new
one, whole.

    seam_e2e.py ROBOT FAULT_STUB

The call to fail is found in a trace of the same run without faults
(VELT_SYSTEM_TRACE: one line "Function N texts" per call), so the cases
name the call by what it does, not by a number that any change of the
flows would shift. The environment is that of velt_add_wine_test.
"""

import hashlib
import json
import os
import re
import shutil
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROBOT, STUB = sys.argv[1:3]
# A folder of its own: the test's build folder holds its CTest file.
WORK = os.path.join(os.environ["VELT_BINARY_DIR"], "tests", "seam", "work")
shutil.rmtree(WORK, ignore_errors=True)
os.makedirs(WORK)

sys.path.insert(0, os.path.join(HERE, "..", "lib"))
from velt_e2e import (FAILURES, Run, build_installer, check, drive_c, log_text,  # noqa: E402
                      reg, reg_delete, reg_values, step, winpath)

NAME = "Velt Seam"
DIRECTORY = "C:\\Velt Tests\\Seam"
KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + NAME
TYPE_KEY = "HKCR\\Velt.SeamFile"
EXTENSION_KEY = "HKCR\\.vseam"
FILES = ("a.txt", "b.txt", "c.txt")
TARGET = "b.txt"            # the file the file cases aim at; a.txt comes before, c.txt after
YES, OK = 6, 1
ACCESS_DENIED, SHARING_VIOLATION, DISK_FULL = 5, 32, 112


def new_data(name):
    return ("The new %s of %s.\r\n" % (name, NAME)).encode() * 40


def earlier_data(name):
    return ("The earlier %s.\r\n" % name).encode()


def make_product():
    folder = os.path.join(WORK, "product")
    os.makedirs(folder)
    for name in FILES:
        with open(os.path.join(folder, name), "wb") as f:
            f.write(new_data(name))
    project = ('[product]\nname = "%s"\npublisher = "Velt Seam"\n'
               'default-directory = %s\nuninstall-subdir = "Uninstall"\n'
               'uninstaller = "Remove.exe"\n\n'
               '[flags]\nuninstall-support = true\nalways-log = true\nlog-file-lines = true\n\n'
               '[batch]\npre-install = "echo installing"\nuninstall-1 = "echo removing"\n\n'
               '[[associations]]\nextension = "vseam"\nfile-type = "Velt.SeamFile"\n'
               'description = "Seam file"\nverb = "open"\ncommand = "notepad.exe \\"%%1\\""\n'
               % (NAME, json.dumps(DIRECTORY)))
    project += "".join('\n[[files]]\nsource = "%s"\n' % name for name in FILES)
    with open(os.path.join(folder, "product.toml"), "w") as f:
        f.write(project)
    installer = os.path.join(folder, "Setup.exe")
    inspected = build_installer(os.path.join(folder, "product.toml"), installer, STUB)
    return installer, inspected


Run.work = WORK
Run.robot = ROBOT
INSTALLER, INSPECTED = make_product()


def text(n):
    """Message n as the installer shows it (the product's name in place)."""
    return INSPECTED["messages"][n][0].replace("<product>", NAME)


def message(n, *args):
    """Message n as the robot logs it, with printf arguments filled in."""
    shown = text(n)
    if args:
        shown = shown % args
    return log_text(shown)


def path(name):
    return DIRECTORY + "\\" + name


def clean():
    shutil.rmtree(drive_c(DIRECTORY), ignore_errors=True)
    for key in (KEY, TYPE_KEY, EXTENSION_KEY):
        reg_delete(key)


def plant_earlier_copies():
    os.makedirs(drive_c(DIRECTORY), exist_ok=True)
    for name in FILES:
        with open(drive_c(path(name)), "wb") as f:
            f.write(earlier_data(name))


def with_plan(faults, trace=None):
    """Sets (or clears) the failure plan and the trace for the next runs."""
    for variable, value in (("VELT_SYSTEM_FAULTS", faults), ("VELT_SYSTEM_TRACE", trace)):
        if value:
            os.environ[variable] = value
        else:
            os.environ.pop(variable, None)


def trace_file(tag):
    trace = os.path.join(WORK, tag + ".trace")
    if os.path.exists(trace):
        os.remove(trace)
    return trace


def read_trace(trace):
    """The trace as a list of (function, N, texts)."""
    calls = []
    with open(trace, encoding="cp1252") as f:
        for line in f.read().splitlines():
            parts = line.split(" ", 2)
            calls.append((parts[0], int(parts[1]), parts[2] if len(parts) > 2 else ""))
    return calls


def install(faults=None, trace=None):
    with_plan(faults, trace)
    try:
        return Run(winpath(INSTALLER), ["/a"], leave=[message(54)])
    finally:
        with_plan(None)


def uninstall(steps, faults=None, trace=None):
    line = (reg_values(KEY) or {}).get("UninstallString", ("", ""))[1]
    if not check(line, "no uninstall command registered"):
        return None
    with_plan(faults, trace)
    try:
        return Run(None, [], steps, line=line, tree=True)
    finally:
        with_plan(None)


def install_log():
    with open(drive_c(DIRECTORY + "\\Uninstall\\Install.LOG"), "rb") as f:
        return f.read().decode("cp1252")


def files_whole(what, failed=None, gone=()):
    """Every file is whole: the earlier copy for `failed`, the new one for
    the others, none for `gone`; no temporary file is left."""
    for name in FILES:
        local = drive_c(path(name))
        if name in gone:
            check(not os.path.exists(local), "%s: %s is removed" % (what, name))
            continue
        want = earlier_data(name) if name == failed else new_data(name)
        try:
            with open(local, "rb") as f:
                got = f.read()
        except FileNotFoundError:
            got = None
        check(got == want, "%s: %s holds %s (%r)" % (
            what, name, "its earlier copy" if name == failed else "the new copy",
            got[:40] if got else got))
    if os.path.isdir(drive_c(DIRECTORY)):
        left = [n for n in os.listdir(drive_c(DIRECTORY)) if n.upper().endswith(".TMP")]
        check(not left, "%s: no temporary file is left: %r" % (what, left))


# ---------------------------------------------------------------- finders
# Each takes the trace of a clean run and gives the N of the first call to
# fail (None when the run made no such call).

def last_before(function, marker):
    """The last call of `function` before the first call that `marker`
    accepts."""
    def find(calls):
        found = None
        for call in calls:
            if marker(call):
                return found
            if call[0] == function:
                found = call[1]
        return None
    return find


def first(function, accept=lambda texts: True):
    def find(calls):
        for call in calls:
            if call[0] == function and accept(call[2]):
                return call[1]
        return None
    return find


def moving_onto(name):
    """The move of the finished temporary file onto `name`."""
    return lambda call: call[0] == "MoveFileExA" and call[2].upper().endswith(
        "\\" + name.upper())


def first_after_last(function, anchor, marker):
    """The first call of `function` after the last `anchor` call before the
    first call that `marker` accepts."""
    def find(calls):
        armed, found = False, None
        for call in calls:
            if marker(call):
                return found
            if call[0] == anchor:
                armed, found = True, None
            elif call[0] == function and armed and found is None:
                found = call[1]
        return None
    return find


def next_after(function, marker):
    """The next call of `function` after the first call that `marker`
    accepts, in a run that differs from the clean one from there on: the
    calls of `function` before the marker, plus one."""
    def find(calls):
        count = 0
        for call in calls:
            if marker(call):
                return count + 1
            if call[0] == function:
                count += 1
        return None
    return find


def after(marker_function, marker_text, function, accept=lambda texts: True):
    """The first call of `function` that `accept` takes after the first
    `marker_function` call whose texts contain marker_text."""
    def find(calls):
        seen = False
        for call in calls:
            if call[0] == marker_function and marker_text.upper() in call[2].upper():
                seen = True
            elif seen and call[0] == function and accept(call[2]):
                return call[1]
        return None
    return find


# ------------------------------------------------------------------ cases
# kind, the planned failures (function, finder, error, how many calls fail
# from the one found: the three attempts of a write fail each), what
# Install.LOG must show (texts, or patterns), the file left as it was.

def retries(action, name, error, count):
    """The retry lines of `count` retries of one call."""
    return "Retrying %s of %s (error %d)\r\n" % (action, name, error) * count


TARGET_LINE = "%s %s\r\n" % ("{31}", path(TARGET))
MOVE_ONTO_TARGET = ("MoveFileExA", first("MoveFileExA", lambda t: t.upper().endswith("\\B.TXT")),
                    ACCESS_DENIED, 3)
INSTALL_CASES = [
    ("create", [("CreateFileA", first_after_last("CreateFileA", "GetTempFileNameA",
                                                 moving_onto(TARGET)), ACCESS_DENIED, 3)],
     [TARGET_LINE, retries("write", path(TARGET), ACCESS_DENIED, 2)], TARGET),
    ("write", [("WriteFile", last_before("WriteFile", moving_onto(TARGET)), DISK_FULL, 3)],
     [TARGET_LINE, retries("write", path(TARGET), DISK_FULL, 2)], TARGET),
    ("move", [MOVE_ONTO_TARGET],
     [TARGET_LINE, retries("write", path(TARGET), ACCESS_DENIED, 2)], TARGET),
    # The temporary file of the failed move cannot be deleted at once, as
    # while a scanner reads it: the delete is retried and it goes.
    ("delete", [MOVE_ONTO_TARGET,
                ("DeleteFileA", next_after("DeleteFileA", moving_onto(TARGET)),
                 SHARING_VIOLATION, 1)],
     [TARGET_LINE, re.compile(r"Retrying delete of %s\\QDT[0-9A-F]+\.TMP \(error %d\)\r\n"
                              % (re.escape(DIRECTORY), SHARING_VIOLATION), re.IGNORECASE)],
     TARGET),
    # The command's own value, not the backup that marks its key as made.
    ("registry set", [("RegSetValueExA", after("RegCreateKeyExA", "command", "RegSetValueExA",
                                               lambda texts: "Backup" not in texts),
                       ACCESS_DENIED, 1)],
     ['Failed to associate file type:  ".vseam".\r\n'], None),
    ("process start", [("CreateProcessA", first("CreateProcessA"), ACCESS_DENIED, 1)],
     ["Unable to run the batch file "], None),
]


def log_shows(log, wanted):
    if isinstance(wanted, str):
        return wanted.replace("{31}", text(31)) in log
    return wanted.search(log) is not None


def install_cases():
    clean()
    plant_earlier_copies()
    trace = trace_file("install")
    run = install(trace=trace)
    check(run.exit_code() == 1 and not run.boxes, "the traced installation: %s" % run.describe())
    files_whole("the traced installation")
    check("Retrying" not in install_log(), "the traced installation retries nothing")
    calls = read_trace(trace)
    for kind, planned, wanted, failed in INSTALL_CASES:
        what = "install, %s fails" % kind
        faults = []
        for function, finder, error, count in planned:
            n = finder(calls)
            if check(n is not None, "%s: the clean run made no %s call to fail" % (what, function)):
                faults.append("%s:%d:%d:%d" % (function, n, error, count))
        if len(faults) < len(planned):
            continue
        faults = ";".join(faults)
        clean()
        plant_earlier_copies()
        tag = kind.replace(" ", "-")
        run = install(faults, trace=trace_file(tag))
        failing = [c for c in read_trace(os.path.join(WORK, tag + ".trace"))
                   if c[2].endswith("FAILS")]
        count = sum(p[3] for p in planned)
        check(len(failing) == count, "%s: %d planned failures, %d made: %r"
              % (what, count, len(failing), failing))
        check(run.exit_code() == 1 and not run.boxes, "%s: %s" % (what, run.describe()))
        log = install_log()
        for want in wanted:
            check(log_shows(log, want), "%s (%s): Install.LOG has %r:\n%s"
                  % (what, faults, want if isinstance(want, str) else want.pattern, log[-800:]))
        files_whole(what, failed)


# Uninstall: the failure notice (caption message 20, text message 10 with
# the error lines) lists the line; a failure the uninstaller does not
# report ends with the success notice (None). The earlier file type of
# the extension, which the installation backed up, gives the uninstaller a
# value to set: the restored default.
UNINSTALL_CASES = [
    ("delete", "DeleteFileA", first("DeleteFileA", lambda t: t.upper().endswith("\\B.TXT")),
     ACCESS_DENIED, "{58} %s\r\n" % path(TARGET), TARGET),
    ("registry set", "RegSetValueExA", first("RegSetValueExA"), ACCESS_DENIED, None, None),
    ("process start", "CreateProcessA", first("CreateProcessA"), ACCESS_DENIED,
     "Unable to run the batch file %s.\r\n\r\n" % path("QDITBF2.BAT"), None),
]
EARLIER_TYPE = "Velt.EarlierSeamType"


def confirmation():
    return step(message(55), message(53), "press=%d" % YES)


def installed():
    clean()
    reg("add", EXTENSION_KEY, "/ve", "/d", EARLIER_TYPE, "/f")
    run = install()
    check(run.exit_code() == 1 and not run.boxes, "installation: %s" % run.describe())


def uninstall_cases():
    installed()
    trace = trace_file("uninstall")
    run = uninstall([confirmation(), step(message(15), message(34), "press=%d" % OK)],
                    trace=trace)
    check(run and len(run.boxes) == 2, "the traced uninstallation: %s"
          % (run.describe() if run else "no run"))
    check((reg_values(EXTENSION_KEY) or {}).get("") == ("REG_SZ", EARLIER_TYPE),
          "the traced uninstallation restores the earlier file type")
    files_whole("the traced uninstallation", gone=FILES)
    calls = read_trace(trace)
    for kind, function, finder, error, line, kept in UNINSTALL_CASES:
        what = "uninstall, %s fails" % kind
        n = finder(calls)
        if not check(n is not None, "%s: the clean run made no such call" % what):
            continue
        installed()
        faults = "%s:%d:%d" % (function, n, error)
        tag = "u-" + kind.replace(" ", "-")
        if line is None:
            notice = step(message(15), message(34), "press=%d" % OK)
        else:
            notice = step(message(20), None, "press=%d" % OK)
        run = uninstall([confirmation(), notice], faults, trace=trace_file(tag))
        failing = [c for c in read_trace(os.path.join(WORK, tag + ".trace"))
                   if c[2].endswith("FAILS")]
        check(len(failing) == 1, "%s: one planned failure, %d made: %r"
              % (what, len(failing), failing))
        boxes = list(run.boxes.values()) if run else []
        if line is None:
            want = [message(15), message(34)]
        else:
            want = [message(20), message(10, line.replace("{58}", text(58)))]
        got = [boxes[-1]["caption"], boxes[-1]["texts"][-1]] if len(boxes) == 2 else boxes
        check(got == want, "%s (%s): the last box is %r, expected %r (%s)"
              % (what, faults, got, want, run.describe() if run else "no run"))
        files_whole(what, gone=[n for n in FILES if n != kept])


RECORD = DIRECTORY + "\\Uninstall\\Uninstall.DAT"
DIGEST = "UninstallDataSHA256"


def record_bytes():
    with open(drive_c(RECORD), "rb") as f:
        return f.read()


def record_case():
    """A reinstallation whose move of the new record onto Uninstall.DAT
    fails: the earlier record stays whole, with its digest, and the
    uninstallation still takes it."""
    what = "reinstall, the record's move fails"
    installed()
    # The earlier record, told apart from the new one by a line of its own
    # (a file of the product that is gone already), with its digest.
    earlier = (path("gone.txt") + "\r\n").encode() + record_bytes()
    with open(drive_c(RECORD), "wb") as f:
        f.write(earlier)
    reg("add", KEY, "/v", DIGEST, "/d", hashlib.sha256(earlier).hexdigest(), "/f")
    trace = trace_file("record")
    install(trace=trace)
    n = first("MoveFileExA", lambda t: t.upper().endswith("\\UNINSTALL.DAT"))(read_trace(trace))
    if not check(n is not None, "%s: the clean run moved no record" % what):
        return
    with open(drive_c(RECORD), "wb") as f:
        f.write(earlier)
    reg("add", KEY, "/v", DIGEST, "/d", hashlib.sha256(earlier).hexdigest(), "/f")
    run = install("MoveFileExA:%d:%d" % (n, ACCESS_DENIED))
    check(run.exit_code() == 1 and not run.boxes, "%s: %s" % (what, run.describe()))
    check(record_bytes() == earlier, "%s: the earlier record is whole:\n%r" % (what, record_bytes()))
    left = os.listdir(drive_c(DIRECTORY + "\\Uninstall"))
    check(not [n for n in left if n.upper().endswith(".TMP")],
          "%s: no temporary file is left: %r" % (what, left))
    check("%s %s\r\n" % (text(31), RECORD) in install_log(),
          "%s: Install.LOG names the record:\n%s" % (what, install_log()[-600:]))
    # Beside the new record's digest, which the move would have made true.
    check(hashlib.sha256(earlier).hexdigest() in (reg_values(KEY) or {}).get(DIGEST, ("", ""))[1].split(),
          "%s: the registration still vouches for the earlier record" % what)
    run = uninstall([confirmation(), step(message(15), message(34), "press=%d" % OK)])
    check(run and len(run.boxes) == 2 and reg_values(KEY) is None,
          "%s: the earlier record still uninstalls (%s)" % (what, run.describe() if run else "no run"))
    files_whole(what, gone=FILES)


install_cases()
uninstall_cases()
record_case()
clean()
for failure in FAILURES:
    print("FAIL:", failure)
sys.exit(1 if FAILURES else 0)
