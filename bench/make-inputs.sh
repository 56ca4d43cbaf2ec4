#!/usr/bin/env bash
# The benchmark inputs under build/bench/: three payloads of five files that differ only in the
# size of the first (1 MiB, 256 MiB, 1 GiB), a stub package of each, an NSIS installer of the
# 256 MiB payload, packages and installers of many small files, and a package whose batch file
# runs for a while. The big random files are kept between runs; packages are made anew.
#   make-inputs.sh STUBPACK STUB OUTDIR [create|many]   create: only the 1 GiB file that create
#                                                       packs; many: only the many small files
set -euo pipefail
stubpack=$1 stub=$2
mkdir -p "$3"
out=$(cd "$3" && pwd)   # makensis resolves paths from the script's folder
here=$(cd "$(dirname "$0")" && pwd)
# NSIS_TARGET=amd64-unicode builds the installers for 64-bit Windows, beside a stub built for it.
nsis=(makensis -V1 ${NSIS_TARGET:+-DTARGET="$NSIS_TARGET"})

# Random bytes, so that nothing on the way (page cache, file system) gets an easy ride.
random_file() {
  local path=$1 mib=$2
  if [ "$(stat -c %s "$path" 2>/dev/null || echo 0)" -ne $((mib << 20)) ]; then
    head -c "$((mib << 20))" /dev/urandom >"$path.tmp"
    mv "$path.tmp" "$path"
  fi
}

# The four small files, the same in every payload.
small_files() {
  local dir=$1
  printf '@echo off\r\necho payload ran\r\nexit /b 0\r\n' >"$dir/run.bat"
  printf '[Setup]\r\nProduct=Bench\r\nVersion=1.0.0\r\n' >"$dir/setup.ini"
  head -c 65536 /dev/zero | tr '\0' 'h' >"$dir/helper.dat"
  printf '[InstallShieldSilent]\r\nVersion=v7.00\r\n' >"$dir/uninst.iss"
}

if [ "${4:-}" = create ]; then
  mkdir -p "$out/payload-1024"
  random_file "$out/payload-1024/setup.msi" 1024
  exit 0
fi

many_files() {
  # Many small files: run.bat and 2,000 random files of 4 KiB (and of 64 KiB), as a stub package
  # and as an NSIS installer of the same files, where the cost per file outweighs the copy.
  local kib dir
  for kib in 4 64; do
    dir=$out/payload-many-$kib
    mkdir -p "$dir"
    python3 - "$dir" "$kib" <<'PY'
import os, sys
folder, kib = sys.argv[1], int(sys.argv[2])
for i in range(1, 2001):
    path = os.path.join(folder, f"part{i:04d}.dat")
    if not os.path.exists(path) or os.path.getsize(path) != kib * 1024:
        with open(path, "wb") as f:
            f.write(os.urandom(kib * 1024))
PY
    printf '@echo off\r\necho payload ran\r\nexit /b 0\r\n' >"$dir/run.bat"
    "$stubpack" create --stub "$stub" -o "$out/stub-many-$kib.exe" "$dir/run.bat" "$dir"/part*.dat >/dev/null
    "${nsis[@]}" -DPAYLOAD="$dir" -DOUTFILE="$out/nsis-many-$kib.exe" "$here/installer.nsi"
  done
}

if [ "${4:-}" = many ]; then
  many_files
  exit 0
fi

for size in 1 256 1024; do
  dir=$out/payload-$size
  mkdir -p "$dir"
  random_file "$dir/setup.msi" "$size"
  small_files "$dir"
  "$stubpack" create --stub "$stub" -o "$out/stub-$size.exe" \
    "$dir/setup.msi" "$dir/run.bat" "$dir/setup.ini" "$dir/helper.dat" "$dir/uninst.iss" >/dev/null
done

# For bench/rss-process.sh: a package whose batch file is still running when the check looks.
mkdir -p "$out/payload-wait"
printf '@echo off\r\nping -n 3 127.0.0.1 >nul\r\nexit /b 0\r\n' >"$out/payload-wait/run.bat"
"$stubpack" create --stub "$stub" -o "$out/stub-wait.exe" "$out/payload-wait/run.bat" >/dev/null

"${nsis[@]}" -DPAYLOAD="$out/payload-256" -DOUTFILE="$out/nsis-256.exe" "$here/installer.nsi"

many_files
