#!/usr/bin/env bash
# Shows Hivemend's main job on a Debian 12 machine, installing what is missing:
# builds the Windows program, prepares a Wine registry in which examples/demo.reg
# has every status, and opens the program on that file. Without a display it
# runs under Xvfb and saves a screenshot of the window on examples/demo.reg to
# build/win/demo.png instead.
#
#   tools/run-demo.sh [FILE.reg]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
file=${1:-examples/demo.reg}

"$root/tools/install-deps.sh"
[ -f build/win/build.ninja ] || cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake >/dev/null
cmake --build build/win >/dev/null

export HIVEMEND_WINEPREFIX="$root/build/win/wineprefix"
# Without a display, one of its own for the preparation; at the end the
# prefix's Wine session and that display are ended, also when a step fails.
. "$root/tools/end-sessions.sh"
finish() {
  set +e
  end_wine_prefix "$HIVEMEND_WINEPREFIX"
  end_descendants
}
trap finish EXIT
if [ -z "${DISPLAY:-}" ]; then
  . "$root/tools/private-display.sh"
  no_display=1
fi
wine_run() { "$root/tools/wine-run.sh" "$@"; }
winpath() { echo "Z:$(readlink -f "$1" | sed 's|/|\\|g')"; }

# The demo's own registry state (under HKCU\Software\HivemendDemo only).
wine_run reg delete 'HKCU\Software\HivemendDemo' /f >/dev/null 2>&1 || true
wine_run reg import "$(winpath tools/seed-demo-registry.reg)" >/dev/null 2>&1

if [ -f build/win/app/hivemend.exe ]; then
  if [ -z "${no_display:-}" ]; then
    wine_run build/win/app/hivemend.exe "$(winpath "$file")"
  else
    "$root/tools/screenshot-main.sh" build/win build/win/demo.png
    echo "Screenshot of the window: build/win/demo.png"
  fi
else
  wine_run build/win/cli/hivemend-cli.exe diff "$(winpath "$file")"
fi
