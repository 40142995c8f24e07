#!/usr/bin/env bash
# The scale-out configuration as the vendor runs it: scripts/serve-scaled.sh
# with two real update servers behind the real HAProxy over a releases folder
# made by klv-release. A synchronisation through the balancer is complete;
# with one server killed it still is (the balancer sends the requests to the
# other one); the killed server is started again and taken back.
#   test-scale-out.sh TOOLS_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tools=$1
work=$(mktemp -d)
serve_pid=""
cleanup() {
    [ -n "$serve_pid" ] && kill "$serve_pid" 2>/dev/null && wait "$serve_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; [ -f "$work/run/haproxy.log" ] && tail -5 "$work/run/haproxy.log" >&2; exit 1; }

# A free port pair: the balancer's and the two servers' after it.
port=""
for p in $(seq 20000 37 40000); do
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null && ! (exec 3<>"/dev/tcp/127.0.0.1/$((p + 1))") 2>/dev/null &&
        ! (exec 3<>"/dev/tcp/127.0.0.1/$((p + 2))") 2>/dev/null; then port=$p; break; fi
done
[ -n "$port" ] || fail "no free ports"

mkdir -p "$work/src/sub" "$work/releases"
for i in 1 2 3; do head -c 5000 /dev/urandom >"$work/src/sub/f$i.bin"; done
"$tools/klv-release" --name r1 "$work/src" "$work/releases" >/dev/null

"$here/../../scripts/serve-scaled.sh" --servers 2 --port "$port" --tools "$tools" --run-dir "$work/run" \
    "$work/releases" >"$work/serve.log" 2>&1 &
serve_pid=$!
url="http://127.0.0.1:$port/"
up() { "$tools/klv-client" --server "$url" check sub\\f1.bin 0.0.0.0 >/dev/null 2>&1; }
for _ in $(seq 100); do up && break; sleep 0.1; done
up || fail "the balancer does not answer: $(cat "$work/serve.log")"

sync_and_compare() {  # WHAT
    rm -rf "$work/client"
    mkdir -p "$work/client"
    "$tools/klv-client" --server "$url" sync "$work/client" >/dev/null 2>&1 || fail "$1: the sync failed"
    diff -r "$work/client" "$work/releases/r1" >/dev/null || fail "$1: the folder is not the release"
    echo "ok: $1"
}
sync_and_compare "through two servers"
kill -9 "$(cat "$work/run/server1.pid")"
sync_and_compare "with one server killed"
sync_and_compare "again, the next requests on the other server"
# The supervisor starts it again; the health check takes it back.
for _ in $(seq 100); do grep -q "s1 is UP" "$work/run/haproxy.log" && break; sleep 0.1; done
grep -q "s1 is UP" "$work/run/haproxy.log" || fail "the killed server was not taken back"
sync_and_compare "with the server back"
