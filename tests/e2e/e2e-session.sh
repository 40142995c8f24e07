#!/usr/bin/env bash
# Runs one end-to-end scenario on a private Xvfb display with a private Wine
# prefix, in a network namespace of its own, then ends exactly what it
# started: its Xvfb (by process id) and its prefix's wineserver.
#   e2e-session.sh SCENARIO.sh [args...]
#
# The launcher talks to its update server at the fixed localhost:9988, so two
# scenarios can run side by side only when each has a loopback of its own.
# Where no namespace can be made (no root, no unshare), the scenarios take
# turns through one lock instead.
set -euo pipefail
scenario="$1"; shift

: "${KLV_E2E_PREFIX:?}" "${KLV_ARTEFACTS:?}" "${KLV_BUILD_DIR:?}"
mkdir -p "$KLV_ARTEFACTS"

if [ -z "${KLV_E2E_ISOLATED:-}" ]; then
    # A mount namespace too, so that a scenario may mount over its own
    # folders (a stick that refuses writes) without touching the machine's.
    if [ "$(id -u)" = 0 ] && unshare --net --mount true 2>/dev/null; then
        export KLV_E2E_ISOLATED=netns
        exec unshare --net --mount --propagation private -- bash -c 'ip link set lo up && exec "$0" "$@"' "$0" "$scenario" "$@"
    fi
    export KLV_E2E_ISOLATED=serial
    exec 6>/tmp/klv-e2e-serial.lock
    flock 6
fi

# A display number nobody uses: no lock file and no socket. The file system
# is shared with the scenarios beside this one: the choice is made under a
# lock, held until this display's socket is there.
exec 7>/tmp/klv-e2e-display.lock
flock 7
display=""
for n in $(seq 90 250); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "e2e: no free X display" >&2; exit 1; }

Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 7>&- &
xvfb_pid=$!
export WINEPREFIX="$KLV_E2E_PREFIX"
cleanup() {
    "$KLV_WINE_RUN" "$WINEPREFIX" --kill || true
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    # A copy of the template is this scenario's alone (and over a gigabyte).
    if [ -n "${KLV_WINE_TEMPLATE:-}" ] && [ "$WINEPREFIX" != "$KLV_WINE_TEMPLATE" ]; then
        rm -rf "$WINEPREFIX" "$WINEPREFIX.lock"
    fi
}
trap cleanup EXIT

for _ in $(seq 100); do
    [ -e "/tmp/.X11-unix/X$display" ] && break
    sleep 0.1
done
flock -u 7
export DISPLAY=":$display"
"$KLV_WINE_RUN" "$WINEPREFIX" --boot-only

export KLV_E2E_LIB="$(dirname "$0")/lib.sh"
bash "$scenario" "$@"
