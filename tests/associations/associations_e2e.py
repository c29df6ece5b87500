#!/usr/bin/env python3
"""End-to-end test of the registry entries of an installation: the
product's own key under both roots and the file associations. An installer
built by veltpack installs in automatic mode under Wine; the test opens a
file of an associated type through Wine's shell and sees the installed
command run, reads every association back with Wine's reg.exe, installs a
second time over the first (some commands changed), reads the association
records of Uninstall.DAT and the error lines of Install.LOG, then
uninstalls: every value from before is back with its type, values others
changed since stay theirs, and only keys the installations made are gone.

    associations_e2e.py ROBOT STUB
"""

import json
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "lib"))
import velt_format as vf  # noqa: E402
from velt_e2e import (BUILDER, build_installer, FAILURES, Run, WINE, check,  # noqa: E402
                      drive_c, log_text, reg_delete, reg_values, cmd, reg, wait_until,
                      winpath)

ROBOT, STUB = sys.argv[1:3]
WORK = os.path.join(os.environ["VELT_BINARY_DIR"], "tests", "associations", "e2e")
NAME = "Assoc Probe"
BACKUP = NAME + " Backup"
DIRECTORY = "C:\\Velt Tests\\Assoc Probe"
DOCUMENTS = "C:\\Velt Tests\\Assoc Documents"
PRODUCT_KEY = "Velt Tests\\Assoc Probe"
BAD_PRODUCT_KEY = "Velt Tests\\" + "k" * 300        # longer than a key name may be
LONG_VERB = "v" * 300
UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + NAME
OPEN_COMMAND = '"%s\\open.cmd" "%%1"' % DIRECTORY
Q7_COMMAND = '"%s\\q7.exe" "%%1"' % DIRECTORY

# The associations of the product, in description order.
ASSOCIATIONS = [
    dict(extension=".vtq1", file_type="VeltTest.Q1", description="Q1 document", verb="open",
         command='"%InstallDir%\\open.cmd" "%1"', default_verb=True, language="English"),
    dict(extension="vtq1", file_type="VeltTest.Q1", verb="drive",
         command='%InstallDrive%:\\drive.exe %SystemDir% "%SharedDir%" %InstallDrive%'),
    dict(extension="vtq2", command="unknown.exe"),                   # unknown, no type
    dict(extension="txt", file_type="VeltTest.Txt", verb="open", command="notepad.exe %1"),
    dict(extension="vtq3", description="Not used", verb="veltverb", command="q3.exe"),
    dict(extension="vtq5", file_type="VeltTest.Q5", command="q5.exe", language="Deutsch"),
    dict(extension="vtq7", file_type="VeltTest.Q7", description="Q7 document", verb="open",
         command='"%InstallDir%\\q7.exe" "%1"'),
    dict(extension="vtq8", file_type="VeltTest.Q8", verb=LONG_VERB, command="q8.exe"),
    # commands before of REG_EXPAND_SZ, short and long
    dict(extension="vtq9", file_type="VeltTest.Q9", verb="open", command="q9.exe"),
    dict(extension="vtqa", file_type="VeltTest.QA", verb="open", command="qa.exe"),
    # a verb key that was there, without a command
    dict(extension="vtqb", file_type="VeltTest.QB", verb="edit", command="qb.exe"),
    # a command that someone else changes after the installation
    dict(extension="vtqc", file_type="VeltTest.QC", verb="open", command="qc.exe"),
    # commands that the second installation changes ({label}): nothing
    # before, and a command of someone else's before
    dict(extension="vtqd", file_type="VeltTest.QD", verb="open", command="qd-{label}.exe"),
    dict(extension="vtqe", file_type="VeltTest.QE", verb="open", command="qe-{label}.exe"),
]
CLASS_KEYS = [".vtq1", ".vtq2", ".vtq3", ".vtq5", ".vtq7", ".vtq8", "VeltTest.Q1",
              "VeltTest.Q3", "VeltTest.Q5", "VeltTest.Q7", "VeltTest.Q8", "VeltTest.Txt",
              ".vtq9", ".vtqa", ".vtqb", ".vtqc", ".vtqd", ".vtqe", "VeltTest.Q9", "VeltTest.QA",
              "VeltTest.QB", "VeltTest.QC", "VeltTest.QD", "VeltTest.QE"]

