#!/usr/bin/env bash
# Runs a Windows program under a private Wine prefix, with code page 936 (the
# launcher's users run Simplified Chinese Windows). Which Wine, and so which
# build of the programs, is decided in wine-env.sh.
#   wine-run.sh PREFIX --boot-only    create/start the prefix (a copy of
#                                     KLV_WINE_TEMPLATE when that is set)
#   wine-run.sh PREFIX --kill         end this prefix's wineserver (and only it)
#   wine-run.sh PREFIX program.exe [args...]
set -euo pipefail
. "$(dirname "$0")/wine-env.sh"
mkdir -p "$(dirname "$1")"
# Wine takes only an absolute prefix path.
export WINEPREFIX="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; shift
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8

if [ "${1:-}" = --kill ]; then
    [ -d "$WINEPREFIX" ] && "$KLV_WINESERVER" -k 2>/dev/null || true
    exit 0
fi

(
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        # A booted template (KLV_WINE_TEMPLATE, whose wineserver has ended)
        # is copied in seconds; a new prefix takes a boot of its own.
        if [ -n "${KLV_WINE_TEMPLATE:-}" ] && [ -f "$KLV_WINE_TEMPLATE/system.reg" ]; then
            rm -rf "$WINEPREFIX"
            cp -a "$KLV_WINE_TEMPLATE" "$WINEPREFIX"
        else
            "$KLV_WINE" wineboot -i >/dev/null 2>&1
            "$KLV_WINESERVER" -w
        fi
    fi
) 9>"$WINEPREFIX.lock"

if [ "${1:-}" = --boot-only ]; then exit 0; fi
exec "$KLV_WINE" "$@"
