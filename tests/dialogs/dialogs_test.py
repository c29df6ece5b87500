#!/usr/bin/env python3
"""The installer's dialogs as a user sees them. The probe (dialog_probe.cpp)
shows one dialog over a background window with a message table whose
message n reads "m<n>" (language 0) or "m<n>-<l>" (language l); the robot
reads every control, answers, and the probe writes what came back. The
dialog templates are checked in the stub's own resources.

    dialogs_test.py ROBOT PROBE STUB

Needs pefile (/usr/bin/python3 has it). The environment is that of
velt_add_wine_test (WINELOADER, VELT_BINARY_DIR).
"""

import os
import shutil
import struct
import subprocess
import sys

import pefile

ROBOT, PROBE, STUB = sys.argv[1:4]
WINE = os.environ["WINELOADER"]
WORK = os.path.join(os.environ["VELT_BINARY_DIR"], "tests", "dialogs", "work")
FAILURES = []


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def check(condition, what):
    if not condition:
        FAILURES.append(what)
        print("FAIL:", what, flush=True)
    return condition


# ------------------------------------------------------------------ templates

WS_POPUP, WS_CHILD, WS_VISIBLE = 0x80000000, 0x40000000, 0x10000000
WS_CAPTION, WS_BORDER, WS_VSCROLL, WS_SYSMENU = 0xC00000, 0x800000, 0x200000, 0x80000
WS_TABSTOP, DS_MODALFRAME, DS_SETFONT = 0x10000, 0x80, 0x40
DIALOG = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT
CHILD = WS_CHILD | WS_VISIBLE
BUTTON = CHILD | WS_TABSTOP                 # BS_PUSHBUTTON
DEFAULT = BUTTON | 1                        # BS_DEFPUSHBUTTON
LABEL = CHILD                               # SS_LEFT
TEXT_VIEW = CHILD | 0x4 | 0x800 | WS_VSCROLL | WS_BORDER     # multi-line, read-only
LIST = CHILD | WS_BORDER | 0x1              # LBS_NOTIFY
DIR_EDIT = CHILD | WS_BORDER | 0x80         # ES_AUTOHSCROLL
BLACK_FRAME = CHILD | 0x7                   # SS_BLACKFRAME

# name: (width, height, caption, [(id, class, x, y, cx, cy, style, text)])
TEMPLATES = {
    "LANGUAGEDLG": (180, 125, "Choose Your Language", [
        (1017, "ListBox", 3, 3, 174, 104, LIST, ""),
        (1001, "Button", 3, 110, 85, 12, DEFAULT, "&Continue"),
        (1003, "Button", 92, 110, 85, 12, BUTTON, "&Abort")]),
    "LICENSEDLG": (284, 180, "", [
        (1009, "Static", 3, 2, 277, 20, LABEL, ""),
        (1005, "Edit", 3, 20, 277, 120, TEXT_VIEW, ""),
        (1001, "Button", 3, 145, 277, 14, DEFAULT, ""),
        (1003, "Button", 3, 161, 277, 14, BUTTON, "")]),
    "READMEDLG": (239, 149, "", [
        (1009, "Static", 3, 2, 233, 20, LABEL, ""),
        (1005, "Edit", 3, 21, 233, 107, TEXT_VIEW, ""),
        (1001, "Button", 3, 133, 115, 12, DEFAULT, ""),
        (1003, "Button", 121, 133, 115, 12, BUTTON, "")]),
    "CHOOSEDIRDLG": (239, 57, "", [
        (1009, "Static", 3, 2, 231, 20, LABEL, ""),
        (1015, "Edit", 3, 25, 168, 12, DIR_EDIT, ""),
        (1013, "Button", 174, 25, 62, 12, BUTTON, ""),
        (1001, "Button", 3, 42, 115, 12, DEFAULT, ""),
        (1003, "Button", 121, 42, 115, 12, BUTTON, "")]),
    "PROGRESSDLG": (195, 60, "", [
        (1009, "Static", 5, 2, 185, 8, LABEL, ""),
        (1007, "Static", 5, 12, 185, 9, BLACK_FRAME, ""),
        (1011, "Static", 5, 24, 185, 16, LABEL, ""),
        (1003, "Button", 60, 43, 75, 12, BUTTON, "")]),
}
CLASS_ATOMS = {0x80: "Button", 0x81: "Edit", 0x82: "Static", 0x83: "ListBox"}


class Reader:
    def __init__(self, data):
        self.data, self.at = data, 0

    def take(self, fmt):
        values = struct.unpack_from("<" + fmt, self.data, self.at)
        self.at += struct.calcsize("<" + fmt)
        return values if len(values) > 1 else values[0]

    def text(self):
        end = self.at
        while self.data[end:end + 2] != b"\0\0":
            end += 2
        value = self.data[self.at:end].decode("utf-16-le")
        self.at = end + 2
        return value

    def name_or_atom(self):
        if self.data[self.at:self.at + 2] == b"\xff\xff":
            self.at += 2
            return self.take("H")
        return self.text()

    def align(self):
        self.at = (self.at + 3) & ~3


