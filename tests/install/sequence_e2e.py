#!/usr/bin/env python3
"""End-to-end tests of the install sequence: installers built by veltpack,
run under Wine, every question answered by the test robot, whose log holds
every text of every box, checked against the installer's message table.

    sequence_e2e.py GROUP ROBOT STUB

GROUP is one of: questions, existing, destination, progress. The
environment is that of velt_add_wine_test.
"""

import json
import ntpath
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "launcher"))
import velt_format as vf  # noqa: E402
import velt_archive as va  # noqa: E402
from velt_e2e import (BUILDER, build_installer, FAILURES, Run, check, drive_c,  # noqa: E402
                      log_text, reg_delete, step, cmd, reg, winpath)

GROUP, ROBOT, STUB = sys.argv[1:4]
WORK = os.path.join(os.environ["VELT_BINARY_DIR"], "tests", "install", "sequence-" + GROUP)
UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
WELCOME_CAPTION = "Veltpack Utility v6.2"
CONTINUE, STOP = 1001, 1003
YES, NO, OK = 6, 7, 1


class Product:
    """A small product in its own folder of WORK, built into an installer;
    `messages[n]` is message n of language 0 as the robot logs it, with
    the product name in place."""

    def __init__(self, name, flags=(), product="", files=None, languages=None):
        self.name = name
        self.directory = "C:\\Velt Tests\\%s" % name
        folder = os.path.join(WORK, name)
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "app.txt"), "w") as f:
            f.write("The program of %s.\n" % name)
        toml = ('[product]\nname = "%s"\npublisher = "Velt Tests"\n'
                'default-directory = %s\n%s\n[flags]\n%s\n'
                % (name, json.dumps(self.directory), product,
                   "".join("%s = true\n" % flag for flag in flags)))
        toml += files if files is not None else '[[files]]\nsource = "app.txt"\n'
        toml += languages or ""
        with open(os.path.join(folder, "product.toml"), "w") as f:
            f.write(toml)
        self.folder = folder
        self.installer = os.path.join(folder, name + ".exe")
        self.table = build_installer(os.path.join(folder, "product.toml"), self.installer,
                                     STUB)["messages"]

    def message(self, n, language=0):
        return log_text(self.table[n][language].replace("<product>", self.name))

    def installed(self, name="app.txt"):
        return os.path.exists(os.path.join(drive_c(self.directory), name))

    def clean(self):
        shutil.rmtree(drive_c(self.directory), ignore_errors=True)
        reg_delete(UNINSTALL_KEY + self.name)

    def run(self, steps, args=()):
        # A run without questions may show its progress dialog too briefly
        # to be seen, or long enough: either way it is no question.
        leave = [self.message(vf.MsgProgressCaption)] if "/a" in args else []
        return Run(self.installer, list(args), steps, leave=leave)


def welcome(product, answer=YES, language=0):
    return step(WELCOME_CAPTION, product.message(vf.MsgWelcome, language), "press=%d" % answer)


def progress_keep(product):
    return step(product.message(vf.MsgProgressCaption), None, "keep")


def completion(product):
    return step(product.message(vf.MsgInstallCompleteCaption), product.message(vf.MsgInstallComplete), "press=%d" % OK)


def box_lines(run, number):
    prefix = "box %d " % number
    return [line[len(prefix):] for line in run.lines if line.startswith(prefix)]


def expect_lines(what, run, number, expected):
    """Box `number` of the run logged each of `expected` (lines without the
    "box N " prefix)."""
    lines = box_lines(run, number)
    missing = [line for line in expected if line not in lines]
    check(not missing, "%s: box %d lacks %r (%s)" % (what, number, missing, run.describe()))


def expect_end(what, run, installed, product):
    check(run.status == 1 and run.exit_code() == 1,
          "%s: exit code 1 (%s)" % (what, run.describe()))
    check(product.installed() == installed,
          "%s: %s installed (%s)" % (what, "is" if installed else "nothing", run.describe()))


# ------------------------------------------------------------------ groups

LANGUAGES = ('[[languages]]\ntexts = "en"\n\n[[languages]]\ntexts = "de"\n\n'
             '[[languages]]\ntexts = "fr"\n')


