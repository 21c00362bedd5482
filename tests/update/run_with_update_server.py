#!/usr/bin/env python3
"""Runs one test command beside a fresh local HTTPS update server.

  run_with_update_server.py --state DIR -- COMMAND [ARGS...]

Starts update_server.py with a new empty state folder, waits until it is
ready, runs COMMAND with HIVEMEND_TEST_SERVER_STATE set to the folder as a
Wine path (Z:\\...), stops the server and returns COMMAND's exit code.
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))


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
        env["HIVEMEND_TEST_SERVER_STATE"] = "Z:" + server.state.replace("/", "\\")
        return subprocess.call(command, env=env)
    finally:
        server.stop()


if __name__ == "__main__":
    sys.exit(main())
