#!/usr/bin/env bash
# GetAFile of a 64 MiB and of a 1 GiB file end to end (request, inflate,
# write to disk): klv-client get against klv-update-server on loopback, beside
# curl writing the same body to a file followed by a zlib inflate of that file
# to a file. Prints, per size, both times, their ratio and klv-client's peak
# memory (maximum resident set); it is not a test.
# Goals: ratio <= 1.0 (at least the pipeline's throughput), peak <= 32 MiB.
#   bench/getafile.sh [BUILD_DIR]   (default build/protocol-bench, Release)
#   SIZES="64 1024" RUNS=3 bench/getafile.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/protocol-bench}
runs=${RUNS:-3}
sizes=${SIZES:-64 1024}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKLV_TESTS=OFF >/dev/null
ninja -C "$build" -j2 klv-client klv-update-server >/dev/null
. "$root/tests/wine/with-update-server.sh"

work=$(mktemp -d)
trap 'stop_update_server; rm -rf "$work"' EXIT
mkdir "$work/pkg"

# Half incompressible, half text: roughly what a package of programs holds.
make_file() {  # PATH MEBIBYTES
    python3 - "$1" "$2" <<'PY'
import random, sys
rnd = random.Random(64)
line = b"KLV package text line %d with some words in it\r\n"
with open(sys.argv[1], "wb") as f:
    for i in range(int(sys.argv[2])):
        if i % 2:
            f.write(rnd.randbytes(1 << 20))
        else:
            f.write((b"".join(line % (i * 100000 + k) for k in range(30000)))[: 1 << 20])
PY
}

# A scrambled GetAFile URL for curl (any seed is valid; the client scrambles its own).
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

# The pipeline's second half: inflate the body file to a file, in pieces.
cat >"$work/inflate.py" <<'PY'
import sys, zlib
with open(sys.argv[1], "rb") as src, open(sys.argv[2], "wb") as dst:
    left = int.from_bytes(src.read(4), "little")
    z = zlib.decompressobj()
    while left > 0:
        block = src.read(1 << 20)
        out = z.decompress(block, left) if block else z.flush()
        dst.write(out)
        left -= len(out)
        if not block:
            break
PY

for mib in $sizes; do make_file "$work/pkg/f$mib.bin" "$mib"; done
start_update_server "$build/tools" "$work/pkg"

now() { date +%s.%N; }
printf '%-8s %-10s %12s %16s %10s %14s\n' file body "klv-client s" "curl+inflate s" "ours/curl" "peak memory"
for mib in $sizes; do
    name=f$mib.bin
    url=$(url_for "$name")
    curl -s -o /dev/null "$url"  # the server compresses once; later requests hit its cache
    best_ours=999 best_curl=999 rss=0
    for _ in $(seq 1 "$runs"); do
        rm -f "$work/ours.bin" "$work/theirs.bin" "$work/body.bin"
        t0=$(now)
        /usr/bin/time -f %M -o "$work/rss" "$build/tools/klv-client" --server "$KLV_SERVER_URL" get "$name" "$work/ours.bin"
        t1=$(now)
        curl -s -o "$work/body.bin" "$url"
        python3 "$work/inflate.py" "$work/body.bin" "$work/theirs.bin"
        t2=$(now)
        cmp -s "$work/pkg/$name" "$work/ours.bin" || { echo "klv-client wrote wrong content" >&2; exit 1; }
        cmp -s "$work/pkg/$name" "$work/theirs.bin" || { echo "curl pipeline wrote wrong content" >&2; exit 1; }
        read -r best_ours best_curl rss < <(python3 -c "
o, c, r = float('$t1') - float('$t0'), float('$t2') - float('$t1'), int(open('$work/rss').read().split()[-1])
print(min(o, $best_ours), min(c, $best_curl), max(r, $rss))")
    done
    body=$(stat -c %s "$work/body.bin")
    python3 -c "
o, c = $best_ours, $best_curl
print('%-8s %-10s %12.3f %16.3f %9.2fx %10.1f MiB' % ('$mib MiB', '%.0f MiB' % ($body / 1048576), o, c, o / c, $rss / 1024))"
done
echo "best of $runs runs each; goals: ours/curl <= 1.00x, peak memory <= 32 MiB for both sizes"
