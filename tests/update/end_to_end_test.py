#!/usr/bin/env python3
"""The update path end to end, in a Wine prefix of the test's own, against a
local HTTPS server whose test CA only that prefix trusts:

1. The real installer installs the current version; the server offers a newer
   one. hivemend.exe starts, asks, the user clicks Yes, is told that the
   installer started, and afterwards the newer version is installed (and
   "UpdateFinished" is 1).
2. The same for a copy installed outside Program Files, in a folder whose name
   holds a space, with "Don't ask me again" ticked and the installer signed
   with the publisher's second pinned key: the update goes into that folder
   (nothing into Program Files), and nothing is stored.
3. Refused downloads, each told in one message that is read back from the box:
   an installer signed by someone else, an older installer signed by the
   publisher, one signed with a revoked certificate, a redirect to http, an
   answer without Content-Length, a 404. Each is deleted and never started;
   the current version stays.
4. Another copy's "/terminate" within 5 s of the window opening: the window
   closes and no request reaches the server.

The program under test is a copy of hivemend.exe that takes its server from
HIVEMEND_TEST_UPDATE_HOST, its publisher's keys from
HIVEMEND_TEST_PUBLISHER_PINS and its wait before the first check from
HIVEMEND_TEST_FIRST_CHECK_WAIT_MS; the installers carry that copy as hivemend.exe.
The installers are signed here, with the certificates that the server made
for this run.
"""
import argparse
import os
import shutil
import sys
import time

sys.dont_write_bytecode = True
from run_with_update_server import UpdateServer  # noqa: E402
from wine_prefix import WinePrefix  # noqa: E402

UNINSTALL_KEY = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\Hivemend"
PROGRAM_FILES = r"C:\Program Files\Hivemend"
OUTSIDE = r"C:\Tools\Hive mend"
IDOK = 1
IDYES = 6
failures = []


def check(condition, what):
    print(("ok:   " if condition else "FAIL: ") + what, flush=True)
    if not condition:
        failures.append(what)


def trust_ca(wine, server):
    with open(os.path.join(server.state, "ca.der"), "rb") as f:
        der = f.read()
    blob = (32).to_bytes(4, "little") + (1).to_bytes(4, "little") + len(der).to_bytes(4, "little") + der
    key = "HKCU\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\" + server.info["ca_sha1"]
    check(wine.run("reg", "add", key, "/v", "Blob", "/t", "REG_BINARY", "/d", blob.hex(), "/f") == 0,
          "test CA trusted in the test's prefix")
    return key


def installed_version(wine):
    wine.wait()
    entry = wine.registry_key("system", UNINSTALL_KEY) or {}
    return entry.get("DisplayVersion", "").strip('"')


def installed_location(wine):
    wine.wait()
    entry = wine.registry_key("system", UNINSTALL_KEY) or {}
    return entry.get("InstallLocation", "").strip('"').replace("\\\\", "\\")


def unix_path(wine, windows_path):
    return wine.c_path(*windows_path[3:].split("\\"))


def remove_installations(wine):
    for folder in (PROGRAM_FILES, OUTSIDE):
        if os.path.exists(unix_path(wine, folder + r"\Uninstall.exe")):
            wine.run(folder + r"\Uninstall.exe", "/S")
        wine.wait()
        shutil.rmtree(unix_path(wine, folder), ignore_errors=True)


def install(wine, args, folder):
    """The current version, silently, into folder: /D= must come last and
    unquoted, which only a command line written by hand keeps."""
    remove_installations(wine)
    wine.run("reg", "delete", r"HKCU\Software\Hivemend", "/f")
    setup = wine.c_path("hivemend-setup-current.exe")
    shutil.copyfile(args.installer, setup)
    script = wine.c_path("install-current.bat")
    with open(script, "w") as f:
        f.write('@"C:\\hivemend-setup-current.exe" /S /D=%s\r\n' % folder)
    wine.run("cmd", "/c", r"C:\install-current.bat")
    wine.wait()
    check(installed_version(wine) == args.version and installed_location(wine) == folder,
          "current version %s installed in %s (found %s in %s)"
          % (args.version, folder, installed_version(wine), installed_location(wine)))


