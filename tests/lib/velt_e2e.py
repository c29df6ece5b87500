"""Shared pieces of the end-to-end tests in Python: robot runs, paths in
the Wine prefix, the registry as Wine's own reg.exe reads it, and failure
collection. The environment is that of velt_add_wine_test (WINEPREFIX,
WINELOADER, VELT_ARCH, VELT_BUILDER, VELT_BINARY_DIR, VELT_SOURCE_DIR)."""

import json
import os
import struct
import subprocess
import time

WINE = os.environ["WINELOADER"]             # the loader of this build's prefix
PREFIX = os.environ["WINEPREFIX"]
ARCH = os.environ.get("VELT_ARCH", "x86")
# Both builds test in a 64-bit prefix. An x86 program there sees the 32-bit
# views, as on 64-bit Windows: HKLM\Software under WOW6432Node, "Program
# Files (x86)", syswow64 as its system folder; the classes root (file
# types and their verbs) is one for both. The tests read and plant what the
# installer of their architecture sees: reg with reg_view(key), and CMD,
# the command interpreter of that architecture (its %ProgramFiles% and the
# like are that view's).
SHARED_KEYS = ("HKCR", "HKEY_CLASSES_ROOT", "HKLM\\SOFTWARE\\CLASSES",
               "HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES")


def reg_view(key):
    """reg.exe's switch for the view of `key` that this build's installer
    sees."""
    shared = any(key.upper().startswith(root) for root in SHARED_KEYS)
    return "/reg:32" if ARCH == "x86" and not shared else "/reg:64"


CMD = "C:\\windows\\syswow64\\cmd.exe" if ARCH == "x86" else "C:\\windows\\system32\\cmd.exe"
BUILDER = os.environ.get("VELT_BUILDER", "")
FAILURES = []
# The one upper limit of every wait for an event (a robot run, a file, a
# box, a process end): generous, so that only a hang reaches it, also with
# 32-bit programs running several times slower under emulation.
HANG_SECONDS = 300


