#!/usr/bin/env bash
# Screenshots of sample message boxes, taken under a private Xvfb with the
# Windows build's Wine prefix. One PNG per sample, cropped to the box with a
# small margin.
#
#   tools/msgbox-screenshots.sh [BUILD_DIR] [OUT_DIR] [SAMPLE...]
#
# BUILD_DIR defaults to build/win (configured with cmake/mingw-w64.cmake),
# OUT_DIR to BUILD_DIR/msgbox-screenshots. Without samples, all are taken.
# Needs Xvfb and ImageMagick (import, convert).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build/win}
out=${2:-$build/msgbox-screenshots}
shift $(( $# > 2 ? 2 : $# ))

cmake --build "$build" -j2 --target msgbox_gallery >/dev/null
gallery=$build/tests/msgbox/msgbox_gallery.exe
mkdir -p "$out"

# A display of our own, so that nothing else is in the picture.
display=""
for n in $(seq 150 199); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do [ -S "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  if [ -S "/tmp/.X11-unix/X$n" ]; then display=":$n"; break; fi
  kill "$xvfb_pid" 2>/dev/null || true
done
[ -n "$display" ] || { echo "msgbox-screenshots.sh: could not start Xvfb" >&2; exit 1; }
trap 'kill "$xvfb_pid" 2>/dev/null || true' EXIT
export DISPLAY=$display

samples=("$@")
if [ ${#samples[@]} -eq 0 ]; then
  mapfile -t samples < <("$here/wine-run.sh" "$gallery" | tr -d '\r')
fi

for sample in "${samples[@]}"; do
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  "$here/wine-run.sh" "$gallery" "$sample" 2500 >"$fifo" &
  runner=$!
  read -r left top right bottom <"$fifo" || true
  rm -f "$fifo"
  if [ -z "${bottom:-}" ]; then
    echo "$sample: no box appeared" >&2
    wait "$runner" || true
    continue
  fi
  sleep 1.2  # let the countdown and the disabled period show their first tick
  shot=$out/$sample.png
  import -window root "$shot"
  bottom=${bottom%$'\r'}
  margin=8
  convert "$shot" -crop "$((right - left + 2 * margin))x$((bottom - top + 2 * margin))+$((left - margin))+$((top - margin))" +repage "$shot"
  echo "$shot"
  wait "$runner" || true
done