def box_text(output):
    """The message of a box as ui_driver printed it (control 1001)."""
    return next((line[len("text 1001: "):] for line in output.splitlines() if line.startswith("text 1001: ")), "")


def close_program(wine, program, folder, env):
    wine.run(folder + r"\hivemend.exe", "/terminate", extra_env=env)
    try:
        program.wait(timeout=30)
    except Exception:
        program.kill()
    wine.wait()


def update_by_prompt(wine, args, server, env, tick, folder):
    install(wine, args, folder)
    server.clear_requests()

    program = wine.start(folder + r"\hivemend.exe", extra_env=env)
    started = time.monotonic()
    # The check fetches, and the window asks as soon as the text arrives.
    answer = wine.run(args.ui_driver, "answer", "Hivemend Update Available", str(IDYES), "1" if tick else "0",
                      "40000", timeout=60)
    check(answer == 0, "the prompt came and was answered Yes%s (after %.1f s)"
          % (" with 'Don't ask me again'" if tick else "", time.monotonic() - started))
    # The installer runs beside the program, which says so; then the user closes the program.
    told, output = wine.output(args.ui_driver, "answer", "Hivemend Update", str(IDOK), "0", "40000", timeout=60)
    check(told == 0 and box_text(output).startswith("The update to version %s was downloaded and verified, "
                                                    "and its installer has started." % args.newer_version),
          "the user was told that the installer started: %r" % box_text(output))
    time.sleep(3)
    check(program.poll() is None, "the window is still open after the installer started")
    close_program(wine, program, folder, env)
    check(installed_version(wine) == args.newer_version,
          "newer version %s installed (found %s)" % (args.newer_version, installed_version(wine)))
    check(installed_location(wine) == folder, "the update went into %s (found %s)" % (folder, installed_location(wine)))
    check(os.path.isfile(unix_path(wine, folder + r"\hivemend.exe")), "hivemend.exe is there")
    if folder != PROGRAM_FILES:
        check(not os.path.exists(unix_path(wine, PROGRAM_FILES)), "nothing was installed into Program Files")
    requests = server.requests()
    check(requests == ["trusted /versioninfo/hivemend/", "trusted /files/alpha/hivemendsetup64.exe"],
          "one version check and one download: %s" % requests)
    user = wine.registry_key("user", r"Software\Hivemend") or {}
    check(user.get("UpdateFinished") == "dword:00000001", "UpdateFinished is 1: %s" % user)
    saved = wine.registry_key("user", r"Software\Tarnwick\hivemend.exe\AppMessageBox")
    check(not saved, "no answer stored: %s" % saved)


def downloads(wine):
    folder = unix_path(wine, PROGRAM_FILES)
    return sorted(n for n in os.listdir(folder) if n.startswith("HivemendSetup64-")) if os.path.isdir(folder) else []


