#!/usr/bin/env bash
# Benchmark of a whole merge under Wine: hivemend-cli merge of the generated
# file of VALUES values (default 100000; every row, the undo file included)
# against reg import of the same file, each in its own copy of one prefix
# whose registry holds every key of the file and every other value (as
# tools/bench-window.sh prepares it), with the ratio of the two.
#
#   tools/bench-merge.sh [VALUES]
#
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
cmake --build "$win" --target hivemend-cli >/dev/null

# A display of its own; the trap ends it with the Wine servers of the prefix
# and its copy, also when the benchmark fails or is interrupted.
. "$root/tools/end-sessions.sh"
finish() {
  set +e
  [ -n "${prefix:-}" ] && end_wine_prefix "$prefix"
  [ -d "${data:-/nonexistent}/merge-copy/wineprefix" ] && remove_copy "$data/merge-copy/wineprefix"
  end_descendants
}
trap finish EXIT
display_screen=1280x1024x24
. "$root/tools/private-display.sh"
. "$root/tools/bench-prefix.sh"
end_wine_prefix "$prefix"

# Runs the command in a fresh copy of the prefix and prints its time in ms
# (process start included). Before it, the copy's server and display are
# started and the registry and the file are read once (hivemend-cli diff,
# which writes nothing), so that neither command pays for a cold start.
timed_in_copy() {
  local copy=$data/merge-copy/wineprefix
  rm -rf "$data/merge-copy"
  mkdir -p "$data/merge-copy"
  cp -a "$prefix" "$copy"
  rm -f "$copy/.xvfb-display" "$copy/.xvfb-pid"
  HIVEMEND_WINEPREFIX=$copy "$run" cmd /c exit 0 >/dev/null 2>&1
  HIVEMEND_WINEPREFIX=$copy "$run" "$win/cli/hivemend-cli.exe" diff "$winfile" >/dev/null 2>&1 || true
  HIVEMEND_WINEPREFIX=$copy "$run" "$1" /? >/dev/null 2>&1 || true
  # The copy leaves hundreds of megabytes waiting to be written: a command
  # that flushes a file of its own (the merge's undo file) would wait for
  # them too. Both commands start with nothing waiting.
  sync
  local start end
  start=$(date +%s.%N)
  HIVEMEND_WINEPREFIX=$copy "$run" "$@" >"$data/merge-copy/out.txt" 2>&1 || true
  end=$(date +%s.%N)
  tail -n 3 "$data/merge-copy/out.txt" >&2
  remove_copy "$copy"
  echo "($end - $start) * 1000" | bc | cut -d. -f1
}

echo "== hivemend-cli merge: $values values, every row, undo file included"
merge_ms=$(timed_in_copy "$win/cli/hivemend-cli.exe" merge "$winfile" --history 'C:\bench-history')
echo "hivemend-cli merge: $merge_ms ms (process start included)"
echo "== reg import (same file, a copy of the same registry)"
import_ms=$(timed_in_copy reg import "$winfile")
echo "reg import: $import_ms ms (process start included)"
echo "merge / reg import: $(echo "scale=2; $merge_ms / $import_ms" | bc)"
