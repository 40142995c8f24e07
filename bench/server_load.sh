#!/usr/bin/env bash
# klv-update-server under load: wrk at 200 and at 2,000 concurrent connections
# asking GetAFile for a small file and for a 1 MiB file, beside nginx serving
# the very same response bytes as static files, each run straight after the
# other. Prints requests per second, the 99th percentile latency and the
# errors of both, and their ratios; it is not a test.
# Goals: small file >= 1.0x nginx's requests per second with a p99 <= 1.2x
# nginx's and 0 errors; the 1 MiB file >= 1.0x.
# wrk connects from one address, so the server is given a per-address cap
# above the connection count (its default, 256, is for the open internet).
#   bench/server_load.sh [BUILD_DIR]   (default build/protocol-bench, Release)
#   CONNECTIONS="200 2000" DURATION=10 bench/server_load.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/protocol-bench}
connection_counts=${CONNECTIONS:-200 2000}
duration=${DURATION:-10}
command -v wrk >/dev/null && command -v nginx >/dev/null || { echo "needs wrk and nginx (scripts/setup.sh)" >&2; exit 1; }

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKLV_TESTS=OFF >/dev/null
ninja -C "$build" -j2 klv-update-server >/dev/null
# Thousands of connections on both ends: raise this shell's descriptor limit.
ulimit -n "$(ulimit -Hn)" 2>/dev/null || true

work=$(mktemp -d)
nginx_pid=""
server_pid=""
cleanup() {
    [ -n "$server_pid" ] && kill -TERM "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
    [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/pkg" "$work/static" "$work/nginx"
chmod 755 "$work"  # nginx's workers drop root and must read the static files
printf 'KLV small package file\r\n' >"$work/pkg/small.txt"
head -c 1048576 /dev/urandom >"$work/pkg/big.bin"
max_connections=0
for c in $connection_counts; do [ "$c" -gt "$max_connections" ] && max_connections=$c; done
"$build/tools/klv-update-server" --port 0 --max-connections-per-address $((max_connections + 100)) \
    "$work/pkg" >"$work/server.out" 2>"$work/server.log" &
server_pid=$!
for _ in $(seq 100); do grep -q "^listening on" "$work/server.out" 2>/dev/null && break; sleep 0.1; done
KLV_SERVER_URL="http://127.0.0.1:$(sed -n 's/^listening on .*://p' "$work/server.out")/"

# A scrambled GetAFile URL (any seed is valid).
url_for() {
    python3 - "$KLV_SERVER_URL" "$1" <<'PY'
import sys
plain = ("aFlag=KLVGetAFile\r\nFileName=%s\r\n" % sys.argv[2]).encode()
key, prev, out = b"qvtrm", 0x3C, "3C"
for i, p in enumerate(plain):
    prev = ((p + prev) % 255) ^ key[i % len(key)]
    out += "%02X" % prev
print(sys.argv[1] + out)
PY
}
small_url=$(url_for small.txt)
big_url=$(url_for big.bin)
# nginx serves what our server answers, byte for byte.
curl -s -o "$work/static/small" "$small_url"
curl -s -o "$work/static/big" "$big_url"

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$work/nginx/nginx.conf" <<CONF
daemon off;
worker_processes 2;
worker_rlimit_nofile 16384;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 8192; }
http {
    access_log off;
    client_body_temp_path $work/nginx;
    keepalive_requests 100000;
    server {
        listen 127.0.0.1:$port;
        root $work/static;
        default_type application/octet-stream;
    }
}
CONF
nginx -c "$work/nginx/nginx.conf" -p "$work/nginx" &
nginx_pid=$!
for _ in $(seq 50); do curl -sf -o /dev/null "http://127.0.0.1:$port/small" && break; sleep 0.1; done
cmp -s "$work/static/small" <(curl -s "http://127.0.0.1:$port/small") || { echo "nginx does not serve the files" >&2; exit 1; }

# CPU time (clock ticks, user + system) of the given processes.
cpu_ticks() {
    local total=0 pid
    for pid in "$@"; do total=$((total + $(awk '{print $14 + $15}' "/proc/$pid/stat"))); done
    echo "$total"
}
ticks_per_second=$(getconf CLK_TCK)
nginx_pids="$nginx_pid $(ps --ppid "$nginx_pid" -o pid= | tr '\n' ' ')"

# Runs wrk against URL and prints "requests_per_second p99_ms errors
# cpu_us_per_request" (the CPU time of the serving processes PIDS).
load() {  # URL PIDS...
    local out before after url=$1
    shift
    before=$(cpu_ticks "$@")
    out=$(wrk -t2 -c"$connections" -d"${duration}s" --timeout 10s --latency "$url")
    after=$(cpu_ticks "$@")
    python3 - "$out" $((after - before)) "$ticks_per_second" <<'PY'
import re, sys
out, ticks, hz = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rps = float(re.search(r"Requests/sec:\s+([\d.]+)", out).group(1))
requests = int(re.search(r"(\d+) requests in", out).group(1))
p99 = re.search(r"\s99%\s+([\d.]+)(us|ms|s)\b", out)
ms = float(p99.group(1)) * {"us": 0.001, "ms": 1.0, "s": 1000.0}[p99.group(2)]
errors = sum(int(n) for n in re.findall(r"(?:connect|read|write|timeout) (\d+)", out))
m = re.search(r"Non-2xx or 3xx responses: (\d+)", out)
errors += int(m.group(1)) if m else 0
if errors:  # which kind, beside the table
    sys.stderr.write("  %s: %s\n" % (re.search(r"http://\S+?/(\w{0,12})", out).group(1) or "?", "; ".join(
        l.strip() for l in out.splitlines() if "errors" in l or "Non-2xx" in l)))
print(rps, ms, errors, ticks * 1e6 / hz / max(requests, 1))
PY
}
echo "load on the machine before the runs: $(cut -d' ' -f1-3 /proc/loadavg) (2 cores; figures are only sound when it is near 0)"
printf '%-6s %-6s %11s %8s %7s %7s   %11s %8s %7s %7s   %8s %8s\n' conns file "ours req/s" "p99 ms" errors "cpu us" \
    "nginx req/s" "p99 ms" errors "cpu us" "req/s x" "p99 x"
for connections in $connection_counts; do
    for case in "small:$small_url:http://127.0.0.1:$port/small" "1MiB:$big_url:http://127.0.0.1:$port/big"; do
        name=${case%%:*}; rest=${case#*:}
        ours_url=${rest%:http*}; nginx_url=http${rest##*:http}
        read -r o_rps o_p99 o_err o_cpu < <(load "$ours_url" "$server_pid")
        read -r n_rps n_p99 n_err n_cpu < <(load "$nginx_url" $nginx_pids)
        python3 -c "print('%-6s %-6s %11.0f %8.2f %7d %7.1f   %11.0f %8.2f %7d %7.1f   %8.2f %8.2f' % ('$connections', '$name', $o_rps, $o_p99, $o_err, $o_cpu, $n_rps, $n_p99, $n_err, $n_cpu, $o_rps / $n_rps, $o_p99 / max($n_p99, 0.001)))"
    done
done
echo "wrk: ${duration} s per run, 2 threads, 10 s time-out (2,000 answers of 1 MiB in flight take longer than its default 2 s); cpu us: CPU time of the serving processes per request."
echo "Goals: small req/s x >= 1.0, small p99 x <= 1.2, 0 errors; 1MiB req/s x >= 1.0"
