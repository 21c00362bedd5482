#!/usr/bin/env bash
# Runs every test on a Debian 12 machine, installing what is missing first:
#   1. the native tests, built with AddressSanitizer and UndefinedBehaviorSanitizer,
#   2. short fuzzing runs over decoding and parsing, and over the merge and its undo (also
#      against hive files),
#   3. the Windows build's tests under Wine (GUI tests under Xvfb), which run the portable
#      tests once more, optimized.
# A plain native build would only repeat the tests of 1 and 3 (and its compilation is a
# large part of a run on a machine without a compiler cache): it is left to the benchmarks.
# Build folders: build/asan, build/fuzz, build/win.
#
# Nothing it starts outlives it, also when it fails or is interrupted: its
# trap ends every process it started, the Wine servers of the build's prefixes
# and its display, and then checks that none of them is left (a run that
# leaves one fails).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. "$root/tools/end-sessions.sh"

xvfb_pid=""
display=""
finish() {
  local status=$? left=""
  set +e
  trap - EXIT INT TERM
  end_descendants
  while read -r prefix; do
    [ -n "$prefix" ] && end_wine_prefix "$prefix"
  done < <(wine_prefixes "$root/build")
  if [ -n "$xvfb_pid" ]; then end_processes "$xvfb_pid"; wait "$xvfb_pid" 2>/dev/null; fi
  # What this run started must be gone: its display, the Wine servers of the
  # build's prefixes and the displays started for them.
  if [ -n "$xvfb_pid" ] && { kill -0 "$xvfb_pid" 2>/dev/null || [ -e "/tmp/.X11-unix/X${display#:}" ]; }; then
    left="its display $display (Xvfb, process $xvfb_pid)"$'\n'
  fi
  left+=$(sessions_left "$root/build")
  if [ -n "$left" ]; then
    printf 'test-all.sh: left running:\n%s\n' "$left" >&2
    [ "$status" = 0 ] && status=1
  fi
  exit "$status"
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
# Each step runs in the background and is waited for, so that an interruption
# reaches the trap at once rather than after the step.
run() {
  "$@" &
  wait $!
}

"$root/tools/install-deps.sh"
unset http_proxy HTTP_PROXY https_proxy HTTPS_PROXY

started=$(date +%s)
step() { printf '\n=== [%3ds] %s\n' $(( $(date +%s) - started )) "$*"; }
configure() {  # folder, then cmake options
  local dir=$1; shift
  [ -f "$dir/build.ninja" ] || cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
}

step "native build and tests under AddressSanitizer and UndefinedBehaviorSanitizer"
configure build/asan -DHIVEMEND_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
run cmake --build build/asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run ctest --test-dir build/asan --output-on-failure -j2

step "fuzzing decoding and parsing, then the merge's round trip, ${HIVEMEND_FUZZ_SECONDS:=20} seconds each"
CC=clang CXX=clang++ configure build/fuzz -DHIVEMEND_FUZZ=ON -DHIVEMEND_TESTS=OFF
run cmake --build build/fuzz --target reg_fuzzer round_trip_fuzzer
seeds=(fuzz/seeds examples)
[ -d ../shared/corpus/real-world ] && seeds+=(../shared/corpus/real-world)
for target in reg_fuzzer round_trip_fuzzer; do
  mkdir -p "build/fuzz/corpus-$target"
  run build/fuzz/fuzz/$target -max_total_time="$HIVEMEND_FUZZ_SECONDS" -max_len=65536 -rss_limit_mb=2048 \
    -print_final_stats=1 "build/fuzz/corpus-$target" "${seeds[@]}" > >(tail -n 12) 2>&1
done
# The round trip once more against hive files, for a third of the time (each
# input writes and reads its files).
mkdir -p build/fuzz/corpus-round_trip_hives
HIVEMEND_FUZZ_HIVES=1 run build/fuzz/fuzz/round_trip_fuzzer -max_total_time=$((HIVEMEND_FUZZ_SECONDS / 3 + 1)) \
  -max_len=65536 -rss_limit_mb=2048 -print_final_stats=1 build/fuzz/corpus-round_trip_hives "${seeds[@]}" \
  > >(tail -n 12) 2>&1

step "Windows build and tests under Wine"
configure build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
run cmake --build build/win
# One display for every Wine test of the run, its own, ended by the trap.
display_screen=1280x1024x24
. "$root/tools/private-display.sh"
# The Wine prefix is made once, here, rather than inside the first test's time.
run tools/wine-run.sh build/win/cli/hivemend-cli.exe --help >/dev/null
# Every test runs once: a test that fails sometimes has a fault to find.
run ctest --test-dir build/win --output-on-failure

step "all tests passed"
