#!/usr/bin/env bash
# Times hivemend-cli diff against offline hive files (--hive) and against the
# same state held in memory (--baseline), natively, on a generated file of N
# values (default 100,000) whose hives hold about half of them. The hives are
# made empty, then filled by merging the half file through --hive. The file's
# HKEY_CLASSES_ROOT keys (a view, not a hive) are moved to HKEY_USERS in both
# files so that every row is compared. Each diff runs three times; the best run
# of each counts. CPU time (user + system) is the figure to compare on a shared
# machine; wall time is shown too.
#
#   tools/bench-hive.sh [N] [WORK_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
values=${1:-100000}
work=${2:-/tmp/hivemend-bench-hive}
build=$root/build/release
mkdir -p "$work"

[ -f "$build/build.ninja" ] || cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHIVEMEND_TESTS=OFF >/dev/null
cmake --build "$build" --target hivemend-bench hivemend-cli >/dev/null
bench=$build/bench/hivemend-bench
cli=$build/cli/hivemend-cli

raw=$work/raw-$values.reg
file=$work/big-$values.reg
half=$work/half-$values.reg
[ -f "$raw" ] || "$bench" generate "$values" "$raw" >/dev/null
python3 - "$raw" "$file" <<'PY'
import sys
text = open(sys.argv[1], "rb").read().decode("utf-16-le")
open(sys.argv[2], "wb").write(text.replace("[HKEY_CLASSES_ROOT\\", "[HKEY_USERS\\").encode("utf-16-le"))
PY
"$bench" half "$file" "$half"

hives=()
for name in lm cu u; do
  rm -f "$work/$name.hiv"
  "$bench" empty-hive "$work/$name.hiv"
done
hives=(--hive "HKLM=$work/lm.hiv" --hive "HKCU=$work/cu.hiv" --hive "HKU=$work/u.hiv")
rm -rf "$work/history"
"$cli" merge "$half" "${hives[@]}" --history "$work/history" >/dev/null

python3 - "$cli" "$file" "$half" "${hives[@]}" <<'PY'
import os, resource, subprocess, sys, time
cli, file, half = sys.argv[1:4]
hives = sys.argv[4:]
runs = {"--baseline": ["--baseline", half], "--hive": hives}
best = {}
for _ in range(3):
    for name, args in runs.items():
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.monotonic()
        with open(os.devnull, "wb") as null:
            code = subprocess.run([cli, "diff", file] + args, stdout=null).returncode
        if code != 0:
            sys.exit(f"diff {name} failed with exit code {code}")
        wall = time.monotonic() - start
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
        if name not in best or cpu < best[name][0]:
            best[name] = (cpu, wall)
for name, (cpu, wall) in best.items():
    print(f"diff {name:10}: {cpu:6.2f} s CPU, {wall:6.2f} s wall")
print(f"hive / baseline: {best['--hive'][0] / best['--baseline'][0]:.2f} (CPU time; the aim is 1.5 at most)")
PY
