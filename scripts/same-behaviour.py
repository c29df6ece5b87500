#!/usr/bin/env python3
"""Shows that the stubs of two build trees behave the same under Wine: for
a change to the stub that must not change what an installation does.
scripts/same-installers.py shows the builder side (the same installers
from the same stubs); this is the stub side.

    scripts/same-behaviour.py OLD_BUILD NEW_BUILD [--arch x64|x86]...
                              [--test-products DIR] [--work DIR]
                              [PROJECT_FOLDER ...]

OLD_BUILD and NEW_BUILD are build folders with the presets' layout (a
worktree's build/): native/builder/veltpack, win64/launcher/velt-stub.exe
and win32/launcher/velt-stub.exe. The test robot and the shortcut reader
come from NEW_BUILD (win64/ or win32/tests/...), the test helpers
(tests/lib/velt_e2e.py, tests/uninstall_clean/prefix_snapshot.py) from
this checkout.

For each architecture (both unless --arch says), the example (examples/)
and every product given (a PROJECT_FOLDER holds one *.toml; --test-products
DIR takes a handful of the products that the end-to-end tests leave in DIR,
a build/<preset>/tests folder) are built by each tree's own veltpack around
its own stub, with SOURCE_DATE_EPOCH fixed, and run under Wine, each run in
a fresh copy of a new 64-bit prefix (the same path for both trees):
  - the example installed interactively, every box answered by the robot
    (the language, the welcome, licence, readme and directory questions,
    the log and completion notices), and uninstalled through Wine's
    uninstaller.exe and UninstallString (confirmation, shared file, notice);
  - the example and every other product installed with /a and uninstalled
    through QuietUninstallString.
After each install and each uninstall it records the robot's log (every
box with its caption, texts and buttons, the processes' exit codes), and
how the prefix differs from before the install: files and folders added,
changed or removed below drive_c with their contents' SHA-256 and their
time when the installer gave one, shortcuts as their target, directory,
arguments and icon, Install.LOG and Uninstall.DAT as text, and every
registry key and value added, changed or removed (HKLM, HKCU, HKCR).

Normalised before the comparison, as they differ from run to run: dates and
times, the work folder's path, file times of the run itself, and a copy of
the installer shown as such instead of its digest and, when the two stubs
differ, a program of the stub's size (the uninstaller, made from the stub)
by that alone, so stubs of different sizes can be compared, and the name of the uninstaller's
self-removal folder (QDTU and eight hex digits).

Prints one line per difference (architecture, product, run, what: old/new)
and a summary; the exit status is 1 when anything differs or a run could
not be driven (the robot failed on both sides). The records stay in the
work folder (a new one in /tmp unless --work) when anything differs.
32-bit processes run under CPU emulation on a machine without 32-bit
support (scripts/wine-loader.sh): the x86 pass then takes several times
longer than the x64 one."""

import argparse
import glob
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.normpath(os.path.join(HERE, ".."))
EXAMPLE = os.path.join(SOURCE, "examples")
PRESETS = {"x64": "win64", "x86": "win32"}
EPOCH = "1700000000"
# The handful of the end-to-end tests' products that --test-products takes:
# shared files, associations, shortcuts in every place, fonts, batch files,
# placement rules with a log, an add-on's exit codes, a registration.
TEST_PRODUCTS = [
    "uninstall_clean/example/example",
    "uninstall_clean/shared/Velt-Case-Share-A",
    "uninstall_clean/associations/Velt-Case-Assoc",
    "shortcuts/links/Shortcut Probe",
    "shortcuts/fonts/Font Probe",
    "batch/environment/Batch Environment",
    "install/placement-rules/Placement Rules",
    "deployment/exitcodes/Exit Restart S",
    "deployment/registration/Deploy Listing",
]
UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
YES, NO, OK, CONTINUE = 6, 7, 1, 1001


def quiet(*cmd, env=None):
    """A command with no inherited streams (Wine's helpers outlive it)."""
    return subprocess.run(list(cmd), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, env=env).returncode


# ------------------------------------------------------------------ outer

