#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build/fuzz and runs each one for
# a short while on a copy of its kept corpus (tests/fuzz/corpus/<target>/).
# Fails when a target crashes, leaks, hangs or trips a sanitizer.
#   scripts/fuzz.sh            about 20 s per target
#   scripts/fuzz.sh --brief    the same (the length the test run uses)
#   scripts/fuzz.sh SECONDS    another length
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=20
case "${1:-}" in
    --brief | "") ;;
    *) seconds=$1 ;;
esac

CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKLV_FUZZ=ON >/dev/null
targets=$(cd tests/fuzz && ls *_fuzz.cpp 2>/dev/null | sed 's/\.cpp$//')
[ -n "$targets" ] || { echo "no fuzz targets"; exit 0; }
# shellcheck disable=SC2086
cmake --build build/fuzz -j2 --target $targets

for target in $targets; do
    corpus_name=${target%_fuzz}
    work=build/fuzz/corpus-run/$corpus_name
    rm -rf "$work" && mkdir -p "$work"
    if [ -d "tests/fuzz/corpus/$corpus_name" ]; then cp -r "tests/fuzz/corpus/$corpus_name/." "$work/"; fi
    echo "== $target: ${seconds} s"
    ( cd build/fuzz && "./tests/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 "corpus-run/$corpus_name" 2>&1 | tail -n 12 )
    [ "${PIPESTATUS[0]}" = 0 ] || { echo "$target failed"; exit 1; }
done
