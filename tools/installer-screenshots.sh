#!/usr/bin/env bash
# Screenshots of every page of the installer and the uninstaller, stepped
# through as a user would (Next, Install, Finish with "Run Hivemend" ticked,
# then Uninstall.exe), under a private Xvfb and a Wine prefix of their own.
# One PNG per page, trimmed to the window.
#
#   tools/installer-screenshots.sh [BUILD_DIR] [OUT_DIR]
#
# BUILD_DIR defaults to build/win (configured with cmake/mingw-w64.cmake),
# OUT_DIR to BUILD_DIR/installer-screenshots. Needs Xvfb and ImageMagick.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build/win}" && pwd)
out=${2:-$build/installer-screenshots}
mkdir -p "$out"
out=$(cd "$out" && pwd)

cmake --build "$build" -j2 --target hivemend hivemend-cli ui_driver >/dev/null
work=$build/installer-screenshots-work
rm -rf "$work/package"
cpack --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null
installer=$(ls "$work"/package/HivemendSetup64*.exe)
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
driver=$build/tests/update/ui_driver.exe

. "$here/end-sessions.sh"
. "$here/private-display.sh"
export HIVEMEND_WINEPREFIX=$work/prefix
stop() {
  set +e
  end_wine_prefix "$HIVEMEND_WINEPREFIX"
  end_descendants
}
trap stop EXIT

run() { "$here/wine-run.sh" "$@"; }
shot() {  # name
  sleep 1
  import -window root "$out/$1.png"
  convert "$out/$1.png" -trim +repage "$out/$1.png"
  echo "$out/$1.png"
}
next() {  # caption, button id
  run "$driver" click "$1" "$2" 60000 || { echo "no button $2 in '$1'" >&2; exit 1; }
}

setup="Hivemend $version Setup"
uninstall="Hivemend $version Uninstall"
run "$driver" wait-gone "$setup" 100 >/dev/null  # makes the prefix
run "$installer" &
run "$driver" wait-enabled "$setup" 1 60000
shot 1-welcome; next "$setup" 1
shot 2-components; next "$setup" 1
shot 3-folder; next "$setup" 1
run "$driver" wait-enabled "$setup" 1 60000
shot 4-installed; next "$setup" 1
shot 5-finish; next "$setup" 1  # Finish, with "Run Hivemend" ticked
run "$driver" wait-window "Hivemend" 60000
shot 6-run
run "C:\\Program Files\\Hivemend\\hivemend.exe" /terminate
run "$driver" wait-gone "Hivemend" 30000

run "C:\\Program Files\\Hivemend\\Uninstall.exe" &
run "$driver" wait-enabled "$uninstall" 1 60000
shot 7-uninstall-components; next "$uninstall" 1
run "$driver" wait-enabled "$uninstall" 1 60000
shot 8-uninstalled; next "$uninstall" 1
run "$driver" wait-gone "$uninstall " 30000
