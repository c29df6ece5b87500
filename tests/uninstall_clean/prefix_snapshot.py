"""Snapshots of a whole Wine prefix, to show that an installation and its
uninstallation leave the prefix as it was: every file and folder under
drive_c (size and modification time of files), and the registry as Wine's
own reg.exe exports HKLM, HKCU and HKCR.

take() (after add_windows_keys), compare() and report(); the uninstall
tests and the main job (scripts/main-job.py) use them, with WINEPREFIX and
WINELOADER set as scripts/wine-env.sh sets them. An uninstallation leaves
nothing: every difference is a fault.
"""

import os
import re
import subprocess
import tempfile

ROOTS = ("HKLM", "HKCU", "HKCR")

# Left out of the file tree: nothing so far. Wine's own state lies outside
# drive_c (its registry files system.reg, user.reg and userdef.reg, in the
# prefix's root, rewritten whenever the wineserver saves), and so do the
# logs and exports of the tests (under the build directory, through Z:).
# Patterns match whole Windows paths, letter case ignored.
IGNORED_FILES = [
]

# Left out of the registry: what Wine writes by itself in any run,
# whatever the program does. Patterns match whole key paths.
IGNORED_KEYS = [
    # The display driver adds a key named by a new GUID for every desktop
    # it starts (one per run of a windowed program, here the robot's).
    r"HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Video(\\.*)?",
    # Wine's console host writes its default settings the first time a
    # console opens in the prefix (any batch command opens one); Windows
    # always has this key.
    r"HKEY_CURRENT_USER\\Console(\\.*)?",
    # user32's working copies of system parameters, made on first use.
    r"HKEY_CURRENT_USER\\Software\\Wine\\Temporary System Parameters(\\.*)?",
]

# Keys every Windows has and a new Wine prefix lacks, made before each
# snapshot: an installation that counts a shared file opens its key in the
# view of its architecture (WOW6432Node for a 32-bit installer), makes it
# when missing, and rightly leaves it, emptied, to the system.
WINDOWS_KEYS = [
    r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\SharedDLLs",
    r"HKEY_LOCAL_MACHINE\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\SharedDLLs",
]


def _wine_env():
    return os.environ["WINELOADER"], os.environ["WINEPREFIX"]


def _winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def files_of(prefix):
    """{Windows path: (kind, size, mtime_ns)} of everything under drive_c.
    A folder is ("dir", 0, 0): its time changes whenever a file is made
    and deleted in it, so only that it exists counts."""
    root = os.path.join(prefix, "drive_c")
    tree = {}
    for folder, dirs, names in os.walk(root):
        relative = os.path.relpath(folder, root)
        base = "C:\\" if relative == "." else "C:\\" + relative.replace("/", "\\") + "\\"
        for name in dirs:
            path = os.path.join(folder, name)
            if os.path.islink(path):
                tree[base + name] = ("link", 0, 0)
            else:
                tree[base + name] = ("dir", 0, 0)
        for name in names:
            status = os.lstat(os.path.join(folder, name))
            tree[base + name] = ("file", status.st_size, status.st_mtime_ns)
        dirs[:] = [d for d in dirs if not os.path.islink(os.path.join(folder, d))]
    return {path: entry for path, entry in tree.items()
            if not any(re.fullmatch(pattern, path, re.I) for pattern in IGNORED_FILES)}


def _logical_lines(text):
    """The lines of a .reg export, a value continued over several lines
    (a trailing backslash) joined into one."""
    lines, pending = [], ""
    for line in text.splitlines():
        if pending:
            line = pending + line.lstrip(" ")
            pending = ""
        if line.endswith("\\") and not line.startswith("["):
            pending = line[:-1]
            continue
        lines.append(line)
    if pending:
        lines.append(pending)
    return lines


VALUE = re.compile(r'^("(?:[^"\\]|\\.)*"|@)=(.*)$')


def parse_export(text):
    """{key: {value name: data}} of a .reg export."""
    keys, key = {}, None
    for line in _logical_lines(text):
        if line.startswith("[") and line.endswith("]"):
            key = line[1:-1]
            keys.setdefault(key, {})
        elif key is not None:
            match = VALUE.match(line)
            if match:
                keys[key][match.group(1)] = match.group(2)
    return keys


