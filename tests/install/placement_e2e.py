#!/usr/bin/env python3
"""End-to-end tests of file placement: installers built by veltpack, run
under Wine, place files over copies that the test made beforehand; the test
checks the bytes and times left behind, the per-file lines of Install.LOG,
Uninstall.DAT, the registration and the shared-file counts.

    placement_e2e.py GROUP ROBOT STUB LOCKER VERSIONED_DLL

GROUP is one of:
  rules       one installer, a table of destinations, overwrite modes and
              date and version decisions
  attributes  a read-only destination, with and without clear-attributes
  locked      an install-directory file held open by another program
  deferred    a shared file in use: replaced at the next start (own prefix)
  restart     the same, and Yes to the restart question (own prefix)
  diskfull    a replacement that does not fit on its drive
  counts      shared-file counts over install, reinstall and a second product

LOCKER is file_locker.exe; VERSIONED_DLL a DLL whose FileVersion is "2.00".
The environment is that of velt_add_wine_test.
"""

import json
import ntpath
import os
import random
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
GROUP, ROBOT, STUB, LOCKER, VERSIONED = sys.argv[1:6]
WORK = os.path.join(os.environ["VELT_BINARY_DIR"], "tests", "install", "placement-" + GROUP)
OWN_PREFIX = os.path.join(WORK, "prefix") if GROUP in ("deferred", "restart") else None
PREFIX_SCRIPT = os.path.join(os.environ["VELT_SOURCE_DIR"], "scripts", "wine-prefix.sh")