def parse_template(data):
    r = Reader(data)
    style, _ex, count, _x, _y, cx, cy = r.take("IIHhhhh")
    r.name_or_atom()                        # menu
    r.name_or_atom()                        # class
    caption = r.text()
    font = (r.take("H"), r.text()) if style & DS_SETFONT else None
    controls = []
    for _ in range(count):
        r.align()
        cstyle, _ex, x, y, w, h, cid = r.take("IIhhhhH")
        cls = r.name_or_atom()
        # Class names are case-blind; the resource compiler writes them in
        # capitals or as the atoms of the predefined classes.
        cls = (CLASS_ATOMS.get(cls, str(cls)) if isinstance(cls, int) else cls).upper()
        text = r.name_or_atom()
        extra = r.take("H")
        r.at += extra
        controls.append((cid, cls, x, y, w, h, cstyle, text))
    return style, cx, cy, caption, font, controls


def check_templates():
    pe = pefile.PE(STUB)
    found = {}
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id != 5:                    # RT_DIALOG
            continue
        for entry in kind.directory.entries:
            language = entry.directory.entries[0]
            rva, size = language.data.struct.OffsetToData, language.data.struct.Size
            found[str(entry.name)] = pe.get_data(rva, size)
    check(sorted(found) == sorted(TEMPLATES), "dialog templates in the stub: %s" % sorted(found))
    for name, (width, height, caption, controls) in TEMPLATES.items():
        if name not in found:
            continue
        style, cx, cy, got_caption, font, got = parse_template(found[name])
        check(style == DIALOG, "%s style %#x" % (name, style))
        check((cx, cy) == (width, height), "%s size %dx%d" % (name, cx, cy))
        check(got_caption == caption, "%s caption %r" % (name, got_caption))
        check(font == (10, "Arial"), "%s font %r" % (name, font))
        for want, have in zip(controls, got):
            want = want[:1] + (want[1].upper(),) + want[2:]
            check(want == have, "%s control %r, expected %r" % (name, have, want))
        check(len(got) == len(controls), "%s has %d controls" % (name, len(got)))


# ------------------------------------------------------------------ runs

def run(case, args, steps, timeout=120):
    """Runs the probe under the robot; returns its exit code, the log lines
    and the probe's result lines. "{shown}" in a step is the file that the
    progress probe makes once its texts are shown."""
    run.count += 1
    index = run.count
    log = os.path.join(WORK, "%02d-%s.log" % (index, case))
    result = os.path.join(WORK, "%02d-%s.txt" % (index, case))
    cmd = [WINE, ROBOT, "--timeout", str(timeout), "--log", winpath(log)]
    for step in steps:
        cmd += ["--do", step.replace("{shown}", winpath(result + ".shown"))]
    cmd += ["--", winpath(PROBE), case, winpath(result)] + list(args)
    with open(log + ".err", "w") as err:
        status = subprocess.call(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                 stderr=err)
    os.rename(log + ".err", log.replace(".log", ".err"))
    lines = open(log, encoding="utf-8").read().splitlines() if os.path.exists(log) else []
    results = open(result).read().splitlines() if os.path.exists(result) else []
    return status, lines, results


run.count = 0

LANGUAGE = ["box 1 caption: Choose Your Language", "box 1 list 1017 0: Lang0",
            "box 1 list 1017 1: Lang1", "box 1 list 1017 2: Lang2", "box 1 selected 1017 0",
            "box 1 button 1001: &Continue", "box 1 button 1003: &Abort"]
LICENSE = ["box 1 caption: m44", "box 1 static 1009: m47",
           "box 1 edit 1005: Licence line 1\\r\\nLicence line 2",
           "box 1 button 1001: m45", "box 1 button 1003: m46"]
README = ["box 1 caption: m50", "box 1 static 1009: m51",
          "box 1 edit 1005: Readme line 1\\r\\nReadme line 2",
          "box 1 button 1001: m48", "box 1 button 1003: m49"]
CHOOSEDIR = ["box 1 caption: m24", "box 1 static 1009: m11", "box 1 edit 1015: C:\\\\Start Dir",
             "box 1 button 1013: m52", "box 1 button 1001: m48", "box 1 button 1003: m49"]
PROGRESS = ["box 1 caption: m54", "box 1 static 1009: m39", "box 1 static 1007: ",
            "box 1 button 1003: m49", "box 1 log", "box 1 static 1011: Copying file.txt (2)",
            "box 1 progress 0: 60"]
QUESTION = ["box 2 caption: m20", "box 2 static 65535: m28"]
LONG_DIR = "D:\\" + "x" * 300
WELCOME = ["box 1 caption: Veltpack Utility v6.2",
           "box 1 static 65535: Welcome to Tool in C:\\\\windows."]
# The progress dialog is logged once more when the probe has shown its
# texts and position.
SHOWN = "waitfile={shown}|log"

