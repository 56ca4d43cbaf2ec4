#!/usr/bin/env bash
# The benchmarks, in one command: installs and builds what they need, makes the inputs under
# build/bench/, runs every comparison side by side (bench/alternate.py) in one Wine session, and
# writes the results with ratios against the goals into bench/README.md.
#   bash bench/run.sh    BENCH_RUNS=N measured rounds (default 9); BENCH_KEEP=1 keeps the big files
#   BENCH_ONLY=create    only the stubpack create comparison (prints its medians; the recorded
#                        results are left as they are)
#   BENCH_ONLY=many-files  only the many-small-files comparison, likewise; with
#                        BENCH_BASELINE_STUB=EXE (another 64-bit build of the stub) its packages of
#                        the same files run in the same rounds, as base_4k and base_64k
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${BENCH_RUNS:-9}

bash "$root/bench/setup.sh"
bash "$root/scripts/build.sh" >/dev/null
# Timed: the same sources built for 64-bit Windows, against NSIS installers for 64-bit Windows,
# both run natively by wine64. The 32-bit stub that ships would run under emulation where the
# kernel runs no 32-bit programs (scripts/setup.sh), and emulation is not neutral: measured with
# 1,000 files of 4 KiB, it multiplied the NSIS installer's processor time by 3.3 and the stub's
# by 2.3, which would flatter the stub.
win_tree=$root/build/win64
cmake -S "$root" -B "$win_tree" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$win_tree" --target UnPackFile bench_win >/dev/null
export NSIS_TARGET=amd64-unicode

out=$root/build/bench
results=$out/results
stub=$win_tree/src/UnPackFile.exe
stubpack=$root/build/host/tools/stubpack/stubpack
win=$win_tree/bench
rm -rf "$results"
mkdir -p "$results"
uptime >"$results/load-before.txt"

alternate() { python3 "$root/bench/alternate.py" "$@"; }

# create writes a release file, synced before its rename: its floor is cp with a sync of the
# copy. cp alone is shown for scale.
create_comparison() {
  echo "== stubpack create of 1 GiB, cp and a sync of the copy, cp alone"
  alternate --runs "$runs" --json "$results/create.json" \
    --cmd create "$stubpack create --stub $stub -o $out/create-1g.exe $out/payload-1024/setup.msi" \
    --prepare create "rm -f '$out/create-1g.exe'; sync" \
    --cmd cp_sync "sh -c 'cp $out/payload-1024/setup.msi $out/cp-1g && sync $out/cp-1g'" \
    --prepare cp_sync "rm -f '$out/cp-1g'; sync" \
    --cmd cp "cp $out/payload-1024/setup.msi $out/cp-1g" \
    --prepare cp "rm -f '$out/cp-1g'; sync"
}

if [ "${BENCH_ONLY:-}" = create ]; then
  bash "$root/bench/make-inputs.sh" "$stubpack" "$stub" "$out" create
  create_comparison
  rm -f "$out/cp-1g" "$out/create-1g.exe"
  [ "${BENCH_KEEP:-0}" = 1 ] || rm -rf "$out/payload-1024"
  exit 0
fi

echo "== inputs"
if [ "${BENCH_ONLY:-}" = many-files ]; then
  bash "$root/bench/make-inputs.sh" "$stubpack" "$stub" "$out" many
else
  bash "$root/bench/make-inputs.sh" "$stubpack" "$stub" "$out"
fi

WINE_SESSION_PREFIX=$out/wineprefix
source "$root/scripts/wine-session.sh"
# Every "wine" of this run (the harness's and Wine's own tools', which call wine-stable) is the
# 64-bit loader, so that no 64-bit program is started through the emulated 32-bit one.
shims=$out/wine64-shims
mkdir -p "$shims"
for name in wine wine-stable; do
  printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$shims/$name"
  chmod 755 "$shims/$name"
done
export PATH="$shims:$PATH" WINELOADER=/usr/lib/wine/wine64
wine_session_start
cleanup() {
  wine_session_end
  rm -rf "$out/cp-256" "$out/cp-1g" "$out/create-1g.exe" "$out/wineprefix"
  if [ "${BENCH_KEEP:-0}" != 1 ]; then
    rm -rf "$out"/payload-* "$out"/stub-*.exe "$out"/nsis-*.exe
  fi
}
trap cleanup EXIT

