#!/usr/bin/env bash
# Builds the three trees: build/windows (the stub and the Windows-side tests, cross-compiled),
# build/host (stubpack, host and end-to-end tests) and build/sanitize (clang: the host tests with
# ASan and UBSan, and the fuzzers); where the kernel runs no 32-bit programs, also build/win64,
# the Windows side for 64-bit Windows, which the tests then run (scripts/windows-arch.sh).
# Installs what is missing first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
source "$root/scripts/windows-arch.sh"

jobs=$(nproc)
cmake -S "$root" -B "$root/build/windows" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build/windows" -j "$jobs"
if [ "$WINDOWS_RUN_ARCH" = x86_64 ]; then
  echo "this kernel runs no 32-bit programs: the Windows side also builds for 64-bit Windows"
  cmake -S "$root" -B "$root/build/win64" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$root/build/win64" -j "$jobs"
fi
cmake -S "$root" -B "$root/build/host" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DSTUB_BUILD_DIR="$WINDOWS_RUN_TREE" >/dev/null
cmake --build "$root/build/host" -j "$jobs"
CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/sanitize" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSANITIZE=ON >/dev/null
cmake --build "$root/build/sanitize" -j "$jobs"
