#!/usr/bin/env python3
"""End-to-end tests of the stub's start: installers built by veltpack, some
damaged on purpose, run under Wine by the test robot, judged by the boxes
they show and their exit code.

    launcher_e2e.py GROUP ROBOT STUB IMAGE_TOOL REPORT_PROBE

GROUP is one of: usage, report, corrupt, volumes, image, mutations. The environment
is that of velt_add_wine_test (WINEPREFIX, VELT_BUILDER, VELT_BINARY_DIR,
VELT_SOURCE_DIR).
"""

import os
import random
import re
import shutil
import struct
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
import velt_format as vf  # noqa: E402
import velt_archive as va  # noqa: E402
from velt_e2e import FAILURES, WINE, Run, check, log_text, winpath  # noqa: E402

GROUP, ROBOT, STUB, IMAGE_TOOL, REPORT_PROBE = sys.argv[1:6]
BUILDER = os.environ.get("VELT_BUILDER", "")
# Installers carry this build's stub; the builder checks that it is of the
# build's architecture.
STUB_OPTIONS = ["--stub", STUB, "--arch", os.environ["VELT_ARCH"]]
WORK = os.path.join(os.environ["VELT_BINARY_DIR"], "tests", "launcher", "e2e-" + GROUP)

FATAL = "FATAL ERROR"
NO_ARCHIVE = ("This program performs installations and uninstallations.\\r\\nThere is no "
              "installation archive present.\\r\\nNo Uninstallation parameters were "
              "specified.\\r\\n\\r\\nYou should not delete this program or execute it directly.")
VERSION = ("The installer version does not match the version of VELT.  Close all applications "
           "and reinstall VELT.")
BUILT_IN_CORRUPT = ("This self-extracting archive is corrupt.  This is often caused by a virus "
                    "on your computer.  The installation cannot proceed.\\r\\n\\r\\nCheck your "
                    "system for viruses, then ask your vendor to send you a replacement."
                    "\\r\\n\\r\\nError code: %d")
CORRUPT_13 = ("This installer is damaged and cannot continue.\\r\\n\\r\\nPlease ask your vendor "
              "for a new copy.\\r\\n\\r\\nError code: %d")


def expect_box(what, run, caption, text):
    """The run showed exactly one box, with this caption and text, and the
    program ended with exit code 1."""
    boxes = list(run.boxes.values())
    ok = (len(boxes) == 1 and boxes[0]["caption"] == caption and text in boxes[0]["texts"]
          and run.status == 1 and run.exit_code() == 1)
    check(ok, "%s: expected box %r / %r, got %r (%s)" % (what, caption, text, boxes,
                                                          run.describe()))


# The codes raised once the message table is read: they show its message 13.
AFTER_MESSAGES = (vf.kCorruptEndMarker, vf.kCorruptStubUnreadable, vf.kCorruptStubChecksum,
                  vf.kCorruptTailUnreadable, vf.kCorruptVolumeUnreadable,
                  vf.kCorruptPayloadLength, vf.kCorruptPayloadChecksum, vf.kCorruptPayloadUnpack)


def corrupt_text(code):
    """Codes raised once the message table is read show its message 13."""
    return CORRUPT_13 if code in AFTER_MESSAGES else BUILT_IN_CORRUPT


def expect_corrupt(what, run, code, text=CORRUPT_13):
    expect_box(what, run, FATAL, text % code)


def stub_finding(run):
    """What the stub's first box says about its archive: a corrupt-archive
    code, "version", "no archive" or "volume"; "sound" without a box; None
    when a damaged message table left no number in the corrupt text."""
    boxes = list(run.boxes.values())
    if not boxes:
        return "sound"
    if boxes[0]["caption"] == "Next Disk":
        return "volume"
    text = " ".join(t for t in boxes[0]["texts"] if t)
    if VERSION in text:
        return "version"
    if NO_ARCHIVE in text:
        return "no archive"
    number = re.search(r"(\d+)$", text)
    return int(number.group(1)) if number else None


