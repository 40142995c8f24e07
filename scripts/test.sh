#!/usr/bin/env bash
# Runs every test tier from nothing: installs what is missing, checks that
# every source is laid out as .clang-format says, builds the native
# (sanitized) and the Windows configurations, and runs
#   1. native unit and integration tests (ctest, ASan + UBSan),
#   2. the tests that use threads under ThreadSanitizer, and the fuzz targets
#      over their kept corpora,
#   3. Windows unit tests and end-to-end GUI tests under Wine (ctest).
# The product, the i686 klv-start.exe, is built on every run. Where this
# machine runs no 32-bit code, the Windows tiers run the x86_64 build of the
# same sources under 64-bit Wine, and the i686 build is checked where it
# cannot run: its tests that need no Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/setup.sh
. tests/wine/wine-env.sh
echo "== $KLV_WIN_TIER_LINE"

# ctest for one tier. Its console output goes whole to a log in the build
# folder; the console shows only the tests that did not pass and ctest's
# closing lines, whose "NN% tests passed, N tests failed out of N" CI reads.
# Each test's own output is in Testing/Temporary/LastTest.log beside it.
run_ctest() {  # BUILD-FOLDER LOG-NAME CTEST-ARGUMENT...
    local build=$1 log="$1/Testing/Temporary/$2.log"
    shift 2
    mkdir -p "$(dirname "$log")"
    echo "   log: $log"
    # A failed test's own output (what --output-on-failure adds after its
    # line) is shown too, so that a failing CI run says why.
    ctest --test-dir "$build" --output-on-failure "$@" 2>&1 | tee "$log" | awk '
        / Test +#[0-9]+: / { failed = !/ Passed /; if (failed) { sub(/ \.+ +/, "  "); print }; next }
        /^ +Start +[0-9]+: / { failed = 0; next }
        /No tests were found/ { print }
        /tests passed, .* tests failed out of/ { closing = 1 }
        closing || failed { print }'
}

start=$(date +%s)
echo "== layout of the sources"
scripts/check-format.sh
echo "== native build (AddressSanitizer + UndefinedBehaviorSanitizer)"
cmake --preset native >/dev/null
cmake --build build/native
echo "== native tests"
run_ctest build/native ctest-native -j"$(nproc)" --timeout 600

echo "== native tests that use threads, under ThreadSanitizer"
scripts/tsan.sh

if [ -x scripts/fuzz.sh ]; then
    echo "== fuzz targets"
    scripts/fuzz.sh --brief
fi

build_windows() {  # PRESET [TARGET...]
    local preset=$1
    shift
    cmake --preset "$preset" -DKLV_NATIVE_TOOLS_DIR="$root/build/native/tools" >/dev/null
    cmake --build --preset "$preset" ${1:+--target "$@"}
}
echo "== Windows build, the product (mingw-w64, i686, static)"
# Where the i686 tests cannot run, only the product is built in i686 (and
# checked below without running it); its sources are built and tested as x86_64.
i686_targets=()
if [ "$KLV_WIN_ARCH" = x86_64 ]; then i686_targets=(klv-start); fi
build_windows win32 "${i686_targets[@]}"
if [ "$KLV_WIN_ARCH" = x86_64 ]; then
    echo "== Windows build for 64-bit Wine (mingw-w64, x86_64, static)"
    build_windows win64
    echo "== the i686 build, checked without running it"
    run_ctest build/win32 ctest-no-wine -L no_wine --timeout 300
fi
echo "== Windows tests and end-to-end tests under Wine (code page 936): $KLV_WIN_TIER_LINE"
run_ctest "$KLV_WIN_BUILD" ctest-wine -j"$(nproc)" --timeout 900
echo "== all tiers passed in $(( $(date +%s) - start )) s ($KLV_WIN_TIER_LINE); screenshots in $KLV_WIN_BUILD/artefacts"
