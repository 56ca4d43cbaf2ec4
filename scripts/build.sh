#!/usr/bin/env bash
# Builds the three trees: build/windows (the stub and the Windows-side tests, cross-compiled),
# build/host (stubpack, host and end-to-end tests) and build/sanitize (clang: the host tests with
# ASan and UBSan, and the fuzzers). Installs what is missing first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"

jobs=$(nproc)
cmake -S "$root" -B "$root/build/windows" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build/windows" -j "$jobs"
cmake -S "$root" -B "$root/build/host" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DSTUB_BUILD_DIR="$root/build/windows" >/dev/null
cmake --build "$root/build/host" -j "$jobs"
CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/sanitize" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSANITIZE=ON >/dev/null
cmake --build "$root/build/sanitize" -j "$jobs"
