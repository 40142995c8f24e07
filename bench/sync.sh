#!/usr/bin/env bash
# `klv-client sync` of a package of 2,000 and of 4,000 small files from
# klv-update-server on loopback, beside one curl process fetching the same
# 2,000 GetAFile URLs over one kept-alive connection. Prints figures; it is
# not a test.
#   bench/sync.sh [BUILD_DIR]   (default build/sync-bench, Release, no tests)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/sync-bench}
runs=${RUNS:-3}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKLV_TESTS=OFF >/dev/null
ninja -C "$build" -j2 klv-client klv-update-server >/dev/null
. "$root/tests/wine/with-update-server.sh"

work=$(mktemp -d)
trap 'stop_update_server; rm -rf "$work"' EXIT

# A package of N files of 0.5 to 8 KiB, a tenth of them in sub-folders.
make_package() {  # FOLDER COUNT
    python3 "$(dirname "$0")/make-package.py" "$1" "$2"
}

# GetAFile URLs for curl, scrambled like the client's requests (the seed is
# free; any value is valid), as a curl config writing each body to a file.
make_curl_config() {  # PACKAGE_FOLDER BASE_URL OUT_FOLDER
    python3 - "$@" <<'PY'
import sys
folder, base, out = sys.argv[1:4]
key = b"qvtrm"
def scramble(plain, seed):
    prev, text = seed, "%02X" % seed
    for i, p in enumerate(plain):
        prev = ((p + prev) % 255) ^ key[i % len(key)]
        text += "%02X" % prev
    return text
names = ["files.txt"] + [l.split("=", 1)[0] for l in open(folder + "/files.txt", newline="").read().split("\r\n") if l]
for i, name in enumerate(names):
    plain = b"aFlag=KLVGetAFile\r\nFileName=" + name.encode("ascii") + b"\r\n"
    print('url = "%s%s"' % (base, scramble(plain, 0x20 + i % 200)))
    print('output = "%s/%d.body"' % (out, i))
PY
}

now() { date +%s.%N; }
elapsed() { python3 -c "print('%.3f' % (float('$2') - float('$1')))"; }

# Best of $runs: an empty destination each time, the server's cache warm.
time_sync() {  # LABEL
    local best=999 t0 t1 e
    "$build/tools/klv-client" --server "$KLV_SERVER_URL" sync "$work/warm" 2>/dev/null
    for _ in $(seq 1 "$runs"); do
        rm -rf "$work/dst"
        local before
        before=$(wc -l <"$KLV_SERVER_LOG")
        t0=$(now)
        "$build/tools/klv-client" --server "$KLV_SERVER_URL" sync "$work/dst" 2>/dev/null
        t1=$(now)
        e=$(elapsed "$t0" "$t1")
        best=$(python3 -c "print(min($best, $e))")
        connections=$(tail -n +"$((before + 1))" "$KLV_SERVER_LOG" | awk '{print $1}' | sort -u | wc -l)
        requests=$(($(wc -l <"$KLV_SERVER_LOG") - before))
    done
    diff -rq "$work/pkg$1" "$work/dst" >/dev/null || { echo "sync of $1 files: content differs" >&2; exit 1; }
    eval "sync_$1=$best conn_$1=$connections req_$1=$requests"
}

for n in 2000 4000; do
    make_package "$work/pkg$n" "$n"
    start_update_server "$build/tools" "$work/pkg$n"
    rm -rf "$work/warm"
    time_sync "$n"
    if [ "$n" = 2000 ]; then
        mkdir -p "$work/curl"
        make_curl_config "$work/pkg$n" "$KLV_SERVER_URL" "$work/curl" >"$work/curl.cfg"
        # The scrambling above must be what the client and server read.
        first=$(sed -n 's/^url = "[^"]*\/\([0-9A-F]*\)"$/\1/p' "$work/curl.cfg" | sed -n 2p)
        "$build/tools/klv-client" decode "$first" | grep -q "FileName=" || { echo "bad scrambling" >&2; exit 1; }
        best_curl=999
        for _ in $(seq 1 "$runs"); do
            rm -f "$work/curl/"*
            t0=$(now)
            curl -s --fail -K "$work/curl.cfg"
            t1=$(now)
            best_curl=$(python3 -c "print(min($best_curl, $(elapsed "$t0" "$t1")))")
        done
    fi
    stop_update_server
done

python3 -c "
s2, s4, c = $sync_2000, $sync_4000, $best_curl
print('package of small files (0.5-8 KiB), best of $runs runs, server cache warm')
print('klv-client sync, 2,000 files:   %.3f s  (%d requests, %d TCP connection(s); goal 1)' % (s2, $req_2000, $conn_2000))
print('klv-client sync, 4,000 files:   %.3f s  (%d requests, %d TCP connection(s))' % (s4, $req_4000, $conn_4000))
print('curl, the same 2,001 GetAFile URLs, one process, bodies to files: %.3f s' % c)
print('ratio sync / curl (2,000):      %.2fx (goal <= 1.2x)' % (s2 / c))
print('scaling 4,000 / 2,000:          %.2fx (goal <= 2.2x)' % (s4 / s2))"
