#!/usr/bin/env bash
# Runs one end-to-end scenario on a private Xvfb display with a private Wine
# prefix, then ends exactly what it started: its Xvfb (by process id) and its
# prefix's wineserver.
#   e2e-session.sh SCENARIO.sh [args...]
set -euo pipefail
scenario="$1"; shift

: "${KLV_E2E_PREFIX:?}" "${KLV_ARTEFACTS:?}" "${KLV_BUILD_DIR:?}"
mkdir -p "$KLV_ARTEFACTS"

# A display number nobody uses: no lock file and no socket.
display=""
for n in $(seq 90 250); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "e2e: no free X display" >&2; exit 1; }

Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export WINEPREFIX="$KLV_E2E_PREFIX"
cleanup() {
    "$KLV_WINE_RUN" "$WINEPREFIX" --kill || true
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

for _ in $(seq 100); do
    [ -e "/tmp/.X11-unix/X$display" ] && break
    sleep 0.1
done
export DISPLAY=":$display"
"$KLV_WINE_RUN" "$WINEPREFIX" --boot-only

export KLV_E2E_LIB="$(dirname "$0")/lib.sh"
bash "$scenario" "$@"