def quiet(*cmd):
    """Runs a command with no inherited streams (Wine's helpers outlive it)."""
    return subprocess.run(list(cmd), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode


# A restart ends every windowed process of its wineserver, and the pending
# renames of one test must not reach another: these groups run in a copy
# of the prefix, made before the helpers read WINEPREFIX.
shutil.rmtree(WORK, ignore_errors=True)
os.makedirs(WORK)
if OWN_PREFIX:
    if quiet(PREFIX_SCRIPT, "clone", os.environ["WINEPREFIX"], OWN_PREFIX) != 0:
        sys.exit("cannot clone the Wine prefix %s" % os.environ["WINEPREFIX"])
    os.environ["WINEPREFIX"] = OWN_PREFIX
# The archive's times are the sources' own, never clamped.
os.environ.pop("SOURCE_DATE_EPOCH", None)

sys.path.insert(0, os.path.join(HERE, "..", "lib"))
import velt_format as vf  # noqa: E402
from velt_e2e import (ARCH, BUILDER, build_installer, FAILURES, FileLocker, WINE, Run, check,  # noqa: E402
                      drive_c, log_text, reg_delete, reg_values, step, cmd, reg, wait_until,
                      wine,
                      winpath)

UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
SHARED_DLLS = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"
SESSION_MANAGER = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Session Manager"
# The system directory as the installer names it; drive_c() finds where an
# x86 installer's files really go (syswow64).
SYSTEM_DIR = "C:\\windows\\system32"
FONTS_DIR = "C:\\windows\\Fonts"
WELCOME_CAPTION = "Veltpack Utility v6.2"
YES, NO, OK = 6, 7, 1
PF_REBOOT_NEEDED = vf.PfRebootNeeded
DAY = 86400
# The times of the archive's files, whole seconds in the local time zone
# of the builder, which is Wine's too.
T0 = int(time.mktime((2021, 6, 15, 12, 30, 20, 0, 0, -1)))


def local_path(path):
    """The Unix path of a C: path of the prefix, or of a path on a drive
    letter that dosdevices maps."""
    if path[:3].upper() == "C:\\":
        return drive_c(path)
    link = os.path.join(os.environ["WINEPREFIX"], "dosdevices", path[:2].lower())
    return os.path.join(os.path.realpath(link), *[p for p in path[3:].split("\\") if p])


def read(path):
    with open(local_path(path), "rb") as f:
        return f.read()


def write(path, data, mtime=None):
    """Writes a file (C: path or Unix path) and gives it a time."""
    unix = local_path(path) if ":" in path[:2] else path
    os.makedirs(os.path.dirname(unix), exist_ok=True)
    with open(unix, "wb") as f:
        f.write(data)
    if mtime is not None:
        os.utime(unix, (mtime, mtime))


def remove(path):
    try:
        os.chmod(local_path(path), 0o644)
        os.remove(local_path(path))
    except FileNotFoundError:
        pass


def listing(path):
    return sorted(os.listdir(local_path(path)))


def payload(seed, size=3000):
    """Bytes unique to `seed`, incompressible."""
    return random.Random(seed).randbytes(size)


def shared_directory(publisher):
    common = cmd("echo %CommonProgramFiles%")
    return common + "\\" + publisher


class Product:
    """An installer built from `files`: dicts of [[files]] keys, plus "data"
    (the source's bytes) and "time" (its last-write time). `messages[n]` is
    message n as the robot logs it."""

    def __init__(self, name, files, flags=(), publisher="Velt Placement", directory=None):
        self.name = name
        self.directory = directory or "C:\\Velt Tests\\" + name
        self.folder = os.path.join(WORK, name)
        os.makedirs(self.folder, exist_ok=True)
        toml = ('[product]\nname = %s\npublisher = %s\nversion = "1.0"\n'
                'default-directory = %s\n\n[flags]\n%s\n'
                % (json.dumps(name), json.dumps(publisher), json.dumps(self.directory),
                   "".join("%s = true\n" % flag for flag in flags)))
        for i, entry in enumerate(files):
            source = "src%02d_%s" % (i, entry["name"].replace("/", "_"))
            write(os.path.join(self.folder, source), entry["data"], entry.get("time", T0))
            toml += "[[files]]\nsource = %s\n" % json.dumps(source)
            for key in ("name", "destination", "overwrite", "version"):
                if key in entry:
                    toml += "%s = %s\n" % (key, json.dumps(entry[key]))
            toml += "\n"
        with open(os.path.join(self.folder, "product.toml"), "w") as f:
            f.write(toml)
        self.installer = os.path.join(self.folder, "Setup.exe")
        self.inspected = build_installer(os.path.join(self.folder, "product.toml"),
                                   self.installer, STUB)
        self.key = UNINSTALL_KEY + name

    def text(self, n):
        return self.inspected["messages"][n][0].replace("<product>", self.name)

    def message(self, n):
        return log_text(self.text(n))

    def install(self, args=("/a",), steps=()):
        leave = [self.message(vf.MsgProgressCaption)] if "/a" in args else []
        return Run(winpath(self.installer), list(args), list(steps), leave=leave)

    def log(self):
        path = local_path(self.directory + "\\Install.LOG")
        if not os.path.exists(path):
            return ""
        with open(path, "rb") as f:
            return f.read().decode("cp1252")

    def record(self):
        """The file and directory lines of Uninstall.DAT, or None."""
        path = local_path(self.directory + "\\Uninstall.DAT")
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            return f.read().decode("cp1252").split("\r\n\r\n[Strings]")[0].splitlines()

    def clean(self):
        shutil.rmtree(local_path(self.directory), ignore_errors=True)
        reg_delete(self.key)


def expect_quiet_run(what, run):
    check(run.status == 1 and run.exit_code() == 1 and not run.boxes,
          "%s: automatic run, exit code 1, no box (%s)" % (what, run.describe()))


def shared_count(name):
    value = (reg_values(SHARED_DLLS) or {}).get(name)
    return int(value[1], 16) if value and value[0] == "REG_DWORD" else None


def delete_shared_count(name):
    reg("delete", SHARED_DLLS, "/v", name, "/f", check_status=False)


def Locker(path, tag, share_read=False):
    """file_locker.exe holding `path` (a Windows path) open until released:
    without sharing, or letting others read it (`share_read`), as the
    system holds a program or DLL that runs."""
    return FileLocker(LOCKER, path, WORK, tag, share_read=share_read)


# ------------------------------------------------------------------ rules

def group_rules():
    """One installer, one record per case, each over a copy made first."""
    shared = shared_directory("Velt Placement")
    versioned = open(VERSIONED, "rb").read()
    # (label, [[files]] keys, existing copy: None or (bytes, time),
    #  expected: "placed", "kept" or "absent", its decision line, listed in
    #  Uninstall.DAT)
    older, newer, equal = T0 - DAY, T0 + DAY, T0
    plain = lambda t: (b"the earlier copy\r\n", t)
    v200 = lambda t: (versioned, t)
    cases = [
        ("install, new", {"destination": "install"}, None, "placed", None, True),
        ("install, over a newer copy", {}, plain(newer), "placed", None, True),
        ("install-startup", {"destination": "install-startup"}, None, "placed", None, True),
        ("update-only, missing", {"overwrite": "update-only"}, None, "absent", None, False),
        ("update-only, present", {"overwrite": "update-only"}, plain(newer), "placed", None,
         True),
        # Found in place, it is someone else's: not listed.
        ("keep-existing, present", {"overwrite": "keep-existing"}, plain(older), "kept", None,
         False),
        ("keep-existing, missing", {"overwrite": "keep-existing"}, None, "placed", None, True),
        ("shared, new", {"destination": "shared"}, None, "placed", None, False),
        ("shared, older copy", {"destination": "shared"}, plain(older), "placed",
         " is out of date and will be replaced.", False),
        ("shared, newer copy", {"destination": "shared"}, plain(newer), "kept",
         " is up to date.", False),
        ("shared, same time", {"destination": "shared"}, plain(equal), "kept",
         " is up to date.", False),
        ("shared, keep-existing goes by date", {"destination": "shared",
                                                "overwrite": "keep-existing"},
         plain(older), "placed", " is out of date and will be replaced.", False),
        ("system, 2.0 over 2.00", {"destination": "system", "version": "2.0"}, v200(older),
         "kept", " was not installed because its version is not newer.", False),
        ("system, the resource's 2.00 over 2.00", {"destination": "system",
                                                   "data": versioned},
         v200(older), "kept", " was not installed because its version is not newer.", False),
        ("system, 3.0 over 2.00", {"destination": "system", "version": "3.0"}, v200(older),
         "placed", " is out of date and will be replaced.", False),
        ("system, no version resource, newer date", {"destination": "system",
                                                     "version": "1.0"},
         plain(older), "placed", " is out of date and will be replaced.", False),
        ("system, no version resource, older date", {"destination": "system",
                                                     "version": "9.9"},
         plain(newer), "kept", " was not installed because its date is not newer.", False),
        ("system, new", {"destination": "system", "version": "1.0"}, None, "placed", None,
         False),
        ("font, newer copy", {"destination": "font"}, plain(newer), "kept",
         " is up to date.", False),
        ("font, new", {"destination": "font"}, None, "placed", None, False),
    ]
    folders = {"install": None, "install-startup": None, "shared": shared,
               "system": SYSTEM_DIR, "font": FONTS_DIR}
    files = []
    for i, (label, keys, existing, outcome, line, listed) in enumerate(cases):
        entry = dict(keys)
        kind = entry.get("destination", "install")
        entry["name"] = ("velt-pe2e-%02d.dll" % i if folders[kind] else "file%02d.bin" % i)
        if kind == "font":
            entry["name"] = "velt-pe2e-%02d.fon" % i
        entry.setdefault("data", payload(i))
        files.append(entry)
    p = Product("Placement Rules", files,
                flags=["uninstall-support", "always-log", "log-file-lines"])
    p.clean()
    destinations = []
    for (label, keys, existing, _, _, _), entry in zip(cases, files):
        folder = folders[keys.get("destination", "install")] or p.directory
        destination = folder + "\\" + entry["name"]
        destinations.append(destination)
        remove(destination)
        if existing:
            write(destination, *existing)
    texts = [record["text"] for record in p.inspected["files"]]
    check(texts[[c[0] for c in cases].index("system, the resource's 2.00 over 2.00")] == "2.00",
          "the builder reads the version resource: %r" % texts)

    run = p.install()
    expect_quiet_run("rules", run)
    report, listed_paths, shared_entries = "", [], []
    for (label, keys, existing, outcome, line, listed), entry, destination in zip(
            cases, files, destinations):
        path = local_path(destination)
        if outcome == "placed":
            check(os.path.exists(path) and read(destination) == entry["data"],
                  "%s: the archive's bytes are placed at %s" % (label, destination))
            check(os.path.exists(path) and int(os.path.getmtime(path)) == entry.get("time", T0),
                  "%s: the archive's time is set" % label)
        elif outcome == "kept":
            check(os.path.exists(path) and read(destination) == existing[0],
                  "%s: the earlier copy is kept" % label)
        else:
            check(not os.path.exists(path), "%s: nothing is written" % label)
        if line:
            report += destination + line + "\r\n"
        if outcome == "placed":
            report += "%s -> %s\r\n" % (entry["name"], destination)
        if listed:
            listed_paths.append(destination)
        kind = keys.get("destination", "install")
        if kind in ("shared", "system"):
            shared_entries.append('"%s%s"' % (destination, " " if kind == "system" else ""))
    log = p.log()
    # Fonts are not real ones: a font registration may refuse them.
    font_error = "%s %s\r\n" % (p.text(vf.MsgErrorLinePrefix), destinations[-1])
    tails = [report + "\r\n" + p.text(vf.MsgInstallCompleteCaption) + "\r\n\r\n", report + "\r\n" + font_error]
    check(any(log.endswith("\r\n\r\n" + tail) for tail in tails),
          "Install.LOG ends with the per-file lines:\n%r\nlog:\n%r" % (report, log[-3000:]))
    listed_paths.append("%s\\%s.LNK" % (p.directory, p.text(vf.MsgUninstallShortcutName) + " " + p.name))
    check(p.record() == listed_paths,
          "Uninstall.DAT lists the install-directory files, kept ones too:\n%r\nnot\n%r"
          % (listed_paths, p.record()))
    values = reg_values(p.key) or {}
    check(values.get("SharedFiles") == ("REG_SZ", ";".join(shared_entries)),
          "SharedFiles lists the shared and system files: %r" % (values.get("SharedFiles"),))
    for (label, keys, *_), destination in zip(cases, destinations):
        if keys.get("destination") in ("shared", "system"):
            check(shared_count(destination) == 1, "%s: counted once" % label)
            delete_shared_count(destination)
        if keys.get("destination") in ("shared", "system", "font"):
            remove(destination)
    p.clean()
    shutil.rmtree(local_path(shared), ignore_errors=True)


# ------------------------------------------------------------- attributes

def group_attributes():
    """A read-only copy in the install directory: kept after three
    attempts without clear-attributes, replaced with it."""
    for clear in (False, True):
        flags = ["always-log"] + (["clear-attributes"] if clear else [])
        name = "Placement ReadOnly%s" % (" Cleared" if clear else "")
        p = Product(name, [{"name": "app.bin", "data": payload(1)},
                           {"name": "next.bin", "data": payload(2)}], flags=flags)
        p.clean()
        target = p.directory + "\\app.bin"
        write(target, b"the read-only copy", T0 - DAY)
        wine("attrib", "+r", target)
        run = p.install()
        expect_quiet_run(name, run)
        log = p.log()
        error = "%s %s\r\n" % (p.text(vf.MsgErrorLinePrefix), target)
        if clear:
            check(read(target) == payload(1), "%s: the copy is replaced" % name)
            check(error not in log and log.endswith(p.text(vf.MsgInstallCompleteCaption) + "\r\n\r\n"),
                  "%s: a clean log: %r" % (name, log[-500:]))
        else:
            check(read(target) == b"the read-only copy", "%s: the copy is intact" % name)
            check(log.endswith("\r\n\r\n" + error),
                  "%s: the error line ends the log: %r" % (name, log[-500:]))
        check(read(p.directory + "\\next.bin") == payload(2), "%s: the next file follows" % name)
        check(listing(p.directory) == ["Install.LOG", "app.bin", "next.bin"],
              "%s: no temporary file is left: %r" % (name, listing(p.directory)))
        remove(target)
        p.clean()


# ----------------------------------------------------------------- locked

def group_locked():
    """An install-directory file that another program holds without
    sharing is not deferred: three attempts (the last two logged as
    retries), its error line, the next file.
    A shared file held that way cannot even be opened to read, so it counts
    as missing and is not deferred either (a program or DLL that runs can
    be read: that is the deferred group)."""
    publisher = "Velt Placement Locked"
    p = Product("Placement Locked", [{"name": "held.bin", "data": payload(3)},
                                     {"name": "common.dll", "destination": "shared",
                                      "data": payload(10)},
                                     {"name": "next.bin", "data": payload(4)}],
                flags=["uninstall-support", "always-log", "log-file-lines"],
                publisher=publisher)
    p.clean()
    held = p.directory + "\\held.bin"
    common = shared_directory(publisher) + "\\common.dll"
    lockers = []
    try:
        for path, tag in ((held, "held"), (common, "common")):
            write(path, b"the copy in use", T0 - DAY)
            lockers.append(Locker(path, tag))
        run = p.install()
    finally:
        statuses = [locker.release() for locker in lockers]
    check(statuses == [0, 0], "the lockers held the files to the end (%s)" % statuses)
    expect_quiet_run("locked", run)
    for path in (held, common):
        check(read(path) == b"the copy in use", "the copy in use is intact: %s" % path)
    check(read(p.directory + "\\next.bin") == payload(4), "the next file is placed")
    log = p.log()
    # The second and third attempts of each held file head the file lines.
    retries = "".join("Retrying write of %s (error 5)\r\n" % path * 2 for path in (held, common))
    expected = "%snext.bin -> %s\\next.bin\r\n\r\n%s %s\r\n%s %s\r\n" % (
        retries, p.directory, p.text(vf.MsgErrorLinePrefix), held, p.text(vf.MsgErrorLinePrefix),
        common)
    check(log.endswith("\r\n\r\n" + expected), "the error lines of the held files: %r"
          % log[-500:])
    names = listing(p.directory)
    check(not any(n.upper().endswith(".TMP") for n in names) and "held.bin" in names,
          "no temporary file is left: %r" % names)
    check(listing(shared_directory(publisher)) == ["common.dll"],
          "no temporary file beside the shared file")
    flags = (reg_values(p.key) or {}).get("ProductFlags", ("", "0x0"))
    check(not int(flags[1], 16) & PF_REBOOT_NEEDED, "no restart is needed: %r" % (flags,))
    p.clean()
    delete_shared_count(common)
    shutil.rmtree(local_path(shared_directory(publisher)), ignore_errors=True)


# ------------------------------------------------- deferred and restart

def pending_renames():
    """PendingFileRenameOperations as a list of strings ([] when absent),
    read from regedit's export (hex(7): UTF-16 strings)."""
    export = os.path.join(WORK, "session.reg")
    if os.path.exists(export):
        os.remove(export)
    wine("regedit", "/e", winpath(export), SESSION_MANAGER)
    with open(export, "rb") as f:
        text = f.read().decode("utf-16")
    text = text.replace("\\\r\n", "").replace("\\\n", "")
    for line in text.splitlines():
        if line.startswith('"PendingFileRenameOperations"=hex(7):'):
            hexes = line.split(":", 1)[1].replace(" ", "").split(",")
            raw = bytes(int(h, 16) for h in hexes if h)
            return raw.decode("utf-16-le").split("\0")
    return []


def deferred_setup(tag, destination="shared", directory=None):
    """A product whose shared (or system) file is held open by the locker
    over an older copy; returns (product, the file's path, the locker)."""
    publisher = "Velt Placement " + tag
    name = "busy.dll" if destination == "shared" else "veltbusy%s.dll" % tag.lower()
    p = Product("Placement " + tag, [{"name": name, "destination": destination,
                                      "data": payload(5)}],
                flags=["uninstall-support", "log-file-lines"], publisher=publisher,
                directory=directory)
    p.clean()
    folder = shared_directory(publisher) if destination == "shared" else SYSTEM_DIR
    target = folder + "\\" + name
    write(target, b"the copy in use", T0 - DAY)
    return p, target, Locker(target, tag.lower(), share_read=True)


def map_drive(letter, folder):
    """Drive `letter` of the prefix as a host folder of its own: another
    volume to the installer."""
    os.makedirs(folder, exist_ok=True)
    link = os.path.join(os.environ["WINEPREFIX"], "dosdevices", letter.lower() + ":")
    if os.path.lexists(link):
        os.remove(link)
    os.symlink(folder, link)


def interactive_steps(p, restart_answer):
    return [step(WELCOME_CAPTION, p.message(vf.MsgWelcome), "press=%d" % YES),
            step(p.message(vf.MsgProgressCaption), p.message(vf.MsgProgressHeading), "keep"),
            step(p.message(vf.MsgInstallCompleteCaption), p.message(vf.MsgInstallComplete), "press=%d" % OK),
            step(p.message(vf.MsgQuestionCaption), p.message(vf.MsgRestartQuestion), "press=%d" % restart_answer)]


def temporary_files(folder):
    return [n for n in listing(folder) if n.upper().startswith("QDT")
            and n.upper().endswith(".TMP")]


def check_deferred(p, target):
    """After a run that deferred `target`: the earlier copy is in place,
    the data waits in a QDT file beside it (same folder, so same volume,
    and none in the install directory), the system knows the rename within
    that folder, and the registration says a restart is needed. Returns
    the temporary file's name."""
    folder = ntpath.dirname(target)
    check(read(target) == b"the copy in use", "the copy in use is still in place")
    check(not temporary_files(p.directory), "no QDT file in the install directory: %r"
          % listing(p.directory))
    temporary = [n for n in temporary_files(folder) if read(folder + "\\" + n) == payload(5)]
    if not check(len(temporary) == 1, "one QDT....tmp file with the new data beside %s: %r"
                 % (target, temporary_files(folder))):
        return None
    name = temporary[0]
    renames = pending_renames()
    pairs = list(zip(renames[0::2], renames[1::2]))
    # The temporary file beside the target, by its own unique name.
    named = [(source, dest) for source, dest in pairs
             if source.upper().endswith("\\" + name.upper())
             and source.upper().startswith("\\??\\" + real_path(folder).upper() + "\\")]
    # Named where the files really are: an x86 program's system32 is
    # syswow64.
    check(len(named) == 1 and named[0][1].upper() == ("!\\??\\" + real_path(target)).upper(),
          "PendingFileRenameOperations moves %s over %s in its folder: %r"
          % (name, target, renames))
    flags = (reg_values(p.key) or {}).get("ProductFlags", ("", "0x0"))
    check(int(flags[1], 16) & PF_REBOOT_NEEDED, "ProductFlags has the restart bit: %r"
          % (flags,))
    log = p.log()
    check((target + " is out of date and will be replaced.\r\n") in log
          and ("\\%s\r\n" % name).upper() in log.upper(),
          "Install.LOG reports the replacement: %r" % log[-500:])
    return name


def real_path(path):
    """A path of the installer's as the system resolves it: long names,
    and an x86 program's system32 as syswow64."""
    if ARCH == "x86" and (path + "\\").upper().startswith(SYSTEM_DIR.upper() + "\\"):
        return "C:\\windows\\syswow64" + path[len(SYSTEM_DIR):]
    return path


def check_replaced(p, target, name, when):
    folder = ntpath.dirname(target)
    check(read(target) == payload(5), "%s: %s holds the new data" % (when, target))
    check(name not in listing(folder), "%s: the QDT file is gone" % when)
    check(not any(name.upper() in r.upper() for r in pending_renames()),
          "%s: the rename is no longer pending" % when)


def stop_own_prefix():
    quiet(PREFIX_SCRIPT, "stop", OWN_PREFIX)


def group_deferred():
    """A shared file in use, and a system file in use whose product goes to
    another volume (D:): each is staged beside its target and replaced at
    the next start."""
    map_drive("d", os.path.join(WORK, "drive_d"))
    deferred = []
    for tag, destination, directory in (("Deferred", "shared", None),
                                        ("Far", "system", "D:\\Velt Tests\\Placement Far")):
        p, target, locker = deferred_setup(tag, destination, directory)
        try:
            run = p.install(args=(), steps=interactive_steps(p, NO))
        finally:
            status = locker.release()
        check(status == 0, "%s: the locker held the file to the end (status %s)" % (tag, status))
        check(run.status == 1 and len(run.boxes) == 4,
              "%s: welcome, progress, completion and the restart question, answered No (%s)"
              % (tag, run.describe()))
        deferred.append((p, target, check_deferred(p, target)))
    wine("wineboot", "-r")
    for p, target, name in deferred:
        if name:
            check_replaced(p, target, name, "after wineboot -r")
        remove(target)
    stop_own_prefix()


def group_restart():
    """Yes to the restart question. Wine's ExitWindowsEx with EWX_REBOOT
    starts "wineboot --end-session", which ends the session's windowed
    programs and then does the work of a system start in the same
    wineserver, the pending renames among it. The locker, a program the
    session would end too, lets the file go while the question waits, so
    that the rename can be made; a notepad stands for the user's other
    programs. The robot answers the question once the test has looked and
    the locker has ended."""
    p, target, locker = deferred_setup("Restart")
    looked = os.path.join(WORK, "restart.looked")
    if os.path.exists(looked):
        os.remove(looked)
    steps = interactive_steps(p, YES)
    steps[-1] = steps[-1].replace("|press=", "|waitfile=%s|press=" % winpath(looked))
    notepad = subprocess.Popen([WINE, "notepad.exe"], stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        run = Run(winpath(p.installer), [], steps, background=True)
        asked = run.wait_for_boxes(4)
        check(asked, "the restart question is asked (%s)" % run.log_path)
        name = check_deferred(p, target) if asked else None
    finally:
        status = locker.release()
        with open(looked, "wb"):
            pass
    check(status == 0, "the locker held the file until the question (status %s)" % status)
    run.wait()
    # The robot sees wineboot start only when it looks before the installer
    # ends: a note, not a check.
    started = [line for line in run.lines if "started: wineboot" in line.lower()]
    print("restart answered: installer exit %s; %s" % (
        run.exit_code(), started or "wineboot not seen by the robot"), flush=True)
    notepad_ended = wait_until(lambda: notepad.poll() is not None)
    if not notepad_ended:
        notepad.kill()
    check(run.status == 1 and run.exit_code() == 1 and len(run.boxes) == 4,
          "four boxes, then exit code 1 (%s)" % run.describe())
    check(notepad_ended, "the session's other windowed programs are ended")
    if name:
        wait_until(lambda: read(target) == payload(5))
        check_replaced(p, target, name, "after the restart")
    stop_own_prefix()


# --------------------------------------------------------------- diskfull

def group_diskfull():
    """On a full drive the new data never reaches the file: the earlier
    copy is intact and no temporary file is left."""
    mount_point = os.path.join(WORK, "small")
    os.makedirs(mount_point)
    size = 512 * 1024
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%d" % size, "tmpfs",
                              mount_point], capture_output=True, text=True)
    if mounted.returncode != 0:
        check(False, "this test mounts a small tmpfs as drive T: and needs to run as root: %s"
              % mounted.stderr.strip())
        return
    link = os.path.join(os.environ["WINEPREFIX"], "dosdevices", "t:")
    try:
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(mount_point, link)
        earlier, newer = payload(6, 150 * 1024), payload(7, 400 * 1024)
        p = Product("Placement Full", [{"name": "app.bin", "data": newer}],
                    flags=["always-log"], directory="T:\\Velt")
        write(p.directory + "\\app.bin", earlier, T0 - DAY)
        stat = os.statvfs(mount_point)
        check(stat.f_bavail * stat.f_frsize < len(newer),
              "the new data does not fit (%d bytes free)" % (stat.f_bavail * stat.f_frsize))
        run = p.install(args=("/a", "/d:" + p.directory))
        expect_quiet_run("full drive", run)
        check(read(p.directory + "\\app.bin") == earlier,
              "the earlier copy is intact byte for byte")
        log = p.log()
        error = "%s %s\r\n" % (p.text(vf.MsgErrorLinePrefix), p.directory + "\\app.bin")
        check(log.endswith("\r\n\r\n" + error), "the error line ends the log: %r" % log[-300:])
        check(listing(p.directory) == ["Install.LOG", "app.bin"],
              "no temporary file is left: %r" % listing(p.directory))
    finally:
        if os.path.lexists(link):
            os.remove(link)
        subprocess.run(["umount", mount_point])