def tools(build, arch):
    preset = os.path.join(build, PRESETS[arch])
    return {"builder": os.path.join(build, "native", "builder", "veltpack"),
            "stub": os.path.join(preset, "launcher", "velt-stub.exe"),
            "robot": os.path.join(preset, "tests", "robot", "velt-robot.exe"),
            "reader": os.path.join(preset, "tests", "shortcuts", "velt-shortcut-reader.exe")}


def outer(options):
    projects = [os.path.join(EXAMPLE, "tally.toml")]
    folders = list(options.projects)
    if options.test_products:
        folders += [os.path.join(options.test_products, name) for name in TEST_PRODUCTS]
    for folder in folders:
        found = glob.glob(os.path.join(glob.escape(folder), "*.toml"))
        if len(found) != 1:
            sys.exit("%s: no single project file (run the end-to-end tests to leave it)" % folder)
        projects += found
    work = os.path.abspath(options.work or tempfile.mkdtemp(prefix="same-behaviour-"))
    os.makedirs(work, exist_ok=True)
    status = 0
    for arch in options.arch or ["x64", "x86"]:
        for side, build in (("old", options.old), ("new", options.new)):
            for what, path in tools(build, arch).items():
                if what in ("robot", "reader") and side == "old":
                    continue
                if not os.path.exists(path):
                    sys.exit("%s: no %s for %s; build it first (cmake --build --preset %s)"
                             % (path, what, arch, PRESETS[arch]))
        base = os.path.join(work, "prefix-base-" + arch)
        env = dict(os.environ, WINEARCH="win64")
        loader = [os.path.join(work, "wine-loader")] if arch == "x86" else []
        started = time.monotonic()
        if quiet("bash", os.path.join(HERE, "wine-prefix.sh"), "start", base, *loader,
                 env=env) != 0:
            sys.exit("cannot make the Wine prefix %s" % base)
        # Each run copies the base prefix: its files must be settled.
        quiet("bash", os.path.join(HERE, "wine-prefix.sh"), "stop", base)
        env = dict(os.environ, VELT_ARCH=arch, VELT_SOURCE_DIR=SOURCE)
        inner = [os.path.join(HERE, "wine-env.sh"), base, sys.executable, os.path.abspath(__file__),
                 "--inner", arch, "--work", work, options.old, options.new] + projects
        result = subprocess.run(inner, stdin=subprocess.DEVNULL, env=env).returncode
        print("%s: %s in %d s" % (arch, "same behaviour" if result == 0 else "DIFFERENT",
                                  time.monotonic() - started), flush=True)
        status = status or result
    if status == 0 and not options.work:
        shutil.rmtree(work, ignore_errors=True)
    else:
        print("the records are kept in", work)
    return status


# ------------------------------------------------------------------ inner
# Runs under scripts/wine-env.sh with the base prefix of one architecture.

