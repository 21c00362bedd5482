#!/usr/bin/env bash
# Screenshots of sample message boxes and of the About box, taken under a
# private Xvfb with the Windows build's Wine prefix. One PNG per sample and
# DPI, cropped to the box with a small margin.
#
#   tools/msgbox-screenshots.sh [--dpi N]... [BUILD_DIR] [OUT_DIR] [SAMPLE...]
#
# BUILD_DIR defaults to build/win (configured with cmake/mingw-w64.cmake),
# OUT_DIR to BUILD_DIR/msgbox-screenshots. Samples are those msgbox_gallery
# lists, and "about"; without samples, all are taken. Each --dpi takes every
# sample at that DPI as well (Wine's LogPixels, set for the prefix's user and
# removed again at the end), into OUT_DIR/<sample>-<dpi>.png; without --dpi
# one picture at the prefix's own DPI, OUT_DIR/<sample>.png.
# Needs Xvfb and ImageMagick (import, convert). Ends the prefix's Wine
# session (and so any program running in it) before it starts.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
dpis=()
positional=()
while [ $# -gt 0 ]; do
  case "$1" in
    --dpi) dpis+=("${2:?--dpi needs a number}"); shift 2 ;;
    *) positional+=("$1"); shift ;;
  esac
done
build=${positional[0]:-build/win}
out=${positional[1]:-$build/msgbox-screenshots}
samples=("${positional[@]:2}")

cmake --build "$build" -j2 --target msgbox_gallery app_dialog_gallery >/dev/null
gallery=$build/tests/msgbox/msgbox_gallery.exe
dialogs=$build/tests/app/app_dialog_gallery.exe
mkdir -p "$out"
export HIVEMEND_WINEPREFIX=${HIVEMEND_WINEPREFIX:-$(cd "$build" && pwd)/wineprefix}

. "$here/end-sessions.sh"
. "$here/private-display.sh"

# Wine takes the screen's size from the display its session started on, and
# the DPI when a program starts: a session of its own for each DPI, on this display.
restart_wine() {
  WINEPREFIX=$HIVEMEND_WINEPREFIX wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX=$HIVEMEND_WINEPREFIX wineserver -w >/dev/null 2>&1 || true
}
set_dpi() {  # a number, or "" for the prefix's own
  if [ -n "$1" ]; then
    "$here/wine-run.sh" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
  else
    "$here/wine-run.sh" reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null 2>&1 || true
  fi
  restart_wine
}
cleanup() {
  set +e
  end_descendants "$xvfb_pid"  # a box still shown; the display stays for what follows
  if [ ${#dpis[@]} -gt 0 ]; then set_dpi ""; fi
  restart_wine  # no session left on this display
  end_descendants
}
trap cleanup EXIT
restart_wine

if [ ${#samples[@]} -eq 0 ]; then
  mapfile -t samples < <("$here/wine-run.sh" "$gallery" | tr -d '\r')
  samples+=(about)
fi

shoot() {  # sample, output file
  local sample=$1 shot=$2 exe=$gallery fifo runner left top right bottom
  [ "$sample" = about ] && exe=$dialogs
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  "$here/wine-run.sh" "$exe" "$sample" 2500 >"$fifo" &
  runner=$!
  read -r left top right bottom <"$fifo" || true
  rm -f "$fifo"
  if [ -z "${bottom:-}" ]; then
    echo "$sample: no box appeared" >&2
    wait "$runner" || true
    return
  fi
  sleep 1.2  # let the countdown and the disabled period show their first tick
  import -window root "$shot"
  bottom=${bottom%$'\r'}
  local margin=8 x y
  x=$(( left > margin ? left - margin : 0 ))
  y=$(( top > margin ? top - margin : 0 ))
  convert "$shot" -crop "$((right + margin - x))x$((bottom + margin - y))+$x+$y" +repage "$shot"
  echo "$shot"
  wait "$runner" || true
}

if [ ${#dpis[@]} -eq 0 ]; then
  for sample in "${samples[@]}"; do shoot "$sample" "$out/$sample.png"; done
else
  for dpi in "${dpis[@]}"; do
    set_dpi "$dpi"
    for sample in "${samples[@]}"; do shoot "$sample" "$out/$sample-$dpi.png"; done
  done
fi
