#!/usr/bin/env bash
# Times hivemend-cli diff with --format json against --format tsv, natively, on
# a generated file of N values (default 1,000,000) compared with a baseline
# holding about half of them. Each format runs three times; the best run of
# each counts. CPU time (user + system) is the figure to compare on a shared
# machine; wall time is shown too.
#
#   tools/bench-cli.sh [N] [WORK_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
values=${1:-1000000}
work=${2:-/tmp/hivemend-bench-cli}
build=$root/build/release
mkdir -p "$work"
# The trap ends what is still running, also when the benchmark is interrupted.
. "$root/tools/end-sessions.sh"
trap end_descendants EXIT

[ -f "$build/build.ninja" ] || cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHIVEMEND_TESTS=OFF >/dev/null
cmake --build "$build" --target hivemend-bench hivemend-cli >/dev/null
file=$work/big-$values.reg
[ -f "$file" ] || "$build/bench/hivemend-bench" generate "$values" "$file" >/dev/null
[ -f "$work/half-$values.reg" ] || "$build/bench/hivemend-bench" half "$file" "$work/half-$values.reg"

python3 - "$build/cli/hivemend-cli" "$file" "$work/half-$values.reg" <<'PY'
import os, resource, subprocess, sys, time
cli, file, half = sys.argv[1:4]
best = {}
for _ in range(3):
    for fmt in ("tsv", "json"):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.monotonic()
        with open(os.devnull, "wb") as null:
            subprocess.run([cli, "diff", file, "--baseline", half, "--format", fmt], stdout=null, check=True)
        wall = time.monotonic() - start
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
        if fmt not in best or cpu < best[fmt][0]:
            best[fmt] = (cpu, wall)
for fmt, (cpu, wall) in best.items():
    print(f"diff --format {fmt:4}: {cpu:6.2f} s CPU, {wall:6.2f} s wall")
print(f"json / tsv: {best['json'][0] / best['tsv'][0]:.2f} (CPU time)")
PY