def inner(options):
    sys.path.insert(0, os.path.join(SOURCE, "tests", "lib"))
    sys.path.insert(0, os.path.join(SOURCE, "tests", "uninstall_clean"))
    global velt_e2e, prefix_snapshot, vf
    import velt_e2e
    import prefix_snapshot
    import velt_format as vf
    arch, work = options.inner, os.path.abspath(options.work)
    base = os.environ["WINEPREFIX"]
    os.environ["SOURCE_DATE_EPOCH"], os.environ["TZ"] = EPOCH, "UTC"
    runs = os.path.join(work, "runs-" + arch)
    new_tools = tools(options.new, arch)
    velt_e2e.Run.robot = new_tools["robot"]
    differences, undriven, compared = [], [], 0
    for number, project in enumerate(options.projects):
        folder = os.path.join(runs, "%02d" % number)
        interactive = [False, True] if number == 0 else [False]
        for talk in interactive:
            records = {}
            for side, build in (("old", options.old), ("new", options.new)):
                side_tools = tools(build, arch)
                velt_e2e.BUILDER = side_tools["builder"]
                shutil.rmtree(folder, ignore_errors=True)
                os.makedirs(folder)
                installer = os.path.join(folder, "Setup.exe")
                inspected = velt_e2e.build_installer(project, installer, side_tools["stub"])
                product = Product(inspected, installer, side_tools["stub"],
                                  new_tools["reader"])
                product.stubs_differ = stubs_differ(options.old, options.new, arch)
                velt_e2e.Run.work = folder
                records[side] = session(base, os.path.join(runs, "prefix"), product, talk, work)
                with open(os.path.join(runs, "%02d-%s-%s.json" % (
                        number, "interactive" if talk else "quiet", side)), "w") as f:
                    json.dump(records[side], f, indent=1)
            what = "%s %s %s" % (arch, os.path.relpath(project, os.path.dirname(
                os.path.dirname(project))), "interactive" if talk else "/a")
            compared += 1
            for section in records["old"]:
                old, new = records["old"][section], records["new"].get(section)
                if old != new:
                    for line in describe(old, new):
                        differences.append("%s, %s: %s" % (what, section, line))
            for side in ("old", "new"):
                for problem in records[side].get("not driven", []):
                    undriven.append("%s (%s): %s" % (what, side, problem))
    for line in differences:
        print("DIFFERENT:", line, flush=True)
    for line in undriven:
        print("NOT DRIVEN:", line, flush=True)
    print("%s: %d runs compared (%d projects), %s%s" % (
        arch, compared, len(options.projects),
        "%d differences" % len(differences) if differences else "no difference",
        ", %d runs not driven to their end" % len(undriven) if undriven else ""), flush=True)
    return 1 if differences or undriven else 0


def stubs_differ(old, new, arch):
    digests = set()
    for build in (old, new):
        with open(tools(build, arch)["stub"], "rb") as f:
            digests.add(hashlib.sha256(f.read()).hexdigest())
    return len(digests) > 1


def describe(old, new):
    """Lines of the difference between two records of a section: a list of
    lines, shown as the lines only one side has, or a single value."""
    if isinstance(old, list) and isinstance(new, list):
        only_old = [line for line in old if line not in new]
        only_new = [line for line in new if line not in old]
        lines = ["old only: %s" % line for line in only_old]
        lines += ["new only: %s" % line for line in only_new]
        return lines or ["same lines in another order"]
    return ["old %r, new %r" % (old, new)]


class Product:
    """An installer and what inspect says of it: its name, its message
    table, the product's uninstall key."""

    def __init__(self, inspected, installer, stub, reader):
        self.name = inspected["productName"]
        self.table = inspected["messages"]
        self.installer = installer
        self.reader = reader
        with open(installer, "rb") as f:
            self.digest = hashlib.sha256(f.read()).hexdigest()
        self.stub_size = os.path.getsize(stub)

    def message(self, n, *args):
        text = self.table[n][0].replace("<product>", self.name)
        return velt_e2e.log_text(text % args if args else text)


def session(base, prefix, product, talk, work):
    """Installs and uninstalls the product in a fresh copy of the base
    prefix; the record of what was seen and left."""
    if quiet(os.path.join(HERE, "wine-prefix.sh"), "clone", base, prefix) != 0:
        raise RuntimeError("cannot copy the Wine prefix %s" % base)
    os.environ["WINEPREFIX"] = velt_e2e.PREFIX = prefix
    record = {"not driven": []}
    try:
        before = prefix_snapshot.take(work)
        started = time.time()
        leave = [product.message(vf.MsgProgressCaption)]
        if talk:
            run = velt_e2e.Run(product.installer, [], install_steps(product), leave=leave)
        else:
            run = velt_e2e.Run(product.installer, ["/a"], leave=leave)
        record["install: robot"] = robot_record(run)
        if run.status >= 100:
            record["not driven"].append("install: " + run.describe())
        registration = velt_e2e.reg_values(UNINSTALL_KEY + product.name) or {}
        installed = prefix_snapshot.take(work)
        record["install: prefix"] = prefix_record(before, installed, started, product)
        record["install: texts"] = texts(installed, before, product)

        quiet_line = registration.get("QuietUninstallString", ("", ""))[1]
        if quiet_line:
            started = time.time()
            uninstaller = quiet_line.split('"')[1]
            if talk:
                run = velt_e2e.Run("uninstaller", ["--remove", product.name],
                                   uninstall_steps(product, registration), tree=True)
            else:
                run = velt_e2e.Run(None, line=quiet_line, tree=True)
            record["uninstall: robot"] = robot_record(run)
            if run.status >= 100:
                record["not driven"].append("uninstall: " + run.describe())
            # The self-removal script ends after the uninstaller.
            velt_e2e.wait_until(lambda: not os.path.exists(velt_e2e.drive_c(uninstaller))
                                and not velt_e2e.wine_processes("cmd.exe"))
            after = prefix_snapshot.take(work)
            record["uninstall: prefix"] = prefix_record(before, after, started, product)
            record["uninstall: texts"] = texts(after, before, product)
        else:
            record["uninstall"] = "no QuietUninstallString registered"
    finally:
        quiet(os.path.join(HERE, "wine-prefix.sh"), "stop", prefix)
        shutil.rmtree(prefix, ignore_errors=True)
    return record