def registry_of(work, roots=ROOTS):
    """{key: {value: data}} of the roots (HKLM, HKCU, HKCR), under the
    full root names that reg.exe writes. One export after the other: run
    at once they only wait for each other in the wineserver."""
    loader, _ = _wine_env()
    registry = {}
    for root in roots:
        path = os.path.join(work, root + ".reg")
        result = subprocess.run([loader, "reg", "export", root, _winpath(path), "/y"],
                                stdin=subprocess.DEVNULL, capture_output=True)
        if result.returncode != 0:
            raise RuntimeError("reg export %s failed (%d): %s"
                               % (root, result.returncode, result.stderr.decode(errors="replace")))
        with open(path, "rb") as f:
            registry.update(parse_export(f.read().decode("utf-16")))
        os.remove(path)
    return {key: values for key, values in registry.items()
            if not any(re.fullmatch(pattern, key, re.I) for pattern in IGNORED_KEYS)}


def add_windows_keys(work):
    """Makes the keys of WINDOWS_KEYS (one import for both views)."""
    loader, _ = _wine_env()
    path = os.path.join(work, "windows-keys.reg")
    with open(path, "w", encoding="utf-16") as f:
        f.write("Windows Registry Editor Version 5.00\r\n\r\n"
                + "".join("[%s]\r\n\r\n" % key for key in WINDOWS_KEYS))
    result = subprocess.run([loader, "reg", "import", _winpath(path)],
                            stdin=subprocess.DEVNULL, capture_output=True)
    if result.returncode != 0:
        raise RuntimeError("reg import of %s failed (%d): %s"
                           % (path, result.returncode, result.stderr.decode(errors="replace")))


def take(work=None):
    """The snapshot of the prefix of WINEPREFIX, after add_windows_keys;
    `work` is a folder outside the prefix for the exports."""
    _, prefix = _wine_env()
    with tempfile.TemporaryDirectory(dir=work) as scratch:
        add_windows_keys(scratch)
        return {"files": files_of(prefix), "registry": registry_of(scratch)}


def compare(before, after):
    """The differences as a list of (what, path, detail): what is one of
    "file added", "file removed", "file changed", "key added",
    "key removed", "value added", "value removed", "value changed"."""
    differences = []
    files_before, files_after = before["files"], after["files"]
    for path in sorted(set(files_before) | set(files_after), key=str.lower):
        old, new = files_before.get(path), files_after.get(path)
        if old is None:
            differences.append(("%s added" % new[0], path, _describe(new)))
        elif new is None:
            differences.append(("%s removed" % old[0], path, _describe(old)))
        elif tuple(old) != tuple(new):
            differences.append(("%s changed" % new[0], path,
                                "%s -> %s" % (_describe(old), _describe(new))))
    keys_before, keys_after = before["registry"], after["registry"]
    for key in sorted(set(keys_before) | set(keys_after), key=str.lower):
        old, new = keys_before.get(key), keys_after.get(key)
        if old is None:
            differences.append(("key added", key, _values(new)))
            continue
        if new is None:
            differences.append(("key removed", key, _values(old)))
            continue
        for name in sorted(set(old) | set(new), key=str.lower):
            if name not in old:
                differences.append(("value added", key, "%s=%s" % (name, new[name])))
            elif name not in new:
                differences.append(("value removed", key, "%s=%s" % (name, old[name])))
            elif old[name] != new[name]:
                differences.append(("value changed", key, "%s=%s -> %s=%s"
                                    % (name, old[name], name, new[name])))
    return differences


def _describe(entry):
    kind, size, mtime = entry
    return "%d bytes, mtime %d ns" % (size, mtime) if kind == "file" else kind


def _values(values):
    return "; ".join("%s=%s" % item for item in sorted(values.items())) or "no values"


def print_differences(differences, title):
    print(title, flush=True)
    for what, path, detail in differences:
        print("  %-14s %s  (%s)" % (what, path, detail), flush=True)


def report(before, after, what):
    """Prints how the prefix after `what` differs from before. True when
    it does not differ."""
    differences = compare(before, after)
    if differences:
        print_differences(differences, "%s: %d differences (added, removed or changed):"
                          % (what, len(differences)))
    else:
        print("%s: the prefix is as it was before." % what, flush=True)
    return not differences