# What the system had before: an extension with a type of its own (.vtq3),
# and one whose type, description and command the product replaces (.vtq7;
# its command differs from the product's only in letter case), and the
# verbs of the later associations: (key, default, type).
Q9_BEFORE = "%SystemRoot%\\q9.exe %1"                       # 32 bytes or less
QA_BEFORE = '"%ProgramFiles%\\Velt Long Name\\qa.exe" "%1"'    # more
BEFORE = [("HKCR\\.vtq3", "VeltTest.Q3", "REG_SZ"),
          ("HKCR\\VeltTest.Q3", "Q3 original", "REG_SZ"),
          ("HKCR\\.vtq7", "Old.Type7", "REG_SZ"),
          ("HKCR\\VeltTest.Q7", "Old description", "REG_SZ"),
          ("HKCR\\VeltTest.Q7\\shell\\open\\command", Q7_COMMAND.upper(), "REG_SZ"),
          ("HKCR\\VeltTest.Q9\\shell\\open\\command", Q9_BEFORE, "REG_EXPAND_SZ"),
          ("HKCR\\VeltTest.QA\\shell\\open\\command", QA_BEFORE, "REG_EXPAND_SZ"),
          ("HKCR\\VeltTest.QB\\shell\\edit", "Edit it", "REG_SZ"),
          ("HKCR\\VeltTest.QC\\shell\\open\\command", "before.exe", "REG_SZ"),
          ("HKCR\\VeltTest.QE\\shell\\open\\command", "original.exe", "REG_SZ")]


def project(registry_key, label):
    toml = ('[product]\nname = %s\npublisher = "Velt Tests"\nversion = "1.0"\n'
            'default-directory = %s\nregistry-key = %s\n\n[flags]\nuninstall-support = true\n\n'
            '[[files]]\nsource = "open.cmd"\n\n'
            '[[languages]]\ntexts = "en"\n\n[[languages]]\ntexts = "de"\n\n'
            % (json.dumps(NAME), json.dumps(DIRECTORY), json.dumps(registry_key)))
    for a in ASSOCIATIONS:
        toml += "[[associations]]\nextension = %s\n" % json.dumps(a["extension"])
        for key in ("file_type", "description", "verb", "command", "default_verb", "language"):
            if key in a:
                value = a[key].replace("{label}", label) if key == "command" else a[key]
                toml += "%s = %s\n" % (key.replace("_", "-"), json.dumps(value))
        toml += "\n"
    return toml


def build(label, registry_key):
    folder = os.path.join(WORK, label)
    os.makedirs(folder)
    with open(os.path.join(folder, "open.cmd"), "w", newline="\r\n") as f:
        f.write('@echo opened %%1> "%s\\opened.txt"\n' % DIRECTORY)
    with open(os.path.join(folder, "product.toml"), "w") as f:
        f.write(project(registry_key, label))
    installer = os.path.join(folder, "Setup.exe")
    inspected = build_installer(os.path.join(folder, "product.toml"), installer, STUB)
    return installer, inspected


def install(installer, inspected):
    progress = log_text(inspected["messages"][vf.MsgProgressCaption][0].replace("<product>", NAME))
    run = Run(winpath(installer), ["/a"], leave=[progress])
    check(run.exit_code() == 1 and not run.boxes,
          "an automatic installation ends with 1 and no box (%s, boxes %r)"
          % (run.describe(), run.boxes))


def read_text(path):
    path = drive_c(path)
    if not os.path.exists(path):
        return ""
    with open(path, "rb") as f:
        return f.read().decode("cp1252")


