#!/usr/bin/env bash
# The launcher's main job, end to end on this machine: builds everything,
# starts our update server on a sample package and runs what exists against it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/setup.sh
cmake -S . -B build/demo-native -G Ninja -DCMAKE_BUILD_TYPE=Release -DKLV_TESTS=OFF >/dev/null
cmake --build build/demo-native
cmake -S . -B build/demo-win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
    -DCMAKE_BUILD_TYPE=Release -DKLV_TESTS=OFF >/dev/null
cmake --build build/demo-win32
echo "demo: built build/demo-native and build/demo-win32"
