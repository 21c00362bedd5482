#!/usr/bin/env python3
"""The installer as a user meets it, in a Wine prefix of the test's own:
"/S" installs hivemend.exe and hivemend-cli.exe (without debug data) into
Program Files\\Hivemend (64-bit view) with a Start-menu shortcut, "Preview with
Hivemend" on the context menu of .reg files (never their default verb), an
uninstaller and its Uninstall entry; a newer installer with "/S" installs over
it; "/PATH=1" adds the folder to the system PATH, keeping its type and every
other entry, however long it is; the uninstaller removes it all again, with
every key the program made, and keeps the user's undo files.

With --handler: "/HANDLER=1" makes Hivemend the program that opens .reg files
for the user (through "hivemend.exe /sethandler"), and the uninstaller gives
the previous one back ("/removehandler"): the user's classes are as they were.

  installer_test.py --wine-run tools/wine-run.sh --prefix DIR --ui-driver ui_driver.exe \\
      --objdump x86_64-w64-mingw32-objdump --installer HivemendSetup64.exe \\
      --newer-installer NEWER.exe --version V --newer-version V2 [--handler]
"""
import argparse
import getpass
import os
import re
import shutil
import subprocess
import sys

sys.dont_write_bytecode = True
from wine_prefix import WinePrefix  # noqa: E402

UNINSTALL_KEY = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\Hivemend"
ENVIRONMENT_KEY = r"System\CurrentControlSet\Control\Session Manager\Environment"
FOLDER = r"C:\Program Files\Hivemend"
PROGRAM_COMMAND = '"%s\\hivemend.exe" "%%1"' % FOLDER
PREVIEW_VERB = "Hivemend"  # the handler's verb too: one entry on the context menu
failures = []


def check(condition, what):
    print(("ok:   " if condition else "FAIL: ") + what, flush=True)
    if not condition:
        failures.append(what)


def pe_machine(path):
    """The machine field of a Windows program's PE header (0x8664: x86-64)."""
    with open(path, "rb") as f:
        data = f.read(4096)
    offset = int.from_bytes(data[0x3C:0x40], "little")
    return int.from_bytes(data[offset + 4:offset + 6], "little") if data[offset:offset + 4] == b"PE\0\0" else 0


def file_version(path):
    """The file version of a program's version resource, as "a.b.c.d"."""
    with open(path, "rb") as f:
        data = f.read()
    at = data.rfind(b"\xbd\x04\xef\xfe")  # VS_FIXEDFILEINFO's signature
    if at < 0:
        return None
    ms, ls = (int.from_bytes(data[at + n:at + n + 4], "little") for n in (8, 12))
    return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


def reg_value(values, name):
    """(type, data) of a value as Wine stores it: ("sz"|"expand_sz"|"dword"|..., text or number)."""
    raw = next((v for k, v in (values or {}).items() if k.lower() == name.lower()), None)
    if raw is None:
        return None
    m = re.match(r'^(str\(2\):)?"(.*)"$', raw)
    if m:
        text = re.sub(r'\\(.)', lambda c: {"n": "\n", "0": "\0"}.get(c.group(1), c.group(1)), m.group(2))
        return ("expand_sz" if m.group(1) else "sz", text)
    if raw.startswith("dword:"):
        return ("dword", int(raw[6:], 16))
    return ("other", raw)


def system_path(wine):
    wine.wait()
    return reg_value(wine.registry_key("system", ENVIRONMENT_KEY), "Path")


def set_system_path(wine, kind, text):
    wine.run("reg", "add", "HKLM\\" + ENVIRONMENT_KEY, "/v", "PATH", "/t",
             "REG_EXPAND_SZ" if kind == "expand_sz" else "REG_SZ", "/d", text, "/f")
    wine.wait()


def shell_command(wine, args, verb=None):
    code, text = wine.output(args.ui_driver, "shell-command", ".reg", *([verb] if verb else []))
    return text if code == 0 else None


def history_folder(wine):
    return wine.c_path("users", getpass.getuser(), "AppData", "Roaming", "Hivemend")


