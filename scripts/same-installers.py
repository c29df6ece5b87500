#!/usr/bin/env python3
"""Shows that two veltpack programs build the same installers and print
the same about them: for a change to the builder that must not change its
output.

    scripts/same-installers.py OLD_VELTPACK NEW_VELTPACK --stub-x86 FILE
                               --stub-x64 FILE [PROJECT_FOLDER ...]

Each project (the example in examples/, and every folder given that holds
one *.toml: the products the end-to-end tests leave below
build/<preset>/tests) is built by both programs for x86 and x64, and once
more with volumes, with SOURCE_DATE_EPOCH and TZ fixed and the same stub
files; the installers and volumes are compared byte for byte (cmp), and so
are the exit status and the messages of each build and the text and JSON
output of inspect on every installer. Projects with faults, several in
one [[files]] entry among them, must fail alike. inspect also runs on damaged
installers (the bare stub, one cut short, one with a bad description byte,
one that claims a signature), where its output stops part way.

Prints one line per difference and a summary; the exit status is 1 when
anything differs."""

import argparse
import glob
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLE = os.path.join(HERE, "..", "examples")
ENV = dict(os.environ, SOURCE_DATE_EPOCH="1700000000", TZ="UTC")
VARIANTS = (("x86", ()), ("x64", ()), ("x86-volumes", ("--volume-size", "160K")))
# Projects the builder refuses: which fault it names first, and how.
PRODUCT = '[product]\nname = "X"\n'
BROKEN = [PRODUCT + entry for entry in (
    '[[files]]\nsource = "a.txt"\ndestination = "desktop"\noverwrite = "never"\n',
    '[[files]]\nsource = "a.txt"\noverwrite = "never"\nshortcuts = ["start"]\n',
    '[[files]]\nsource = "a.txt"\ndestination = "font"\nshortcuts = ["desktop"]\npermanent = 1\n',
    '[[files]]\nsource = "a.txt"\npermanent = "yes"\nicon = "a.ico"\n',
    '[[files]]\nsource = "a.txt"\nshortcut-name = "A"\nfont-name = "B"\nversion = "1"\n',
    '[[files]]\nsource = "b.txt"\nname = 7\n',
    '[[files]]\nsource = "*.dll"\nname = "x/"\n',
    '[[files]]\nsource = "a.txt"\nname = "../a.txt"\nshortcuts = ["desktop"]\nshortcut-name = 7\n',
    '[[files]]\nsource = "*.txt"\nname = "docs"\n[[files]]\nsource = "a.txt"\nname = "DOCS/A.TXT"\n',
    '[[files]]\nsource = "a.txt"\ndestination = "install-startup"\n[[files]]\nsource = "a.txt"\n',
    '[[files]]\nsource = "a.txt"\nfont = "x"\n',
    '[[files]]\nname = "a.txt"\n',
    '',
)] + ['files = 3\n' + PRODUCT]


def run(args, work):
    """Exit status and output of a command, with the work folder's path
    taken out of the output (each program writes into a folder of its own)."""
    r = subprocess.run(args, env=ENV, stdin=subprocess.DEVNULL, capture_output=True)
    said = (r.stdout + b"\n--stderr--\n" + r.stderr).replace(work.encode(), b"WORK")
    return r.returncode, said


def written(folder):
    return sorted(os.listdir(folder))