# ----------------------------------------------------------------- counts

def group_counts():
    publisher = "Velt Placement Counts"
    shared = shared_directory(publisher)
    common = shared + "\\velt-pe2e-common.dll"
    system = SYSTEM_DIR + "\\velt-pe2e-counts.dll"
    files = [{"name": "velt-pe2e-common.dll", "destination": "shared", "data": payload(8)},
             {"name": "velt-pe2e-counts.dll", "destination": "system", "data": payload(9)}]
    a = Product("Placement Counts A", files, flags=["uninstall-support"], publisher=publisher)
    b = Product("Placement Counts B", files[:1], flags=["uninstall-support"],
                publisher=publisher)
    for product in (a, b):
        product.clean()
    for path in (common, system):
        delete_shared_count(path)
        remove(path)
    a_list = '"%s";"%s "' % (common, system)
    for what, product, counts, listed in (
            ("A installed", a, (1, 1), a_list),
            ("A installed again", a, (1, 1), a_list),
            ("B installed", b, (2, 1), '"%s"' % common)):
        run = product.install()
        expect_quiet_run(what, run)
        check((shared_count(common), shared_count(system)) == counts,
              "%s: counts %r, not %r" % (what, counts, (shared_count(common),
                                                        shared_count(system))))
        values = reg_values(product.key) or {}
        check(values.get("SharedFiles") == ("REG_SZ", listed),
              "%s: SharedFiles %r, not %r" % (what, listed, values.get("SharedFiles")))
    check((reg_values(a.key) or {}).get("SharedFiles") == ("REG_SZ", a_list),
          "A's SharedFiles is unchanged by B")
    for product in (a, b):
        product.clean()
    for path in (common, system):
        delete_shared_count(path)
        remove(path)
    shutil.rmtree(local_path(shared), ignore_errors=True)


if __name__ == "__main__":
    if not os.path.isfile(BUILDER):
        sys.exit("no native builder at %r: build it (the native preset) first" % BUILDER)
    for program in (ROBOT, STUB, LOCKER, VERSIONED):
        if not os.path.isfile(program):
            sys.exit("missing %s: build the win64 (or win32) preset first" % program)
    Run.work, Run.robot = WORK, ROBOT
    try:
        globals()["group_" + GROUP]()
    finally:
        if OWN_PREFIX:
            stop_own_prefix()
            shutil.rmtree(OWN_PREFIX, ignore_errors=True)
    print("%d runs, %d failures" % (Run.count, len(FAILURES)))
    sys.exit(1 if FAILURES else 0)
