#!/usr/bin/env bash
# Runs every test tier from nothing: installs what is missing, builds the
# native (sanitized) and the Windows configurations, and runs
#   1. native unit and integration tests (ctest, ASan + UBSan),
#   2. the fuzz targets, briefly, on their kept corpora,
#   3. Windows unit tests and end-to-end GUI tests under Wine (ctest).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/setup.sh

start=$(date +%s)
echo "== native build (AddressSanitizer + UndefinedBehaviorSanitizer)"
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKLV_SANITIZE=ON >/dev/null
cmake --build build/native
echo "== native tests"
ctest --test-dir build/native -j"$(nproc)" --output-on-failure --timeout 600

if [ -x scripts/fuzz.sh ]; then
    echo "== fuzz targets"
    scripts/fuzz.sh --brief
fi

echo "== Windows build (mingw-w64, i686, static)"
cmake -S . -B build/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
    -DCMAKE_BUILD_TYPE=Release -DKLV_NATIVE_TOOLS_DIR="$root/build/native/tools" >/dev/null
cmake --build build/win32
echo "== Windows tests and end-to-end tests under Wine (code page 936)"
ctest --test-dir build/win32 --output-on-failure --timeout 900
echo "== all tiers passed in $(( $(date +%s) - start )) s; screenshots in build/win32/artefacts"
