#!/usr/bin/env bash
# Runs a Windows executable of the build under Wine, in a prefix of the build's
# own (<build>/wineprefix, created once and reused). Used as CMake's
# cross-compiling emulator, so CTest runs every Windows test through it.
#
#   tools/wine-run.sh PROGRAM.exe [ARGS...]
#
# Environment:
#   HIVEMEND_WINEPREFIX  the prefix to use (default: <build folder>/wineprefix)
#   DISPLAY              an X display to use; when unset a private Xvfb is started
#                        for the prefix and reused by later runs.
set -euo pipefail

exe=${1:?usage: wine-run.sh PROGRAM.exe [ARGS...]}

find_build_dir() {
  local d
  d=$(cd "$(dirname "$1")" && pwd)
  while [ "$d" != "/" ]; do
    [ -f "$d/CMakeCache.txt" ] && { echo "$d"; return; }
    d=$(dirname "$d")
  done
  echo "wine-run.sh: $1 is not inside a build folder; set HIVEMEND_WINEPREFIX" >&2
  exit 2
}

if [ -n "${HIVEMEND_WINEPREFIX:-}" ]; then
  prefix=$HIVEMEND_WINEPREFIX
else
  prefix=$(find_build_dir "$exe")/wineprefix
fi
mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)

export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset http_proxy HTTP_PROXY https_proxy HTTPS_PROXY no_proxy NO_PROXY

# Runs a program with no inherited stdio or other descriptors, so CTest and
# Ninja never wait on a pipe that a long-lived helper (Xvfb, wineserver) holds.
without_fds() {
  ( for fd in $(ls /proc/$BASHPID/fd); do [ "$fd" -gt 2 ] && eval "exec $fd>&-" 2>/dev/null; done
    exec setsid "$@" </dev/null >/dev/null 2>&1 )
}
# Starts a long-lived program in a session of its own and returns at once;
# nothing of this script stays behind holding its descriptors.
detach() { without_fds -f "$@"; }

ensure_display() {
  [ -n "${DISPLAY:-}" ] && return
  local n
  if [ -f "$prefix/.xvfb-display" ]; then
    n=$(cat "$prefix/.xvfb-display")
    if [ -S "/tmp/.X11-unix/X$n" ] && kill -0 "$(cat "$prefix/.xvfb-pid" 2>/dev/null || echo 0)" 2>/dev/null; then
      export DISPLAY=":$n"; return
    fi
  fi
  for n in $(seq 90 140); do
    # A lock whose server has died (a killed run) would hold its number for
    # ever: such a lock and its socket are removed.
    if [ -e "/tmp/.X$n-lock" ] && ! kill -0 "$(tr -d ' ' < "/tmp/.X$n-lock" 2>/dev/null || echo 0)" 2>/dev/null; then
      rm -f "/tmp/.X$n-lock" "/tmp/.X11-unix/X$n" 2>/dev/null || true
    fi
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    detach Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp
    for _ in $(seq 50); do [ -S "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    if [ -S "/tmp/.X11-unix/X$n" ]; then
      echo "$n" > "$prefix/.xvfb-display"
      cat "/tmp/.X$n-lock" 2>/dev/null | tr -d ' ' > "$prefix/.xvfb-pid" || true
      export DISPLAY=":$n"; return
    fi
  done
  echo "wine-run.sh: could not start Xvfb" >&2
  exit 1
}

ensure_prefix() {
  [ -f "$prefix/.hivemend-ready" ] && return
  exec 9>"$prefix/.lock"
  flock 9
  if [ ! -f "$prefix/.hivemend-ready" ]; then
    without_fds wineserver -p60 || true
    wineboot -i >/dev/null 2>&1 || true
    # Without a window manager Wine must draw captions itself; otherwise every
    # dialog costs seconds to create and destroy.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d Y /f >/dev/null 2>&1
    touch "$prefix/.hivemend-ready"
  fi
  flock -u 9
  exec 9>&-
}

# Wine draws caption buttons with the Marlett font; without a copy in the
# prefix it falls back to another font and they show as letters.
ensure_marlett() {
  local fonts=$prefix/drive_c/windows/Fonts f
  [ -f "$fonts/marlett.ttf" ] && return
  for f in /usr/share/wine/fonts/marlett.ttf /usr/lib/wine/fonts/marlett.ttf; do
    [ -f "$f" ] && { mkdir -p "$fonts"; cp "$f" "$fonts/"; return; }
  done
}

ensure_display
ensure_prefix
ensure_marlett
server_running() {
  local id
  id=$(printf '%x-%x' $(stat -c '%d %i' "$prefix"))
  compgen -G "/tmp/wine-*/server-$id/socket" >/dev/null || compgen -G "/tmp/.wine-$(id -u)/server-$id/socket" >/dev/null
}

# A persistent server makes each process start cost ~0.1 s instead of ~2 s.
# It and Wine's own background processes (services, devices, explorer) are
# started here, with none of our descriptors: started by the test's own wine
# they would inherit the test's output pipe and hold CTest for a minute.
if ! server_running; then
  without_fds wineserver -p60 || true
  without_fds wine cmd /c exit || true
fi

exec wine "$@"
