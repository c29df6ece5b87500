#!/usr/bin/env python3
"""End-to-end tests of the shortcuts and fonts of an installation: installers
built by veltpack install under Wine with /a, and a small program of the
test's own reads the results back the way other programs do: shortcut
files through the shell link object (target, working directory, arguments,
icon) and fonts by their family names.

    shortcuts_e2e.py GROUP ROBOT STUB READER

GROUP is one of:
  links   desktop, start-menu (with a subfolder in the name) and Startup
          shortcuts, the uninstaller's shortcuts in both places, all of
          them in Uninstall.DAT
  nomenu  no start-menu shortcut made (none asked for; one that fails):
          the uninstaller's shortcut only in the uninstall directory
  fonts   TrueType fonts placed in the Fonts folder are usable by name;
          ProductFonts lists the non-permanent one; a file that is no font
          gives its error line

READER is shortcut_reader.exe. The environment is that of
velt_add_wine_test.
"""

import json
import os
import shutil
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
GROUP, ROBOT, STUB, READER = sys.argv[1:5]
WORK = os.path.join(os.environ["VELT_BINARY_DIR"], "tests", "shortcuts", GROUP)

sys.path.insert(0, os.path.join(HERE, "..", "lib"))
import velt_format as vf  # noqa: E402
from velt_e2e import (BUILDER, build_installer, FAILURES, Run, check, drive_c,  # noqa: E402
                      log_text, reg_delete, reg_values, renamed_font, wine, winpath)

UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
SHELL_FOLDERS = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"
SYSTEM_FONTS = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"
FONTS_DIR = "C:\\windows\\Fonts"
DEJAVU = "/usr/share/fonts/truetype/dejavu"


def shell_folder(name):
    """A folder where the installer finds it: the shell's record for the
    current user, or the fixed fallback when there is none (a new Wine
    prefix records no Startup folder)."""
    values = reg_values(SHELL_FOLDERS) or {}
    if name in values and values[name][1]:
        return values[name][1].rstrip("\\")
    if name == "Startup":
        return shell_folder("Programs") + "\\StartUp"
    check(name != "Programs", "the shell records the Programs folder")
    return "C:\\windows\\" + name


def unix(path):
    return drive_c(path)


def read_links(*paths):
    """{link path: {"target", "directory", "arguments", "icon"}} as the shell
    link object reads each file; a missing or unreadable one is absent."""
    output = wine(READER, "link", *paths)
    links, current = {}, None
    for line in output.splitlines():
        key, _, value = line.partition(" ")
        if key == "link":
            current = None if value.endswith(" unreadable") else links.setdefault(value, {})
        elif current is not None:
            current[key] = value
    return links


def read_fonts(*names):
    """{family name: (enumerated, face of CreateFont)} in a new process."""
    fonts = {}
    for line in wine(READER, "font", *names).splitlines():
        if line.startswith("font "):
            rest = line[5:]
            name, _, rest = rest.partition(" enumerated ")
            found, _, face = rest.partition(" face ")
            fonts[name] = (found == "YES", face)
    return fonts