def install_steps(product):
    """The example's interactive installation, every question answered
    as a user who accepts the defaults does."""
    m = product.message
    step = velt_e2e.step
    return [step(None, None, "pick=1017:#0", "press=%d" % CONTINUE),   # the language
            step(None, m(vf.MsgWelcome), "press=%d" % YES),
            step(m(vf.MsgLicenseCaption), None, "press=%d" % CONTINUE),
            step(m(vf.MsgReadmeCaption), None, "press=%d" % CONTINUE),
            step(m(vf.MsgDestinationCaption), None, "press=%d" % CONTINUE),
            step(m(vf.MsgDestinationCaption), None, "press=%d" % YES),  # create it?
            step(m(vf.MsgInstallCompleteCaption), m(vf.MsgInstallComplete), "press=%d" % OK)]


def uninstall_steps(product, registration):
    m = product.message
    step = velt_e2e.step
    steps = [step(m(vf.MsgUninstallConfirmCaption), m(vf.MsgUninstallConfirm), "press=%d" % YES)]
    if registration.get("SharedFiles"):
        steps.append(step(m(vf.MsgSharedFileCaption), None, "press=%d" % YES))
    return steps + [step(m(vf.MsgUninstallCompleteCaption), m(vf.MsgUninstallComplete),
                         "press=%d" % OK)]


# Dates (12/11/2026, 11.12.2026, 2026-12-11; not a version such as
# 2.1.0) and times (08:45, 08:45:01, 08:45:01a, 8:45 PM).
DATE = re.compile(r"\b(\d{1,2}[-/.]\d{1,2}[-/.]\d{4}|\d{4}-\d{1,2}-\d{1,2})\b")
TIME = re.compile(r"\b\d{1,2}:\d{2}(:\d{2})?(\s*[AaPp][Mm]?\b)?(?!\d)")
# The registration's day of the installation (yyyymmdd).
INSTALL_DATE = re.compile(r'("InstallDate"=")\d{8}')
# The uninstaller's self-removal folder in the temporary folder.
SCRIPT_FOLDER = re.compile(r"QDTU[0-9A-F]{8}")
TIME = re.compile(r"\b\d{1,2}:\d{2}(:\d{2})?(\s*[AaPp][Mm])?(?!\d)")


def normal(text):
    """A text with what differs from run to run taken out: the work
    folder (as a Unix path, a Windows path, and as the robot's log escapes
    it), dates and times."""
    work = os.path.abspath(velt_e2e.Run.work)
    runs = os.path.dirname(work)
    for folder in (work, runs):
        windows = velt_e2e.winpath(folder)
        for form in (folder, windows, velt_e2e.log_text(windows)):
            text = re.sub(re.escape(form), "WORK", text, flags=re.I)
    text = SCRIPT_FOLDER.sub("QDTUxxxxxxxx", text)
    return TIME.sub("TIME", DATE.sub("DATE", text))