def verify_finding(path):
    """What veltpack verify finds in the same installer, in the same terms;
    a fault in file record N (which the stub meets only while it places the
    files) as ("record", code)."""
    result = subprocess.run([BUILDER, "verify", path], stdin=subprocess.DEVNULL,
                            capture_output=True, text=True)
    said = result.stdout + result.stderr
    code = re.search(r"corrupt, error code (\d+): (file \d+)?", said)
    if code:
        return ("record", int(code.group(1))) if code.group(2) else int(code.group(1))
    if result.returncode == 0:
        return "sound"
    for words, finding in (("format version", "version"), ("no .velt section", "no archive"),
                           ("the installer would ask for it", "volume")):
        if words in said:
            return finding
    return said.strip()


def expect_verify_agrees(what, path, run):
    """veltpack verify gives the code the stub showed for the installer at
    `path`. Returns False when the stub's box held no readable code."""
    stub, verify = stub_finding(run), verify_finding(path)
    if stub is None:
        return False
    # The stub meets a fault of a file record when it places that file.
    agrees = stub == verify or (isinstance(verify, tuple) and stub == verify[1])
    check(agrees, "%s: the stub shows %r, veltpack verify %r (%s)" % (what, stub, verify,
                                                                    run.describe()))
    return True


def fatal_step():
    return "caption=FATAL ERROR|press=1"


def build(project_dir, name, extra=()):
    out = os.path.join(WORK, name)
    subprocess.run([BUILDER, "build", os.path.join(project_dir, "product.toml"), "-o", out]
                   + STUB_OPTIONS + list(extra), check=True, stdout=subprocess.DEVNULL)
    return out


def write_project(directory, flags="", data_size=3000, seed=1):
    """A small product: one text file and one file of random (so
    incompressible) bytes. It installs without questions into a folder of
    the test group's own."""
    os.makedirs(directory, exist_ok=True)
    with open(os.path.join(directory, "note.txt"), "w") as f:
        f.write("A note.\n")
    rng = random.Random(seed)
    with open(os.path.join(directory, "data.bin"), "wb") as f:
        f.write(bytes(rng.getrandbits(8) for _ in range(data_size)))
    with open(os.path.join(directory, "product.toml"), "w") as f:
        f.write('[product]\nname = "Probe"\npublisher = "Velt Tests"\nvolume-name = "PROBE"\n'
                'default-directory = "C:\\\\Velt Tests\\\\launcher-%s"\n'
                '\n[flags]\nautomatic = true\n%s\n\n[[files]]\nsource = "note.txt"\n'
                '\n[[files]]\nsource = "data.bin"\n' % (GROUP, flags))


def save(name, data):
    path = os.path.join(WORK, name)
    with open(path, "wb") as f:
        f.write(data)
    return path


# ------------------------------------------------------------------ groups

def group_usage():
    base = build(PROJECT, "probe.exe")
    title = os.path.basename(base)
    usage = ("\\n\\nUsage:\\n%s [/a] [/d:<dir>] [/n:<name>] [/u:<name>]\\n\\n/a\\tAutomatic mode"
             "\\n/d:\"dir\"\\tOverride installation directory\\n/n:\"name\"\\tOverride product "
             "name\\n/u:\"name\"\\tUninstall product by name" % title)
    cases = [
        (["/x"], "Illegal command line atom:\\nx" + usage),
        (["setup"], "Unexpected command line parameter:\\nsetup" + usage),
        (["/u"], "Product name required" + usage),
        (["/a", "-U"], "Product name required" + usage),
    ]
    for args, text in cases:
        run = Run(base, args, [fatal_step()])
        expect_box("usage %s" % args, run, FATAL, text)
    # The bare stub has no archive section; with /u it never looks for one:
    # it uninstalls, and a product that is not registered is an error.
    stub = shutil.copy(STUB, os.path.join(WORK, "bare.exe"))
    expect_box("no archive", Run(stub, [], [fatal_step()]), FATAL, NO_ARCHIVE)
    not_installed = "No product named 'Probe' is installed."
    expect_box("bare /u:", Run(stub, ["/u:Probe"], ["caption=Error|press=1"]), "Error",
               not_installed)
    # Switches that are understood end the run cleanly (nothing is installed yet).
    run = Run(base, ["/a", "/d:C:\\ProbeDir", "/N:Other"])
    check(run.status == 1 and not run.boxes, "sound switches (%s)" % run.describe())


