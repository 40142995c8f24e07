#!/usr/bin/env bash
# Serves one package or releases folder from several klv-update-server
# processes behind HAProxy, which checks their health with a real protocol
# request and takes a server that stops answering out of the rotation.
#
#   scripts/serve-scaled.sh [--servers N] [--port PORT] [--bind ADDR] [--run-dir DIR] [--tools DIR] FOLDER
#
# The balancer listens on ADDR:PORT (default 127.0.0.1:9988, the port the
# launchers ask); the servers on ADDR:PORT+1 ... PORT+N. Requests are plain
# GETs with no state on the server but the release cookie (see
# klv-update-server --help), so any server may answer any request, and a
# request that a dying server dropped is sent again to another one. The
# configuration, the servers' logs and their process ids are written to the
# run folder (default: a new temporary folder), printed at start. A server
# that ends is started again a second later. The script stays in the
# foreground; SIGINT or SIGTERM ends the balancer and every server.
#   --print-config   writes the balancer's configuration to stdout and exits
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
servers=2 port=9988 bind=127.0.0.1 run_dir="" tools="$here/../build/native/tools" print_only=0
while [ $# -gt 1 ]; do
    case "$1" in
        --servers) servers=$2; shift 2 ;;
        --port) port=$2; shift 2 ;;
        --bind) bind=$2; shift 2 ;;
        --run-dir) run_dir=$2; shift 2 ;;
        --tools) tools=$2; shift 2 ;;
        --print-config) print_only=1; shift ;;
        *) echo "serve-scaled: unknown option $1" >&2; exit 2 ;;
    esac
done
[ $# = 1 ] || { sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2; exit 2; }
folder=$(cd "$1" && pwd)
[ -x "$tools/klv-update-server" ] || { echo "serve-scaled: no klv-update-server in $tools (build the native tree first)" >&2; exit 2; }
command -v haproxy >/dev/null || { echo "serve-scaled: haproxy is missing (scripts/setup.sh installs it)" >&2; exit 2; }

# Every connection through the balancer holds two descriptors.
ulimit -n "$(ulimit -Hn)" 2>/dev/null || true
maxconn=$(( ($(ulimit -n) - 200) / 2 ))
[ "$maxconn" -le 20000 ] || maxconn=20000

# The health check asks what a launcher asks at every start: is there a newer
# files.txt than version 0. Any server that can read its folder answers 200.
check_target=$("$tools/klv-client" --server "http://$bind:$port/" check-url files.txt 0)
check_target="/${check_target#http://*/}"

config() {
    cat <<EOF
# Written by serve-scaled.sh.
global
    maxconn $maxconn
defaults
    mode http
    timeout connect 2s
    timeout client 60s
    timeout server 60s
    timeout http-keep-alive 60s
    timeout http-request 10s
    option http-keep-alive
    # A request that a server dropped (it was stopped or killed) goes again,
    # to another server: every request of the protocol is a plain GET.
    retries 3
    option redispatch 1
    retry-on all-retryable-errors
frontend klv
    bind $bind:$port
    default_backend klv_servers
backend klv_servers
    balance roundrobin
    option httpchk GET $check_target
    http-check expect status 200
    default-server inter 500ms fall 2 rise 2
EOF
    for i in $(seq "$servers"); do
        echo "    server s$i $bind:$((port + i)) check"
    done
}

if [ "$print_only" = 1 ]; then config; exit 0; fi
[ -n "$run_dir" ] || run_dir=$(mktemp -d /tmp/klv-scaled.XXXXXX)
mkdir -p "$run_dir"
config >"$run_dir/haproxy.cfg"
haproxy -c -q -f "$run_dir/haproxy.cfg"

pids=()
stop() {
    trap - INT TERM EXIT
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for f in "$run_dir"/server*.pid; do [ -f "$f" ] && kill "$(cat "$f")" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap stop EXIT
trap 'exit 0' INT TERM

# Each server runs under a small supervisor that starts it again a second
# after it ended, as a service manager would; its current process id is in
# serverN.pid.
supervise() {  # INDEX
    local i=$1
    trap 'kill "$(cat "$run_dir/server$i.pid")" 2>/dev/null; exit 0' TERM
    while true; do
        "$tools/klv-update-server" --bind "$bind" --port $((port + i)) "$folder" \
            >>"$run_dir/server$i.out" 2>>"$run_dir/server$i.log" &
        echo $! >"$run_dir/server$i.pid"
        wait $! || true
        sleep 1
    done
}
for i in $(seq "$servers"); do
    supervise "$i" &
    pids+=($!)
done
haproxy -f "$run_dir/haproxy.cfg" -db >"$run_dir/haproxy.log" 2>&1 &
echo $! >"$run_dir/haproxy.pid"
pids+=($!)
echo "serving $folder on $bind:$port through $servers servers; run folder $run_dir"
wait "$(cat "$run_dir/haproxy.pid")" || true
echo "serve-scaled: the balancer ended; stopping" >&2