def refused(wine, args, server, env, signed):
    """Each refused download is told in one message; the current version stays."""
    install(wine, args, PROGRAM_FILES)
    cases = [
        ("other", "", 200, "was not signed by the publisher of Hivemend. It was deleted and not started."),
        ("older", "", 200, "The downloaded installer is version %s, but version %s was offered. It was deleted "
         "and not started." % (args.version, args.newer_version)),
        ("revoked", "", 200, "has been revoked. It was deleted and not started."),
        ("publisher", "redirect-http", 200, "redirected it to an address that is not secure (not https)."),
        ("publisher", "nolength", 200, "did not say how large the file is"),
        ("publisher", "", 404, "answered with status 404."),
    ]
    for signer, mode, status, reason in cases:
        wine.run("reg", "delete", r"HKCU\Software\Hivemend", "/f")
        server.set_answer("installer", signed[signer], status)
        server.set_mode("installer", mode)
        server.clear_requests()
        program = wine.start(PROGRAM_FILES + r"\hivemend.exe", extra_env=env)
        answer = wine.run(args.ui_driver, "answer", "Hivemend Update Available", str(IDYES), "0", "40000", timeout=60)
        told, output = wine.output(args.ui_driver, "answer", "Hivemend Update", str(IDOK), "0", "40000", timeout=60)
        text = box_text(output)
        check(answer == 0 and told == 0 and reason in text and text.endswith(" Nothing was installed."),
              "%s %s %d: the user was told: %r" % (signer, mode, status, text))
        check(program.poll() is None, "the window is still open")
        close_program(wine, program, PROGRAM_FILES, env)
        check(installed_version(wine) == args.version,
              "still version %s (found %s)" % (args.version, installed_version(wine)))
        check(downloads(wine) == [], "the refused download was deleted: %s" % downloads(wine))
        user = wine.registry_key("user", r"Software\Hivemend") or {}
        check("UpdateFinished" not in user, "UpdateFinished is not set: %s" % user)
        check(server.requests() == ["trusted /versioninfo/hivemend/", "trusted /files/alpha/hivemendsetup64.exe"],
              "one version check and one download, nothing over http: %s" % server.requests())
    server.set_mode("installer", "")


def terminate_early(wine, args, server, env):
    server.clear_requests()
    program = wine.start(PROGRAM_FILES + r"\hivemend.exe", extra_env=env)
    check(wine.run(args.ui_driver, "wait-window", "Hivemend", "20000") == 0, "the window opened")
    opened = time.monotonic()
    wine.run(PROGRAM_FILES + r"\hivemend.exe", "/terminate", extra_env=env)
    check(time.monotonic() - opened < 5, "/terminate sent within 5 s (%.1f s)" % (time.monotonic() - opened))
    try:
        code = program.wait(timeout=20)
    except Exception:
        program.kill()
        code = None
    check(code == 0, "the window closed with exit code 0 (got %s)" % code)
    wine.wait()
    check(server.requests() == [], "no request reached the server: %s" % server.requests())


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--state", required=True)
    parser.add_argument("--installer", required=True)
    parser.add_argument("--newer-installer", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--newer-version", required=True)
    parser.add_argument("--ui-driver", required=True)
    args = parser.parse_args()

    wine = WinePrefix(args.wine_run, args.prefix)
    server = UpdateServer(args.state)
    ca_key = None
    try:
        ca_key = trust_ca(wine, server)
        signed = {}
        for signer, source in (("publisher", args.newer_installer), ("successor", args.newer_installer),
                               ("other", args.newer_installer), ("revoked", args.newer_installer),
                               ("older", args.installer)):
            target = os.path.join(server.state, "signed-%s.exe" % signer)
            server.sign("publisher" if signer == "older" else signer, source, target)
            with open(target, "rb") as f:
                signed[signer] = f.read()
        server.set_answer("version", (args.newer_version + "\r\n").encode())
        env = {"HIVEMEND_TEST_UPDATE_HOST": "localhost:" + server.info["trusted_port"],
               "HIVEMEND_TEST_PUBLISHER_PINS": server.info["publisher_pin"] + "," + server.info["successor_pin"]}

        # The program's five seconds before its first check matter only to
        # the early /terminate; elsewhere the test copy asks at once.
        at_once = dict(env, HIVEMEND_TEST_FIRST_CHECK_WAIT_MS="0")
        server.set_answer("installer", signed["publisher"])
        update_by_prompt(wine, args, server, at_once, tick=False, folder=PROGRAM_FILES)
        server.set_answer("installer", signed["successor"])
        update_by_prompt(wine, args, server, at_once, tick=True, folder=OUTSIDE)
        refused(wine, args, server, at_once, signed)
        server.set_answer("installer", signed["publisher"])
        terminate_early(wine, args, server, env)
    finally:
        remove_installations(wine)
        if ca_key:
            wine.run("reg", "delete", ca_key, "/f")
        wine.run("reg", "delete", r"HKCU\Software\Hivemend", "/f")
        wine.wait()
        server.stop()
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