def group_questions():
    p = Product("Lingo", languages=LANGUAGES)
    # The language dialog: its own texts, the names, the first one selected.
    run = p.run([step("Choose Your Language", None, "press=%d" % STOP)])
    expect_lines("language dialog", run, 1, [
        "caption: Choose Your Language", "button 1001: &Continue", "button 1003: &Abort",
        "list 1017 0: English", "list 1017 1: Deutsch", "list 1017 2: Français",
        "selected 1017 0"])
    expect_end("Abort", run, False, p)
    # A pick, or a double click, selects the language of every later text.
    for how, language in (("pick=1017:#1|press=%d" % CONTINUE, 1),
                          ("dblclick=1017:Français", 2)):
        run = p.run([step("Choose Your Language", None, how), welcome(p, NO, language)])
        check(len(run.boxes) == 2, "%s: the welcome question follows (%s)"
              % (how, run.describe()))
        expect_end(how, run, False, p)
    # Automatic: no box at all, English, installed.
    run = p.run([], ["/a"])
    check(not run.boxes, "automatic run shows no box (%s)" % run.describe())
    expect_end("automatic", run, True, p)
    p.clean()

    # Welcome, licence and readme: every text, and each refusal ends the run.
    # Both files inside the product's folder: the builder reads nothing
    # outside it.
    os.makedirs(os.path.join(WORK, "Papers"), exist_ok=True)
    with open(os.path.join(WORK, "Papers", "licence.txt"), "w") as f:
        f.write("Licence line one.\nLine two.\n")
    with open(os.path.join(WORK, "Papers", "readme.txt"), "w") as f:
        f.write("Read me.\n")
    p = Product("Papers", product='licence = "licence.txt"\nreadme = "readme.txt"\n')
    licence = step(p.message(vf.MsgLicenseCaption), None, "press=%d" % CONTINUE)
    readme = step(p.message(vf.MsgReadmeCaption), None, "press=%d" % CONTINUE)
    run = p.run([welcome(p, NO)])
    expect_lines("welcome", run, 1, ["caption: " + WELCOME_CAPTION,
                                     "static 65535: " + p.message(vf.MsgWelcome)])
    expect_end("welcome No", run, False, p)
    run = p.run([welcome(p), step(p.message(vf.MsgLicenseCaption), None, "press=%d" % STOP)])
    expect_lines("licence dialog", run, 2, [
        "caption: " + p.message(vf.MsgLicenseCaption), "static 1009: " + p.message(vf.MsgLicenseHeading),
        "edit 1005: Licence line one.\\r\\nLine two.\\r\\n",
        "button 1001: " + p.message(vf.MsgLicenseAccept), "button 1003: " + p.message(vf.MsgLicenseDecline)])
    expect_end("licence declined", run, False, p)
    run = p.run([welcome(p), licence, step(p.message(vf.MsgReadmeCaption), None, "press=%d" % STOP)])
    expect_lines("readme dialog", run, 3, [
        "caption: " + p.message(vf.MsgReadmeCaption), "static 1009: " + p.message(vf.MsgReadmeHeading),
        "edit 1005: Read me.\\r\\n", "button 1001: " + p.message(vf.MsgOk),
        "button 1003: " + p.message(vf.MsgCancel)])
    expect_end("readme declined", run, False, p)
    run = p.run([welcome(p), licence, readme, progress_keep(p), completion(p)])
    expect_end("all accepted", run, True, p)
    p.clean()


def existing_registration(product, location, version):
    key = UNINSTALL_KEY + product.name
    reg("add", key, "/v", "UninstallString", "/d", "x", "/f")
    reg("add", key, "/v", "InstallLocation", "/d", location, "/f")
    reg("add", key, "/v", "DisplayVersion", "/d", version, "/f")


