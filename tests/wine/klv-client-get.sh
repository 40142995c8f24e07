#!/usr/bin/env bash
# The Windows klv-client.exe under Wine against the native update server:
# downloads (several blocks, a sub-folder, a code page 936 name with a 0x5C
# trail byte), a missing file, and CheckFileUp.
#   klv-client-get.sh WINE_RUN PREFIX CLIENT_EXE NATIVE_TOOLS_DIR
set -uo pipefail
wine_run=$1 prefix=$2 client=$3 tools=$4
here=$(cd "$(dirname "$0")" && pwd)
. "$here/with-update-server.sh"

work=$(mktemp -d)
cleanup() { stop_update_server; rm -rf "$work"; }
trap cleanup EXIT
mkdir -p "$work/pkg/sub" "$work/out"
head -c 1500000 /dev/urandom >"$work/pkg/sub/big.bin"
printf 'gbk named file' >"$work/pkg/$(printf '\xd6\xd0\x81\x5c').txt"
printf 'Kesto.exe=1.0.12.16\r\n' >"$work/pkg/files.txt"
start_update_server "$tools" "$work/pkg" || exit 1

failures=0
check() {  # WHAT EXPECTED ACTUAL
    if [ "$2" != "$3" ]; then echo "FAIL: $1: expected [$2], got [$3]" >&2; failures=$((failures + 1));
    else echo "ok: $1"; fi
}
client() { "$wine_run" "$prefix" "$client" --server "$KLV_SERVER_URL" "$@"; }
winpath() { printf 'Z:%s' "${1//\//\\}"; }

client get 'sub\big.bin' "$(winpath "$work/out/big.bin")"
check "get exit code" 0 $?
cmp -s "$work/pkg/sub/big.bin" "$work/out/big.bin"
check "downloaded content" 0 $?

# Wine hands the UTF-8 argument to the program as code page 936 bytes (D6 D0
# 81 5C), which travel unchanged to the server and name the file there.
client get '中乗.txt' "$(winpath "$work/out/gbk.txt")"
check "get of a code page 936 name" 0 $?
check "content of the code page 936 file" "gbk named file" "$(cat "$work/out/gbk.txt" 2>/dev/null)"

client get 'missing.dll' "$(winpath "$work/out/missing.dll")"
check "get of a missing file" 1 $?
check "no file for a missing name" no "$([ -e "$work/out/missing.dll" ] && echo yes || echo no)"

out=$(client check Kesto.exe 1.0.12.15 | tr -d '\r')
check "check exit code" 0 "${PIPESTATUS[0]}"
check "check output" newer "$out"
client check Kesto.exe 1.0.12.16 >/dev/null
check "check of the same version" 1 $?

check "requests seen by the server" 5 "$(grep -c '" 200 \|" 404 ' "$KLV_SERVER_LOG")"
exit $((failures > 0))