# %TEMP% as Windows sees it (forward slashes, which Win32 takes and shlex leaves alone) and as
# Linux sees it, for clearing the extracted files between runs.
temp_win=$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')
temp_unix=$(winepath -u "$temp_win" 2>/dev/null)
temp_win=${temp_win//\\//}
payload() {  # the five files of a payload, as Windows paths
  local f
  for f in setup.msi run.bat setup.ini helper.dat uninst.iss; do printf 'Z:%s ' "$out/payload-$1/$f"; done
}

# The log grows by some 6,000 lines a run here: each stub run starts from an empty one.
many_files_comparison() {
  echo "== many small files: 2,000 files of 4 KiB and of 64 KiB, the stub package and the NSIS installer"
  local baseline=() kib
  if [ -n "${BENCH_BASELINE_STUB:-}" ]; then
    for kib in 4 64; do
      "$stubpack" create --stub "$BENCH_BASELINE_STUB" -o "$out/base-many-$kib.exe" \
        "$out/payload-many-$kib/run.bat" "$out/payload-many-$kib"/part*.dat >/dev/null
      baseline+=(--cmd "base_${kib}k" "wine $out/base-many-$kib.exe"
                 --prepare "base_${kib}k" "rm -f '$temp_unix/unpack.log'; sync")
    done
  fi
  alternate --runs "$runs" --json "$results/many-files.json" \
    --cmd stub_4k "wine $out/stub-many-4.exe" \
    --prepare stub_4k "rm -f '$temp_unix/unpack.log'; sync" \
    --cmd nsis_4k "wine $out/nsis-many-4.exe" \
    --prepare nsis_4k "sync" \
    --cmd stub_64k "wine $out/stub-many-64.exe" \
    --prepare stub_64k "rm -f '$temp_unix/unpack.log'; sync" \
    --cmd nsis_64k "wine $out/nsis-many-64.exe" \
    --prepare nsis_64k "sync" \
    "${baseline[@]}"
}
if [ "${BENCH_ONLY:-}" = many-files ]; then
  uptime | tee "$results/load-before.txt"
  many_files_comparison
  uptime | tee "$results/load-after.txt"
  rm -f "$out"/base-many-*.exe
  exit 0
fi

echo "== stub image (the 32-bit stub that ships)"
bash "$root/scripts/check-stub-image.sh" "$root/build/windows/src/UnPackFile.exe" |
  tee "$results/stub-image.txt"

# The 1 MiB pair shows the fixed cost around the copy loop, which the 256 MiB pair spreads thin.
echo "== extraction of 256 MiB + 4 small files: the stub's extractor, a bare 1 KiB copy loop, cp"
alternate --runs "$runs" --json "$results/extract.json" \
  --cmd extractor "wine $win/time_unpack.exe Z:$out/stub-256.exe" \
  --prepare extractor "rm -rf '$temp_unix/unpack'; sync" \
  --cmd copy_loop "wine $win/copy_loop.exe $temp_win/copyloop $(payload 256)" \
  --prepare copy_loop "rm -rf '$temp_unix/copyloop'; sync" \
  --cmd extractor_1m "wine $win/time_unpack.exe Z:$out/stub-1.exe" \
  --prepare extractor_1m "rm -rf '$temp_unix/unpack'; sync" \
  --cmd copy_loop_1m "wine $win/copy_loop.exe $temp_win/copyloop $(payload 1)" \
  --prepare copy_loop_1m "rm -rf '$temp_unix/copyloop'; sync" \
  --cmd cp "cp -r $out/payload-256 $out/cp-256" \
  --prepare cp "rm -rf '$out/cp-256'; sync"

echo "== end to end, 256 MiB: the stub package and the NSIS installer"
alternate --runs "$runs" --json "$results/end-to-end.json" \
  --cmd stub "wine $out/stub-256.exe" \
  --prepare stub "sync" \
  --cmd nsis "wine $out/nsis-256.exe" \
  --prepare nsis "sync"

many_files_comparison

echo "== the cost of each step for one file, timed alone (bench/win/file_cost_probe.cpp)"
alternate --runs 3 --json "$results/file-cost.json" \
  --cmd probe "wine $win/file_cost_probe.exe 2000" \
  --prepare probe "rm -f '$temp_unix/unpack.log'; sync"

echo "== stub peak memory: 1 MiB and 1 GiB packages; for scale, programs that only import DLLs and one that only makes the stub's two shell calls"
alternate --runs "$runs" --json "$results/memory.json" \
  --cmd stub_1m "wine $out/stub-1.exe" \
  --prepare stub_1m "sync" \
  --cmd stub_1g "wine $out/stub-1024.exe" \
  --prepare stub_1g "sync" \
  --cmd import_floor "wine $win/import_floor.exe" \
  --cmd import_floor_lean "wine $win/import_floor_lean.exe" \
  --cmd shell_floor "wine $win/shell_floor.exe $temp_win/shellfloor" \
  --prepare shell_floor "rm -rf '$temp_unix/shellfloor'; sync"
bash "$root/bench/rss-process.sh" "$out/stub-wait.exe" | tee "$results/rss-process.txt"

create_comparison

echo "== stubpack verify and list: 1 MiB and 1 GiB packages"
alternate --runs $((runs * 3)) --json "$results/headers.json" \
  --cmd verify_1m "$stubpack verify $out/stub-1.exe" \
  --cmd verify_1g "$stubpack verify $out/stub-1024.exe" \
  --cmd list_1m "$stubpack list $out/stub-1.exe" \
  --cmd list_1g "$stubpack list $out/stub-1024.exe"
for command in verify list; do
  for size in 1 1024; do
    echo "${command}_$size $(bash "$root/bench/bytes-read.sh" "$stubpack" "$command" "$out/stub-$size.exe")"
  done
done | tee "$results/bytes-read.txt"

uptime >"$results/load-after.txt"
python3 "$root/bench/report.py" "$root" "$results"
