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


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--state", required=True)
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    state = os.path.abspath(args.state)
    shutil.rmtree(state, ignore_errors=True)
    os.makedirs(state)

    env = dict(os.environ)
    for name in ("http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY"):
        env.pop(name, None)
    with open(os.path.join(state, "server.err"), "w") as err:
        server = subprocess.Popen([sys.executable, os.path.join(HERE, "update_server.py"),
                                   "--state", state], stdin=subprocess.PIPE,
                                  stdout=subprocess.DEVNULL, stderr=err, close_fds=True)
    try:
        deadline = time.monotonic() + 60
        while not os.path.exists(os.path.join(state, "server.txt")):
            if server.poll() is not None or time.monotonic() > deadline:
                sys.stderr.write("update server did not start\n")
                with open(os.path.join(state, "server.err")) as f:
                    sys.stderr.write(f.read())
                return 1
            time.sleep(0.05)
        env["HIVEMEND_TEST_SERVER_STATE"] = "Z:" + state.replace("/", "\\")
        return subprocess.call(command, env=env)
    finally:
        server.stdin.close()
        try:
            server.wait(timeout=5)
        except subprocess.TimeoutExpired:
            server.kill()
            server.wait()


if __name__ == "__main__":
    sys.exit(main())