class Product:
    """An installer built from `files`: dicts of [[files]] keys plus "data"
    (the source's bytes)."""

    def __init__(self, name, files, product=None):
        self.name = name
        self.directory = "C:\\Velt Tests\\" + name
        self.uninstall_dir = self.directory + "\\Uninstall"
        self.folder = os.path.join(WORK, name)
        os.makedirs(self.folder, exist_ok=True)
        toml = ('[product]\nname = %s\npublisher = "Velt Tests"\nversion = "1.0"\n'
                'default-directory = %s\nuninstall-subdir = "Uninstall"\n'
                % (json.dumps(name), json.dumps(self.directory)))
        for key, value in (product or {}).items():
            toml += "%s = %s\n" % (key, json.dumps(value))
        toml += "\n[flags]\nuninstall-support = true\n\n"
        for i, entry in enumerate(files):
            source = "src%02d_%s" % (i, entry["name"].replace("/", "_"))
            with open(os.path.join(self.folder, source), "wb") as f:
                f.write(entry["data"])
            toml += "[[files]]\nsource = %s\n" % json.dumps(source)
            for key, value in entry.items():
                if key != "data":
                    toml += "%s = %s\n" % (key, json.dumps(value))
            toml += "\n"
        with open(os.path.join(self.folder, "product.toml"), "w") as f:
            f.write(toml)
        self.installer = os.path.join(self.folder, "Setup.exe")
        self.inspected = build_installer(os.path.join(self.folder, "product.toml"),
                                   self.installer, STUB)
        self.key = UNINSTALL_KEY + name

    def text(self, n):
        return self.inspected["messages"][n][0].replace("<product>", self.name)

    def install(self):
        run = Run(winpath(self.installer), ["/a"], leave=[log_text(self.text(vf.MsgProgressCaption))])
        check(run.exit_code() == 1, "%s: the installer ends with code 1 (%s)"
              % (self.name, run.describe()))
        check(not run.boxes, "%s: an automatic run shows no box: %s" % (self.name, run.boxes))
        return run

    def record(self):
        """The file lines of Uninstall.DAT ([] when there is none)."""
        path = unix(self.uninstall_dir + "\\Uninstall.DAT")
        if not os.path.exists(path):
            return []
        with open(path, "rb") as f:
            return f.read().decode("cp1252").split("\r\n\r\n[Strings]")[0].splitlines()

    def log(self):
        path = unix(self.uninstall_dir + "\\Install.LOG")
        if not os.path.exists(path):
            return ""
        with open(path, "rb") as f:
            return f.read().decode("cp1252")

    def registration(self, value):
        values = reg_values(self.key) or {}
        return values.get(value, (None, None))[1]

    def uninstaller(self):
        return self.uninstall_dir + "\\Uninstall.exe"

    def uninstall_name(self):
        return self.text(vf.MsgUninstallShortcutName) + " " + self.name

    def clean(self, *paths):
        shutil.rmtree(unix(self.directory), ignore_errors=True)
        reg_delete(self.key)
        for path in paths:
            target = unix(path)
            if os.path.isdir(target):
                shutil.rmtree(target, ignore_errors=True)
            elif os.path.exists(target):
                os.remove(target)


def check_link(links, path, target, directory, arguments, icon, what):
    link = links.get(path)
    if not check(link is not None, "%s: the shortcut %s exists and loads (got %s)"
                 % (what, path, sorted(links))):
        return
    expected = {"target": target, "directory": directory, "arguments": arguments,
                "icon": icon + ",0"}
    for field, value in expected.items():
        check(link.get(field, "").lower() == value.lower(),
              "%s: %s of %s is %r (got %r)" % (what, field, path, value, link.get(field)))


def check_recorded(product, paths):
    record = [line.lower() for line in product.record()]
    for path in paths:
        check(path.lower() in record, "%s: Uninstall.DAT lists %s (has %s)"
              % (product.name, path, product.record()))