def damaged(installer, folder):
    """Installers inspect cannot read to the end, made from a sound one."""
    image = open(installer, "rb").read()
    pe = int.from_bytes(image[0x3C:0x3E], "little")
    wide = image[pe + 0x18:pe + 0x1A] == b"\x0b\x02"
    certificates = pe + 0x18 + (112 if wide else 96) + 4 * 8
    signed = bytearray(image + b"\0" * (-len(image) % 8))
    signed[certificates:certificates + 8] = len(signed).to_bytes(4, "little") + (64).to_bytes(4, "little")
    signed += b"\xa5" * 64
    section = image.find(b".velt")
    raw = int.from_bytes(image[section + 20:section + 24], "little")
    flipped = bytearray(image)
    flipped[raw + 24 + 40] ^= 0x10
    cases = {"short.exe": image[:len(image) - 100], "flipped.exe": bytes(flipped),
             "signed.exe": bytes(signed)}
    for name, content in cases.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(content)
    return [os.path.join(folder, name) for name in cases]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("--stub-x86", required=True)
    parser.add_argument("--stub-x64", required=True)
    parser.add_argument("projects", nargs="*")
    options = parser.parse_intermixed_args()
    stubs = {"x86": options.stub_x86, "x64": options.stub_x64}
    projects = [os.path.join(EXAMPLE, "tally.toml")]
    for folder in options.projects:
        found = glob.glob(os.path.join(folder, "*.toml"))
        if len(found) != 1:
            sys.exit("%s: no single project file" % folder)
        projects += found

    work = tempfile.mkdtemp(prefix="same-installers-")
    differences = []
    compared = {"installers": 0, "files": 0, "inspections": 0}

    def same(what, a, b):
        if a != b:
            differences.append(what)

    for number, project in enumerate(projects):
        for variant, extra in VARIANTS:
            arch = variant.split("-")[0]
            outputs = {}
            for side, program in (("old", options.old), ("new", options.new)):
                folder = os.path.join(work, side, "%d-%s" % (number, variant))
                os.makedirs(folder)
                args = [program, "build", project, "-o", os.path.join(folder, "setup.exe"),
                        "--arch", arch, "--stub", stubs[arch]] + list(extra)
                outputs[side] = (folder, run(args, os.path.join(work, side)))
            what = "%s (%s)" % (project, variant)
            (old_folder, old_said), (new_folder, new_said) = outputs["old"], outputs["new"]
            same(what + ": build status and messages", old_said, new_said)
            same(what + ": files written", written(old_folder), written(new_folder))
            for name in written(old_folder):
                new_file = os.path.join(new_folder, name)
                compared["files"] += 1
                if not os.path.exists(new_file) or subprocess.run(
                        ["cmp", "-s", os.path.join(old_folder, name), new_file]).returncode:
                    differences.append("%s: %s differs" % (what, name))
            installer = os.path.join(old_folder, "setup.exe")
            if old_said[0] != 0 or not os.path.exists(installer):
                continue
            compared["installers"] += 1
            shown = [installer] + (damaged(installer, old_folder) if variant == "x86" else [])
            if number == 0 and variant == "x86":
                shown.append(stubs["x86"])
            for path in shown:
                for json in ((), ("--json",)):
                    compared["inspections"] += 1
                    # Both programs look at the same file, so the output
                    # names the same path.
                    same("%s: inspect %s %s" % (what, os.path.basename(path), " ".join(json)),
                         run([options.old, "inspect", path] + list(json), work),
                         run([options.new, "inspect", path] + list(json), work))

    broken = os.path.join(work, "broken")
    os.makedirs(broken)
    with open(os.path.join(broken, "a.txt"), "w") as f:
        f.write("text")
    for number, text in enumerate(BROKEN):
        project = os.path.join(broken, "p%d.toml" % number)
        with open(project, "w") as f:
            f.write(text)
        said = [run([program, "build", project, "-o", os.path.join(broken, "out.exe")], work)
                for program in (options.old, options.new)]
        same("broken project %d: %r" % (number, text), said[0], said[1])
        if said[0][0] == 0:
            differences.append("broken project %d was built" % number)
    epoch = dict(ENV)
    ENV["SOURCE_DATE_EPOCH"] = "yesterday"
    same("a bad SOURCE_DATE_EPOCH", *[run([program, "build", projects[0], "-o",
                                           os.path.join(broken, "out.exe")], work)
                                      for program in (options.old, options.new)])
    ENV.update(epoch)

    for line in differences:
        print("DIFFERENT:", line)
    print("%d broken projects refused alike unless listed above" % (len(BROKEN) + 1))
    print("%d projects, %d builds each; %d installers and %d files written compared with cmp, "
          "%d inspect outputs compared: %s" % (
              len(projects), len(VARIANTS), compared["installers"], compared["files"],
              compared["inspections"],
              "%d differences" % len(differences) if differences else "all identical"))
    if not differences:
        shutil.rmtree(work)
    else:
        print("the outputs are kept in", work)
    return 1 if differences else 0


if __name__ == "__main__":
    sys.exit(main())
