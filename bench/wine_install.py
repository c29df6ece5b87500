#!/usr/bin/env python3
"""The work of bench/wine_install.sh that is easier in Python.

  wine_install.py payload WORK ARCH
      writes the two benchmark products into WORK: mixed/ (about 50 MB:
      real PE files, C headers as text, random bytes and gzip files, several
      hundred files in a few folders) and small/ (5,000 small text files in
      50 folders), each with its project file (mixed.toml, small.toml).
      The same machine gives the same bytes every time.

  wine_install.py run WORK RUNS
      times, RUNS times and alternating which goes first, the silent
      install of each product's installer (WORK/<name>.exe) against
      Wine's xcopy of the same tree, in the prefix of WINEPREFIX through
      WINELOADER (scripts/wine-env.sh sets both), and prints the medians,
      the ratios and the peak memory of each.

The time of one run is the wall-clock time of the Wine loader process from
its start to its end. Its peak memory is that process's high-water resident
set (the loader runs the Windows program in its own process), read from
/proc every 10 ms while it runs: growth in its last 10 ms is missed. (The
maximum resident size that wait4 reports cannot serve: a child's count
starts from the high-water mark of the parent it was forked from.) Every program is named by its full path:
given a bare name such as "xcopy", the loader runs start.exe, which starts
the program in another process that it does not wait for as its parent.
"""

import gzip
import os
import random
import shutil
import statistics
import subprocess
import sys
import threading
import time
from pathlib import Path

MIXED_PE_BYTES = 22 << 20
MIXED_TEXT_BYTES = 12 << 20
MIXED_RANDOM_BYTES = 10 << 20
MIXED_GZIP_BYTES = 6 << 20
SMALL_FILES = 5000
SMALL_FOLDERS = 50
XCOPY = "C:\\windows\\system32\\xcopy.exe"
CMD = "C:\\windows\\system32\\cmd.exe"
REG = "C:\\windows\\system32\\reg.exe"
# A run that takes longer waits behind a box that nobody sees.
TIME_LIMIT = 600

# Windows opens a device for these base names, whatever the extension.
DEVICE_NAMES = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"} | {
    f"{kind}{n}" for kind in ("COM", "LPT") for n in range(10)}

PE_DIRS = [
    "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows",
    "/usr/lib/x86_64-linux-gnu/wine/i386-windows",
    "/usr/lib/i386-linux-gnu/wine/i386-windows",
    "/usr/lib/wine",
]
UNINSTALL_SUBDIR = "_uninstall"
PRODUCTS = {"mixed": "VeltBenchMixed", "small": "VeltBenchSmall"}


def windows_name(name):
    """A file name that Windows can store: device names get a prefix."""
    if name.split(".")[0].rstrip(" ").upper() in DEVICE_NAMES:
        return "x" + name
    return name


def is_pe(path):
    try:
        with open(path, "rb") as f:
            head = f.read(64)
            if len(head) < 64 or head[:2] != b"MZ":
                return False
            f.seek(int.from_bytes(head[60:64], "little"))
            return f.read(4) == b"PE\0\0"
    except OSError:
        return False


def pick(files, budget, rng, largest, smallest=1):
    """Files (path, size) in a random order until budget bytes are used."""
    files = [f for f in files if smallest <= f[1] <= largest]
    rng.shuffle(files)
    chosen, used = [], 0
    for path, size in files:
        if used + size > budget:
            continue
        chosen.append(path)
        used += size
        if used > budget * 0.98:
            break
    return chosen


def sized(paths):
    return [(p, p.stat().st_size) for p in sorted(paths)]


def pe_files():
    for d in PE_DIRS:
        found = [p for p in Path(d).glob("*") if p.suffix.lower() in (".dll", ".exe") and p.is_file()]
        found = [p for p in found if is_pe(p)]
        if len(found) >= 100:
            return sized(found)
    sys.exit("wine_install.py: no folder of Windows PE files found (is wine installed?)")


def text_files():
    return sized(p for p in Path("/usr/include").rglob("*.h") if p.is_file() and not p.is_symlink())


