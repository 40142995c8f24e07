#!/usr/bin/env bash
# GetAFile of a 64 MiB file end to end (request, inflate, write): klv-client
# against klv-update-server, beside curl fetching the same URL followed by a
# zlib inflate of the body. Prints figures; it is not a test.
#   bench/getafile.sh [BUILD_DIR]   (default build/protocol-bench, Release)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/protocol-bench}
runs=${RUNS:-5}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKLV_TESTS=OFF >/dev/null
ninja -C "$build" -j2 klv-client klv-update-server >/dev/null
. "$root/tests/wine/with-update-server.sh"

work=$(mktemp -d)
trap 'stop_update_server; rm -rf "$work"' EXIT
mkdir "$work/pkg"
# Half incompressible, half text: roughly what a package of programs holds.
python3 - "$work/pkg/big.bin" <<'PY'
import os, random, sys
rnd = random.Random(64)
with open(sys.argv[1], "wb") as f:
    for i in range(64):
        if i % 2:
            f.write(rnd.randbytes(1 << 20))
        else:
            line = b"KLV package text line %d with some words in it\r\n"
            f.write((b"".join(line % (i * 100000 + k) for k in range(30000)))[: 1 << 20])
PY
start_update_server "$build/tools" "$work/pkg"

# One scrambled URL for curl (any seed is valid); the client scrambles its own.
url=$(python3 - "$KLV_SERVER_URL" <<'PY'
import sys
plain, key, prev, out = b"aFlag=KLVGetAFile\r\nFileName=big.bin\r\n", b"qvtrm", 0x3C, "3C"
for i, p in enumerate(plain):
    prev = ((p + prev) % 255) ^ key[i % len(key)]
    out += "%02X" % prev
print(sys.argv[1] + out)
PY
)
cat >"$work/inflate.py" <<'PY'
import sys, zlib
body = open(sys.argv[1], "rb").read()
open(sys.argv[2], "wb").write(zlib.decompress(body[4:])[: int.from_bytes(body[:4], "little")])
PY

curl -s -o /dev/null "$url"  # the server compresses once; later requests hit its cache
now() { date +%s.%N; }
best_ours=999 best_curl=999 rss=0
for i in $(seq 1 "$runs"); do
    t0=$(now)
    /usr/bin/time -f %M -o "$work/rss" "$build/tools/klv-client" --server "$KLV_SERVER_URL" get big.bin "$work/ours.bin"
    t1=$(now)
    curl -s -o "$work/body.bin" "$url"
    python3 "$work/inflate.py" "$work/body.bin" "$work/theirs.bin"
    t2=$(now)
    cmp -s "$work/pkg/big.bin" "$work/ours.bin" || { echo "klv-client wrote wrong content" >&2; exit 1; }
    cmp -s "$work/pkg/big.bin" "$work/theirs.bin" || { echo "curl pipeline wrote wrong content" >&2; exit 1; }
    read -r best_ours best_curl rss < <(python3 -c "
import sys
o, c, r = float('$t1') - float('$t0'), float('$t2') - float('$t1'), int(open('$work/rss').read().split()[-1])
print(min(o, $best_ours), min(c, $best_curl), max(r, $rss))")
done
body=$(stat -c %s "$work/body.bin")
python3 -c "
o, c = $best_ours, $best_curl
print('file 64 MiB, body %.1f MiB, best of $runs runs' % ($body / 1048576))
print('klv-client get:         %.3f s' % o)
print('curl + zlib inflate:    %.3f s' % c)
print('ratio ours / curl:      %.2fx (goal <= 1.10x)' % (o / c))
print('klv-client peak memory: %.1f MiB (maximum resident set)' % ($rss / 1024))"
