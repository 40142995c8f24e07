#!/usr/bin/env bash
# The launcher's main job on this machine, end to end: our update server on a
# sample package (the stand-in companion programs and a few files), a stick
# folder holding the launcher, and the real klv-start.exe under Wine setting
# up the usage environment of a new machine from the server; then a back-up
# onto the stick and an uninstall.
#
#   scripts/demo.sh                 the e2e driver clicks, on a private Xvfb
#   scripts/demo.sh --interactive   you click, on your own display ($DISPLAY)
#
# A screenshot of each step and an animated GIF of the whole run go to
# build/demo-artefacts; an account of what happened is printed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

# The first 16 hex digits of the SHA-256 of the public key that signed FILE,
# or "unsigned".
signer_key() {  # FILE
    local p7
    p7=$(mktemp -u)  # osslsigncode writes no file that is already there
    if osslsigncode extract-signature -in "$1" -out "$p7" >/dev/null 2>&1; then
        openssl pkcs7 -inform DER -in "$p7" -print_certs 2>/dev/null | openssl x509 -pubkey -noout 2>/dev/null |
            openssl pkey -pubin -outform DER 2>/dev/null | sha256sum | cut -c1-16
    else
        echo unsigned
    fi
    rm -f "$p7"
}

# ---------------------------------------------------------------------------
# The run itself, on a display with the Wine prefix chosen (see the end).
run_demo() {
    local mode=$1
    source "$root/tests/e2e/lib.sh"
    source "$root/tests/e2e/env-lib.sh"
    work=$DEMO_DIR
    SERVER_PID="" LAUNCHER_PID=""
    local shots=() boxes=()
    # Read by the exit trap, after this function has returned.
    frames=$KLV_ARTEFACTS/frames grabber=""
    trap 'stop_server; [ -z "$grabber" ] || { rm -f "$frames/.run"; wait "$grabber" 2>/dev/null || true; }' EXIT

    # The part of the screen with the launcher and the window below it.
    local crop=""
    shot() {  # NAME WHAT
        import -display "$DISPLAY" -window root -crop "$crop" +repage "$KLV_ARTEFACTS/$1.png"
        shots+=("$1.png  $2")
    }
    # A step done by the driver, or asked of the person at the display.
    act() {  # WHAT DRIVER-ARGS...
        local what=$1; shift
        if [ "$mode" = interactive ]; then echo "demo: >>> please $what"; else drive "$@"; fi
    }
    # Waits for the next box, notes it, photographs it and has it closed.
    box_step() {  # NAME WHAT
        drive wait-window '#32770' 600000 || fail "no box appeared"
        local box text icon
        box=$(drive box | tr -d '\r')
        text=$(sed -n 's/^text=//p' <<<"$box")
        icon=$(sed -n 's/^icon=//p' <<<"$box")
        boxes+=("[$icon, owned by $(sed -n 's/^owner_class=//p' <<<"$box")] $text")
        echo "demo: box: $text"
        shot "$1" "$2"
        if [ "$mode" = interactive ]; then
            echo "demo: >>> please press OK on the box"
            drive wait-gone '#32770' 600000 || true
        else
            sleep 1
            drive box-ok
        fi
    }

    # A new machine: nothing installed, no Run value, no launcher fetched.
    use_default_install_dir
    rm -rf "$install" "$work/stick/uInst" "$work/starts.txt"
    export KLV_COMPANION_LOG
    KLV_COMPANION_LOG=$(winpath "$work/starts.txt")
    find "$WINEPREFIX/drive_c/users" -iname Kesto.exe -path '*[Tt]emp*' -delete 2>/dev/null || true

    start_server "$work/package"
    echo "demo: update server on localhost:9988 serving $work/package"
    start_launcher
    echo "demo: klv-start.exe runs from the stick folder $(winpath "$work/stick")"
    local rect
    rect=$(drive describe TFrm_OxMain | tr -d '\r' | sed -n 's/^rect=//p')
    read -r left top width height <<<"$rect"
    crop="$((width + 40))x$((height + 130))+$((left - 20))+$((top - 20))"
    sleep 1
    shot 01-launcher "the launcher on a new machine"

    # Frames for the animation, every half second while the job runs.
    mkdir -p "$frames"
    rm -f "$frames"/*.png
    touch "$frames/.run"
    (
        n=0
        while [ -e "$frames/.run" ] && [ $n -lt 900 ]; do
            import -display "$DISPLAY" -window root -crop "$crop" +repage "$frames/$(printf %05d $n).png" 2>/dev/null || true
            n=$((n + 1))
            sleep 0.5
        done
    ) &
    grabber=$!

    # The download is held at its first request until its bar has been
    # photographed in the button's place.
    hold_server
    act "click 开启使用环境(S)" click TFrm_OxMain "$ID_BTUSER"
    for _ in $(seq 6000); do visible "$ID_PBDL" && break; sleep 0.1; done
    sleep 0.5
    shot 02-download "the package downloads, its bar in the button's place"
    release_server
    # One more picture of the bar on its way, if the download lasts that long.
    sleep 1.5
    if visible "$ID_PBDL"; then shot 03-downloading "the download on its way"; fi
    box_step 04-installed "the installer reported back; the control program runs"
    ls -R "$install" >"$work/install-listing.txt"
    local installed
    installed=$(cd "$install" && find . -type f | sort | sed 's|^\./||')

    act "click 备份安装程序 (back up the installer)" click TFrm_OxMain "$ID_LBBAK"
    box_step 05-backup "the installation backed up onto the stick"

    act "click 卸载本机安装 (uninstall)" click TFrm_OxMain "$ID_LBUNINST"
    box_step 06-uninstalled "the cleaner reported back"
    for _ in $(seq 300); do [ -e "$install" ] || break; sleep 0.1; done
    shot 07-after "the install folder is gone; the launcher goes on"
    sleep 1
    act "click 退出(E) (exit)" click TFrm_OxMain "$ID_BTEXIT"
    wait "$LAUNCHER_PID" || true
    LAUNCHER_PID=""
    stop_server

    rm -f "$frames/.run"
    wait "$grabber" 2>/dev/null || true
    grabber=""
    convert -delay 50 -loop 0 "$frames"/*.png -layers Optimize "$KLV_ARTEFACTS/demo.gif"
    rm -rf "$frames"

    echo
    echo "demo: what happened"
    echo "  files in the install folder $install_win after the set-up:"
    sed 's/^/      /' <<<"$installed"
    echo "  programs started (as each one recorded its command line):"
    tr -d '\r' <"$work/starts.txt" | awk -F'\t' '{ printf "      %-12s %s\n", $1, $2 }'
    echo "  signatures: the launcher started each program only after checking that its"
    echo "  signer's key is the launcher's own (key = SHA-256 of the signer's public key):"
    printf '      %-12s key %s\n' "klv-start.exe" "$(signer_key "$work/stick/klv-start.exe")"
    local program
    for program in $(tr -d '\r' <"$work/starts.txt" | cut -f1 | sort -u); do
        printf '      %-12s key %s  checked, then started\n' "$program" "$(signer_key "$work/package/$program")"
    done
    echo "  boxes shown:"
    printf '      %s\n' "${boxes[@]}"
    echo "  the stick's package folder after the back-up: $(find "$work/stick/uInst" -type f | wc -l) files"
    if [ -e "$install" ]; then echo "  the install folder is still there"; else echo "  the install folder after the uninstall: gone"; fi
    echo "  pictures in $KLV_ARTEFACTS:"
    printf '      %s\n' "${shots[@]}" "demo.gif  the whole run"
}

if [ "${1:-}" = --scenario ]; then
    run_demo "$2"
    exit 0
fi
mode=driver
if [ "${1:-}" = --interactive ]; then
    mode=interactive
    [ -n "${DISPLAY:-}" ] || { echo "demo: --interactive needs a display (DISPLAY is not set)" >&2; exit 2; }
elif [ $# -gt 0 ]; then
    echo "usage: scripts/demo.sh [--interactive]" >&2
    exit 2
fi

# ---------------------------------------------------------------------------
# Build what the run needs: the update server natively; the launcher, the
# stand-in companion programs and the driver for Windows.
scripts/setup.sh
cmake -S . -B build/demo-native -G Ninja -DCMAKE_BUILD_TYPE=Release -DKLV_TESTS=OFF >/dev/null
cmake --build build/demo-native --target klv-update-server
# The launcher runs as the i686 product where this machine runs 32-bit code,
# else as the x86_64 build of the same sources under 64-bit Wine.
. tests/wine/wine-env.sh
echo "demo: $KLV_WIN_TIER_LINE"
case "$KLV_WIN_ARCH" in
    i686) demo_win=build/demo-win32 toolchain=cmake/mingw-i686.cmake ;;
    x86_64) demo_win=build/demo-win64 toolchain=cmake/mingw-x86_64.cmake ;;
esac
# The stand-ins and the driver live with the end-to-end tests.
cmake -S . -B "$demo_win" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DKLV_TESTS=ON -DKLV_NATIVE_TOOLS_DIR="$root/build/demo-native/tools" >/dev/null
cmake --build "$demo_win" --target klv-start e2e_driver \
    companion_KLVInst companion_KLVCtrl companion_KLVInfo companion_KLVMan companion_KLVClr
echo "demo: built build/demo-native and $demo_win"

# The sample package: the stand-ins under the companion programs' names, a
# plug-in in a sub-folder and some data, listed in its manifest. The stick
# folder holds the launcher alone.
demo=$root/build/demo
rm -rf "$demo"
mkdir -p "$demo/package/plugins" "$demo/package/data" "$demo/stick"
for name in KLVInst KLVCtrl KLVInfo KLVMan KLVClr; do
    cp "$demo_win/tests/e2e/companions/$name.exe" "$demo/package/"
done
head -c 3000000 /dev/urandom >"$demo/package/plugins/KLVView.dll"
for n in 1 2 3 4 5 6; do head -c 8000000 /dev/urandom >"$demo/package/data/templates$n.pak"; done
{
    printf '%s\r\n' KLVInst.exe=1.0.12.15 KLVCtrl.exe=1.0.12.15 KLVInfo.exe=1.0.12.15 KLVMan.exe=1.0.12.15 \
        KLVClr.exe=1.0.12.15 'plugins\KLVView.dll=1.0.0.3'
    for n in 1 2 3 4 5 6; do printf 'data\\templates%s.pak=1.0.0.1\r\n' "$n"; done
} >"$demo/package/files.txt"
cp "$demo_win/klv-start.exe" "$demo/stick/klv-start.exe"

artefacts=$root/build/demo-artefacts
rm -rf "$artefacts"
mkdir -p "$artefacts"
export KLV_BUILD_DIR=$root/$demo_win KLV_ARTEFACTS=$artefacts KLV_E2E_PREFIX=$root/$demo_win/wineprefix \
    KLV_WINE_RUN=$root/tests/wine/wine-run.sh KLV_NATIVE_TOOLS_DIR=$root/build/demo-native/tools \
    KLV_SOURCE_DIR=$root DEMO_DIR=$demo
if [ "$mode" = interactive ]; then
    export WINEPREFIX=$KLV_E2E_PREFIX
    "$KLV_WINE_RUN" "$WINEPREFIX" --boot-only
    export KLV_E2E_LIB=$root/tests/e2e/lib.sh
    trap '"$KLV_WINE_RUN" "$WINEPREFIX" --kill || true' EXIT
    bash "$root/scripts/demo.sh" --scenario interactive
else
    tests/e2e/e2e-session.sh "$root/scripts/demo.sh" --scenario driver
fi
