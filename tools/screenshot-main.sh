#!/usr/bin/env bash
# Opens the main window on examples/demo.reg under a private Xvfb and writes a
# PNG of it. The registry of the build's Wine prefix is first prepared with
# tools/seed-demo-registry.reg, so that the list shows every status.
#
#   tools/screenshot-main.sh [BUILD_DIR] [OUTPUT.png]
#
# Defaults: build/win and <BUILD_DIR>/screenshots/main-window.png.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/win}" && pwd)
out=${2:-$build/screenshots/main-window.png}
exe=$build/app/hivemend.exe
[ -x "$exe" ] || { echo "screenshot-main.sh: $exe not built" >&2; exit 1; }
mkdir -p "$(dirname "$out")"

# A screen large enough for the whole window (761 x 345 dialog units).
for n in $(seq 150 199); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
done
Xvfb ":$n" -screen 0 1600x900x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
xvfb=$!
app=""
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 50); do [ -S "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
export DISPLAY=":$n"

run=$root/tools/wine-run.sh
"$run" "$build/cli/hivemend-cli.exe" --version >/dev/null 2>&1 || true  # prepares the prefix
WINEPREFIX=$build/wineprefix WINEDEBUG=-all wine reg import "$(winepath -w "$root/tools/seed-demo-registry.reg" 2>/dev/null)" \
  >/dev/null 2>&1 || true

"$run" "$exe" "$(WINEPREFIX=$build/wineprefix winepath -w "$root/examples/demo.reg" 2>/dev/null)" &
app=$!
# Wait for the window, then for the load (a small file: well under a second).
for _ in $(seq 100); do
  xwininfo -root -tree 2>/dev/null | grep -q '"Hivemend"' && break
  sleep 0.1
done
sleep 2
import -window root -crop "$(xwininfo -root -tree | awk '/"Hivemend"/ {print $(NF-1); exit}' | tr -d ' ' \
  | sed 's/^\([0-9]*x[0-9]*\)+\([0-9-]*\)+\([0-9-]*\).*/\1+\2+\3/')" +repage "$out" 2>/dev/null \
  || import -window root "$out"
"$run" "$exe" /terminate >/dev/null 2>&1 || true
wait "$app" 2>/dev/null || true
app=""
echo "$out"
