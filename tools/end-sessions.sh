#!/usr/bin/env bash
# Ends what the test and benchmark scripts start: their child processes, the
# Wine servers of their prefixes and the X displays.
#
#   tools/end-sessions.sh [--check] FOLDER...
#
# Run as a command (by tools/test-all.sh and by the Windows test run's last
# test), it ends the Wine server of every Wine prefix below the folders (the
# prefixes tools/wine-run.sh makes) and the display that tools/wine-run.sh
# started for it; with --check it then fails, naming them, when any is still
# there. Sourced (by the scripts), it only defines the functions below.

# The processes below a process: children, grandchildren, ..., deepest first.
descendants() {
  local child
  for child in $(ps -o pid= --ppid "$1" 2>/dev/null); do
    descendants "$child"
    echo "$child"
  done
}

# Waits up to five seconds for the processes to end; the rest are killed.
end_processes() {
  [ $# -gt 0 ] || return 0
  kill "$@" 2>/dev/null || true
  local pid alive _
  for _ in $(seq 50); do
    alive=0
    for pid in "$@"; do kill -0 "$pid" 2>/dev/null && { alive=1; break; }; done
    [ $alive = 1 ] || return 0
    sleep 0.1
  done
  kill -KILL "$@" 2>/dev/null || true
}

# Ends every process that this script started and that still runs (a test
# run, a program it waits for, an Xvfb of its own), but those named.
end_descendants() {
  local pid pids=()
  for pid in $(descendants $$); do
    [[ " $* " == *" $pid "* ]] || pids+=("$pid")
  done
  end_processes "${pids[@]}"
}

# Whether pid is an X server (and not a process that took over its number).
is_xvfb() {
  [ -n "$1" ] && grep -qa '^Xvfb' "/proc/$1/cmdline" 2>/dev/null
}

# Whether a Wine server runs for the prefix.
wine_server_runs() {
  local id
  id=$(printf '%x-%x' $(stat -c '%d %i' "$1"))
  compgen -G "/tmp/wine-*/server-$id/socket" >/dev/null || compgen -G "/tmp/.wine-$(id -u)/server-$id/socket" >/dev/null
}

# Ends the Wine server of a prefix (and every program of it), then the display
# that tools/wine-run.sh started for the prefix, if any.
end_wine_prefix() {
  local prefix=$1 pid
  [ -d "$prefix" ] || return 0
  WINEPREFIX=$prefix timeout 30 wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX=$prefix timeout 30 wineserver -w >/dev/null 2>&1 || true
  if [ -f "$prefix/.xvfb-pid" ]; then
    pid=$(cat "$prefix/.xvfb-pid" 2>/dev/null || true)
    if is_xvfb "$pid"; then end_processes "$pid"; fi
    rm -f "$prefix/.xvfb-pid" "$prefix/.xvfb-display"
  fi
}

# The Wine prefixes below the folders.
wine_prefixes() {
  local folder
  for folder in "$@"; do
    # Absolute: Wine refuses a relative WINEPREFIX.
    [ -d "$folder" ] && find "$(cd "$folder" && pwd)" -name .hivemend-ready -printf '%h\n' 2>/dev/null
  done
  return 0
}

# Prints what is left of the prefixes below the folders: a Wine server, or a
# display started for one. Returns 1 when anything is left.
sessions_left() {
  local prefix pid left=0
  while read -r prefix; do
    [ -n "$prefix" ] || continue
    if wine_server_runs "$prefix"; then echo "a Wine server of $prefix"; left=1; fi
    pid=$(cat "$prefix/.xvfb-pid" 2>/dev/null || true)
    if is_xvfb "$pid"; then echo "the display of $prefix (Xvfb, process $pid)"; left=1; fi
  done < <(wine_prefixes "$@")
  return $left
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -uo pipefail
  check=0
  if [ "${1:-}" = --check ]; then check=1; shift; fi
  [ $# -gt 0 ] || { echo "usage: end-sessions.sh [--check] FOLDER..." >&2; exit 2; }
  while read -r prefix; do
    [ -n "$prefix" ] && end_wine_prefix "$prefix"
  done < <(wine_prefixes "$@")
  [ $check = 1 ] || exit 0
  if ! left=$(sessions_left "$@"); then
    echo "end-sessions.sh: still running after they were ended:" >&2
    echo "$left" >&2
    exit 1
  fi
fi