def group_report():
    cases = [
        # (mode, text, expected boxes as (caption, text))
        ("error", "Disk full", [("Error", "Disk full"), ("Error", "shown 2")]),
        ("error", "  \t ", [("Error", "shown 2")]),         # a blank text shows nothing
        ("automatic", "Disk full", []),                     # automatic mode shows nothing
        ("corrupt", "", [(FATAL, BUILT_IN_CORRUPT % 77)]),
        ("fatal", "Stop here", [(FATAL, "Stop here")]),     # fatal boxes always show
    ]
    # The archive's corrupt-archive text takes the code when it has just one
    # plain %d; any other text, however hostile, is shown as it stands.
    for text, shown in (("Broken (%d), 100%%", "Broken (77), 100%"), ("Code %03d", "Code 077"),
                        ("%s%s%s%n", None), ("%999999d", None), ("%", None), ("%ls", None),
                        ("Code %s", None), ("%d %d", None), ("%I64d", None), ("no code", None)):
        cases.append(("corrupt", text, [(FATAL, text if shown is None else shown)]))
    for mode, text, expected in cases:
        steps = ["caption=%s|press=1" % caption for caption, _ in expected]
        run = Run(REPORT_PROBE, [mode, text], steps)
        seen = [(b["caption"], [t for t in b["texts"] if t]) for b in run.boxes.values()]
        check(run.status == 1 and len(seen) == len(expected)
              and all(c == e[0] and e[1] in t for (c, t), e in zip(seen, expected)),
              "report %s %r: expected %r, got %r (%s)" % (mode, text, expected, seen,
                                                          run.describe()))


def renamed_section(data, name):
    pe = va.Pe(data)
    index, s = pe.archive()
    out = bytearray(data)
    out[s.entry:s.entry + 8] = name.ljust(8, b"\0")
    return bytes(out)