def uninstall(wine):
    wine.run(FOLDER + r"\Uninstall.exe", "/S")
    wine.wait()


def remove_installation(wine):
    if os.path.exists(wine.c_path("Program Files", "Hivemend", "Uninstall.exe")):
        uninstall(wine)
    shutil.rmtree(wine.c_path("Program Files", "Hivemend"), ignore_errors=True)


def seed_reg_file_type(wine):
    """.reg files as a Windows system knows them: "Merge" (its default verb) and "Edit"."""
    classes = r"HKLM\Software\Classes"
    wine.run("reg", "add", classes + r"\.reg", "/ve", "/d", "regfile", "/f")
    wine.run("reg", "add", classes + r"\regfile\shell", "/ve", "/d", "open", "/f")
    wine.run("reg", "add", classes + r"\regfile\shell\open", "/ve", "/d", "Mer&ge", "/f")
    wine.run("reg", "add", classes + r"\regfile\shell\open\command", "/ve", "/d", 'regedit.exe "%1"', "/f")
    wine.run("reg", "add", classes + r"\regfile\shell\edit\command", "/ve", "/d", 'notepad.exe "%1"', "/f")
    wine.wait()


def check_installed(wine, args, version, program):
    folder = wine.c_path("Program Files", "Hivemend")
    check(os.path.isfile(os.path.join(folder, program)), program + " in Program Files\\Hivemend")
    check(not os.path.exists(wine.c_path("Program Files (x86)", "Hivemend")), "nothing in Program Files (x86)")
    check(os.path.isfile(os.path.join(folder, "Uninstall.exe")), "the uninstaller beside it")
    check(not os.path.exists(os.path.join(folder, program + ".old")), "no program file left aside")
    shortcut = wine.c_path("ProgramData", "Microsoft", "Windows", "Start Menu", "Programs", "Hivemend",
                           "Hivemend.lnk")
    check(os.path.isfile(shortcut), "Start-menu shortcut Hivemend\\Hivemend.lnk")
    entry = wine.registry_key("system", UNINSTALL_KEY)
    check(entry is not None, "Uninstall entry in the 64-bit view")
    check(reg_value(entry, "DisplayVersion") == ("sz", version),
          "DisplayVersion %s (found %s)" % (version, reg_value(entry, "DisplayVersion")))
    check(wine.registry_key("system", "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Hivemend")
          is None, "no entry in the 32-bit view")
    if program != "hivemend.exe":
        return
    check(os.path.isfile(os.path.join(folder, "hivemend-cli.exe")), "hivemend-cli.exe beside it")
    for name in ("hivemend.exe", "hivemend-cli.exe"):
        sections = subprocess.run([args.objdump, "-h", os.path.join(folder, name)], capture_output=True,
                                  text=True, timeout=60).stdout
        debug = sorted(set(re.findall(r"\.debug_\w+", sections)))
        check(".text" in sections and not debug, "%s carries no debug data %s" % (name, debug))
    size_kb = sum(os.path.getsize(os.path.join(folder, n)) for n in os.listdir(folder)) // 1024
    expected = {
        "DisplayName": ("sz", "Hivemend"),
        "Publisher": ("sz", "Tarnwick"),
        "InstallLocation": ("sz", FOLDER),
        "DisplayIcon": ("sz", FOLDER + r"\hivemend.exe,0"),
        "UninstallString": ("sz", '"%s\\Uninstall.exe"' % FOLDER),
        "NoModify": ("dword", 1),
        "NoRepair": ("dword", 1),
    }
    for name, value in expected.items():
        check(reg_value(entry, name) == value, "Uninstall entry %s = %s (found %s)"
              % (name, value, reg_value(entry, name)))
    estimated = reg_value(entry, "EstimatedSize") or ("none", 0)
    check(estimated[0] == "dword" and abs(estimated[1] - size_kb) <= 4,
          "EstimatedSize is a DWORD of the folder's %d KB (found %s)" % (size_kb, estimated))
    verb = wine.registry_key("system", "Software\\Classes\\regfile\\shell\\" + PREVIEW_VERB)
    check(reg_value(verb, "") == ("sz", "Preview with Hivemend"), "the verb is called 'Preview with Hivemend'")
    check(shell_command(wine, args, PREVIEW_VERB) == PROGRAM_COMMAND,
          "the shell's command for the verb: %s" % shell_command(wine, args, PREVIEW_VERB))
    check(reg_value(wine.registry_key("system", r"Software\Classes\regfile\shell"), "") == ("sz", "open"),
          "the default verb of .reg files is still 'open'")