def clean(txt_before):
    for key in CLASS_KEYS:
        reg_delete("HKCR\\" + key)
    if txt_before is None:
        reg_delete("HKCR\\.txt")
    else:
        reg("add", "HKCR\\.txt", "/ve", "/d", txt_before.get("", ("", ""))[1], "/f")
        reg("delete", "HKCR\\.txt", "/v", BACKUP, "/f", check_status=False)
    for root in ("HKLM", "HKCU"):
        reg_delete(root + "\\Software\\Velt Tests")
    reg_delete(UNINSTALL_KEY)
    for path in (DIRECTORY, DOCUMENTS):
        shutil.rmtree(drive_c(path), ignore_errors=True)


def default_of(key):
    values = reg_values(key)
    return None if values is None else values.get("", (None, None))[1]


def check_opening():
    """A file of the associated type, opened through Wine's shell, runs the
    installed command on it."""
    os.makedirs(drive_c(DOCUMENTS), exist_ok=True)
    with open(drive_c(DOCUMENTS + "\\report.vtq1"), "w") as f:
        f.write("a Q1 document\n")
    subprocess.run([WINE, "cmd", "/c", "start", "", DOCUMENTS + "\\report.vtq1"],
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    # The command's line is complete once its last character is written.
    expected = 'opened "%s\\report.vtq1"' % DOCUMENTS
    wait_until(lambda: expected in read_text(DIRECTORY + "\\opened.txt"))
    text = read_text(DIRECTORY + "\\opened.txt")
    check(expected in text,
          "opening report.vtq1 ran the installed open.cmd on it (it wrote %r)" % text)


def expected_table(shared, system, txt_type, label):
    """key -> the values it must hold after an installation (None: the key
    must not exist). BACKUP is what the key was before the first
    installation: "" of REG_NONE for a key it made, else the earlier default
    with its type ("" when it had none). A value is its data, or (type,
    data) where the type matters."""
    drive_command = 'C:\\drive.exe %s "%s" C' % (system, shared)
    made = ("REG_NONE", "")
    return {
        # a type of its own, with its description, its default verb, two verbs
        "HKCR\\.vtq1": {"": "VeltTest.Q1", BACKUP: made},
        "HKCR\\VeltTest.Q1": {"": "Q1 document", BACKUP: made},
        "HKCR\\VeltTest.Q1\\shell": {"": "open", BACKUP: made},
        "HKCR\\VeltTest.Q1\\shell\\open\\command": {"": OPEN_COMMAND, BACKUP: made},
        # %InstallDrive% is the letter alone, also before a colon
        "HKCR\\VeltTest.Q1\\shell\\drive\\command": {"": drive_command, BACKUP: made},
        # an unknown extension without a type is left alone
        "HKCR\\.vtq2": None,
        # "txt" is .txt
        "HKCR\\.txt": {"": "VeltTest.Txt",
                       BACKUP: made if txt_type is None else ("REG_SZ", txt_type)},
        "HKCR\\VeltTest.Txt\\shell\\open\\command": {"": "notepad.exe %1", BACKUP: made},
        # a known extension without a type: its type gets the verb and
        # keeps its description; no default verb was asked for
        "HKCR\\.vtq3": {"": "VeltTest.Q3"},
        "HKCR\\VeltTest.Q3": {"": "Q3 original"},
        "HKCR\\VeltTest.Q3\\shell": {BACKUP: made},
        "HKCR\\VeltTest.Q3\\shell\\veltverb\\command": {"": "q3.exe", BACKUP: made},
        # another language's association
        "HKCR\\.vtq5": None,
        "HKCR\\VeltTest.Q5": None,
        # replaced values are kept, also a command that differed only in
        # letter case
        "HKCR\\.vtq7": {"": "VeltTest.Q7", BACKUP: "Old.Type7"},
        "HKCR\\VeltTest.Q7": {"": "Q7 document", BACKUP: "Old description"},
        "HKCR\\VeltTest.Q7\\shell\\open\\command": {"": Q7_COMMAND, BACKUP: Q7_COMMAND.upper()},
        # a verb too long for a key name: what was made of it stays
        "HKCR\\.vtq8": {"": "VeltTest.Q8", BACKUP: made},
        "HKCR\\VeltTest.Q8\\shell\\" + LONG_VERB: None,
        # the earlier commands kept with their type, whatever their length
        "HKCR\\VeltTest.Q9\\shell\\open\\command": {"": ("REG_SZ", "q9.exe"),
                                                     BACKUP: ("REG_EXPAND_SZ", Q9_BEFORE)},
        "HKCR\\VeltTest.QA\\shell\\open\\command": {"": ("REG_SZ", "qa.exe"),
                                                     BACKUP: ("REG_EXPAND_SZ", QA_BEFORE)},
        # a verb that was there is not marked as made; its command is
        "HKCR\\VeltTest.QB\\shell\\edit": {"": "Edit it"},
        "HKCR\\VeltTest.QB\\shell\\edit\\command": {"": "qb.exe", BACKUP: made},
        # a reinstall keeps the first backup, not its own earlier command
        "HKCR\\VeltTest.QD\\shell\\open\\command": {"": "qd-%s.exe" % label, BACKUP: made},
        "HKCR\\VeltTest.QE\\shell\\open\\command": {"": "qe-%s.exe" % label,
                                                     BACKUP: "original.exe"},
    }


def after_uninstall(txt_before):
    """key -> its values once the product is uninstalled."""
    # Keys the installations made go; the extensions of the types that
    # were there before were made too.
    table = {"HKCR\\" + key: None
             for key in (".vtq1", "VeltTest.Q1", ".vtq2", ".vtq5", "VeltTest.Q5", ".vtq8",
                         "VeltTest.Q8", "VeltTest.Txt", ".vtq9", ".vtqa", ".vtqb", ".vtqc",
                         ".vtqd", "VeltTest.QD", ".vtqe")}
    table.update({
        # what was there before is back, with its type
        "HKCR\\.txt": None if txt_before is None
        else {name: data for name, (kind, data) in txt_before.items()},
        "HKCR\\.vtq3": {"": "VeltTest.Q3"},
        "HKCR\\VeltTest.Q3": {"": "Q3 original"},
        "HKCR\\VeltTest.Q3\\shell": None,
        "HKCR\\.vtq7": {"": "Old.Type7"},
        "HKCR\\VeltTest.Q7": {"": "Old description"},
        "HKCR\\VeltTest.Q7\\shell\\open\\command": {"": Q7_COMMAND.upper()},
        "HKCR\\VeltTest.Q9\\shell\\open\\command": {"": ("REG_EXPAND_SZ", Q9_BEFORE)},
        "HKCR\\VeltTest.QA\\shell\\open\\command": {"": ("REG_EXPAND_SZ", QA_BEFORE)},
        # the verb that was there stays without the command it was given
        "HKCR\\VeltTest.QB\\shell\\edit": {"": "Edit it"},
        "HKCR\\VeltTest.QB\\shell\\edit\\command": None,
        # a command someone else wrote after the installation stays
        "HKCR\\VeltTest.QC\\shell\\open\\command": {"": "theirs.exe"},
        "HKCR\\VeltTest.QE\\shell\\open\\command": {"": "original.exe"},
    })
    return table


def check_table(label, table):
    for key, expected in table.items():
        values = reg_values(key)
        if values is not None and expected is not None:
            values = {name: (kind, data) if isinstance(expected.get(name), tuple) else data
                      for name, (kind, data) in values.items()}
        check(values == expected, "%s: %s holds %r, not %r" % (label, key, expected, values))


def records(shared, system, label):
    """The association lines of Uninstall.DAT: extension, type and verb,
    then the command written, and the defaults of the type and its "shell"
    as the installation left them."""
    drive_command = 'C:\\drive.exe %s "%s" C' % (system, shared)
    lines = [(".vtq1", "VeltTest.Q1", "open", OPEN_COMMAND, "Q1 document", "open"),
             (".vtq1", "VeltTest.Q1", "drive", drive_command, "Q1 document", "open"),
             (".txt", "VeltTest.Txt", "open", "notepad.exe %1", "", ""),
             (".vtq3", "VeltTest.Q3", "veltverb", "q3.exe", "Q3 original", ""),
             (".vtq7", "VeltTest.Q7", "open", Q7_COMMAND, "Q7 document", ""),
             (".vtq8", "VeltTest.Q8", LONG_VERB, "q8.exe", "", "")]
    lines += [(".vtq" + c, "VeltTest.Q" + c.upper(), verb, command, "", "")
              for c, verb, command in (("9", "open", "q9.exe"), ("a", "open", "qa.exe"),
                                       ("b", "edit", "qb.exe"), ("c", "open", "qc.exe"),
                                       ("d", "open", "qd-%s.exe" % label),
                                       ("e", "open", "qe-%s.exe" % label))]
    return ["~!~".join(fields) for fields in lines]


def check_records(label, expected):
    text = read_text(DIRECTORY + "\\Uninstall.DAT")
    parts = text.split("\r\n[Associations]\r\n")
    check(len(parts) == 2, "%s: Uninstall.DAT has an [Associations] section" % label)
    lines = parts[-1].splitlines() if len(parts) == 2 else []
    check(lines == expected, "%s: the association records are %r, not %r"
          % (label, expected, lines))


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    Run.work, Run.robot = WORK, ROBOT
    txt_before = reg_values("HKCR\\.txt")
    txt_type = None if txt_before is None else txt_before.get("", ("", ""))[1]
    clean(txt_before)
    try:
        for key, value, kind in BEFORE:
            reg("add", key, "/ve", "/t", kind, "/d", value, "/f")
        shared = cmd("echo %CommonProgramFiles%") + "\\Velt Tests"
        system = cmd("echo %SystemRoot%") + "\\system32"
        failed_line = 'Failed to associate file type:  ".vtq8".\r\n\r\n'

        installer, inspected = build("first", PRODUCT_KEY)
        install(installer, inspected)
        for root in ("HKLM", "HKCU"):
            check(reg_values("%s\\Software\\%s" % (root, PRODUCT_KEY)) is not None,
                  "the product key exists under %s\\Software" % root)
        check_table("first installation", expected_table(shared, system, txt_type, "first"))
        check_records("first installation", records(shared, system, "first"))
        log = read_text(DIRECTORY + "\\Install.LOG")
        check(failed_line in log, "Install.LOG holds the failed association: %r" % log)
        check("Error creating registry keys" not in log, "the product keys were made")
        check_opening()

        # The same product again, now with a key name that cannot be made
        # and other commands: the backups of the first installation stay as
        # they were.
        installer, inspected = build("second", BAD_PRODUCT_KEY)
        install(installer, inspected)
        check_table("second installation", expected_table(shared, system, txt_type, "second"))
        check_records("second installation", records(shared, system, "second"))
        log = read_text(DIRECTORY + "\\Install.LOG")
        bad_key_line = "Error creating registry keys:\r\n%s\r\n\r\n" % BAD_PRODUCT_KEY
        check(log.count(bad_key_line) == 1,
              "Install.LOG holds the product key's error line once: %r" % log)
        check(log.count(failed_line) == 2, "each installation logged the failed association")

        # Someone else's command after the installation; then the
        # uninstaller as registered.
        reg("add", "HKCR\\VeltTest.QC\\shell\\open\\command", "/ve", "/d", "theirs.exe", "/f")
        quiet = (reg_values(UNINSTALL_KEY) or {}).get("QuietUninstallString", ("", ""))[1]
        run = Run(None, line=quiet, tree=True)
        check(run.exit_code() == 1 and not run.boxes,
              "the quiet uninstallation shows no box (%s)" % run.describe())
        check_table("after the uninstallation", after_uninstall(txt_before))
    finally:
        clean(txt_before)


if __name__ == "__main__":
    if not os.path.isfile(BUILDER):
        sys.exit("no native builder at %r: build it (the native preset) first" % BUILDER)
    for program in (ROBOT, STUB):
        if not os.path.isfile(program):
            sys.exit("missing %s: build the win64 (or win32) preset first" % program)
    main()
    print("%d runs, %d failures" % (Run.count, len(FAILURES)))
    sys.exit(1 if FAILURES else 0)
