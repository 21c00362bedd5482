#!/usr/bin/env bash
# Benchmark of the main window under Wine: a generated file of VALUES values
# (default 100000) loaded into the window against the Wine registry (the time
# from the load command to the completion text, and the longest time the window
# took to answer meanwhile), every column sorted, and the same file through
# hivemend-cli diff for comparison.
#
#   tools/bench-window.sh [VALUES]
#
# Needs the native build (build/native, for the file generator) and the Windows
# build (build/win).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
values=${1:-100000}
native=$root/build/native
win=$root/build/win
cmake --build "$native" --target hivemend-bench >/dev/null
cmake --build "$win" --target app_window_bench hivemend-cli >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
file=$work/bench-$values.reg
"$native/bench/hivemend-bench" generate "$values" "$file" >/dev/null
winfile="Z:$(echo "$file" | sed 's|/|\\|g')"
run=$root/tools/wine-run.sh

echo "== window: $values values"
"$run" "$win/tests/app/app_window_bench.exe" "$winfile"
echo "== hivemend-cli diff (same file)"
start=$(date +%s.%N)
"$run" "$win/cli/hivemend-cli.exe" diff "$winfile" >/dev/null || true
end=$(date +%s.%N)
echo "hivemend-cli diff: $(echo "($end - $start) * 1000" | bc | cut -d. -f1) ms (process start included)"
