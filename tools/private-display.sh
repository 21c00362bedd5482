# Sourced by the scripts that need a display of their own: starts an Xvfb on a
# display that the X server itself finds free (so that two scripts never share
# one), with nothing else in the picture. The script ends it in its trap
# (end_processes "$xvfb_pid", tools/end-sessions.sh).
# Reads: display_screen (default 1024x768x24).
# Sets: display (":N", exported as DISPLAY) and xvfb_pid. Exits when none starts.
display_file=$(mktemp)
Xvfb -displayfd 1 -screen 0 "${display_screen:-1024x768x24}" -nolisten tcp </dev/null >"$display_file" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$display_file" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || break
  sleep 0.1
done
display=":$(tr -dc 0-9 < "$display_file")"
rm -f "$display_file"
if [ "$display" = ":" ] || ! kill -0 "$xvfb_pid" 2>/dev/null; then
  kill "$xvfb_pid" 2>/dev/null || true
  echo "$(basename "$0"): could not start Xvfb" >&2
  exit 1
fi
export DISPLAY=$display
