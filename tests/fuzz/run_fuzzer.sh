#!/usr/bin/env bash
# Fuzzes for a fixed time, starting from the seed corpus, which is replayed first and never
# written: new inputs go to a scratch corpus under WORK, crash inputs to WORK/artifacts.
# Usage: run_fuzzer.sh FUZZER SEED_DIR WORK_DIR SECONDS [libFuzzer options...]
set -euo pipefail
fuzzer=$1 seeds=$2 work=$3 seconds=$4
shift 4
rm -rf "$work/corpus"
mkdir -p "$work/corpus" "$work/artifacts"
corpora=("$work/corpus")
[ -d "$seeds" ] && corpora+=("$seeds")
exec "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/artifacts/" "$@" "${corpora[@]}"
