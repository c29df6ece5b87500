#!/usr/bin/env python3
"""End-to-end tests of signed installers: a throwaway certificate made with
openssl, installers built by veltpack and signed with osslsigncode (through
veltpack build --sign), checked with osslsigncode verify and veltpack
verify, and the x64 ones installed under Wine by the robot.

    signing_e2e.py GROUP ROBOT STUB_X86 STUB_X64

GROUP is one of:
  signed    single-file and with-volume installers, x86 and x64, signed;
            the uninstaller written is the installer's image without the
            archive section and without the signature; a byte changed in
            the stub range of a signed installer still stops it with code 40
  fixtures  installers built before the stub checksum left out the signing
            fields (tests/signing/fixtures) still verify and install; signed
            afterwards, their own stub stops with 40

This machine cannot run 32-bit programs: the x86 installers are built,
signed and verified, but only the x64 ones run under Wine.
"""

import os
import random
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "lib"))
sys.path.insert(0, os.path.join(HERE, "..", "launcher"))
import velt_archive as va  # noqa: E402
import velt_format as vf  # noqa: E402
from velt_e2e import BUILDER, FAILURES, Run, check, drive_c, reg_delete, winpath  # noqa: E402

GROUP, ROBOT = sys.argv[1:3]
STUBS = {"x86": sys.argv[3], "x64": sys.argv[4]}
WORK = os.path.join(os.environ["VELT_BINARY_DIR"], "tests", "signing", GROUP)
UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
STUB_CHECKSUM = vf.kCorruptStubChecksum
CORRUPT_40 = ("This installer is damaged and cannot continue.\\r\\n\\r\\nPlease ask your vendor "
              "for a new copy.\\r\\n\\r\\nError code: %d" % STUB_CHECKSUM)
# The machine runs 64-bit Windows programs only.
RUNNABLE = ("x64",)


def tool(*args, **kw):
    return subprocess.run(list(args), stdin=subprocess.DEVNULL, capture_output=True,
                          text=True, **kw)


def make_certificate():
    """A self-signed code-signing certificate and its key, made now."""
    key, cert = os.path.join(WORK, "key.pem"), os.path.join(WORK, "cert.pem")
    result = tool("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                  "-out", cert, "-days", "2", "-subj", "/CN=Veltpack throwaway test signer",
                  "-addext", "extendedKeyUsage=codeSigning")
    if result.returncode != 0:
        raise SystemExit("openssl cannot make a certificate (install openssl): " + result.stderr)
    return cert, key


def write_project(directory, name, data_size):
    """One text file and one of random bytes (so the volumes really hold
    some of it), with an uninstaller."""
    os.makedirs(directory, exist_ok=True)
    with open(os.path.join(directory, "note.txt"), "w") as f:
        f.write("Signed and sealed.\n")
    rng = random.Random(7)
    with open(os.path.join(directory, "data.bin"), "wb") as f:
        f.write(bytes(rng.getrandbits(8) for _ in range(data_size)))
    project = os.path.join(directory, "product.toml")
    with open(project, "w") as f:
        f.write('[product]\nname = "%s"\npublisher = "Velt Tests"\nvolume-name = "SIGNED"\n'
                'default-directory = "C:\\\\Velt Tests\\\\%s"\nuninstall-subdir = "Uninstall"\n'
                'uninstaller = "Remove.exe"\n\n[flags]\nuninstall-support = true\n\n'
                '[[files]]\nsource = "note.txt"\n\n[[files]]\nsource = "data.bin"\n'
                % (name, name))
    return project


def volumes_of(installer):
    folder = os.path.dirname(installer)
    return sorted(f for f in os.listdir(folder) if f.upper().startswith("SIGNED")
                  and f.upper().endswith(".VLT"))