def group_existing():
    # (installed version, new version, message)
    cases = [("", "1.0", 3), ("1.0", "", 3), ("1.0", "1.0", 4), ("1.9", "1.10", 5),
             ("1.10", "1.9", 6)]
    for installed, new, message in cases:
        p = Product("Again", flags=["uninstall-support"], product='version = "%s"\n' % new)
        p.clean()
        os.makedirs(drive_c(p.directory))
        existing_registration(p, p.directory, installed)
        text = "%s\\r\\n%s\\r\\n\\r\\n%s" % (p.message(message), log_text(p.directory),
                                           p.message(vf.MsgExistingContinue))
        run = p.run([welcome(p), step(p.message(vf.MsgExistingCaption), text, "press=%d" % NO)])
        what = "installed %r, new %r" % (installed, new)
        check(len(run.boxes) == 2, "%s: message %d asked (%s)" % (what, message, run.describe()))
        expect_end(what, run, False, p)
    # Yes: installed over it, in the earlier location, without a directory
    # question even when the product asks for one.
    p = Product("Again", flags=["uninstall-support", "ask-directory"],
                product='version = "2.0"\n')
    p.clean()
    elsewhere = "C:\\Velt Tests\\Again elsewhere"
    os.makedirs(drive_c(elsewhere), exist_ok=True)
    existing_registration(p, elsewhere, "1.0")
    run = p.run([welcome(p), step(p.message(vf.MsgExistingCaption), p.message(vf.MsgExistingOlderVersion), "press=%d" % YES),
                 progress_keep(p), completion(p)])
    check(run.status == 1 and os.path.exists(os.path.join(drive_c(elsewhere), "app.txt")),
          "reinstall goes to the earlier location (%s)" % run.describe())
    shutil.rmtree(drive_c(elsewhere), ignore_errors=True)
    # A registration whose folder is gone is no installation.
    p.clean()
    existing_registration(p, "C:\\Velt Tests\\gone", "1.0")
    run = p.run([welcome(p), step(p.message(vf.MsgDestinationCaption), None, "press=%d" % STOP)])
    check(len(run.boxes) == 2, "a vanished location asks for the directory (%s)"
          % run.describe())
    # Refused: an error box even in automatic mode, then the end.
    p = Product("Again", flags=["uninstall-support", "refuse-reinstall"])
    p.clean()
    os.makedirs(drive_c(p.directory))
    existing_registration(p, p.directory, "1.0")
    run = p.run([step("Error", p.message(vf.MsgRefuseReinstall), "press=%d" % OK)], ["/a"])
    expect_end("refused reinstall", run, False, p)
    p.clean()
    # An add-on whose master product is missing.
    p = Product("Addon", product='master = "Velt Missing Master"\n')
    text = p.message(vf.MsgMasterMissing).replace("%s", "Velt Missing Master")
    run = p.run([step("Error", text, "press=%d" % OK)])
    expect_end("missing master", run, False, p)