def group_links():
    desktop, programs, startup = (shell_folder(n) for n in ("Desktop", "Programs", "Startup"))
    product = Product("Shortcut Probe", [
        {"name": "app.exe", "data": b"app", "shortcuts": ["desktop", "programs"],
         "shortcut-name": "Probe App", "icon": "probe.ico"},
        {"name": "bin/helper.exe", "data": b"helper", "shortcuts": ["programs"],
         "shortcut-name": "Tools\\Probe Helper"},
        {"name": "starter.exe", "data": b"starter", "destination": "install-startup",
         "shortcuts": ["programs"], "shortcut-name": "Probe Starter"},
        {"name": "quiet.exe", "data": b"quiet", "destination": "install-startup"},
    ])
    menu = programs + "\\Velt Tests\\Shortcut Probe"
    uninstall_name = product.uninstall_name()
    app, helper, starter = (product.directory + "\\" + n
                            for n in ("app.exe", "bin\\helper.exe", "starter.exe"))
    icon = product.uninstall_dir + "\\probe.ico"
    made = {
        desktop + "\\Probe App.LNK": (app, product.directory, "", icon),
        menu + "\\Probe App.LNK": (app, product.directory, "", icon),
        menu + "\\Tools\\Probe Helper.LNK": (helper, product.directory, "", helper),
        menu + "\\Probe Starter.LNK": (starter, product.directory, "", starter),
        startup + "\\Probe Starter.LNK": (starter, product.directory, "", starter),
        menu + "\\" + uninstall_name + ".LNK":
            (product.uninstaller(), "", '/u:"%s"' % product.name, product.uninstaller()),
        product.uninstall_dir + "\\" + uninstall_name + ".LNK":
            (product.uninstaller(), "", '/u:"%s"' % product.name, product.uninstaller()),
    }
    not_made = [desktop + "\\Probe Helper.LNK", desktop + "\\Probe Starter.LNK",
                startup + "\\quiet.LNK", menu + "\\quiet.LNK", desktop + "\\quiet.LNK",
                startup + "\\Probe App.LNK", desktop + "\\" + uninstall_name + ".LNK"]
    leftovers = [desktop + "\\Probe App.LNK", startup + "\\Probe Starter.LNK",
                 programs + "\\Velt Tests"]
    if not os.path.isdir(unix(startup)):    # made by the installer: removed after
        leftovers.append(startup)
    product.clean(*leftovers)
    try:
        product.install()
        links = read_links(*made)
        print(json.dumps(links, indent=1), flush=True)
        for path, (target, directory, arguments, icon_file) in made.items():
            check_link(links, path, target, directory, arguments, icon_file, "links")
        for path in not_made:
            check(not os.path.exists(unix(path)), "links: no shortcut %s" % path)
        check(os.listdir(unix(startup)).count("quiet.LNK") == 0,
              "links: an install-startup file without shortcuts has no Startup shortcut")
        check_recorded(product, list(made))
        check(product.registration("ProductStartMenu") == "Velt Tests\\Shortcut Probe",
              "links: ProductStartMenu is the default publisher\\name (got %r)"
              % product.registration("ProductStartMenu"))
        check(product.text(vf.MsgErrorLinePrefix) not in product.log(), "links: no shortcut error in the log")
    finally:
        product.clean(*leftovers)


def group_nomenu():
    desktop, programs = shell_folder("Desktop"), shell_folder("Programs")
    # (product, its files, a file put where the start-menu folder would be)
    cases = [
        ("Desktop Only Probe", [{"name": "tool.exe", "data": b"tool",
                                 "shortcuts": ["desktop"], "shortcut-name": "Desktop Only"}],
         False),
        ("Blocked Menu Probe", [{"name": "tool.exe", "data": b"tool",
                                 "shortcuts": ["programs"], "shortcut-name": "Blocked Tool"}],
         True),
    ]
    for name, files, blocked in cases:
        product = Product(name, files, {"start-menu-folder": "Velt Tests " + name})
        menu = programs + "\\Velt Tests " + name
        own = product.uninstall_dir + "\\" + product.uninstall_name() + ".LNK"
        leftovers = [menu, desktop + "\\Desktop Only.LNK"]
        product.clean(*leftovers)
        try:
            if blocked:             # the folder cannot be made: the shortcut fails
                with open(unix(menu), "w") as f:
                    f.write("in the way\n")
            product.install()
            links = read_links(own)
            link = links.get(own)
            check(link is not None and link.get("target", "").lower()
                  == product.uninstaller().lower() and link.get("arguments")
                  == '/u:"%s"' % name,
                  "%s: the uninstaller's shortcut is in the uninstall directory (got %s)"
                  % (name, links))
            check(not os.path.isdir(unix(menu)),
                  "%s: no start-menu folder was made" % name)
            check_recorded(product, [own])
            record = product.record()
            check(not any(line.lower().startswith(menu.lower()) for line in record),
                  "%s: nothing of the start menu in Uninstall.DAT: %s" % (name, record))
            if blocked:
                line = product.text(vf.MsgErrorLinePrefix) + " " + menu + "\\Blocked Tool.LNK\r\n"
                check(line in product.log(), "%s: the log has the line %r:\n%s"
                      % (name, line, product.log()))
            else:
                check_recorded(product, [desktop + "\\Desktop Only.LNK"])
        finally:
            product.clean(*leftovers)