def group_corrupt():
    base = build(PROJECT, "probe.exe")
    inst = va.Installer.load(base)
    d = inst.description

    def changed(**fields):
        new = dict(d)
        new.update(fields)
        return new

    plain = va.write_description(d)
    other_key = va.checksum(plain) ^ 0x5A5A5A5A
    size = len(inst.file_data)
    flat = bytes(size)
    # (what, change, code, raised only once the file data is assembled,
    # after the message table was read)
    header_cases = [
        ("magic", dict(header=dict(magic=0)), vf.kCorruptMagic, False),
        ("description size 0", dict(header=dict(description_size=0)),
         vf.kCorruptDescriptionSize, False),
        ("description size -5", dict(header=dict(description_size=-5)),
         vf.kCorruptDescriptionSize, False),
        ("description size past the section", dict(header=dict(description_size=0x100000)),
         vf.kCorruptDescriptionSize, False),
        ("section data size -1", dict(header=dict(section_data_size=-1)),
         vf.kCorruptSectionDataSize, False),
        ("section data before the file data",
         dict(header=dict(section_data_size=va.HEADER_SIZE + inst.description_size - 1)),
         vf.kCorruptSectionDataSize, True),
        ("section data past the section", dict(header=dict(section_data_size=0x7FFFFFF0)),
         vf.kCorruptSectionDataSize, True),
        ("description does not unpack", dict(packed=b"\x11" * 64),
         vf.kCorruptDescriptionUnpack, False),
        ("description checksum",
         dict(header=dict(key=other_key), packed=va.scramble(va.pack(plain), other_key)),
         vf.kCorruptDescriptionChecksum, False),
        ("stub checksum", dict(header=dict(stub_checksum=inst.stub_checksum ^ 1)),
         vf.kCorruptStubChecksum, False),
        ("blank volume name", dict(description=changed(volumeBaseName=b" \t")),
         vf.kCorruptVolumeNameBlank, False),
        ("icon offset", dict(description=changed(iconOffset=vf.kMaxIconOffset + 1)),
         vf.kCorruptIconOffset, False),
        ("no files", dict(description=changed(fileCount=0, storedSizes=[])),
         vf.kCorruptFileCount, False),
        ("negative stored size",
         dict(description=changed(storedSizes=[-1] + d["storedSizes"][1:])),
         vf.kCorruptStoredSize, False),
        ("no file data", dict(description=changed(payloadSize=0)), vf.kCorruptPayloadSize, False),
        ("no languages", dict(description=changed(languageCount=0, languageNames=[],
                                                  messages=[])), vf.kCorruptNoLanguages, False),
        ("10001 messages", dict(description=changed(messageCount=vf.kMaxMessageCount + 1)),
         vf.kCorruptMessageCount, False),
        ("no messages", dict(description=changed(messageCount=0, messages=[])),
         vf.kCorruptMessageCount, False),
        ("blank uninstaller name", dict(description=changed(uninstallerName=b"")),
         vf.kCorruptUninstallerNameBlank, False),
        ("file data checksum",
         dict(file_data=bytes([inst.file_data[0] ^ 1]) + inst.file_data[1:]),
         vf.kCorruptPayloadChecksum, False),
        ("file data does not unpack",
         dict(file_data=flat, description=changed(payloadChecksum=va.checksum(flat),
                                                  productFlags=d["productFlags"] | va.PF_COMPRESSED)),
         vf.kCorruptPayloadUnpack, False),
    ]
    for name, change, code, late in header_cases:
        text = CORRUPT_13 if late else corrupt_text(code)
        path = save("corrupt-%d.exe" % code, inst.build(**change))
        run = Run(path, [], [fatal_step()])
        expect_corrupt(name, run, code, text)
        expect_verify_agrees(name, path, run)
    # The end marker is read after the message table: message 13 is shown.
    code = vf.kCorruptEndMarker
    path = save("corrupt-%d.exe" % code, inst.build(description=changed(endMarker=va.END_MARKER ^ 1)))
    run = Run(path, [], [fatal_step()])
    expect_corrupt("end marker", run, code, CORRUPT_13)
    expect_verify_agrees("end marker", path, run)

    for version in (621, 62):
        path = save("version-%d.exe" % version, inst.build(header=dict(version=version)))
        run = Run(path, [], [fatal_step()])
        expect_box("version %d" % version, run, FATAL, VERSION)
        expect_verify_agrees("version %d" % version, path, run)
    for name in (b".VELT", b".veltx"):
        path = save("renamed.exe", renamed_section(inst.data, name))
        run = Run(path, [], [fatal_step()])
        expect_box("section named %r" % name, run, FATAL, NO_ARCHIVE)
        expect_verify_agrees("section named %r" % name, path, run)

    # The checks of the PE walk read the file the command line names: a
    # sound installer started with a damaged copy's name as its first word.
    # Without checksums, so that a changed header is not caught as code 40.
    base = save("unchecked.exe", inst.build(description=changed(
        productFlags=d["productFlags"] & ~va.PF_CHECKSUMS)))
    inst = va.Installer.load(base)
    pe = va.Pe(inst.data)
    index, s = pe.archive()

    def with_word(offset, fmt, value):
        out = bytearray(inst.data)
        struct.pack_into(fmt, out, offset, value)
        return bytes(out)

    copy_cases = [
        ("PE offset 0x3F", with_word(0x3C, "<H", vf.kMinPeOffset - 1), vf.kCorruptPeOffset),
        ("PE offset 0x1001", with_word(0x3C, "<H", vf.kMaxPeOffset + 1), vf.kCorruptPeOffset),
        ("3 sections", with_word(pe.pe + 6, "<H", vf.kMinSectionCount - 1),
         vf.kCorruptSectionCount),
        ("100 sections", with_word(pe.pe + 6, "<H", vf.kMaxSectionCount + 1),
         vf.kCorruptSectionCount),
        ("raw offset 0", with_word(s.entry + 0x14, "<I", 0), vf.kCorruptRawOffsetZero),
        ("raw offset unreachable", with_word(s.entry + 0x14, "<I", 0x80000000),
         vf.kCorruptRawOffsetUnreachable),
        ("stub past the end", with_word(s.entry + 0x14, "<I", len(inst.data) + 4096),
         vf.kCorruptStubUnreadable),
        ("section past the end", with_word(s.entry + 0x10, "<I", s.raw_size + 4096),
         vf.kCorruptTailUnreadable),
    ]
    for name, data, code in copy_cases:
        path = save("copy-%d.exe" % code, data)
        run = Run(winpath(path), [], [fatal_step()], app=base)
        expect_corrupt(name, run, code, corrupt_text(code))
        # The stub reads this file's headers and its own mapped archive,
        # which is the one the file holds: verify reads the file alone.
        expect_verify_agrees(name, path, run)
    # The first word of an unquoted command line ends at the first blank:
    # the rest of the name is taken for an argument.
    spaced = os.path.join(WORK, "two words")
    os.makedirs(spaced, exist_ok=True)
    shutil.copy(base, os.path.join(spaced, "probe.exe"))
    line = winpath(os.path.join(spaced, "probe"))
    run = Run(None, [], [fatal_step()], app=base, line=line)
    check(run.status == 1 and len(run.boxes) == 1 and any(
        t.startswith("Unexpected command line parameter:\\nwords\\\\probe\\n\\nUsage:")
        for b in run.boxes.values() for t in b["texts"]),
        "unquoted path with a blank (%s)" % run.describe())
    # Quoted, the name is found, with ".EXE" added.
    run = Run(None, [], [], app=base, line='"%s" /a' % line)
    check(run.status == 1 and not run.boxes, "quoted path with a blank (%s)" % run.describe())
    # Letters beyond ASCII are part of an unquoted name, not blanks.
    accented = winpath(os.path.join(WORK, "caf\u00e9", "probe.exe"))
    run = Run(None, [], ["caption=Error|press=1"], app=base, line=accented + " /u:Probe")
    expect_box("unquoted path with an accented letter", run, "Error",
               "No product named 'Probe' is installed.")