def group_destination():
    p = Product("Where", flags=["ask-directory"])
    p.clean()
    program_files = cmd("echo %ProgramFiles%")
    blocker = os.path.join(WORK, "blocker")
    # A file where a folder of the path should be: the folder cannot be made.
    os.makedirs(drive_c("C:\\Velt Tests"), exist_ok=True)
    with open(drive_c("C:\\Velt Tests\\Where blocked"), "w") as f:
        f.write("a file")
    refusals = [
        ("C:\\bad<name", "%s\\r\\n%s" % (p.message(vf.MsgInvalidDestination), log_text("C:\\bad<name"))),
        ("relative\\folder", "%s\\r\\n%s" % (p.message(vf.MsgInvalidDestination), log_text("relative\\folder"))),
        ("Q:\\Velt", p.message(vf.MsgDriveNotAvailable).replace("%c", "Q")),
        ("C:\\", p.message(vf.MsgDestinationTooShort)),
        (program_files, p.message(vf.MsgDestinationProgramFiles).replace("%s", log_text(program_files))),
        (program_files + "\\", p.message(vf.MsgDestinationProgramFiles).replace("%s", log_text(program_files))),
        ("C:\\Velt Tests\\Where blocked\\sub",
         p.message(vf.MsgCannotCreateDir) + "\\n" + log_text("C:\\Velt Tests\\Where blocked\\sub")),
    ] + [(typed, refusal_text(p, typed, folder)) for typed, folder in protected_places(program_files)]
    for typed, text in refusals:
        steps = [welcome(p), step(p.message(vf.MsgDestinationCaption), None, "type=1015:" + typed, "press=1001")]
        if typed.endswith("blocked\\sub"):
            confirm = p.message(vf.MsgConfirmCreateDir).replace("%s", log_text(typed))
            steps.append(step(p.message(vf.MsgDestinationCaption), confirm, "press=%d" % YES))
        steps += [step("Error", text, "press=%d" % OK),
                  step(p.message(vf.MsgDestinationCaption), None, "press=%d" % STOP)]
        run = p.run(steps)
        check(run.status == 1 and run.exit_code() == 1 and len(run.boxes) == len(steps),
              "refused %r with %r (%s)" % (typed, text, run.describe()))
    os.remove(drive_c("C:\\Velt Tests\\Where blocked"))
    # The dialog's texts; Cancel keeps the default; the browser opens.
    run = p.run([welcome(p), step(p.message(vf.MsgDestinationCaption), None, "press=1013"),
                 step(None, None, "press=2"), step(p.message(vf.MsgDestinationCaption), None, "press=%d" % STOP)])
    expect_lines("directory dialog", run, 2, [
        "caption: " + p.message(vf.MsgDestinationCaption), "static 1009: " + p.message(vf.MsgChooseDirPrompt),
        "edit 1015: " + log_text(p.directory), "button 1013: " + p.message(vf.MsgBrowse),
        "button 1001: " + p.message(vf.MsgOk), "button 1003: " + p.message(vf.MsgCancel)])
    check(len(run.boxes) == 3 and any("again" in line for line in box_lines(run, 2)),
          "the folder browser opened over the dialog (%s)" % run.describe())
    expect_end("directory cancelled", run, False, p)
    # A new folder is confirmed with message 23, an existing one with 22;
    # No asks again.
    new = "C:\\Velt Tests\\Where new"
    shutil.rmtree(drive_c(new), ignore_errors=True)
    run = p.run([welcome(p), step(p.message(vf.MsgDestinationCaption), None, "type=1015:" + new, "press=1001"),
                 step(p.message(vf.MsgDestinationCaption), p.message(vf.MsgConfirmCreateDir).replace("%s", log_text(new)), "press=7"),
                 step(p.message(vf.MsgDestinationCaption), None, "press=1001"),
                 step(p.message(vf.MsgDestinationCaption), p.message(vf.MsgConfirmCreateDir).replace("%s", log_text(new)), "press=6"),
                 progress_keep(p), completion(p)])
    check(run.status == 1 and os.path.exists(os.path.join(drive_c(new), "app.txt")),
          "installed in the new folder (%s)" % run.describe())
    run = p.run([welcome(p), step(p.message(vf.MsgDestinationCaption), None, "type=1015:  " + new + "  ", "press=1001"),
                 step(p.message(vf.MsgDestinationCaption), p.message(vf.MsgConfirmExistingDir).replace("%s", log_text(new)), "press=6"),
                 progress_keep(p), completion(p)])
    check(run.status == 1 and len(run.boxes) == 5,
          "an existing, blank-padded folder is confirmed with message 22 (%s)" % run.describe())
    shutil.rmtree(drive_c(new), ignore_errors=True)
    refused_without_dialog(program_files)
    space_question(blocker)


def protected_places(program_files):
    """(typed, refused folder) for places no product may own, written in
    other words than the system's: None is the root of a drive or share,
    "" a name that is invalid as it stands. The short name is Wine's own
    for "C:\\Program Files" (Windows names it PROGRA~1)."""
    windows = cmd("echo %windir%")
    system = windows + "\\system32"
    return [
        ("C:/Program Files", ""),
        ("\\\\?\\C:\\Windows", ""),
        ("C:\\PROG~FBU", "C:\\Program Files"),
        (program_files + "\\.", program_files),
        (program_files.upper() + "\\Velt\\..", program_files),
        ("\\\\localhost\\C$\\Windows", windows),
        ("\\\\localhost\\c$\\windows\\system32\\", system),
        ("\\\\Velt Server\\share", None),
        ("\\\\Velt Server\\share\\", None),
        ("C:\\.", None),
        ("C:\\Users", ntpath.dirname(cmd("echo %USERPROFILE%"))),
        ("C:\\ProgramData", cmd("echo %ProgramData%")),
        (system.upper(), system),
    ]


