"""A Wine prefix of the test's own, for tests that watch installers and other
child processes: without a persistent wineserver, so that `wineserver -w`
returns as soon as every process of the prefix has ended.
"""
import os
import re
import subprocess

WINE_TIMEOUT = 120


class WinePrefix:
    def __init__(self, wine_run, prefix):
        self.prefix = os.path.abspath(prefix)
        os.makedirs(self.prefix, exist_ok=True)
        env = dict(os.environ)
        env["HIVEMEND_WINEPREFIX"] = self.prefix
        # Creates the prefix once (and a private Xvfb when there is no display).
        subprocess.run([wine_run, "cmd", "/c", "exit"], env=env, check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=300)
        self.env = {k: v for k, v in os.environ.items()
                    if k.lower() not in ("http_proxy", "https_proxy", "no_proxy")}
        self.env.update(WINEPREFIX=self.prefix, WINEARCH="win64", WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
        display_file = os.path.join(self.prefix, ".xvfb-display")
        if not os.environ.get("DISPLAY") and os.path.exists(display_file):
            with open(display_file) as f:
                self.env["DISPLAY"] = ":" + f.read().strip()
        # Stop the persistent server that the runner left for this prefix.
        self.server("-k")
        self.wait()

    def server(self, *args):
        subprocess.run(["wineserver", *args], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=WINE_TIMEOUT)

    def wait(self):
        """Waits until every process of the prefix has ended."""
        self.server("-w")

    def run(self, *args, timeout=WINE_TIMEOUT, extra_env=None):
        env = dict(self.env)
        env.update(extra_env or {})
        return subprocess.run(["wine", *args], env=env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout).returncode

    def output(self, *args, timeout=WINE_TIMEOUT):
        """Runs a console program; returns its exit code and its output text."""
        result = subprocess.run(["wine", *args], env=self.env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=timeout)
        return result.returncode, result.stdout.decode("utf-8", "replace").strip()

    def start(self, *args, extra_env=None):
        env = dict(self.env)
        env.update(extra_env or {})
        return subprocess.Popen(["wine", *args], env=env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def c_path(self, *parts):
        """The Unix path of C:\\<parts...>."""
        return os.path.join(self.prefix, "drive_c", *parts)

    def registry_tree(self, hive, key):
        """Every key at or below a key, with its values as Wine stored them,
        without the times Wine keeps beside them (after wait())."""
        with open(os.path.join(self.prefix, hive + ".reg"), encoding="utf-8", errors="replace") as f:
            text = f.read()
        prefix = "[" + key.replace("\\", "\\\\").lower()
        tree, current = {}, None
        for line in text.splitlines():
            if line.startswith("["):
                name = line.split("]")[0] + "]"
                inside = name.lower() == prefix + "]" or name.lower().startswith(prefix + "\\\\")
                current = tree.setdefault(name, []) if inside else None
            elif current is not None and line and not line.startswith("#time="):
                current.append(line)
        return tree

    def registry_key(self, hive, key):
        """The values of a key as Wine stored them (hive: "system" or "user"),
        or None. Only meaningful while no wineserver runs (after wait())."""
        with open(os.path.join(self.prefix, hive + ".reg"), encoding="utf-8", errors="replace") as f:
            text = f.read()
        header = "[" + key.replace("\\", "\\\\") + "]"
        values, inside, found = {}, False, False
        for line in text.splitlines():
            if line.startswith("["):
                inside = line.split("]")[0].lower() + "]" == header.lower()
                found = found or inside
                continue
            if inside:
                m = re.match(r'^(?:"((?:[^"\\]|\\.)*)"|@)=(.*)$', line)
                if m:
                    values[m.group(1) or ""] = m.group(2)  # "" is the default value (@)
        return values if found else None