# (case, arguments, steps, exit code, log lines, result lines, lines that must not be there)
CASES = [
    ("language", [], ["press=1001"], 0, LANGUAGE, ["result: 1001", "language: 0"], []),
    ("language", [], ["pick=1017:#1|log|press=1001"], 0,
     LANGUAGE + ["box 1 button 1001: m48-1", "box 1 button 1003: m49-1"],
     ["result: 1001", "language: 1"], []),
    ("language", [], ["dblclick=1017:#2"], 0, LANGUAGE, ["result: 1001", "language: 2"], []),
    ("language", [], ["press=Abort"], 0, LANGUAGE, ["result: 1003", "language: 0"], []),
    ("language", [], ["pick=1017:Lang2|log|press=1003"], 0,
     ["box 1 button 1001: m48-2", "box 1 button 1003: m49-2"],
     ["result: 1003", "language: 2"], []),
    ("license", [], ["press=1001"], 0, LICENSE, ["result: 1001"], []),
    ("license", [], ["press=1003"], 0, LICENSE, ["result: 1003"], []),
    ("readme", [], ["press=1001"], 0, README, ["result: 1001"], []),
    ("readme", [], ["press=1003"], 0, README, ["result: 1003"], []),
    ("choosedir", [], ["type=1015:D:\\New Place|press=1001"], 0, CHOOSEDIR,
     ["result: 1", "directory: D:\\New Place"], []),
    ("choosedir", [], ["type=1015:%s|press=1001" % LONG_DIR], 0, CHOOSEDIR,
     ["result: 1", "directory: " + LONG_DIR], []),
    ("choosedir", [], ["type=1015:D:\\Other|press=1003"], 0, CHOOSEDIR,
     ["result: 0", "directory: C:\\Start Dir"], []),
    ("choosedir", [], ["press=1013", "text=m11|press=2", "press=1001"], 0,
     CHOOSEDIR + ["box 2 process: 1", "box 2 static 14146: m11", "box 1 again"],
     ["result: 1", "directory: C:\\Start Dir"], []),
    # The browser starts at the typed folder and gives it back as the file
    # system spells it.
    ("choosedir", [], ["type=1015:c:\\WINDOWS\\System32|press=1013", "caption=Browse|press=1",
                       "press=1001"], 0,
     ["box 1 again", "box 1 edit 1015: C:\\\\windows\\\\system32"],
     ["result: 1", "directory: C:\\windows\\system32"], []),
    ("progress", ["1"], [SHOWN + "|close"], 0, PROGRESS, ["ended: closed"],
     ["box 1 disabled 1003"]),
    # No: the installation goes on after the question.
    ("progress", ["1"], [SHOWN + "|press=1003", "caption=m20|press=No"], 0,
     PROGRESS + QUESTION, ["ended: asked"], []),
    ("progress", ["1"], [SHOWN + "|press=1003", "caption=m20|press=Yes"], 1,
     PROGRESS + QUESTION, [], ["ended: closed", "ended: asked", "ended: timeout"]),
    ("progress", ["0"], [SHOWN + "|close"], 0, PROGRESS + ["box 1 disabled 1003"],
     ["ended: closed"], ["box 2 process: 1"]),
    ("welcome", [], ["press=Yes"], 0, WELCOME + ["box 1 button 6: &Yes"], ["result: 0"], []),
    ("welcome", [], ["press=No"], 0, WELCOME, ["result: 1"], []),
    ("cancel", [], ["press=No"], 0, ["box 1 caption: m20", "box 1 static 65535: m28"],
     ["result: 7"], []),
    ("cancel", [], ["press=Yes"], 1, ["box 1 caption: m20"], [], ["result: 6"]),
]


def check_bar(case, results):
    """The progress bar covers its frame and one pixel around it."""
    values = dict(line.split(": ", 1) for line in results if ": " in line)
    if not check("frame" in values and "bar" in values, "%s: no frame or bar in %r"
                 % (case, results)):
        return
    fl, ft, fr, fb = map(int, values["frame"].split())
    check(list(map(int, values["bar"].split())) == [fl - 1, ft - 1, fr + 2, fb + 2],
          "%s: bar %s around frame %s" % (case, values["bar"], values["frame"]))


def main():
    for what in (ROBOT, PROBE, STUB):
        if not os.path.exists(what):
            print("missing %s: build the win64 preset first" % what)
            return 1
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    check_templates()
    for case, args, steps, code, lines, results, absent in CASES:
        what = "%s %s %s" % (case, " ".join(args), " / ".join(steps))
        status, log, got = run(case, args, steps)
        ok = check(status == code, "%s: exit code %d, expected %d" % (what, status, code))
        for line in lines:
            ok &= check(line in log, "%s: no log line %r" % (what, line))
        for line in absent:
            ok &= check(line not in log and line not in got, "%s: unwanted %r" % (what, line))
        for line in results:
            ok &= check(line in got, "%s: no result %r in %r" % (what, line, got))
        if case == "progress":
            check_bar(what, got)
        if not ok:
            print("\n".join(log))
    if FAILURES:
        print("%d failures" % len(FAILURES))
        return 1
    print("dialog tests passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
