#!/usr/bin/env bash
# The launcher's main job, end to end on this machine: builds everything,
# starts our update server on a sample package and runs what exists against it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/setup.sh
cmake -S . -B build/demo-native -G Ninja -DCMAKE_BUILD_TYPE=Release -DKLV_TESTS=OFF >/dev/null
cmake --build build/demo-native
# The launcher runs as the i686 product where this machine runs 32-bit code,
# else as the x86_64 build of the same sources under 64-bit Wine.
. tests/wine/wine-env.sh
echo "demo: $KLV_WIN_TIER_LINE"
case "$KLV_WIN_ARCH" in
    i686) demo_win=build/demo-win32 toolchain=cmake/mingw-i686.cmake driver_cxx=i686-w64-mingw32-g++-posix ;;
    x86_64) demo_win=build/demo-win64 toolchain=cmake/mingw-x86_64.cmake driver_cxx=x86_64-w64-mingw32-g++-posix ;;
esac
cmake -S . -B "$demo_win" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DKLV_TESTS=OFF >/dev/null
cmake --build "$demo_win"
echo "demo: built build/demo-native and $demo_win"

# Our update server on a sample package, at the address built into the
# programs (localhost:9988), and the client package synchronised from it into
# a fresh install folder, as the launcher's environment button will do.
demo=$root/build/demo
rm -rf "$demo"
mkdir -p "$demo/package/plugins" "$demo/install"
head -c 2000000 /dev/urandom >"$demo/package/KLVInst.exe"
for name in KLVCtrl KLVInfo KLVMan KLVClr; do printf 'sample %s\n' "$name" >"$demo/package/$name.exe"; done
printf 'sample plug-in\n' >"$demo/package/plugins/KLVView.dll"
printf '%s\r\n' KLVInst.exe=1.0.12.15 KLVCtrl.exe=1.0.12.15 KLVInfo.exe=1.0.12.15 KLVMan.exe=1.0.12.15 \
    KLVClr.exe=1.0.12.15 'plugins\KLVView.dll=1.0.0.3' >"$demo/package/files.txt"
cp "$demo_win/klv-start.exe" "$demo/package/Kesto.exe"
printf 'Kesto.exe=1.0.12.16\r\n' >>"$demo/package/files.txt"

build/demo-native/tools/klv-update-server --port 9988 "$demo/package" >"$demo/server.out" 2>"$demo/server.log" &
server=$!
trap 'kill -TERM $server 2>/dev/null; wait $server 2>/dev/null || true' EXIT
for _ in $(seq 100); do grep -q listening "$demo/server.out" 2>/dev/null && break; sleep 0.1; done
client=build/demo-native/tools/klv-client
echo "demo: update server on localhost:9988 serving $demo/package"
echo "demo: is a launcher newer than 1.0.12.15 on the server? $($client check Kesto.exe 1.0.12.15 || true)"
$client sync "$demo/install"
echo "demo: synchronised into $demo/install:"
(cd "$demo/install" && find . -type f | sort | sed 's/^/    /')
echo "demo: the server's log:"
sed 's/^/    /' "$demo/server.log" | tail -n 12

# The launcher's window. On the user's display it stays until closed with its
# exit button; without a display it is shown on a private Xvfb, photographed,
# and closed after a few seconds by the test driver (compiled here, since the
# demo build has no tests).
prefix=$root/$demo_win/wineprefix
run_wine() { "$root/tests/wine/wine-run.sh" "$prefix" "$@"; }
if [ -n "${DISPLAY:-}" ]; then
    echo "demo: showing klv-start.exe on $DISPLAY (close it with its exit button)"
    run_wine "$root/$demo_win/klv-start.exe"
else
    "$driver_cxx" -O2 -static -o "$demo_win/e2e_driver.exe" \
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
    KLV_BUILD_DIR=$root/$demo_win KLV_ARTEFACTS=$root/build/demo-artefacts KLV_E2E_PREFIX=$prefix \
        KLV_WINE_RUN=$root/tests/wine/wine-run.sh tests/e2e/e2e-session.sh "$scenario"
    rm -f "$scenario"
    echo "demo: screenshot of the launcher's window: $root/build/demo-artefacts/klv-start.png"
fi
