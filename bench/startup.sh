#!/usr/bin/env bash
# Start-up time of klv-start.exe under Wine on a private Xvfb: milliseconds
# from process creation to its main window being visible, beside a bare Win32
# program that shows one empty window, and the size of the executable.
# Goals: ratio <= 1.5, size <= 1 MiB.
#   bench/startup.sh [WIN32_BUILD_DIR] [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tests/wine/wine-env.sh"
build=$(cd "${1:-$root/$KLV_WIN_BUILD}" && pwd)
runs=${2:-7}
export KLV_BUILD_DIR=$build KLV_ARTEFACTS=$build/artefacts KLV_E2E_PREFIX=$build/wineprefix-e2e
export KLV_WINE_RUN=$root/tests/wine/wine-run.sh BENCH_RUNS=$runs

scenario=$(mktemp)
trap 'rm -f "$scenario"' EXIT
cat >"$scenario" <<'SCENARIO'
source "$KLV_E2E_LIB"
to_win() { echo "Z:${1//\//\\}"; }
launcher=$(to_win "$KLV_BUILD_DIR/klv-start.exe")
bare=$(to_win "$E2E_DIR/bare_window.exe")
# One unmeasured start of each warms Wine's caches.
drive time-start "$bare" KlvBareWindow >/dev/null
drive time-start "$launcher" TFrm_OxMain >/dev/null
declare -a tb=() tl=()
for _ in $(seq "$BENCH_RUNS"); do
    tb+=("$(drive time-start "$bare" KlvBareWindow | tr -d '\r')")
    tl+=("$(drive time-start "$launcher" TFrm_OxMain | tr -d '\r')")
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
mb=$(median "${tb[@]}"); ml=$(median "${tl[@]}")
echo "bare window runs (ms):   ${tb[*]}"
echo "klv-start runs (ms):     ${tl[*]}"
echo "median bare window:      $mb ms"
echo "median klv-start:        $ml ms"
awk -v l="$ml" -v b="$mb" 'BEGIN {printf "ratio klv-start / bare:  %.2f (goal <= 1.5)\n", l / b}'
SCENARIO
"$root/tests/e2e/e2e-session.sh" "$scenario"
size=$(stat -c %s "$build/klv-start.exe")
awk -v s="$size" 'BEGIN {printf "klv-start.exe size:      %d bytes = %.2f MiB (goal <= 1 MiB)\n", s, s / 1048576}'
