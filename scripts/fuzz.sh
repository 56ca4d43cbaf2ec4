#!/usr/bin/env bash
# Fuzzes one harness of build/sanitize for longer than the test suite does, starting from its
# seeds; the log, the corpus it grew and any crash input stay in build/sanitize/long-runs/NAME/.
# Usage: scripts/fuzz.sh NAME SECONDS   (NAME as in tests/fuzz/NAME.cpp, e.g. record_name_fuzzer)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
name=$1 seconds=$2
fuzzer=$root/build/sanitize/tests/fuzz/$name
[ -x "$fuzzer" ] || { echo "no $fuzzer: run scripts/build.sh first" >&2; exit 2; }
work=$root/build/sanitize/long-runs/$name
mkdir -p "$work"
status=0
bash "$root/tests/fuzz/run_fuzzer.sh" "$fuzzer" "$root/tests/fuzz/corpus/$name" "$work" "$seconds" \
  >"$work/log" 2>&1 || status=$?
grep -E '^(stat::|Done)|ERROR|check failed' "$work/log" || true
grep -E '^#[0-9]+[[:space:]]+(pulse|REDUCE|NEW|DONE)' "$work/log" | tail -1 || true
echo "exit $status; corpus $(ls "$work/corpus" | wc -l) files, $(du -sb "$work/corpus" | cut -f1) bytes"
exit $status
