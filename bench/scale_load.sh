#!/usr/bin/env bash
# Load test of the scaled-out update server on loopback: klv-client
# synchronisations through HAProxy (scripts/serve-scaled.sh) while one server
# is killed and comes back, another is killed later, and a new release is
# published in the middle. Every sync must end complete, and every client
# folder must be exactly one release, byte for byte. Also requests per second
# through the balancer with one and with two servers (wrk, small GetAFile).
#
#   bench/scale_load.sh [BUILD_DIR]
# Environment: FILES (per release, default 300), WORKERS (parallel clients,
# default 8), SECONDS_OF_LOAD (default 20), MAX_SYNCS (bound, default 400),
# PORT (default 9400). Prints figures; never run as a test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench}
FILES=${FILES:-300} WORKERS=${WORKERS:-8} SECONDS_OF_LOAD=${SECONDS_OF_LOAD:-20} MAX_SYNCS=${MAX_SYNCS:-400}
PORT=${PORT:-9400}
if [ ! -x "$build/tools/klv-release" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKLV_TESTS=OFF >/dev/null
    cmake --build "$build" --target klv-update-server klv-client klv-release >/dev/null
fi
tools=$build/tools
work=$(mktemp -d /tmp/klv-scale-load.XXXXXX)
serve_pid=""
cleanup() {
    [ -n "$serve_pid" ] && kill "$serve_pid" 2>/dev/null && wait "$serve_pid" 2>/dev/null
    [ -n "${KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

# Two sources that differ in every file, so that a mixed folder cannot pass.
make_source() {  # FOLDER TAG
    mkdir -p "$1/sub"
    local i
    for i in $(seq "$FILES"); do
        local where=$1
        [ $((i % 3)) = 0 ] && where=$1/sub
        head -c $((1024 + (i * 997) % 30000)) /dev/urandom >"$where/f$i.dat"
        echo "$2" >>"$where/f$i.dat"
    done
}
make_source "$work/src1" one
make_source "$work/src2" two
mkdir -p "$work/releases"
"$tools/klv-release" --name r1 "$work/src1" "$work/releases" >/dev/null

serve() {  # SERVERS RUN-NAME
    "$root/scripts/serve-scaled.sh" --servers "$1" --port "$PORT" --tools "$tools" --run-dir "$work/$2" \
        "$work/releases" >"$work/$2.log" 2>&1 &
    serve_pid=$!
    for _ in $(seq 100); do
        "$tools/klv-client" --server "http://127.0.0.1:$PORT/" check f1.dat 0.0.0.0 >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "scale_load: the balancer did not come up" >&2
    cat "$work/$2.log" >&2
    exit 1
}
unserve() { kill "$serve_pid"; wait "$serve_pid" 2>/dev/null || true; serve_pid=""; }

# Not in a command substitution: the servers must be this shell's to stop.
rps_with() {  # SERVERS RESULT-VARIABLE
    serve "$1" "rps$1"
    local url result="n/a (no wrk)"
    url=$("$tools/klv-client" --server "http://127.0.0.1:$PORT/" get-url "f1.dat")
    if command -v wrk >/dev/null; then
        wrk -t2 -c100 -d5s "$url" >"$work/wrk$1.txt" 2>&1 || true
        result=$(awk '/Requests\/sec/ { print $2 }' "$work/wrk$1.txt")
    fi
    unserve
    printf -v "$2" '%s' "$result"
}
rps_with 1 rps1
rps_with 2 rps2

# The load: WORKERS clients, each syncing into fresh folders until the time
# or the bound of syncs is up.
serve 2 load
mkdir -p "$work/clients" "$work/results"
deadline=$(( $(date +%s) + SECONDS_OF_LOAD ))
per_worker=$(( (MAX_SYNCS + WORKERS - 1) / WORKERS ))
worker() {  # INDEX
    local n=0
    while [ "$(date +%s)" -lt "$deadline" ] && [ "$n" -lt "$per_worker" ]; do
        local folder=$work/clients/w$1-$n
        mkdir -p "$folder"
        if "$tools/klv-client" --server "http://127.0.0.1:$PORT/" sync "$folder" >/dev/null 2>&1; then
            echo "$folder ok" >>"$work/results/w$1"
        else
            echo "$folder failed" >>"$work/results/w$1"
        fi
        n=$((n + 1))
    done
}
started=$(date +%s.%N)
worker_pids=()
for w in $(seq "$WORKERS"); do worker "$w" & worker_pids+=($!); done

# Kill one server (its supervisor starts it again), publish, kill the other.
sleep $((SECONDS_OF_LOAD / 4))
kill -9 "$(cat "$work/load/server1.pid")"
sleep $((SECONDS_OF_LOAD / 8))
"$tools/klv-release" --name r2 "$work/src2" "$work/releases" >/dev/null
sleep $((SECONDS_OF_LOAD / 4))
kill -9 "$(cat "$work/load/server2.pid")"
wait "${worker_pids[@]}"
elapsed=$(echo "$(date +%s.%N) - $started" | bc)
unserve

syncs=0 failed=0 mixed=0 on1=0 on2=0
for f in "$work"/results/*; do
    while read -r folder result; do
        syncs=$((syncs + 1))
        if [ "$result" != ok ]; then failed=$((failed + 1)); continue; fi
        if diff -rq "$folder" "$work/releases/r1" >/dev/null 2>&1; then
            on1=$((on1 + 1))
        elif diff -rq "$folder" "$work/releases/r2" >/dev/null 2>&1; then
            on2=$((on2 + 1))
        else
            mixed=$((mixed + 1))
        fi
    done <"$f"
done
requests=$(cat "$work"/load/server*.log | grep -c 'GetAFile' || true)

printf 'scale load: %d files per release, %d clients for %.1f s, a server killed twice, a release published\n' \
    "$FILES" "$WORKERS" "$elapsed"
printf '  syncs %d   failed %d   mixed %d   (release 1: %d, release 2: %d)   goal: 0 failed, 0 mixed\n' \
    "$syncs" "$failed" "$mixed" "$on1" "$on2"
printf '  GetAFile requests served during the load: %d (%.0f per second)\n' "$requests" \
    "$(echo "$requests / $elapsed" | bc -l)"
printf '  through the balancer, small GetAFile, 100 connections: 1 server %s req/s, 2 servers %s req/s\n' \
    "$rps1" "$rps2"
[ "$failed" = 0 ] && [ "$mixed" = 0 ]