def write_mixed(root, rng):
    # Executables: real PE files, the same kind of data a product ships.
    for i, src in enumerate(pick(pe_files(), MIXED_PE_BYTES, rng, 2 << 20)):
        folder = "bin" if i % 4 else "bin/plugins"
        copy(src, root / folder / windows_name(src.name.lower()))
    # Text: C headers, numbered so that equal names from different folders
    # cannot meet in one folder (Windows ignores letter case).
    headers = text_files()
    for i, src in enumerate(pick(headers, MIXED_TEXT_BYTES, rng, 256 << 10, 8 << 10)):
        folder = "docs" if i % 3 else "docs/api"
        copy(src, root / folder / windows_name(f"{i:04d}_{src.name}"))
    # Data that does not compress: random bytes and gzip files of text.
    used, i = 0, 0
    while used < MIXED_RANDOM_BYTES:
        size = min(rng.randint(16 << 10, 1 << 20), MIXED_RANDOM_BYTES - used)
        write(root / "data" / f"blob{i:03d}.bin", rng.randbytes(size))
        used, i = used + size, i + 1
    used, i = 0, 0
    sources = [p for p, _ in headers]
    while used < MIXED_GZIP_BYTES:
        text = b"".join(rng.choice(sources).read_bytes() for _ in range(rng.randint(4, 40)))
        packed = gzip.compress(text, compresslevel=6, mtime=0)
        write(root / "data" / "archives" / f"part{i:03d}.gz", packed)
        used, i = used + len(packed), i + 1


def write_small(root, rng):
    words = ("installer archive volume folder registry shortcut version "
             "uninstall product publisher shared font batch path file "
             "setting value key data record log message language").split()
    for i in range(SMALL_FILES):
        size = rng.randint(64, 4096)
        lines, length = [], 0
        while length < size:
            line = " ".join(rng.choice(words) for _ in range(rng.randint(3, 12)))
            lines.append(line)
            length += len(line) + 2
        text = ("\r\n".join(lines) + "\r\n").encode()[:size]
        write(root / f"d{i % SMALL_FOLDERS:02d}" / f"f{i:04d}.txt", text)


def copy(src, dst):
    dst.parent.mkdir(parents=True, exist_ok=True)
    shutil.copyfile(src, dst)


def write(dst, data):
    dst.parent.mkdir(parents=True, exist_ok=True)
    dst.write_bytes(data)


def write_project(work, name, arch):
    product = PRODUCTS[name]
    (work / f"{name}.toml").write_text(f'''\
[product]
name = "{product}"
publisher = "Veltpack Bench"
version = "1.0"
default-directory = "C:\\\\VeltBench\\\\{product}"
uninstall-subdir = "{UNINSTALL_SUBDIR}"
arch = "{arch}"

[flags]
uninstall-support = true
automatic = true

[[files]]
source = "{name}/**/*"
''')


def payload(work, arch):
    work = Path(work)
    # One seed per product: either can be changed without moving the other.
    write_mixed(work / "mixed", random.Random(1))
    write_small(work / "small", random.Random(2))
    for name in PRODUCTS:
        write_project(work, name, arch)
        files, size = tree_size(work / name)
        print(f"{name}: {files} files, {size / 1e6:.1f} MB")


def tree_size(root):
    files = [p for p in Path(root).rglob("*") if p.is_file()]
    return len(files), sum(p.stat().st_size for p in files)


