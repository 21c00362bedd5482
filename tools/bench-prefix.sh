# Sourced by the Wine benchmarks: the bench prefix (build/bench-wine/wineprefix,
# or $HIVEMEND_WINEPREFIX) whose registry holds every key of the generated file
# of $values values and every other value, made once per size.
# Needs: root, values, native (the native build, for the file generator).
# Sets: prefix, data, file, winfile (its Z: path), run (tools/wine-run.sh).
prefix=${HIVEMEND_WINEPREFIX:-$root/build/bench-wine/wineprefix}
data=$(dirname "$prefix")
mkdir -p "$data"
file=$data/bench-$values.reg
winfile="Z:$(echo "$file" | sed 's|/|\\|g')"
run=$root/tools/wine-run.sh
if [ ! -f "$data/imported-$values" ]; then
  "$native/bench/hivemend-bench" generate "$values" "$file" >/dev/null
  "$native/bench/hivemend-bench" half "$file" "$data/half-$values.reg" >/dev/null
  halfwin="Z:$(echo "$data/half-$values.reg" | sed 's|/|\\|g')"
  echo "== importing half of the values into the bench prefix's registry"
  HIVEMEND_WINEPREFIX=$prefix "$run" reg import "$halfwin"
  touch "$data/imported-$values"
fi

# Ends what runs in a copy of the prefix (its server, and the display that
# tools/wine-run.sh started for it) and removes the copy's folder.
remove_copy() {
  local copy=$1
  WINEPREFIX=$copy wineserver -k 2>/dev/null || true
  WINEPREFIX=$copy wineserver -w 2>/dev/null || true
  if [ -f "$copy/.xvfb-pid" ]; then kill "$(cat "$copy/.xvfb-pid")" 2>/dev/null || true; fi
  rm -rf "$(dirname "$copy")"
}
