#!/usr/bin/env python3
"""Runs one test command beside a fresh local HTTPS update server.

  run_with_update_server.py --state DIR [--fake-installer EXE] -- COMMAND [ARGS...]

Starts update_server.py with a new empty state folder, waits until it is
ready, runs COMMAND with HIVEMEND_TEST_SERVER_STATE set to the folder as a
Wine path (Z:\\...), stops the server and returns COMMAND's exit code.

With --fake-installer and --versions OLD NEW, the folder's "installers" holds
that program padded with zeros to INSTALLER_SIZE bytes, its file version set
to NEW, and then: signed by the publisher (signed.exe), by a renewed
certificate of the publisher's key (renewed.exe), by a revoked (revoked.exe)
or expired one (expired.exe), by one whose revocation cannot be checked
(unchecked.exe), by the publisher's next key (successor.exe), by
someone else (other.exe), not signed (unsigned.exe), signed by the publisher
with one byte changed afterwards (tampered.exe), and signed by the publisher
with the file version OLD (older.exe).
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from update_server import sign_file  # noqa: E402

INSTALLER_SIZE = 40000


def with_file_version(program, version):
    """The program with the file version of its version resource set to "a.b.c.d"."""
    at = program.find(b"\xbd\x04\xef\xfe")  # VS_FIXEDFILEINFO's signature
    if at < 0:
        raise RuntimeError("the program has no version resource")
    a, b, c, d = (int(n) for n in version.split("."))
    fields = ((a << 16) | b).to_bytes(4, "little") + ((c << 16) | d).to_bytes(4, "little")
    return program[:at + 8] + fields + program[at + 16:]


class UpdateServer:
    """update_server.py running in a fresh state folder; stop() ends it."""

    def __init__(self, state):
        self.state = os.path.abspath(state)
        shutil.rmtree(self.state, ignore_errors=True)
        os.makedirs(self.state)
        with open(os.path.join(self.state, "server.err"), "w") as err:
            self.process = subprocess.Popen(
                [sys.executable, os.path.join(HERE, "update_server.py"), "--state", self.state],
                stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=err, close_fds=True)
        deadline = time.monotonic() + 60
        ready = os.path.join(self.state, "server.txt")
        while not os.path.exists(ready):
            if self.process.poll() is not None or time.monotonic() > deadline:
                self.stop()
                with open(os.path.join(self.state, "server.err")) as f:
                    raise RuntimeError("update server did not start:\n" + f.read())
            time.sleep(0.05)
        with open(ready) as f:
            self.info = dict(line.strip().split("=", 1) for line in f if "=" in line)

    def set_answer(self, route, body, status=200):
        base = os.path.join(self.state, "routes", route)
        with open(base + ".status", "w") as f:
            f.write(str(status))
        with open(base + ".body", "wb") as f:
            f.write(body)

    def set_mode(self, route, mode):
        """How the route's body is sent (update_server.py); "" sends it whole."""
        path = os.path.join(self.state, "routes", route + ".mode")
        if mode:
            with open(path, "w") as f:
                f.write(mode)
        elif os.path.exists(path):
            os.remove(path)

    def sign(self, signer, source, target):
        """Signs source as target with "publisher" or "other"."""
        sign_file(self.state, signer, source, target)

    def make_installers(self, program, old_version, new_version):
        folder = os.path.join(self.state, "installers")
        os.makedirs(folder, exist_ok=True)
        with open(program, "rb") as f:
            data = f.read()
        data += b"\0" * (INSTALLER_SIZE - len(data))
        unsigned = os.path.join(folder, "unsigned.exe")
        with open(unsigned, "wb") as f:
            f.write(with_file_version(data, new_version))
        older = os.path.join(folder, "older-unsigned.exe")
        with open(older, "wb") as f:
            f.write(with_file_version(data, old_version))
        self.sign("publisher", older, os.path.join(folder, "older.exe"))
        self.sign("publisher", unsigned, os.path.join(folder, "signed.exe"))
        for signer in ("renewed", "revoked", "expired", "unchecked", "successor", "other"):
            self.sign(signer, unsigned, os.path.join(folder, signer + ".exe"))
        with open(os.path.join(folder, "signed.exe"), "rb") as f:
            tampered = bytearray(f.read())
        tampered[INSTALLER_SIZE // 2] ^= 0x01  # in the padding, which the signature covers
        with open(os.path.join(folder, "tampered.exe"), "wb") as f:
            f.write(tampered)

    def requests(self):
        try:
            with open(os.path.join(self.state, "requests.log")) as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    def clear_requests(self):
        try:
            os.remove(os.path.join(self.state, "requests.log"))
        except FileNotFoundError:
            pass

    def stop(self):
        if self.process.stdin:
            self.process.stdin.close()
        try:
            self.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--state", required=True)
    parser.add_argument("--fake-installer")
    parser.add_argument("--versions", nargs=2, metavar=("OLD", "NEW"), default=("0.0.0.1", "0.0.0.2"))
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command

    env = {k: v for k, v in os.environ.items()
           if k.lower() not in ("http_proxy", "https_proxy")}
    try:
        server = UpdateServer(args.state)
    except RuntimeError as e:
        sys.stderr.write(str(e))
        return 1
    try:
        if args.fake_installer:
            server.make_installers(args.fake_installer, *args.versions)
        env["HIVEMEND_TEST_SERVER_STATE"] = "Z:" + server.state.replace("/", "\\")
        return subprocess.call(command, env=env)
    finally:
        server.stop()


if __name__ == "__main__":
    sys.exit(main())