def winpath(path):
    """The Z: form of a Unix path."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def drive_c(path):
    """The Unix path of a C: path of the prefix ("C:\\X\\y" -> .../drive_c/X/y)
    as a program of this build's architecture sees it: an x86 program's
    system32 is syswow64."""
    assert path[:3].upper() == "C:\\", path
    parts = [p for p in path[3:].split("\\") if p]
    if ARCH == "x86" and [p.lower() for p in parts[:2]] == ["windows", "system32"]:
        parts[1] = "syswow64"
    return os.path.join(PREFIX, "drive_c", *parts)


def log_text(text):
    """A text as the robot's log writes it: backslash, CR, LF and TAB
    escaped."""
    for raw, escaped in (("\\", "\\\\"), ("\r", "\\r"), ("\n", "\\n"), ("\t", "\\t")):
        text = text.replace(raw, escaped)
    return text


def matchable(text):
    """The part of a text, given as the log writes it, that a step can match:
    its first line, unescaped (steps match substrings of the real text)."""
    for end in ("\\r", "\\n"):
        text = text.split(end)[0]
    return text.replace("\\\\", "\\").replace("|", "||")


def step(caption=None, text=None, *actions):
    """A robot step: the box's caption and one of its texts must contain
    these (log-escaped) texts, then the actions."""
    items = []
    if caption is not None:
        items.append("caption=" + matchable(caption))
    if text is not None:
        items.append("text=" + matchable(text))
    return "|".join(items + list(actions))


def check(condition, what):
    if not condition:
        FAILURES.append(what)
        print("FAIL:", what, flush=True)
    return condition


def wait_until(condition, seconds=HANG_SECONDS):
    """Waits until condition() is true, looking five times a second; false
    when it is still false after `seconds` (a hang)."""
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            return condition()
        time.sleep(0.2)
    return True


class Run:
    """One robot run: its exit code, the log lines, and the boxes seen.
    `work` is the directory of the logs; `robot` the robot program. Boxes
    whose caption contains a text of `leave` (an installer's progress
    dialog, which a quick run may show or not) take no step and are kept
    apart in `left`. `detached` starts the program without the robot's
    console, as a user starts it (robot --detached)."""
    count = 0
    work = "."
    robot = None
    leave = ()

    def __init__(self, program, args=(), steps=(), app=None, timeout=HANG_SECONDS,
                 background=False, line=None, tree=False, leave=None, detached=False):
        Run.count += 1
        self.log_path = os.path.join(Run.work, "run%03d.log" % Run.count)
        cmd = [WINE, Run.robot, "--timeout", str(timeout), "--log", self.log_path]
        for step in steps:
            cmd += ["--do", step]
        if app:
            cmd += ["--app", winpath(app)]
        if tree:
            cmd += ["--tree"]
        if detached:
            cmd += ["--detached"]
        self.leave = list(Run.leave if leave is None else leave)
        for caption in self.leave:
            cmd += ["--leave", caption]
        cmd += ["--line", line] if line is not None else ["--", program] + list(args)
        self.err_path = self.log_path + ".err"
        with open(self.err_path, "wb") as err:
            self.process = subprocess.Popen(cmd, stdin=subprocess.DEVNULL,
                                            stdout=subprocess.DEVNULL, stderr=err)
        if not background:
            self.wait()

    def wait(self):
        self.status = self.process.wait()
        self.read()
        return self

    def read(self):
        try:
            with open(self.log_path, encoding="utf-8", errors="replace") as f:
                self.lines = f.read().splitlines()
        except FileNotFoundError:           # the robot has not started yet
            self.lines = []
        self.boxes = {}
        for line in self.lines:
            parts = line.split(" ", 2)
            if parts[0] == "box" and len(parts) == 3:
                box = self.boxes.setdefault(parts[1], {"caption": None, "texts": []})
                if parts[2].startswith("caption: "):
                    box["caption"] = parts[2][len("caption: "):]
                elif parts[2].startswith("static "):
                    box["texts"].append(parts[2].split(": ", 1)[-1])
        # A box to leave alone (a progress dialog) may or may not be seen in
        # a quick run. The robot logs a box only once it can read its
        # caption, so every box counted here has one.
        left = lambda box: any(text in (box["caption"] or "") for text in self.leave)
        self.left = {n: b for n, b in self.boxes.items() if left(b)}
        self.boxes = {n: b for n, b in self.boxes.items() if not left(b)}
        return self

    def exit_code(self):
        for line in self.lines:
            if line.startswith("process 1 exit: "):
                return int(line.split(": ")[1])
        return None

    def exit_codes(self, name):
        """The exit codes of the processes whose command line holds `name`
        (as the log writes it, any letter case), in order of their start."""
        numbers = [line.split(" ")[1] for line in self.lines
                   if line.startswith("process ") and " started: " in line
                   and name.lower() in line.split(" started: ", 1)[1].lower()]
        return [int(line.split(": ")[1]) for number in numbers for line in self.lines
                if line.startswith("process %s exit: " % number)]

    def wait_for_boxes(self, count):
        """For a run in the background: true once `count` boxes showed
        (false when the robot ended before, or at the limit of a hang)."""
        def shown():
            ended = self.process.poll() is not None
            return len(self.read().boxes) >= count or ended
        return wait_until(shown) and len(self.boxes) >= count

    def describe(self):
        # The log is gone with a CI run's work tree: name the boxes here.
        captions = ", ".join("%s %r" % (n, b["caption"]) for n, b in self.boxes.items())
        return "robot %s, boxes: %s; log %s" % (self.status, captions or "none", self.log_path)


def wine(*args, check_status=True):
    """Runs a Wine program (reg, cmd, wineboot...) in the prefix; returns
    its standard output as text."""
    result = subprocess.run([WINE] + list(args), stdin=subprocess.DEVNULL,
                            capture_output=True)
    if check_status and result.returncode != 0:
        raise RuntimeError("%s failed (%d): %s" % (args, result.returncode,
                                                   result.stderr.decode(errors="replace")))
    return result.stdout.decode("cp1252", errors="replace")


def reg(operation, key, *args, check_status=True):
    """Wine's reg.exe on the registry view of this build's installer."""
    return wine("reg", operation, key, *args, reg_view(key), check_status=check_status)


def cmd(line):
    """What the command interpreter of this build's architecture prints for
    `line`, without the final line end (cmd /c echo %ProgramFiles%)."""
    return wine(CMD, "/c", line).strip()


def reg_values(key):
    """The values of a registry key as Wine's reg.exe lists them:
    {name: (type, data)}; the default value is named "". None when the key
    does not exist."""
    result = subprocess.run([WINE, "reg", "query", key, reg_view(key)], stdin=subprocess.DEVNULL,
                            capture_output=True)
    if result.returncode != 0:
        return None
    values = {}
    for line in result.stdout.decode("cp1252", errors="replace").splitlines():
        if not line.startswith("    "):
            continue
        parts = line.strip("\r\n").lstrip(" ").split("    ", 2)
        if len(parts) >= 2 and parts[1].startswith("REG_"):
            name = "" if parts[0] == "(Default)" else parts[0]
            values[name] = (parts[1], parts[2] if len(parts) == 3 else "")
    return values


def reg_delete(key):
    subprocess.run([WINE, "reg", "delete", key, "/f", reg_view(key)], stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def build_installer(project, installer, stub):
    """Builds `installer` from the project file with this build's stub and
    architecture; returns what veltpack inspect --json says of it."""
    subprocess.run([BUILDER, "build", project, "-o", installer, "--stub", stub, "--arch", ARCH],
                   check=True, stdout=subprocess.DEVNULL)
    return json.loads(subprocess.run([BUILDER, "inspect", installer, "--json"], check=True,
                                     capture_output=True, text=True).stdout)


class FileLocker:
    """velt-file-locker holding `path` (a Windows path) open until
    released: without sharing, or letting others read it (`share_read`:
    a program can still be started from it, but nobody may delete or
    write it). `work` is a directory for its marker files."""

    def __init__(self, locker, path, work, tag, share_read=False, seconds=2 * HANG_SECONDS):
        self.ready = os.path.join(work, tag + ".ready")
        self.release_file = os.path.join(work, tag + ".release")
        for marker in (self.ready, self.release_file):
            if os.path.exists(marker):
                os.remove(marker)
        with open(os.path.join(work, tag + ".err"), "wb") as err:
            self.process = subprocess.Popen(
                [WINE, locker] + (["--share-read"] if share_read else [])
                + [path, winpath(self.ready), winpath(self.release_file), str(seconds)],
                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=err)
        if not wait_until(lambda: os.path.exists(self.ready)
                          or self.process.poll() is not None) \
                or not os.path.exists(self.ready):
            raise RuntimeError("file_locker did not take %s (status %s)"
                               % (path, self.process.poll()))

    def release(self):
        """Lets the file go; the locker's exit code (0 when released in
        time), None when it did not end."""
        with open(self.release_file, "wb"):
            pass
        try:
            return self.process.wait(HANG_SECONDS)
        except subprocess.TimeoutExpired:
            self.process.kill()
            return None


def wine_processes(image):
    """The Unix process ids of the programs named `image` (such as
    "cmd.exe", any letter case) that run in this prefix, read from /proc:
    what is left running after a test."""
    found = []
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open("/proc/%s/environ" % pid, "rb") as f:
                environ = f.read().split(b"\0")
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                args = f.read().split(b"\0")
        except OSError:                     # gone, or not ours to read
            continue
        if ("WINEPREFIX=" + PREFIX).encode() not in environ or not args[0]:
            continue
        if os.path.basename(args[0]).startswith(b"qemu-"):
            args = args[2:] or [b""]            # qemu-i386, the 32-bit loader, the program
        program = args[0].decode(errors="replace").replace("/", "\\").split("\\")[-1]
        if program.lower() == image.lower():
            found.append(int(pid))
    return found


def renamed_font(path, family):
    """The TrueType font at `path` with "DejaVu" in its names replaced by
    `family` (six letters), so that no font of the system has its names."""
    assert len(family) == 6
    with open(path, "rb") as f:
        data = bytearray(f.read())
    tables = struct.unpack(">H", data[4:6])[0]
    for i in range(tables):
        tag, _, offset, length = struct.unpack(">4sIII", data[12 + 16 * i:28 + 16 * i])
        if tag == b"name":
            table = bytes(data[offset:offset + length])
            table = table.replace(b"DejaVu", family.encode("ascii"))
            table = table.replace("DejaVu".encode("utf-16-be"), family.encode("utf-16-be"))
            data[offset:offset + length] = table
    return bytes(data)