def install(installer, name):
    """Runs the installer with /a under Wine; returns the run and the
    uninstaller's Unix path."""
    directory = "C:\\Velt Tests\\" + name
    shutil.rmtree(drive_c(directory), ignore_errors=True)
    reg_delete(UNINSTALL_KEY + name)
    run = Run(winpath(installer), ["/a"], leave=["Installing " + name])
    return run, drive_c(directory + "\\Uninstall\\Remove.exe")


def clean(name):
    shutil.rmtree(drive_c("C:\\Velt Tests\\" + name), ignore_errors=True)
    reg_delete(UNINSTALL_KEY + name)


def check_uninstaller(what, installer, path):
    with open(installer, "rb") as f:
        data = f.read()
    d = va.Installer(data).description
    expected = va.uninstaller_image(data, d["iconOffset"], d["uninstallerIcon"])
    if not check(os.path.exists(path), "%s: no uninstaller at %s" % (what, path)):
        return
    with open(path, "rb") as f:
        got = f.read()
    first = next((i for i in range(min(len(got), len(expected))) if got[i] != expected[i]), None)
    check(got == expected, "%s: uninstaller %d bytes, expected %d; first difference at %r"
          % (what, len(got), len(expected), first))
    cert = va.certificate_entry(got)
    check(cert is not None and cert[1:] == (0, 0),
          "%s: the uninstaller's certificate-table entry is %r" % (what, cert and cert[1:]))
    result = tool("osslsigncode", "verify", "-in", path)
    check(result.returncode != 0, "%s: osslsigncode finds a signature in the uninstaller" % what)


def group_signed():
    cert, key = make_certificate()
    sign = ("osslsigncode sign -certs %s -key %s -n 'Veltpack test' -in {} -out {}.signed"
            " && mv {}.signed {}" % (cert, key))
    for arch in ("x86", "x64"):
        for layout, extra in (("single", []), ("volumes", ["--volume-size", "180K"])):
            what = "%s %s" % (arch, layout)
            name = "Signed %s %s" % (arch, layout)
            folder = os.path.join(WORK, "%s-%s" % (arch, layout))
            project = write_project(os.path.join(folder, "src"), name, 160000)
            installer = os.path.join(folder, "setup.exe")
            built = tool(BUILDER, "build", project, "-o", installer, "--stub", STUBS[arch],
                         "--arch", arch, "--sign", sign, *extra)
            if not check(built.returncode == 0, "%s: build --sign failed: %s%s"
                         % (what, built.stdout, built.stderr)):
                continue
            check("signature: present (" in built.stdout,
                  "%s: build --sign does not report the signature: %s" % (what, built.stdout))
            if layout == "volumes":
                check(len(volumes_of(installer)) >= 1, "%s: no volume files written" % what)
            verified = tool("osslsigncode", "verify", "-CAfile", cert, "-in", installer)
            check(verified.returncode == 0 and "Signature verification: ok" in verified.stdout,
                  "%s: osslsigncode verify: %s%s" % (what, verified.stdout, verified.stderr))
            said = tool(BUILDER, "verify", installer)
            check(said.returncode == 0 and "signature: present (" in said.stdout,
                  "%s: veltpack verify: %s%s" % (what, said.stdout, said.stderr))
            with open(installer, "rb") as f:
                signed = f.read()
            cert_entry = va.certificate_entry(signed)
            section = va.Pe(signed).archive()[1]
            check(cert_entry and cert_entry[1] >= section.raw_offset + section.raw_size,
                  "%s: the signature lies after the archive section" % what)

            # A byte of the stub changed after signing: code 40 still.
            damaged = os.path.join(folder, "damaged.exe")
            with open(damaged, "wb") as f:
                f.write(signed[:0x4E] + bytes([signed[0x4E] ^ 0x20]) + signed[0x4F:])
            said = tool(BUILDER, "verify", damaged)
            check(said.returncode == 1 and "error code %d:" % STUB_CHECKSUM in said.stderr,
                  "%s: veltpack verify of the damaged stub: %s" % (what, said.stderr))

            if arch not in RUNNABLE:
                print("%s: signed and verified; not run (this machine runs no 32-bit programs)"
                      % what, flush=True)
                continue
            run, uninstaller = install(installer, name)
            check(not run.boxes and run.exit_code() == 1,
                  "%s: the signed installer did not install quietly (%s)" % (what, run.describe()))
            installed = drive_c("C:\\Velt Tests\\%s\\data.bin" % name)
            with open(os.path.join(folder, "src", "data.bin"), "rb") as f:
                check(os.path.exists(installed) and open(installed, "rb").read() == f.read(),
                      "%s: data.bin not installed whole" % what)
            check_uninstaller(what, installer, uninstaller)
            clean(name)

            run = Run(winpath(damaged), ["/a"], ["caption=FATAL ERROR|press=1"])
            boxes = list(run.boxes.values())
            check(len(boxes) == 1 and boxes[0]["caption"] == "FATAL ERROR"
                  and CORRUPT_40 in boxes[0]["texts"],
                  "%s: the damaged signed installer does not stop with code 40: %r (%s)"
                  % (what, boxes, run.describe()))
            clean(name)
            print("%s: signed, verified, installed; damaged copy stops with 40" % what, flush=True)


