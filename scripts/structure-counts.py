#!/usr/bin/env python3
"""Counts what the stub's structure is measured by, for a tree or a commit:

    scripts/structure-counts.py [TREE_OR_COMMIT ...] [--order LAYERS] [--list]

Each argument is a folder (a checkout) or a git revision of this
repository (read with git show, nothing checked out); without one, this
checkout. For each it prints:
  - mutable globals declared in the stub's headers (core system ui product
    archive install uninstall launcher): `extern` variables that are not
    const and `inline` variables that are neither constexpr, const nor
    references; function pointers (hooks) counted apart;
  - `inline` reference aliases (`inline T& Name = ...;`) in those headers;
  - raw Win32 file, directory, registry and process calls in install/
    uninstall/ launcher/ product/ (functions of RAW_CALLS called directly,
    not through the seam's table Sys. or a wrapper), and apart from them
    the other system calls there (OTHER_CALLS);
  - includes that run back up the layers: from a folder to one above it in
    LAYERS (default core<archive,system<ui<product<install=uninstall<launcher;
    folders joined with "," or "=" share a rank, and an include between
    folders of one rank is listed as sideways), and which folders each
    folder includes;
  - the lines of PrintText, PrintJson, BuildInstaller and ReadFiles in
    builder/ (signature to closing brace; "absent" once they are gone) and
    the five longest functions of builder/.
--list names every item counted (file:line and the text). The counting is
by text patterns over the sources with comments removed: a summary to
follow over time, not a parser."""

import argparse
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.normpath(os.path.join(HERE, ".."))
STUB_FOLDERS = ("core", "system", "ui", "product", "archive", "install", "uninstall", "launcher")
FLOW_FOLDERS = ("install", "uninstall", "launcher", "product")
DEFAULT_ORDER = "core<archive,system<ui<product<install=uninstall<launcher"
BUILDER_FUNCTIONS = ("PrintText", "PrintJson", "BuildInstaller", "ReadFiles")
# The Win32 functions that touch files, directories, the registry and
# processes (the first figure: 19 at 30a4124), and other system
# calls of the flows (temporary folder, profile files, restart and its
# privilege, shell, fonts), counted apart. CloseHandle, which only lets go
# of a handle, is in neither.
RAW_CALLS = """
CreateFileA ReadFile WriteFile FlushFileBuffers SetEndOfFile SetFilePointer GetFileSize
GetFileTime SetFileTime MoveFileA MoveFileExA CopyFileA DeleteFileA GetFileAttributesA
SetFileAttributesA CreateDirectoryA RemoveDirectoryA FindFirstFileA FindNextFileA FindClose
GetTempFileNameA
RegOpenKeyExA RegCreateKeyExA RegSetValueExA RegQueryValueExA RegDeleteValueA RegDeleteKeyA
RegEnumKeyExA RegEnumValueA RegQueryInfoKeyA RegCloseKey RegFlushKey
CreateProcessA WinExec WaitForSingleObject GetExitCodeProcess OpenProcess TerminateProcess
""".split()
OTHER_CALLS = """
GetTempPathA GetDiskFreeSpaceA GetDiskFreeSpaceExA GetDriveTypeA
GetPrivateProfileStringA WritePrivateProfileStringA
ExitWindowsEx OpenProcessToken AdjustTokenPrivileges LookupPrivilegeValueA
ShellExecuteA ShellExecuteExA SHChangeNotify SHGetSpecialFolderPathA SHGetFolderPathA
AddFontResourceA RemoveFontResourceA CoCreateInstance
""".split()


class Tree:
    """The files of a checkout folder or of a git revision."""

    def __init__(self, where):
        self.where = where
        self.folder = where if os.path.isdir(where) else None
        if self.folder is None:
            listing = subprocess.run(["git", "-C", REPO, "ls-tree", "-r", "--name-only", where],
                                     capture_output=True, text=True)
            if listing.returncode != 0:
                sys.exit("%s: neither a folder nor a revision" % where)
            self.paths = listing.stdout.split()

    def files(self, folder, extensions):
        if self.folder is not None:
            root = os.path.join(self.folder, folder)
            found = [os.path.join(folder, name) for name in sorted(os.listdir(root))] \
                if os.path.isdir(root) else []
        else:
            found = [p for p in self.paths if os.path.dirname(p) == folder]
        return [p for p in found if p.endswith(extensions)]

    def text(self, path):
        if self.folder is not None:
            with open(os.path.join(self.folder, path), encoding="utf-8", errors="replace") as f:
                return f.read()
        return subprocess.run(["git", "-C", REPO, "show", "%s:%s" % (self.where, path)],
                              capture_output=True, text=True, errors="replace").stdout


def code_lines(text):
    """The lines of a source without comments and string contents (kept
    in place, so line numbers hold)."""
    text = re.sub(r"/\*.*?\*/", lambda m: "\n" * m.group(0).count("\n"), text, flags=re.S)
    text = re.sub(r'"(?:[^"\\\n]|\\.)*"', '""', text)
    return [re.sub(r"//.*", "", line) for line in text.split("\n")]


