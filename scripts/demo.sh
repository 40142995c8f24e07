#!/usr/bin/env bash
# The launcher's main job, end to end on this machine: builds everything,
# starts our update server on a sample package and runs what exists against it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/setup.sh
cmake -S . -B build/demo-native -G Ninja -DCMAKE_BUILD_TYPE=Release -DKLV_TESTS=OFF >/dev/null
cmake --build build/demo-native
cmake -S . -B build/demo-win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
    -DCMAKE_BUILD_TYPE=Release -DKLV_TESTS=OFF >/dev/null
cmake --build build/demo-win32
echo "demo: built build/demo-native and build/demo-win32"

# The launcher's window. On the user's display it stays until closed with its
# exit button; without a display it is shown on a private Xvfb, photographed,
# and closed after a few seconds by the test driver (compiled here, since the
# demo build has no tests).
prefix=$root/build/demo-win32/wineprefix
run_wine() { "$root/tests/wine/wine-run.sh" "$prefix" "$@"; }
if [ -n "${DISPLAY:-}" ]; then
    echo "demo: showing klv-start.exe on $DISPLAY (close it with its exit button)"
    run_wine "$root/build/demo-win32/klv-start.exe"
else
    i686-w64-mingw32-g++-posix -O2 -static -o build/demo-win32/e2e_driver.exe \
        tests/e2e/driver/e2e_driver.cpp -luser32 -lgdi32 -lshell32
    mkdir -p build/demo-artefacts
    scenario=$(mktemp)
    cat >"$scenario" <<'SCENARIO'
set -euo pipefail
drive() { "$KLV_WINE_RUN" "$WINEPREFIX" "$KLV_BUILD_DIR/e2e_driver.exe" "$@"; }
"$KLV_WINE_RUN" "$WINEPREFIX" "$KLV_BUILD_DIR/klv-start.exe" &
launcher=$!
drive wait-window TFrm_OxMain 60000
sleep 3
import -display "$DISPLAY" -window root "$KLV_ARTEFACTS/klv-start.png"
drive click TFrm_OxMain 1014
wait "$launcher"
SCENARIO
    KLV_BUILD_DIR=$root/build/demo-win32 KLV_ARTEFACTS=$root/build/demo-artefacts KLV_E2E_PREFIX=$prefix \
        KLV_WINE_RUN=$root/tests/wine/wine-run.sh tests/e2e/e2e-session.sh "$scenario"
    rm -f "$scenario"
    echo "demo: screenshot of the launcher's window: $root/build/demo-artefacts/klv-start.png"
fi
