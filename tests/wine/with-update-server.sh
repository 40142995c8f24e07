#!/usr/bin/env bash
# Runs a command while the native klv-update-server serves a package folder on
# a free loopback port; Wine programs reach it through Linux loopback.
#   with-update-server.sh TOOLS_DIR PACKAGE_DIR COMMAND [ARGS...]
# The command sees KLV_SERVER_URL (http://127.0.0.1:PORT/) and KLV_SERVER_LOG;
# its exit code is the script's. The server is stopped by its PID afterwards.
# Sourced, the script only defines start_update_server / stop_update_server.

start_update_server() {  # TOOLS_DIR PACKAGE_DIR
    local work
    work=$(mktemp -d)
    KLV_SERVER_LOG=$work/server.log
    "$1/klv-update-server" --port 0 "$2" >"$work/stdout" 2>"$KLV_SERVER_LOG" &
    KLV_SERVER_PID=$!
    local line="" i
    for i in $(seq 1 300); do  # hang guard, 30 s
        line=$(head -n1 "$work/stdout" 2>/dev/null)
        [ -n "$line" ] && break
        kill -0 "$KLV_SERVER_PID" 2>/dev/null || break
        sleep 0.1
    done
    case "$line" in
        "listening on "*) KLV_SERVER_URL="http://127.0.0.1:${line##*:}/" ;;
        *) echo "update server did not start: $line" >&2; cat "$KLV_SERVER_LOG" >&2; return 1 ;;
    esac
    export KLV_SERVER_URL KLV_SERVER_LOG KLV_SERVER_PID
}

stop_update_server() {
    [ -n "${KLV_SERVER_PID:-}" ] || return 0
    kill -TERM "$KLV_SERVER_PID" 2>/dev/null
    wait "$KLV_SERVER_PID" 2>/dev/null
    local status=$?
    KLV_SERVER_PID=""
    return $status
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -uo pipefail
    [ $# -ge 3 ] || { echo "usage: $0 TOOLS_DIR PACKAGE_DIR COMMAND [ARGS...]" >&2; exit 2; }
    tools=$1 package=$2
    shift 2
    start_update_server "$tools" "$package" || exit 1
    trap stop_update_server EXIT
    "$@"
    status=$?
    stop_update_server || { echo "update server did not stop cleanly" >&2; exit 1; }
    exit $status
fi
