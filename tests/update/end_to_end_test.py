#!/usr/bin/env python3
"""The update path end to end, in a Wine prefix of the test's own, against a
local HTTPS server whose test CA only that prefix trusts:

1. The real installer installs the current version; the server offers a newer
   one. hivemend.exe starts, asks, the user clicks Yes, and afterwards the
   newer version is installed (and "UpdateFinished" is 1).
2. The same with "Don't ask me again" ticked: still installs, stores nothing.
3. An installer signed by another certificate: downloaded, refused with one
   message, deleted, never started; the current version stays.
4. Another copy's "/terminate" within 5 s of the window opening: the window
   closes and no request reaches the server.

The program under test is a copy of hivemend.exe that takes its server from
HIVEMEND_TEST_UPDATE_HOST and its publisher's certificate hash from
HIVEMEND_TEST_PUBLISHER_SHA256; the installers carry that copy as
hivemend.exe. The newer installer is signed here, with the test publisher's
certificate that the server made for this run.
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
PROGRAM = r"C:\Program Files\Hivemend\hivemend.exe"
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


def update_by_prompt(wine, args, server, env, tick):
    shutil.rmtree(wine.c_path("Program Files", "Hivemend"), ignore_errors=True)
    wine.run("reg", "delete", r"HKCU\Software\Hivemend", "/f")
    check(wine.run(args.installer, "/S") == 0, "current version installed")
    check(installed_version(wine) == args.version, "installed version is " + args.version)
    server.clear_requests()

    program = wine.start(PROGRAM, extra_env=env)
    started = time.monotonic()
    # The check waits 5 s, fetches, and the window asks as soon as the text arrives.
    answer = wine.run(args.ui_driver, "answer", "Hivemend Update Available", str(IDYES), "1" if tick else "0",
                      "40000", timeout=60)
    check(answer == 0, "the prompt came and was answered Yes%s (after %.1f s)"
          % (" with 'Don't ask me again'" if tick else "", time.monotonic() - started))
    # The installer runs beside the program; then the user closes the program.
    time.sleep(5)
    check(program.poll() is None, "the window is still open after the installer started")
    wine.run(PROGRAM, "/terminate", extra_env=env)
    try:
        program.wait(timeout=30)
    except Exception:
        program.kill()
    wine.wait()
    check(installed_version(wine) == args.newer_version,
          "newer version %s installed (found %s)" % (args.newer_version, installed_version(wine)))
    check(os.path.isfile(wine.c_path("Program Files", "Hivemend", "hivemend.exe")), "hivemend.exe is there")
    requests = server.requests()
    check(requests == ["trusted /versioninfo/hivemend/", "trusted /files/alpha/hivemendsetup64.exe"],
          "one version check and one download: %s" % requests)
    user = wine.registry_key("user", r"Software\Hivemend") or {}
    check(user.get("UpdateFinished") == "dword:00000001", "UpdateFinished is 1: %s" % user)
    saved = wine.registry_key("user", r"Software\Tarnwick\hivemend.exe\AppMessageBox")
    check(not saved, "no answer stored: %s" % saved)


def downloads(wine):
    folder = wine.c_path("Program Files", "Hivemend")
    return sorted(n for n in os.listdir(folder) if n.startswith("HivemendSetup64-")) if os.path.isdir(folder) else []


def refused_by_signature(wine, args, server, env, other_signed):
    shutil.rmtree(wine.c_path("Program Files", "Hivemend"), ignore_errors=True)
    wine.run("reg", "delete", r"HKCU\Software\Hivemend", "/f")
    check(wine.run(args.installer, "/S") == 0, "current version installed")
    server.set_answer("installer", other_signed)
    server.clear_requests()

    program = wine.start(PROGRAM, extra_env=env)
    answer = wine.run(args.ui_driver, "answer", "Hivemend Update Available", str(IDYES), "0", "40000", timeout=60)
    check(answer == 0, "the prompt came and was answered Yes")
    told = wine.run(args.ui_driver, "answer", "Hivemend Update", str(IDOK), "0", "40000", timeout=60)
    check(told == 0, "the user was told that the installer was refused")
    check(program.poll() is None, "the window is still open")
    wine.run(PROGRAM, "/terminate", extra_env=env)
    try:
        program.wait(timeout=30)
    except Exception:
        program.kill()
    wine.wait()
    check(installed_version(wine) == args.version, "still version %s (found %s)" % (args.version, installed_version(wine)))
    check(downloads(wine) == [], "the refused download was deleted: %s" % downloads(wine))
    user = wine.registry_key("user", r"Software\Hivemend") or {}
    check("UpdateFinished" not in user, "UpdateFinished is not set: %s" % user)
    check(server.requests() == ["trusted /versioninfo/hivemend/", "trusted /files/alpha/hivemendsetup64.exe"],
          "one version check and one download: %s" % server.requests())


def terminate_early(wine, args, server, env):
    server.clear_requests()
    program = wine.start(PROGRAM, extra_env=env)
    check(wine.run(args.ui_driver, "wait-window", "Hivemend", "20000") == 0, "the window opened")
    opened = time.monotonic()
    wine.run(PROGRAM, "/terminate", extra_env=env)
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
        for signer in ("publisher", "other"):
            target = os.path.join(server.state, "newer-%s.exe" % signer)
            server.sign(signer, args.newer_installer, target)
            with open(target, "rb") as f:
                signed[signer] = f.read()
        server.set_answer("installer", signed["publisher"])
        server.set_answer("version", (args.newer_version + "\r\n").encode())
        env = {"HIVEMEND_TEST_UPDATE_HOST": "localhost:" + server.info["trusted_port"],
               "HIVEMEND_TEST_PUBLISHER_SHA256": server.info["publisher_sha256"]}

        update_by_prompt(wine, args, server, env, tick=False)
        update_by_prompt(wine, args, server, env, tick=True)
        refused_by_signature(wine, args, server, env, signed["other"])
        server.set_answer("installer", signed["publisher"])
        terminate_early(wine, args, server, env)
    finally:
        if os.path.exists(wine.c_path("Program Files", "Hivemend", "Uninstall.exe")):
            wine.run(r"C:\Program Files\Hivemend\Uninstall.exe", "/S")
        if ca_key:
            wine.run("reg", "delete", ca_key, "/f")
        wine.run("reg", "delete", r"HKCU\Software\Hivemend", "/f")
        wine.wait()
        server.stop()
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