def globals_of(tree):
    mutable, aliases = [], []
    for folder in STUB_FOLDERS:
        for path in tree.files(folder, (".h",)):
            for number, line in enumerate(code_lines(tree.text(path)), 1):
                item = "%s:%d: %s" % (path, number, line.strip())
                declaration = line.strip()
                if re.match(r"extern\s+\"C\"", declaration):
                    continue
                if declaration.startswith("extern ") and declaration.endswith(";"):
                    if re.search(r"\bconst\b", declaration.split("(")[0]) \
                            or re.match(r"extern\s+[\w:<>,\s\*&]+\s+\w+\s*\([^*]", declaration):
                        continue            # a constant, or a function's declaration
                    mutable.append(item)
                elif re.match(r"inline\s", declaration) and "=" in declaration \
                        and not re.search(r"\b(constexpr|const)\b", declaration.split("=")[0]) \
                        and "(" not in declaration.split("=")[0]:
                    (aliases if "&" in declaration.split("=")[0] else mutable).append(item)
    return mutable, aliases


def raw_calls(tree, names):
    pattern = re.compile(r"(?<![\w.>])(?:::)?(%s)\s*\(" % "|".join(names))
    found = []
    for folder in FLOW_FOLDERS:
        for path in tree.files(folder, (".cpp", ".h")):
            for number, line in enumerate(code_lines(tree.text(path)), 1):
                for match in pattern.finditer(line):
                    found.append("%s:%d: %s" % (path, number, match.group(1)))
    return found


def ranks(order):
    rank = {}
    for level, group in enumerate(order.split("<")):
        for folder in re.split(r"[,=]", group):
            rank[folder.strip()] = level
    return rank


def arrows(tree, order):
    rank = ranks(order)
    up, sideways, uses = [], [], {}
    for folder in rank:
        for path in tree.files(folder, (".cpp", ".h")):
            for number, line in enumerate(tree.text(path).split("\n"), 1):
                match = re.match(r'\s*#\s*include\s+"([\w]+)/([^"]+)"', line)
                if not match or match.group(1) not in rank or match.group(1) == folder:
                    continue
                uses.setdefault(folder, set()).add(match.group(1))
                item = "%s:%d: %s/%s" % (path, number, match.group(1), match.group(2))
                if rank[match.group(1)] > rank[folder]:
                    up.append(item)
                elif rank[match.group(1)] == rank[folder]:
                    sideways.append(item)
    return up, sideways, uses


def functions(tree):
    """{name: (lines, file)} of the functions defined at column 0 in
    builder/ (a signature line, its body to the next "}" at column 0)."""
    found = {}
    for path in tree.files("builder", (".cpp",)):
        lines = tree.text(path).split("\n")
        for start, line in enumerate(lines):
            match = re.match(r"[A-Za-z][\w:<>,\s\*&]*?\b(\w+)\(", line)
            if not match or line.rstrip().endswith(";") or line.startswith(("return", "if", "else")):
                continue
            end = start
            while end < len(lines) and not lines[end].startswith("{") and ";" not in lines[end]:
                end += 1
            if end >= len(lines) or not lines[end].startswith("{") and "{" not in lines[end]:
                continue
            close = next((i for i in range(end, len(lines)) if lines[i].startswith("}")), None)
            if close is None:
                continue
            name = match.group(1)
            if name not in found or close - start + 1 > found[name][0]:
                found[name] = (close - start + 1, "%s:%d" % (path, start + 1))
    return found


def report(where, order, listing):
    tree = Tree(where)
    print("== %s" % where)
    mutable, aliases = globals_of(tree)
    calls, others = raw_calls(tree, RAW_CALLS), raw_calls(tree, OTHER_CALLS)
    up, sideways, uses = arrows(tree, order)
    sizes = functions(tree)
    hooks = [item for item in mutable if "(*" in item]
    variables = [item for item in mutable if item not in hooks]
    print("mutable globals in the stub's headers: %d, and %d function-pointer hooks"
          % (len(variables), len(hooks)))
    if listing:
        print("".join("    %s\n" % item for item in variables + hooks), end="")
    print("inline reference aliases: %d" % len(aliases))
    if listing:
        print("".join("    %s\n" % item for item in aliases), end="")
    print("raw Win32 file/registry/process calls in %s: %d; other system calls there: %d"
          % ("/ ".join(FLOW_FOLDERS) + "/", len(calls), len(others)))
    if listing:
        print("".join("    %s\n" % item for item in calls), end="")
        print("".join("    other: %s\n" % item for item in others), end="")
    print("includes up the layers (%s): %d; sideways: %d" % (order, len(up), len(sideways)))
    if listing:
        print("".join("    up: %s\n" % item for item in up), end="")
        print("".join("    sideways: %s\n" % item for item in sideways), end="")
    print("folders and the folders they include: " + "; ".join(
        "%s -> %s" % (folder, " ".join(sorted(uses[folder], key=ranks(order).get)))
        for folder in sorted(uses, key=ranks(order).get)))
    print("builder functions: " + ", ".join(
        "%s %s" % (name, "%d lines" % sizes[name][0] if name in sizes else "absent")
        for name in BUILDER_FUNCTIONS))
    longest = sorted(sizes.items(), key=lambda item: -item[1][0])[:5]
    print("builder's five longest functions: " + ", ".join(
        "%s %d (%s)" % (name, lines, where_) for name, (lines, where_) in longest))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("trees", nargs="*")
    parser.add_argument("--order", default=DEFAULT_ORDER)
    parser.add_argument("--list", action="store_true")
    options = parser.parse_args()
    for where in options.trees or [REPO]:
        report(where, options.order, options.list)


if __name__ == "__main__":
    main()