def windows_path(path):
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def measure(args):
    """(seconds, peak resident MB, exit code) of one Wine loader process."""
    start = time.monotonic()
    child = subprocess.Popen([os.environ["WINELOADER"], *args], stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    peak, done = [0], threading.Event()

    def sample():
        # The last high-water mark seen belongs to the program's own image:
        # the ones before its exec are this process's, copied by the fork.
        status = f"/proc/{child.pid}/status"
        while not done.is_set():
            if time.monotonic() - start > TIME_LIMIT:
                child.kill()
                return
            try:
                with open(status) as f:
                    for line in f:
                        if line.startswith("VmHWM:"):
                            peak[0] = int(line.split()[1])
            except OSError:
                return
            done.wait(0.01)

    sampler = threading.Thread(target=sample)
    sampler.start()
    _, status, _ = os.wait4(child.pid, 0)
    seconds = time.monotonic() - start
    if seconds > TIME_LIMIT:
        sys.exit(f"{args[0]} ran for more than {TIME_LIMIT} s; it was ended (a box waiting?)")
    done.set()
    sampler.join()
    child.returncode = os.waitstatus_to_exitcode(status)
    return seconds, peak[0] / 1024, child.returncode


def drive_c():
    return Path(os.environ["WINEPREFIX"]) / "drive_c"


def same_tree(source, copied, ignore=()):
    """None when copied holds exactly the files of source, else what differs."""
    result = subprocess.run(["diff", "-rq", *[f"--exclude={x}" for x in ignore], str(source), str(copied)],
                            capture_output=True, text=True)
    if result.returncode == 0:
        return None
    lines = (result.stdout + result.stderr).splitlines()
    return "; ".join(lines[:3]) + (f" (and {len(lines) - 3} more)" if len(lines) > 3 else "")


def forget_installation(product):
    key = f"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{product}"
    subprocess.run([os.environ["WINELOADER"], REG, "delete", key, "/f"],
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def install(work, name, run):
    """Installs product name into a new directory; the directory goes afterwards."""
    product = PRODUCTS[name]
    target = f"C:\\VeltBench\\{name}-install-{run}"
    result = measure([windows_path(Path(work) / f"{name}.exe"), "/a", f"/d:{target}"])
    placed = drive_c() / "VeltBench" / f"{name}-install-{run}"
    if not placed.is_dir():
        sys.exit(f"{name}: the installer placed nothing in {target} (exit code {result[2]}); "
                 "does this stub install yet?")
    differs = same_tree(Path(work) / name, placed, ignore=[UNINSTALL_SUBDIR])
    if differs:
        sys.exit(f"{name}: the installed tree differs from the payload: {differs}")
    shutil.rmtree(placed)
    # A registration left behind would make the next run a reinstall into
    # this (now removed) directory.
    forget_installation(product)
    return result


def xcopy(work, name, run):
    target = f"C:\\VeltBench\\{name}-xcopy-{run}"
    result = measure([XCOPY, "/E", "/I", "/Q", "/Y", windows_path(Path(work) / name), target])
    copied = drive_c() / "VeltBench" / f"{name}-xcopy-{run}"
    differs = same_tree(Path(work) / name, copied)
    if differs:
        sys.exit(f"{name}: xcopy's copy differs from the payload: {differs}")
    shutil.rmtree(copied)
    return result


def warm_cache(path):
    for p in sorted(Path(path).rglob("*")):
        if p.is_file():
            with open(p, "rb") as f:
                while f.read(1 << 20):
                    pass


def run(work, runs):
    work = Path(work)
    for name in PRODUCTS:
        warm_cache(work / name)
        warm_cache(work / f"{name}.exe")
    # A process that does nothing: the part of every time below that is
    # Wine starting and ending a program.
    empty = [measure([CMD, "/c", "exit"]) for _ in range(3)]
    rows = []
    for name in PRODUCTS:
        files, size = tree_size(work / name)
        timed = {"install": [], "xcopy": []}
        for r in range(1, runs + 1):
            order = ["install", "xcopy"] if r % 2 else ["xcopy", "install"]
            for how in order:
                result = (install if how == "install" else xcopy)(work, name, r)
                timed[how].append(result)
                print(f"  {name} run {r} {how:7}: {result[0]:7.2f} s  peak {result[1]:6.1f} MB",
                      flush=True)
        rows.append((name, files, size, timed))

    start = statistics.median(e[0] for e in empty)
    print()
    print(f"Wine prefix {os.environ['WINEPREFIX']}, {runs} runs each, medians; "
          f"a Wine process that does nothing takes {start:.2f} s and peaks at "
          f"{statistics.median(e[1] for e in empty):.1f} MB.")
    print()
    print(f"{'payload':28} {'install s':>9} {'xcopy s':>8} {'ratio':>6}   "
          f"{'install MB':>10} {'xcopy MB':>8} {'peak/payload':>12}")
    for name, files, size, timed in rows:
        install_s = statistics.median(t[0] for t in timed["install"])
        xcopy_s = statistics.median(t[0] for t in timed["xcopy"])
        install_mb = max(t[1] for t in timed["install"])
        xcopy_mb = max(t[1] for t in timed["xcopy"])
        label = f"{name} ({files} files, {size / 1e6:.1f} MB)"
        print(f"{label:28} {install_s:9.2f} {xcopy_s:8.2f} {install_s / xcopy_s:6.2f}   "
              f"{install_mb:10.1f} {xcopy_mb:8.1f} {install_mb / (size / 1048576):12.2f}")
    print()
    print("ratio: install time / xcopy time. install MB, xcopy MB: the highest peak "
          "resident memory of any run; peak/payload: install MB / payload MB.")


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "payload":
        payload(sys.argv[2], sys.argv[3])
    elif len(sys.argv) == 4 and sys.argv[1] == "run":
        run(sys.argv[2], int(sys.argv[3]))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
