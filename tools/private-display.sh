# Sourced by the screenshot scripts: starts an Xvfb of their own on a free
# display (:150 to :199), so that nothing else is in the picture.
# Sets: display (":N", exported as DISPLAY) and xvfb_pid. Exits when none starts.
display=""
for n in $(seq 150 199); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do [ -S "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  if [ -S "/tmp/.X11-unix/X$n" ]; then display=":$n"; break; fi
  kill "$xvfb_pid" 2>/dev/null || true
done
[ -n "$display" ] || { echo "$(basename "$0"): could not start Xvfb" >&2; exit 1; }
export DISPLAY=$display
