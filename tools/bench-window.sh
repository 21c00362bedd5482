#!/usr/bin/env bash
# Benchmark of the main window under Wine: a generated file of VALUES values
# (default 100000) loaded into the window against the Wine registry (the time
# from the load command to the completion text, and the longest time the window
# took to answer meanwhile), every column sorted, a text typed into the filter
# box and erased (the time until each keystroke's result shows, and the longest
# answer meanwhile), the same file through
# hivemend-cli diff, reg import of the same file into a copy of the same
# prefix, with the ratio of the window's load to that import, and the window's
# merge of every row into another copy (the time from the confirmation to the
# outcome, the longest answer meanwhile, how often the progress showed).
#
#   tools/bench-window.sh [VALUES]
#
# The registry holds every key of the file and every other value (imported once
# with reg import), so the rows show SAME as well as MISSING. It lives in a Wine
# prefix of its own, build/bench-wine/wineprefix, apart from the tests' prefix.
# Builds what it needs: the file generator natively (build/release) and the Windows
# build (build/win).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
values=${1:-100000}
native=$root/build/release
win=$root/build/win
[ -f "$native/build.ninja" ] || cmake -S "$root" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHIVEMEND_TESTS=OFF >/dev/null
cmake --build "$native" --target hivemend-bench >/dev/null
[ -f "$win/build.ninja" ] || cmake -S "$root" -B "$win" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" >/dev/null
cmake --build "$win" --target app_window_bench hivemend-cli >/dev/null

# A display of its own; the trap ends it with the Wine servers of the prefix
# and its copy, also when the benchmark fails or is interrupted.
. "$root/tools/end-sessions.sh"
finish() {
  set +e
  [ -n "${prefix:-}" ] && end_wine_prefix "$prefix"
  [ -d "${data:-/nonexistent}/import-copy/wineprefix" ] && remove_copy "$data/import-copy/wineprefix"
  end_descendants
}
trap finish EXIT
display_screen=1280x1024x24
. "$root/tools/private-display.sh"
. "$root/tools/bench-prefix.sh"
export HIVEMEND_WINEPREFIX=$prefix

ms_since() { echo "($(date +%s.%N) - $1) * 1000" | bc | cut -d. -f1; }

# Wine writes keys of its own when a session starts and when the first
# programs of a session start, and its server saves a changed registry every 30
# seconds, stopping every thread of every program meanwhile (about 300 ms with
# this registry; the window's report below shows it as the plain round trip
# on another thread). The window is measured in a settled session: after a
# warm-up run of the window on a small file, once the registry files have gone
# unsaved for 35 seconds.
echo "== settling the Wine session"
"$native/bench/hivemend-bench" generate 100 "$data/warm-up.reg" >/dev/null
"$run" "$win/tests/app/app_window_bench.exe" "Z:$(echo "$data/warm-up.reg" | sed 's|/|\\|g')" >/dev/null
# A registry file that a new prefix has not saved yet counts as unsaved.
saved() { stat -c %Y "$HIVEMEND_WINEPREFIX/system.reg" "$HIVEMEND_WINEPREFIX/user.reg" 2>/dev/null || true; }
last=$(saved)
quiet=0
for _ in $(seq 120); do
  sleep 1
  if [ "$(saved)" != "$last" ]; then last=$(saved); quiet=0; else quiet=$((quiet + 1)); fi
  [ "$quiet" -ge 35 ] && break
done

echo "== window: $values values"
"$run" "$win/tests/app/app_window_bench.exe" "$winfile" | tee "$data/window-$values.txt"
window_ms=$(tr -d "\r" < "$data/window-$values.txt" | sed -n "s/^load command to completion text: \([0-9]*\) ms$/\1/p")
echo "== hivemend-cli diff (same file)"
start=$(date +%s.%N)
"$run" "$win/cli/hivemend-cli.exe" diff "$winfile" >/dev/null || true
end=$(date +%s.%N)
echo "hivemend-cli diff: $(echo "($end - $start) * 1000" | bc | cut -d. -f1) ms (process start included)"

# reg import writes what it reads, so it runs in a copy of the prefix (the
# registry as the window saw it) that is thrown away afterwards.
echo "== reg import (same file, a copy of the same registry)"
WINEPREFIX=$HIVEMEND_WINEPREFIX wineserver -k 2>/dev/null || true
WINEPREFIX=$HIVEMEND_WINEPREFIX wineserver -w 2>/dev/null || true
copy=$data/import-copy/wineprefix
rm -rf "$data/import-copy"
mkdir -p "$data/import-copy"
cp -a "$HIVEMEND_WINEPREFIX" "$copy"
rm -f "$copy/.xvfb-display" "$copy/.xvfb-pid"
HIVEMEND_WINEPREFIX=$copy "$run" cmd /c exit 0  # the copy's server and display, before timing
sync  # nothing of the copy left to write while the import runs
start=$(date +%s.%N)
HIVEMEND_WINEPREFIX=$copy "$run" reg import "$winfile"
import_ms=$(ms_since "$start")
echo "reg import: $import_ms ms (process start included)"
remove_copy "$copy"
echo "window / reg import: $(echo "scale=2; $window_ms / $import_ms" | bc)"

echo "== window merge of every row (same file, a copy of the same registry)"
rm -rf "$data/import-copy"
mkdir -p "$data/import-copy"
cp -a "$HIVEMEND_WINEPREFIX" "$copy"
rm -f "$copy/.xvfb-display" "$copy/.xvfb-pid"
HIVEMEND_WINEPREFIX=$copy "$run" "$win/tests/app/app_window_bench.exe" --merge "$winfile"
remove_copy "$copy"