def robot_record(run):
    """The robot's log without what a quick or slow run may show or not:
    the boxes left alone (the progress dialog), boxes gone before they
    could be read, and the processes Wine starts and ends at once by
    itself (its menu builder, switched off: no name, the exit code of a
    missing DLL); the other boxes and processes numbered in the order they
    showed, the processes' lines apart from the boxes' and sorted (two
    batch interpreters may end in either order)."""
    wine_own = {line.split(" ")[1] for line in run.lines
                if line.startswith("process ") and line.endswith(" started: ?")}
    boxes, processes, lines, ends = {}, {}, [], []
    for line in run.lines:
        parts = line.split(" ", 2)
        if len(parts) < 3 or parts[0] == "window" or line.endswith(" box gone unread"):
            continue
        if parts[0] == "box":
            if parts[1] in run.left:
                continue
            number = boxes.setdefault(parts[1], str(len(boxes) + 1))
            if parts[2].startswith("process: "):
                owner = parts[2][len("process: "):]
                parts[2] = "process: " + processes.get(owner, owner)
            lines.append(normal("box %s %s" % (number, parts[2])))
        elif parts[0] == "process" and parts[1] not in wine_own:
            number = processes.setdefault(parts[1], str(len(processes) + 1))
            ends.append(normal("process %s %s" % (number, parts[2])))
        elif parts[0] != "process":
            lines.append(normal(line))
    return ["robot exit %d" % run.status] + lines + sorted(ends)


def prefix_record(before, after, started, product):
    """How the prefix differs from before the installation: one line per
    file, folder, key or value, files with their contents."""
    lines = []
    for what, path, detail in prefix_snapshot.compare(before, after):
        if what.startswith("file") and what != "file removed":
            detail = file_detail(path, after["files"][path], started, product)
        elif what.startswith(("value", "key")):
            detail = INSTALL_DATE.sub(r"\1DATE", normal(detail))
        lines.append("%s %s (%s)" % (what, normal(path), detail))
    return lines


def file_detail(path, entry, started, product):
    """A file by its contents (a shortcut by what it points to), and its
    time when it is not one of the run itself."""
    with open(real(path), "rb") as f:
        content = f.read()
    digest = hashlib.sha256(content).hexdigest()
    if digest == product.digest:
        shown = "a copy of the installer"
    elif product.stubs_differ and len(content) == product.stub_size and content[:2] == b"MZ":
        shown = "the stub's size, a program"      # the uninstaller, made from the stub
    elif path.lower().endswith((".log", ".dat")):
        shown = "text below"
    elif path.lower().endswith(".lnk"):
        shown = "shortcut " + "; ".join("%s=%s" % item for item in sorted(link(product, path).items()))
    else:
        shown = "%d bytes, sha256 %s" % (len(content), digest[:16])
    stamp = entry[2] / 1e9
    if stamp < started - 2:
        shown += ", time " + time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(stamp))
    return normal(shown)


def real(path):
    """The Unix path of a path of the snapshot (which names the real
    folders: no view of an x86 program)."""
    return os.path.join(velt_e2e.PREFIX, "drive_c", *[p for p in path[3:].split("\\") if p])


def link(product, path):
    output = velt_e2e.wine(product.reader, "link", path)
    fields = {}
    for line in output.splitlines()[1:]:
        key, _, value = line.partition(" ")
        fields[key] = value
    return fields


def texts(snapshot, before, product):
    """The text of every Install.LOG and Uninstall.DAT the run made or
    changed, normalised."""
    lines = []
    for path, entry in sorted(snapshot["files"].items()):
        name = path.rsplit("\\", 1)[-1].lower()
        if entry[0] != "file" or name not in ("install.log", "uninstall.dat") \
                or before["files"].get(path) == entry:
            continue
        with open(real(path), "rb") as f:
            text = f.read().decode("cp1252")
        lines += ["%s: %s" % (path, normal(line)) for line in text.split("\r\n")]
    return lines


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("projects", nargs="*")
    parser.add_argument("--arch", action="append", choices=sorted(PRESETS))
    parser.add_argument("--test-products")
    parser.add_argument("--work")
    parser.add_argument("--inner", help=argparse.SUPPRESS)
    options = parser.parse_intermixed_args()
    options.old, options.new = os.path.abspath(options.old), os.path.abspath(options.new)
    return inner(options) if options.inner else outer(options)


if __name__ == "__main__":
    sys.exit(main())