def round_trip(wine, args, path_before, tarnwick_other):
    """Installs, installs the newer one over it with /PATH=1, uninstalls."""
    check(wine.run(args.installer, "/S") == 0, "silent install exits with 0")
    wine.wait()
    check_installed(wine, args, args.version, args.program)
    check(system_path(wine) == path_before, "PATH left alone without /PATH=1")
    check(shell_command(wine, args) == 'regedit.exe "%1"', "double-click still merges: %s" % shell_command(wine, args))

    check(wine.run(args.newer_installer, "/S", "/PATH=1") == 0, "newer silent install over it exits with 0")
    wine.wait()
    check_installed(wine, args, args.newer_version, args.program)
    separator = "" if path_before[1].endswith(";") or not path_before[1] else ";"
    added = (path_before[0], path_before[1] + separator + FOLDER)
    check(system_path(wine) == added, "/PATH=1 adds the folder at the end, same type (%d characters before)"
          % len(path_before[1]))
    check(wine.run(args.newer_installer, "/S", "/PATH=1") == 0 and system_path(wine) == added,
          "a second /PATH=1 adds nothing")

    wine.run("reg", "add", r"HKLM\Software\Hivemend", "/v", "UpdateCheckEnabled", "/t", "REG_DWORD", "/d", "0", "/f")
    wine.run("reg", "add", r"HKLM\Software\Tarnwick\Hivemend", "/ve", "/d", FOLDER, "/f")  # older installers'
    wine.run("reg", "add", r"HKCU\Software\Tarnwick\hivemend.exe\AppMessageBox", "/v", "1", "/t", "REG_DWORD",
             "/d", "6", "/f")
    if tarnwick_other:
        wine.run("reg", "add", r"HKLM\Software\Tarnwick\Other", "/v", "Kept", "/d", "yes", "/f")
        wine.run("reg", "add", r"HKCU\Software\Tarnwick\Other", "/v", "Kept", "/d", "yes", "/f")
    os.makedirs(history_folder(wine), exist_ok=True)
    undo_file = os.path.join(history_folder(wine), "undo-test.reg")
    with open(undo_file, "w") as f:
        f.write("Windows Registry Editor Version 5.00\n")

    uninstall(wine)
    check(not os.path.exists(wine.c_path("Program Files", "Hivemend")), "uninstall removes the folder")
    check(wine.registry_key("system", UNINSTALL_KEY) is None, "uninstall removes the Uninstall entry")
    check(not os.path.exists(wine.c_path("ProgramData", "Microsoft", "Windows", "Start Menu", "Programs",
                                         "Hivemend")), "uninstall removes the Start-menu folder")
    check(system_path(wine) == path_before, "uninstall gives PATH back as it was")
    check(wine.registry_key("system", r"Software\Hivemend") is None, r"uninstall removes HKLM\Software\Hivemend")
    check(wine.registry_key("system", r"Software\Tarnwick\Hivemend") is None,
          r"uninstall removes HKLM\Software\Tarnwick\Hivemend")
    if tarnwick_other:
        check(reg_value(wine.registry_key("system", r"Software\Tarnwick\Other"), "Kept") == ("sz", "yes"),
              r"HKLM\Software\Tarnwick stays while it holds another program's key")
        check(reg_value(wine.registry_key("user", r"Software\Tarnwick\Other"), "Kept") == ("sz", "yes"),
              r"HKCU\Software\Tarnwick stays while it holds another program's key")
        wine.run("reg", "delete", r"HKLM\Software\Tarnwick", "/f")
        wine.run("reg", "delete", r"HKCU\Software\Tarnwick", "/f")
    else:
        check(wine.registry_key("system", r"Software\Tarnwick") is None, r"uninstall removes the empty HKLM\Software\Tarnwick")
        check(wine.registry_key("user", r"Software\Tarnwick") is None,
              r"uninstall removes the user's saved answers and the empty HKCU\Software\Tarnwick")
    check(wine.registry_key("user", r"Software\Tarnwick\hivemend.exe") is None, "uninstall removes the saved answers")
    check(wine.registry_key("system", "Software\\Classes\\regfile\\shell\\" + PREVIEW_VERB) is None,
          "uninstall removes the context-menu verb")
    check(os.path.isfile(undo_file), "a silent uninstall keeps the user's undo files")
    shutil.rmtree(history_folder(wine), ignore_errors=True)