def refusal_text(p, typed, folder):
    if folder is None:
        return p.message(vf.MsgDestinationTooShort)
    if folder == "":
        return "%s\\r\\n%s" % (p.message(vf.MsgInvalidDestination), log_text(typed))
    return p.message(vf.MsgDestinationProgramFiles).replace("%s", log_text(folder))


def refused_without_dialog(program_files):
    """/d: is checked when no dialog asks: an automatic run refuses without
    a box and fails (1603 with standard exit codes); an interactive one
    shows the dialog's refusal. Nothing is made either way."""
    p = Product("Where Given", product='exit-codes = "standard"\n')
    p.clean()

    def given(typed, automatic, steps=()):
        line = '"%s" %s/d:"%s"' % (winpath(p.installer), "/a " if automatic else "", typed)
        leave = [p.message(vf.MsgProgressCaption)] if automatic else []
        return Run(None, [], list(steps), line=line, leave=leave)

    for typed, folder in protected_places(program_files):
        run = given(typed, True)
        check(run.exit_code() == 1603 and not run.boxes and not p.installed(),
              "/a /d:%s is refused quietly (%s)" % (typed, run.describe()))
    for typed, folder in (("C:\\Users", ntpath.dirname(cmd("echo %USERPROFILE%"))),
                          ("\\\\Velt Server\\share", None)):
        run = given(typed, False, [welcome(p), step("Error", refusal_text(p, typed, folder),
                                                    "press=%d" % OK)])
        check(run.exit_code() == 1603 and len(run.boxes) == 2 and not p.installed(),
              "/d:%s is refused (%s)" % (typed, run.describe()))
    # A usable /d: still installs, quietly.
    run = given(p.directory, True)
    check(run.exit_code() == 0 and p.installed(), "/a /d: a usable folder (%s)" % run.describe())
    p.clean()


def mount_small_drive(path, size):
    os.makedirs(path, exist_ok=True)
    subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%d" % size, "tmpfs", path], check=True)


def space_question(mount_point):
    """On a small drive, files that need exactly the free space ask
    message 19; one cluster less does not."""
    mount_small_drive(mount_point, 1 << 20)
    letter = "s:"
    link = os.path.join(os.environ["WINEPREFIX"], "dosdevices", letter)
    try:
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(mount_point, link)
        stat = os.statvfs(mount_point)
        free = stat.f_bavail * stat.f_frsize
        cluster = stat.f_frsize
        for size, asks in ((free, True), (free - cluster, False)):
            folder = os.path.join(WORK, "Space%d" % size)      # the product's own folder
            os.makedirs(folder, exist_ok=True)
            with open(os.path.join(folder, "zeros.bin"), "wb") as f:
                f.truncate(size)
            p = Product("Space%d" % size, flags=["ask-directory"],
                        files='[[files]]\nsource = "zeros.bin"\n')
            target = "S:\\Velt"
            steps = [welcome(p), step(p.message(vf.MsgDestinationCaption), None, "type=1015:" + target, "press=1001")]
            if asks:
                text = (p.message(vf.MsgNotEnoughSpace).replace("%s", "1.00 MB", 1).replace("%c", "S")
                        .replace("%s", "1.00 MB", 1))
                steps.append(step(p.message(vf.MsgQuestionCaption), text, "press=%d" % NO))
                steps.append(step(p.message(vf.MsgDestinationCaption), None, "press=%d" % STOP))
            else:
                steps.append(step(p.message(vf.MsgDestinationCaption), p.message(vf.MsgConfirmCreateDir).replace("%s", log_text(target)),
                                  "press=%d" % NO))
                steps.append(step(p.message(vf.MsgDestinationCaption), None, "press=%d" % STOP))
            run = p.run(steps)
            check(run.status == 1 and len(run.boxes) == len(steps),
                  "%d bytes on a drive with %d free: %s (%s)"
                  % (size, free, "asked" if asks else "not asked", run.describe()))
    finally:
        if os.path.lexists(link):
            os.remove(link)
        subprocess.run(["umount", mount_point])


