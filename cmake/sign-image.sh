#!/usr/bin/env bash
# The build's signing of its Windows images, run after each link (and after
# the link's stripping, which would drop a signature made before it).
#   sign-image.sh sign IN KEY CERT OUT [NEST_KEY NEST_CERT]
#       OUT is IN with an Authenticode signature (SHA-256) made with KEY and
#       CERT; with NEST_KEY and NEST_CERT a second signature nested in it.
#       IN and OUT may be the same file.
#   sign-image.sh alter IN OUT
#       OUT is IN with one byte of its code section changed (a byte of the
#       section's padding where it has some): still a whole image with its
#       version resource, but no longer what its signature covers.
set -euo pipefail
fail() { echo "sign-image: $*" >&2; exit 1; }

case "${1:-}" in
sign)
    [ $# -eq 5 ] || [ $# -eq 7 ] || fail "usage: sign IN KEY CERT OUT [NEST_KEY NEST_CERT]"
    in=$2 key=$3 cert=$4 out=$5
    mkdir -p "$(dirname "$out")"
    tmp=$out.signing.$$
    trap 'rm -f "$tmp" "$tmp.nest"' EXIT
    osslsigncode sign -h sha256 -certs "$cert" -key "$key" -in "$in" -out "$tmp" >/dev/null ||
        fail "cannot sign $in with $cert"
    if [ $# -eq 7 ]; then
        osslsigncode sign -nest -h sha256 -certs "$7" -key "$6" -in "$tmp" -out "$tmp.nest" >/dev/null ||
            fail "cannot nest a signature with $7 in $in"
        mv -f "$tmp.nest" "$tmp"
    fi
    mv -f "$tmp" "$out"
    ;;
alter)
    [ $# -eq 3 ] || fail "usage: alter IN OUT"
    in=$2 out=$3
    u() { od -An -tu"$2" -j "$1" -N"$2" "$in" | tr -d ' \n'; }  # little-endian on every host we build on
    pe=$(u 60 4)
    [ "$(u "$pe" 4)" = 17744 ] || fail "$in is no PE image"  # "PE\0\0"
    sections=$(u $((pe + 6)) 2)
    table=$((pe + 24 + $(u $((pe + 20)) 2)))
    at=
    for ((i = 0; i < sections; i++)); do
        s=$((table + 40 * i))
        [ "$(dd if="$in" bs=1 skip="$s" count=8 2>/dev/null | tr -d "\0")" = .text ] || continue
        virtual=$(u $((s + 8)) 4) raw=$(u $((s + 16)) 4) start=$(u $((s + 20)) 4)
        if [ "$virtual" -lt "$raw" ]; then at=$((start + raw - 1)); else at=$((start + raw / 2)); fi
    done
    [ -n "$at" ] || fail "$in has no .text section"
    mkdir -p "$(dirname "$out")"
    cp -f "$in" "$out.altering.$$"
    byte=$(u "$at" 1)
    printf "\\$(printf %03o $((byte ^ 0xFF)))" | dd of="$out.altering.$$" bs=1 seek="$at" conv=notrunc 2>/dev/null
    mv -f "$out.altering.$$" "$out"
    ;;
*)
    fail "usage: sign-image.sh sign|alter ..."
    ;;
esac