def handler_round_trip(wine, args):
    """/HANDLER=1 and the uninstall, against hivemend.exe's /sethandler and /removehandler."""
    before = wine.registry_tree("user", r"Software\Classes")
    default_before = shell_command(wine, args)
    check(wine.run(args.installer, "/S", "/HANDLER=1") == 0, "silent install with /HANDLER=1 exits with 0")
    wine.wait()
    # Wine's HKEY_CLASSES_ROOT does not show the user's own classes, so the
    # shell there cannot tell; the user's classes must name the program.
    during = wine.registry_tree("user", r"Software\Classes")
    program = (FOLDER + "\\hivemend.exe").replace("\\", "\\\\").lower()
    named = [k for k, lines in during.items() if lines != before.get(k) and any(program in l.lower() for l in lines)]
    check(bool(named), "the user's classes now open .reg files with Hivemend: %s" % named[:3])
    check(shell_command(wine, args, PREVIEW_VERB) == PROGRAM_COMMAND, "the context-menu verb is there too")
    check(shell_command(wine, args, "open") == 'regedit.exe "%1"', "'Merge' stays on the context menu")
    wine.run("reg", "add", r"HKCU\Software\Hivemend", "/v", "LastFolder", "/d", r"C:\users", "/f")
    uninstall(wine)
    check(wine.registry_key("user", r"Software\Hivemend") is None,
          r"once the handler is removed, the uninstall removes HKCU\Software\Hivemend")
    check(shell_command(wine, args) == default_before,
          "after the uninstall a .reg file opens as before: %s" % shell_command(wine, args))
    after = wine.registry_tree("user", r"Software\Classes")
    changed = sorted(k for k in set(before) | set(after) if before.get(k) != after.get(k))
    check(not changed, "the user's classes are as they were: %s" % changed[:5])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--installer", required=True)
    parser.add_argument("--newer-installer", required=True)
    parser.add_argument("--newer-version", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--ui-driver", required=True)
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--program", default="hivemend.exe")
    parser.add_argument("--handler", action="store_true")
    args = parser.parse_args()

    for installer, version in ((args.installer, args.version), (args.newer_installer, args.newer_version)):
        check(pe_machine(installer) == 0x8664, "%s is a 64-bit program" % os.path.basename(installer))
        check(file_version(installer) == version, "%s's file version is %s (found %s)"
              % (os.path.basename(installer), version, file_version(installer)))

    wine = WinePrefix(args.wine_run, args.prefix)
    remove_installation(wine)
    seed_reg_file_type(wine)
    original_path = system_path(wine)
    try:
        if args.handler:
            handler_round_trip(wine, args)
        else:
            round_trip(wine, args, original_path, tarnwick_other=False)
            # A PATH longer than the installer's own strings (1024 characters),
            # stored as REG_SZ, with another program's key beside ours.
            long_path = ";".join("C:\\Tools\\Some Long Folder Name %03d\\bin" % n for n in range(80))
            set_system_path(wine, "sz", long_path)
            round_trip(wine, args, ("sz", long_path), tarnwick_other=True)
    finally:
        remove_installation(wine)
        if original_path:
            set_system_path(wine, *original_path)
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
