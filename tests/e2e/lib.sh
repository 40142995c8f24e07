# Functions for e2e scenarios; sourced by each scenario script, which runs
# inside e2e-session.sh (DISPLAY and WINEPREFIX are set).
set -euo pipefail

E2E_DIR="$KLV_BUILD_DIR/tests/e2e"
DRIVER="$E2E_DIR/e2e_driver.exe"
declare -a E2E_BG_PIDS=()

# Runs a Windows program in the background; its wine process id is remembered
# so that the scenario can wait for it.
wine_bg() {
    "$KLV_WINE_RUN" "$WINEPREFIX" "$@" &
    E2E_BG_PIDS+=($!)
    LAST_BG_PID=$!
}

# Runs a Windows program in the foreground and returns its exit code.
wine_fg() { "$KLV_WINE_RUN" "$WINEPREFIX" "$@"; }

# The driver: finds windows, reads them, clicks. See driver/e2e_driver.cpp.
drive() { wine_fg "$DRIVER" "$@"; }

screenshot() {
    import -display "$DISPLAY" -window root "$KLV_ARTEFACTS/$1.png"
    echo "e2e: screenshot $KLV_ARTEFACTS/$1.png"
}

# Fails when a screenshot is (nearly) one flat colour: the window did not draw.
expect_drawn() {
    local colours
    colours=$(identify -format '%k' "$KLV_ARTEFACTS/$1.png")
    if [ "$colours" -lt "${2:-16}" ]; then
        echo "e2e: $1.png has only $colours colours" >&2
        return 1
    fi
}

fail() { echo "e2e: FAIL: $*" >&2; exit 1; }
