#!/usr/bin/env bash
# Benchmark of the main window under Wine: a generated file of VALUES values
# (default 100000) loaded into the window against the Wine registry (the time
# from the load command to the completion text, and the longest time the window
# took to answer meanwhile), every column sorted, and the same file through
# hivemend-cli diff for comparison.
#
#   tools/bench-window.sh [VALUES]
#
# The registry holds every key of the file and every other value (imported once
# with reg import), so the rows show SAME as well as MISSING. It lives in a Wine
# prefix of its own, build/bench-wine/wineprefix, apart from the tests' prefix.
# Needs the native build (build/native, for the file generator) and the Windows
# build (build/win).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
values=${1:-100000}
native=$root/build/native
win=$root/build/win
cmake --build "$native" --target hivemend-bench >/dev/null
cmake --build "$win" --target app_window_bench hivemend-cli >/dev/null

export HIVEMEND_WINEPREFIX=${HIVEMEND_WINEPREFIX:-$root/build/bench-wine/wineprefix}
data=$(dirname "$HIVEMEND_WINEPREFIX")
mkdir -p "$data"
file=$data/bench-$values.reg
winfile="Z:$(echo "$file" | sed 's|/|\\|g')"
run=$root/tools/wine-run.sh
if [ ! -f "$data/imported-$values" ]; then
  "$native/bench/hivemend-bench" generate "$values" "$file" >/dev/null
  "$native/bench/hivemend-bench" half "$file" "$data/half-$values.reg" >/dev/null
  halfwin="Z:$(echo "$data/half-$values.reg" | sed 's|/|\\|g')"
  echo "== importing half of the values into the bench prefix's registry"
  "$run" reg import "$halfwin"
  touch "$data/imported-$values"
fi

echo "== window: $values values"
"$run" "$win/tests/app/app_window_bench.exe" "$winfile"
echo "== hivemend-cli diff (same file)"
start=$(date +%s.%N)
"$run" "$win/cli/hivemend-cli.exe" diff "$winfile" >/dev/null || true
end=$(date +%s.%N)
echo "hivemend-cli diff: $(echo "($end - $start) * 1000" | bc | cut -d. -f1) ms (process start included)"