# Volumes are as large as the stub and 48 KiB more, so that the first part
# holds about 48 KiB of the file data whatever the stub's size.
VOLUME_SIZE = (os.path.getsize(STUB) // 1024 + 48) * 1024
ONE_VOLUME = VOLUME_SIZE // 2 + 48 * 1024
TWO_VOLUMES = VOLUME_SIZE + VOLUME_SIZE // 2 + 48 * 1024


def volume_project(directory, data_size):
    write_project(directory, data_size=data_size, seed=data_size)
    return build(directory, "vol-%d.exe" % data_size,
                 ["--volume-size", "%dK" % (VOLUME_SIZE // 1024)])


def group_volumes():
    for data_size, volumes in ((ONE_VOLUME, 1), (TWO_VOLUMES, 2)):
        installer = volume_project(os.path.join(WORK, "p%d" % data_size), data_size)
        names = ["PROBE%d.VLT" % (k + 2) for k in range(volumes)]
        for name in names:
            check(os.path.exists(os.path.join(WORK, name)), "volume %s was written" % name)
        check(not os.path.exists(os.path.join(WORK, "PROBE%d.VLT" % (volumes + 2))),
              "no volume %d" % (volumes + 2))
        run = Run(installer)
        check(run.status == 1 and not run.boxes,
              "%d volume files assemble (%s)" % (volumes + 1, run.describe()))

    installer = os.path.join(WORK, "vol-%d.exe" % TWO_VOLUMES)
    inst = va.Installer.load(installer)
    total = inst.description["payloadSize"]
    in_section = len(inst.file_data)
    second = os.path.join(WORK, "PROBE2.VLT")
    aside = second + ".aside"
    shutil.move(second, aside)
    prompt = ("Please insert disk 2 of the installation in drive Z: and click OK.\\r\\n"
              "Current size: %d\\r\\nTotal size: %d\\r\\nFilename: %s"
              % (in_section, total, log_text(winpath(second))))
    # Cancel, then No to the question: asked again; Cancel, then Yes ends it.
    run = Run(installer, [], ["caption=Next Disk|press=2", "caption=Probe Setup|press=7",
                              "caption=Next Disk|press=2", "caption=Probe Setup|press=6"])
    captions = [b["caption"] for b in run.boxes.values()]
    check(run.status == 1 and captions == ["Next Disk", "Probe Setup"] * 2
          and prompt in list(run.boxes.values())[0]["texts"]
          and "Do you really want to cancel the installation of Probe?" in
          list(run.boxes.values())[1]["texts"],
          "missing volume: prompt %r, cancel question (%s, boxes %r)"
          % (prompt, run.describe(), list(run.boxes.values())))
    # A prompt text that does not fit its number and drive letter (%d, %c)
    # is shown as it stands; %s would read text at the address 2.
    for n, hostile in enumerate((b"Disk %s in drive %c:", b"%s%s%s%n")):
        d = dict(inst.description)
        d["messages"] = [list(m) for m in d["messages"]]
        d["messages"][vf.MsgNextVolume][0] = hostile
        path = save("vol-hostile-%d.exe" % n, inst.build(description=d))
        text = hostile.decode() + prompt[prompt.index("\\r\\nCurrent size"):]
        run = Run(path, [], ["caption=Next Disk|press=2", "caption=Probe Setup|press=6"])
        boxes = list(run.boxes.values())
        check(run.status == 1 and len(boxes) == 2 and text in boxes[0]["texts"],
              "prompt text %r shown as it stands: expected %r (%s, boxes %r)"
              % (hostile, text, run.describe(), boxes))
    # OK after the volume is back: the run goes on and ends cleanly. The
    # robot presses OK once the volume is there again.
    run = Run(installer, [], ["caption=Next Disk|waitfile=%s|press=1" % winpath(second)],
              background=True)
    if check(run.wait_for_boxes(1), "the prompt appears (%s)" % run.log_path):
        shutil.move(aside, second)
    run.wait()
    check(run.status == 1 and len(run.boxes) == 1,
          "OK after the volume is back (%s)" % run.describe())
    if os.path.exists(aside):
        shutil.move(aside, second)
    # One byte too many in the last volume.
    third = os.path.join(WORK, "PROBE3.VLT")
    with open(third, "ab") as f:
        f.write(b"x")
    run = Run(installer, [], [fatal_step()])
    expect_corrupt("volume too long", run, vf.kCorruptPayloadLength)
    expect_verify_agrees("volume too long", installer, run)


def group_image():
    for name, flags in (("plain", ""), ("tally", None)):
        if flags is None:
            src = os.path.join(os.environ["VELT_SOURCE_DIR"], "examples", "tally.toml")
            installer = os.path.join(WORK, "tally.exe")
            subprocess.run([BUILDER, "build", src, "-o", installer] + STUB_OPTIONS,
                           check=True, stdout=subprocess.DEVNULL)
        else:
            installer = build(PROJECT, "image-%s.exe" % name)
        inst = va.Installer.load(installer)
        with open(installer, "ab") as f:        # bytes after the section are kept
            f.write(b"appended tail")
        with open(installer, "rb") as f:
            data = f.read()
        out = os.path.join(WORK, "image-%s.out" % name)
        result = subprocess.run([WINE, IMAGE_TOOL, winpath(installer), winpath(out)],
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.PIPE)
        if not check(result.returncode == 0, "image tool on %s: %r" % (name, result.stderr)):
            continue
        d = inst.description
        expected = va.uninstaller_image(data, d["iconOffset"], d["uninstallerIcon"])
        with open(out, "rb") as f:
            got = f.read()
        first = next((i for i in range(min(len(got), len(expected)))
                      if got[i] != expected[i]), None)
        check(got == expected, "uninstaller image of %s: %d vs %d bytes, first difference "
              "at %r" % (name, len(got), len(expected), first))
        check(va.Pe(got).count == va.Pe(data).count - 1, "one section fewer (%s)" % name)
        offset = d["iconOffset"]
        check(offset == 0 or got[offset:offset + va.ICON_SIZE] == d["uninstallerIcon"],
              "icon patched (%s)" % name)


def mutants(inst, rng, count):
    """Damaged copies of a sound installer: bits flipped in the section,
    the section cut short, and bits flipped in the unpacked description
    (checksums off, so the reader meets the damage)."""
    pe = va.Pe(inst.data)
    index, s = pe.archive()
    start, end = s.raw_offset, s.raw_offset + s.raw_size
    plain = va.write_description(dict(inst.description,
                                      productFlags=inst.description["productFlags"] & ~va.PF_CHECKSUMS))
    for n in range(count):
        kind = n % 3
        if kind == 0:
            out = bytearray(inst.data)
            for _ in range(rng.choice((1, 1, 2, 8))):
                at = rng.randrange(start, start + inst.section_data_size)
                out[at] ^= 1 << rng.randrange(8)
            yield "flip", bytes(out)
        elif kind == 1:
            cut = rng.randrange(0, inst.section_data_size)
            out = bytearray(inst.data[:start + cut]) + bytes(end - start - cut)
            yield "cut at %d" % cut, bytes(out)
        else:
            damaged = bytearray(plain)
            for _ in range(rng.choice((1, 2, 4))):
                at = rng.randrange(len(damaged))
                damaged[at] ^= 1 << rng.randrange(8)
            key = va.checksum(bytes(damaged))
            packed = va.scramble(va.pack(bytes(damaged)), key)
            yield "description flip", inst.build(packed=packed, header=dict(key=key))


def group_mutations():
    write_project(PROJECT, flags="", data_size=3000)
    base = build(PROJECT, "probe.exe")
    inst = va.Installer.load(base)
    rng = random.Random(int(os.environ.get("VELT_MUTATION_SEED", "6")))
    count = int(os.environ.get("VELT_MUTATIONS", "210"))
    outcomes = {}
    compared = 0
    for n, (what, data) in enumerate(mutants(inst, rng, count)):
        # A name of its own for each: Wine may still hold the image of the
        # one before, and then fails to start a new file under that name.
        path = save("mutant-%d.exe" % n, data)
        # A fatal box is closed; a volume prompt (the damage may make the
        # section look short) is cancelled and the question answered Yes.
        # Damage to the description cannot move a sound run's files
        # elsewhere, or make it ask anything.
        run = Run(path, ["/a", "/d:C:\\VeltMutants"], ["close", "press=6", "press=6"])
        code = run.exit_code()
        captions = [b["caption"] for b in run.boxes.values()]
        texts = [t for b in run.boxes.values() for t in b["texts"] if t]
        # A damaged message table may put any text in the corrupt-archive
        # box; what matters is that the program stopped on its own.
        ok = (code == 1 and run.status in (1, 104)
              and all(c in (FATAL, "Next Disk", "Probe Setup") for c in captions))
        outcome = "clean" if not captions else texts[0].rsplit(" ", 1)[-1] if texts else "?"
        outcomes[outcome] = outcomes.get(outcome, 0) + 1
        if not check(ok, "mutant %d (%s): exit %r, boxes %r (%s)"
                     % (n, what, code, list(run.boxes.values()), run.describe())):
            shutil.copy(path, os.path.join(WORK, "failed-mutant-%d.exe" % n))
        failures = len(FAILURES)
        if expect_verify_agrees("mutant %d (%s)" % (n, what), path, run):
            compared += 1
        if len(FAILURES) > failures:
            shutil.copy(path, os.path.join(WORK, "disagreeing-mutant-%d.exe" % n))
        os.remove(path)
    print("outcomes:", sorted(outcomes.items()))
    # Only a corrupt-archive text that the damage itself rewrote hides the
    # stub's code; that must stay rare, or the comparison says little.
    print("veltpack verify compared on %d of %d mutants" % (compared, count))
    check(compared >= count * 9 // 10, "verify compared on only %d of %d mutants" % (compared, count))


if __name__ == "__main__":
    if not os.path.isfile(BUILDER) and GROUP != "report":
        sys.exit("no native builder at %r: build it (the native preset) first" % BUILDER)
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    Run.work, Run.robot = WORK, ROBOT
    # The installers' progress dialog is no question.
    Run.leave = ["Installing "]
    PROJECT = os.path.join(WORK, "project")
    write_project(PROJECT, flags="checksums = true")
    globals()["group_" + GROUP]()
    print("%d runs, %d failures" % (Run.count, len(FAILURES)))
    sys.exit(1 if FAILURES else 0)
