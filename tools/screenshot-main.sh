#!/usr/bin/env bash
# Opens the main window on a .REG file under a private Xvfb and writes a PNG of
# the window. The registry of the build's Wine prefix is first prepared with
# tools/seed-demo-registry.reg, so that examples/demo.reg shows every status.
#
#   tools/screenshot-main.sh [FILE.reg | BUILD_DIR] [OUTPUT.png]
#
# Defaults: examples/demo.reg and <build>/screenshots/main-window.png, where
# <build> is BUILD_DIR when the first argument is a folder, else
# $HIVEMEND_BUILD or build/win.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${HIVEMEND_BUILD:-$root/build/win}
file=$root/examples/demo.reg
if [ -n "${1:-}" ]; then
  if [ -d "$1" ]; then build_dir=$1; else file=$1; fi
fi
file=$(readlink -f "$file")
build=$(cd "$build_dir" && pwd)
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

export HIVEMEND_WINEPREFIX=${HIVEMEND_WINEPREFIX:-$build/wineprefix}
run=$root/tools/wine-run.sh
# Wine takes the screen size from the display its server session started on:
# end a session that runs on another (smaller) display. This ends programs that
# still run in the prefix.
if [ -d "$HIVEMEND_WINEPREFIX" ]; then
  WINEPREFIX=$HIVEMEND_WINEPREFIX wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX=$HIVEMEND_WINEPREFIX wineserver -w >/dev/null 2>&1 || true
fi
"$run" reg import "Z:$(echo "$root/tools/seed-demo-registry.reg" | sed 's|/|\\|g')" >/dev/null 2>&1 || true

"$run" "$exe" "Z:$(echo "$file" | sed 's|/|\\|g')" &
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