def group_progress():
    p = Product("Steps", flags=["always-log"])
    p.clean()
    # The progress dialog's texts; Cancel, No: the run goes on to the end.
    question = step(p.message(vf.MsgQuestionCaption), p.message(vf.MsgCancelQuestion), "press=%d" % NO)
    run = p.run([welcome(p), step(p.message(vf.MsgProgressCaption), None, "press=1003"), question,
                 completion(p)])
    expect_lines("progress dialog", run, 2, [
        "caption: " + p.message(vf.MsgProgressCaption), "static 1009: " + p.message(vf.MsgProgressHeading),
        "button 1003: " + p.message(vf.MsgCancel)])
    check(any(line.startswith("progress ") for line in box_lines(run, 2)),
          "the progress dialog has its bar (%s)" % run.describe())
    expect_end("cancel, then no", run, True, p)
    log = os.path.join(drive_c(p.directory), "Install.LOG")
    check(os.path.exists(log), "always-log writes Install.LOG")
    p.clean()
    # Cancel, Yes: the end, nothing placed.
    run = p.run([welcome(p), step(p.message(vf.MsgProgressCaption), None, "press=1003"),
                 step(p.message(vf.MsgQuestionCaption), p.message(vf.MsgCancelQuestion), "press=%d" % YES)])
    expect_end("cancel, then yes", run, False, p)
    # No cancel: the button is disabled.
    q = Product("Steady", flags=["no-cancel"])
    q.clean()
    run = q.run([welcome(q), progress_keep(q), completion(q)])
    expect_lines("no-cancel", run, 2, ["disabled 1003"])
    expect_end("no-cancel", run, True, q)
    q.clean()
    # Errors: the question of message 40 with the log's path; No leaves it
    # closed. In automatic mode nothing is asked and the log is written.
    r = Product("Faulty", files='[[files]]\nsource = "app.txt"\nname = "sub/app.txt"\n')

    def block_the_folder():
        r.clean()
        os.makedirs(drive_c(r.directory))
        with open(os.path.join(drive_c(r.directory), "sub"), "w") as f:
            f.write("a file where a folder should be")

    log_path = r.directory + "\\Install.LOG"
    for automatic in (False, True):
        block_the_folder()
        if automatic:
            run = r.run([], ["/a"])
            check(not run.boxes, "automatic run with errors shows no box (%s)" % run.describe())
        else:
            text = r.message(vf.MsgLogWrittenQuestion).replace("%s", log_text(log_path))
            run = r.run([welcome(r), progress_keep(r), step(r.message(vf.MsgLogWrittenCaption), text, "press=%d" % NO)])
            check(len(run.boxes) == 3, "the error question (%s)" % run.describe())
        check(run.status == 1 and os.path.exists(drive_c(log_path)),
              "errors are logged (automatic %s, %s)" % (automatic, run.describe()))
    # A question text that does not fit the log path (%s) is shown as it
    # stands, with the product name put in.
    sound = r.installer
    for n, hostile in enumerate(("<product>: %ls", "<product>: %s%s%s%n")):
        inst = va.Installer.load(sound)
        d = dict(inst.description)
        d["messages"] = [list(m) for m in d["messages"]]
        d["messages"][vf.MsgLogWrittenQuestion][0] = hostile.encode()
        r.installer = os.path.join(r.folder, "hostile-%d.exe" % n)
        with open(r.installer, "wb") as f:
            f.write(inst.build(description=d))
        block_the_folder()
        text = hostile.replace("<product>", r.name)
        run = r.run([welcome(r), progress_keep(r), step(r.message(vf.MsgLogWrittenCaption), text, "press=%d" % NO)])
        check(run.status == 1 and len(run.boxes) == 3
              and text in list(run.boxes.values())[2]["texts"],
              "question %r shown as it stands (%s)" % (hostile, run.describe()))
    r.installer = sound
    r.clean()


if __name__ == "__main__":
    if not os.path.isfile(BUILDER):
        sys.exit("no native builder at %r: build it (the native preset) first" % BUILDER)
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    Run.work, Run.robot = WORK, ROBOT
    globals()["group_" + GROUP]()
    print("%d runs, %d failures" % (Run.count, len(FAILURES)))
    sys.exit(1 if FAILURES else 0)
