#!/usr/bin/env bash
# Source coverage of the code under fuzzing: replays each fuzzer's seeds and the corpus its long
# run grew (scripts/fuzz.sh) in a build instrumented for coverage, and prints llvm-cov's report
# for the sources under src/.
# Usage: scripts/fuzz-coverage.sh [NAME...]   (default: every fuzzer)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
build=$root/build/fuzz-coverage
flags="-fprofile-instr-generate -fcoverage-mapping"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSANITIZE=ON -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null

names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for source in "$root"/tests/fuzz/*_fuzzer.cpp; do names+=("$(basename "$source" .cpp)"); done
fi
cmake --build "$build" -j "$(nproc)" --target "${names[@]}"

rm -rf "$build/profiles"
mkdir -p "$build/profiles"
for name in "${names[@]}"; do
  corpora=()
  for dir in "$root/tests/fuzz/corpus/$name" "$root/build/sanitize/long-runs/$name/corpus"; do
    [ -d "$dir" ] && corpora+=("$dir")
  done
  LLVM_PROFILE_FILE="$build/profiles/$name.profraw" \
    "$build/tests/fuzz/$name" -runs=0 "${corpora[@]}" >"$build/profiles/$name.log" 2>&1
  llvm-profdata-14 merge -sparse "$build/profiles/$name.profraw" -o "$build/profiles/$name.profdata"
  echo "== $name ($(find "${corpora[@]}" -type f | wc -l) inputs replayed)"
  llvm-cov-14 report "$build/tests/fuzz/$name" -instr-profile="$build/profiles/$name.profdata" \
    "$root/src" 2>/dev/null | sed -E "s|$root/||"
done
