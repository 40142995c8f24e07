#!/usr/bin/env bash
# Runs a Windows program under this build's private Wine prefix, with code
# page 936 (the launcher's users run Simplified Chinese Windows).
#   wine-run.sh PREFIX --boot-only    create/start the prefix
#   wine-run.sh PREFIX --kill         end this prefix's wineserver (and only it)
#   wine-run.sh PREFIX program.exe [args...]
set -euo pipefail
export WINEPREFIX="$1"; shift
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8

if [ "${1:-}" = --kill ]; then
    [ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null || true
    exit 0
fi

mkdir -p "$(dirname "$WINEPREFIX")"
(
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        wineboot -i >/dev/null 2>&1
        wineserver -w
    fi
) 9>"$WINEPREFIX.lock"

if [ "${1:-}" = --boot-only ]; then exit 0; fi
exec wine "$@"