def group_fixtures():
    """Unsigned, they verify and install as before. Signed now, they stop
    with code 40: their own stub checks the bytes as they are, which signing
    changed (rebuild before signing, as docs/signing.md says)."""
    fixtures = os.path.join(HERE, "fixtures")
    cert, key = make_certificate()
    for arch in ("x86", "x64"):
        installer = os.path.join(WORK, "old-%s.exe" % arch)
        shutil.copy(os.path.join(fixtures, "old-%s.exe" % arch), installer)
        said = tool(BUILDER, "verify", installer)
        check(said.returncode == 0 and "signature: none" in said.stdout,
              "old %s: veltpack verify: %s%s" % (arch, said.stdout, said.stderr))
        if arch not in RUNNABLE:
            print("old %s: verified; not run (this machine runs no 32-bit programs)" % arch,
                  flush=True)
            continue
        run, uninstaller = install(installer, "Old Pack")
        check(not run.boxes and run.exit_code() == 1,
              "old %s: did not install quietly (%s)" % (arch, run.describe()))
        note = drive_c("C:\\Velt Tests\\Old Pack\\hello.txt")
        check(os.path.exists(note), "old %s: hello.txt not installed" % arch)
        check_uninstaller("old " + arch, installer, uninstaller)
        clean("Old Pack")
        print("old %s: verified and installed" % arch, flush=True)

        signed = os.path.join(WORK, "old-%s-signed.exe" % arch)
        result = tool("osslsigncode", "sign", "-certs", cert, "-key", key,
                      "-in", installer, "-out", signed)
        check(result.returncode == 0, "old %s: osslsigncode sign: %s" % (arch, result.stderr))
        run = Run(winpath(signed), ["/a"], ["caption=FATAL ERROR|press=1"])
        boxes = list(run.boxes.values())
        check(len(boxes) == 1 and CORRUPT_40 in boxes[0]["texts"],
              "old %s signed: its own stub stops with 40: %r (%s)" % (arch, boxes, run.describe()))
        clean("Old Pack")
        print("old %s signed after building: its stub stops with 40" % arch, flush=True)


def main():
    for program in ("openssl", "osslsigncode"):
        if not shutil.which(program):
            raise SystemExit("%s is missing: run scripts/setup.sh" % program)
    if not BUILDER or not os.path.exists(BUILDER):
        raise SystemExit("no builder at %r: build the native preset first" % BUILDER)
    for arch, stub in STUBS.items():
        if not os.path.exists(stub):
            raise SystemExit("no %s stub at %r: build the win32 and win64 presets" % (arch, stub))
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    Run.work, Run.robot = WORK, ROBOT
    {"signed": group_signed, "fixtures": group_fixtures}[GROUP]()
    if FAILURES:
        print("%d failed" % len(FAILURES))
        sys.exit(1)
    print("all passed")


if __name__ == "__main__":
    main()
