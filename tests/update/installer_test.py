#!/usr/bin/env python3
"""The installer as a user meets it, in a Wine prefix of the test's own:
"/S" installs hivemend.exe into Program Files\\Hivemend (64-bit view) with a
Start-menu shortcut, an uninstaller and its Uninstall entry; a newer installer
with "/S" installs over it; the uninstaller removes it all again.

  installer_test.py --wine-run tools/wine-run.sh --prefix DIR \\
      --installer HivemendSetup64.exe --newer-installer NEWER.exe --newer-version V
"""
import argparse
import os
import shutil
import sys

sys.dont_write_bytecode = True
from wine_prefix import WinePrefix  # noqa: E402

UNINSTALL_KEY = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\Hivemend"
failures = []


def check(condition, what):
    print(("ok:   " if condition else "FAIL: ") + what)
    if not condition:
        failures.append(what)


def pe_machine(path):
    """The machine field of a Windows program's PE header (0x8664: x86-64)."""
    with open(path, "rb") as f:
        data = f.read(4096)
    offset = int.from_bytes(data[0x3C:0x40], "little")
    return int.from_bytes(data[offset + 4:offset + 6], "little") if data[offset:offset + 4] == b"PE\0\0" else 0


def remove_installation(wine):
    uninstaller = wine.c_path("Program Files", "Hivemend", "Uninstall.exe")
    if os.path.exists(uninstaller):
        wine.run(r"C:\Program Files\Hivemend\Uninstall.exe", "/S")
        wine.wait()
    shutil.rmtree(wine.c_path("Program Files", "Hivemend"), ignore_errors=True)


def check_installed(wine, version, program):
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
    entry = entry or {}
    check(entry.get("DisplayVersion") == '"%s"' % version,
          "DisplayVersion %s (found %s)" % (version, entry.get("DisplayVersion")))
    check(entry.get("DisplayName") == '"Hivemend"', "DisplayName Hivemend")
    check("Uninstall.exe" in entry.get("UninstallString", ""), "UninstallString names the uninstaller")
    check(wine.registry_key("system", "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Hivemend")
          is None, "no entry in the 32-bit view")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--installer", required=True)
    parser.add_argument("--newer-installer", required=True)
    parser.add_argument("--newer-version", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--program", default="hivemend.exe")
    args = parser.parse_args()

    for installer in (args.installer, args.newer_installer):
        check(pe_machine(installer) == 0x8664, "%s is a 64-bit program" % os.path.basename(installer))

    wine = WinePrefix(args.wine_run, args.prefix)
    remove_installation(wine)

    check(wine.run(args.installer, "/S") == 0, "silent install exits with 0")
    wine.wait()
    check_installed(wine, args.version, args.program)

    check(wine.run(args.newer_installer, "/S") == 0, "newer silent install over it exits with 0")
    wine.wait()
    check_installed(wine, args.newer_version, args.program)

    wine.run(r"C:\Program Files\Hivemend\Uninstall.exe", "/S")
    wine.wait()
    check(not os.path.exists(wine.c_path("Program Files", "Hivemend")), "uninstall removes the folder")
    check(wine.registry_key("system", UNINSTALL_KEY) is None, "uninstall removes the Uninstall entry")
    check(not os.path.exists(wine.c_path("ProgramData", "Microsoft", "Windows", "Start Menu", "Programs",
                                         "Hivemend")), "uninstall removes the Start-menu folder")
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
