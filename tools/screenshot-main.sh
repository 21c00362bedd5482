#!/usr/bin/env bash
# Opens the main window on a .REG file under a private Xvfb and writes a PNG of
# the window. The registry of the build's Wine prefix is first prepared with
# tools/seed-demo-registry.reg, so that examples/demo.reg shows every status.
#
#   tools/screenshot-main.sh [--details N | --menu N | --filter TEXT CHOICE | --merge | --history]
#                            [FILE.reg | BUILD_DIR] [OUTPUT.png]
#
# --details N opens the details of the N-th row (from 1, in list order) and
# pictures that window; --menu N opens the row menu on row N; --filter types
# TEXT into the filter box and picks the status choice CHOICE (0 all rows,
# 1 rows that would change, 2 to 6 each status); --merge merges
# every row and pictures the outcome; --history merges every row, takes the
# merge back with Undo last merge and pictures File > History... (the history
# folder of the prefix: a prefix of its own, HIVEMEND_WINEPREFIX, shows only
# these merges).
# Defaults: examples/demo.reg and <build>/screenshots/main-window.png, where
# <build> is BUILD_DIR when the first argument is a folder, else
# $HIVEMEND_BUILD or build/win. HIVEMEND_SCREEN sets the screen's size
# (default 1600x900; a window larger than the screen is made to fit it, so
# 1100x720 shows the window 1100 pixels wide). The file is copied into the prefix as
# C:\users\Public\Documents\<name>, so that the picture shows that path.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${HIVEMEND_BUILD:-$root/build/win}
file=$root/examples/demo.reg
action=""
row=""
choice=""
positional=()
while [ $# -gt 0 ]; do
  case "$1" in
    --details|--menu) action=${1#--}; row=${2:?"$1 needs a row number"}; shift 2 ;;
    --filter) action=filter; row=${2?"$1 needs a text"}; choice=${3:?"$1 needs a status choice"}; shift 3 ;;
    --merge|--history) action=${1#--}; row=0; shift ;;
    *) positional+=("$1"); shift ;;
  esac
done
if [ -n "${positional[0]:-}" ]; then
  if [ -d "${positional[0]}" ]; then build_dir=${positional[0]}; else file=${positional[0]}; fi
fi
file=$(readlink -f "$file")
build=$(cd "$build_dir" && pwd)
out=${positional[1]:-$build/screenshots/main-window.png}
exe=$build/app/hivemend.exe
driver=$build/tests/app/app_window_driver.exe
[ -x "$exe" ] || { echo "screenshot-main.sh: $exe not built" >&2; exit 1; }
mkdir -p "$(dirname "$out")"

app=""
. "$root/tools/end-sessions.sh"
# Ends the window, the prefix's Wine session that ran on this display, and the
# display, also when a step fails or the script is interrupted.
cleanup() {
  set +e
  end_descendants "${xvfb_pid:-}"
  [ -n "${HIVEMEND_WINEPREFIX:-}" ] && end_wine_prefix "$HIVEMEND_WINEPREFIX"
  end_descendants
}
trap cleanup EXIT
# A screen large enough for the whole window (761 x 345 dialog units), unless
# asked for a smaller one.
display_screen=${HIVEMEND_SCREEN:-1600x900}x24
. "$root/tools/private-display.sh"

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
public=$HIVEMEND_WINEPREFIX/drive_c/users/Public/Documents
mkdir -p "$public"
cp "$file" "$public/"

"$run" "$exe" "C:\\users\\Public\\Documents\\$(basename "$file")" &
app=$!
# Wait for the window, then for the load (a small file: well under a second).
# The title names the file: "Hivemend - demo.reg".
for _ in $(seq 100); do
  xwininfo -root -tree 2>/dev/null | grep -q '"Hivemend' && break
  sleep 0.1
done
sleep 2
title='"Hivemend'
if [ -n "$action" ]; then
  [ -x "$driver" ] || { echo "screenshot-main.sh: $driver not built" >&2; exit 1; }
  # shellcheck disable=SC2086  # no choice: no argument
  "$run" "$driver" "$action" "$row" $choice || { echo "screenshot-main.sh: no row $row" >&2; exit 1; }
  sleep 1.5
  [ "$action" = details ] && title='"Details - '
  [ "$action" = merge ] && title='"Hivemend": '
  [ "$action" = history ] && title='"Merge history"'
fi
import -window root -crop "$(xwininfo -root -tree | awk -v t="$title" 'index($0, t) {print $(NF-1); exit}' | tr -d ' ' \
  | sed 's/^\([0-9]*x[0-9]*\)+\([0-9-]*\)+\([0-9-]*\).*/\1+\2+\3/')" +repage "$out" 2>/dev/null \
  || import -window root "$out"
"$run" "$exe" /terminate >/dev/null 2>&1 || true
wait "$app" 2>/dev/null || true
app=""
echo "$out"