def group_fonts():
    mono, serif = "VeltPr Sans Mono", "VeltPr Serif"
    product = Product("Font Probe", [
        {"name": "VeltProbeMono.ttf", "destination": "font", "font-name": "Velt Probe Mono",
         "data": renamed_font(os.path.join(DEJAVU, "DejaVuSansMono.ttf"), "VeltPr")},
        {"name": "VeltProbeSerif.ttf", "destination": "font", "font-name": "Velt Probe Serif",
         "permanent": True,
         "data": renamed_font(os.path.join(DEJAVU, "DejaVuSerif.ttf"), "VeltPr")},
        {"name": "VeltProbeBroken.ttf", "destination": "font", "font-name": "Velt Broken",
         "data": b"this is no font\r\n" * 20},
    ])
    placed = [FONTS_DIR + "\\" + n
              for n in ("VeltProbeMono.ttf", "VeltProbeSerif.ttf", "VeltProbeBroken.ttf")]
    product.clean(*placed)
    try:
        before = read_fonts(mono, serif)
        check(not any(found for found, _ in before.values()),
              "fonts: the probe fonts are unknown before the installation: %s" % before)
        product.install()
        for path in placed:
            check(os.path.exists(unix(path)), "fonts: %s is placed" % path)
        fonts = read_fonts(mono, serif)
        for family in (mono, serif):
            found, face = fonts.get(family, (False, ""))
            check(found, "fonts: a new process enumerates %s (got %s)" % (family, fonts))
            check(face == family, "fonts: CreateFont(%r) selects that face (got %r)"
                  % (family, face))
        listed = product.registration("ProductFonts")
        check(listed == '"Velt Probe Mono" "VeltProbeMono.ttf" ',
              "fonts: ProductFonts holds the quoted pair of the non-permanent font only "
              "(got %r)" % listed)
        line = product.text(vf.MsgErrorLinePrefix) + " " + placed[2] + "\r\n"
        check(line in product.log(), "fonts: the log has the line %r:\n%s"
              % (line, product.log()))
        check(product.text(vf.MsgErrorLinePrefix) + " " + placed[0] not in product.log(),
              "fonts: no error line for a good font")
        registered = reg_values(SYSTEM_FONTS)
        check(not any("Velt" in name for name in registered or {}),
              "fonts: the installer writes no font registry entry")
    finally:
        product.clean(*placed)


if __name__ == "__main__":
    if not os.path.isfile(BUILDER):
        sys.exit("no native builder at %r: build it (the native preset) first" % BUILDER)
    for program in (ROBOT, STUB, READER):
        if not os.path.isfile(program):
            sys.exit("missing %s: build the win64 (or win32) preset first" % program)
    if GROUP == "fonts" and not os.path.isfile(os.path.join(DEJAVU, "DejaVuSansMono.ttf")):
        sys.exit("no DejaVu fonts in %s: install the fonts-dejavu-core package" % DEJAVU)
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    Run.work, Run.robot = WORK, ROBOT
    globals()["group_" + GROUP]()
    print("%d runs, %d failures" % (Run.count, len(FAILURES)))
    sys.exit(1 if FAILURES else 0)
