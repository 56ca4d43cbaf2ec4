#!/usr/bin/env bash
# Writes the package reader's seeds into corpus/package_reader_fuzzer/: packages built by stubpack
# from a 512-byte PE32 stub that holds only headers, one of them with a certificate table appended
# as signing would, and the bare stub. Run after a change to the package format.
# Usage: make_package_seeds.sh STUBPACK
set -euo pipefail
stubpack=$1
here=$(cd "$(dirname "$0")" && pwd)
out=$here/corpus/package_reader_fuzzer
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Writes a little-endian value of $3 bytes at offset $2 of file $1.
put() {
  local file=$1 offset=$2 width=$3 value=$4 bytes="" i
  for ((i = 0; i < width; i++)); do bytes+=$(printf '\\x%02x' $(((value >> (8 * i)) & 255))); done
  printf "$bytes" | dd of="$file" bs=1 seek="$offset" conv=notrunc status=none
}

stub=$tmp/stub.exe
head -c 512 /dev/zero >"$stub"
printf 'MZ' | dd of="$stub" conv=notrunc status=none
put "$stub" 60 4 0x40           # e_lfanew
printf 'PE\0\0' | dd of="$stub" bs=1 seek=64 conv=notrunc status=none
put "$stub" 68 2 0x14C          # i386
put "$stub" 70 2 1              # one section
put "$stub" 84 2 0xE0           # optional header size
put "$stub" 88 2 0x10B          # PE32
put "$stub" $((0x138 + 16)) 4 0x40   # section raw size
put "$stub" $((0x138 + 20)) 4 0x1C0  # section raw pointer: ends at 512

mkdir -p "$tmp/in"
printf '@echo off\r\nsetup.exe /q\r\n' >"$tmp/in/run.bat"
printf 'payload' >"$tmp/in/setup.exe"
: >"$tmp/in/empty.txt"
long=$(printf 'n%.0s' {1..250}).txt
printf 'x' >"$tmp/in/$long"

mkdir -p "$out"
cp "$stub" "$out/bare-stub"
"$stubpack" create --stub "$stub" -o "$out/two-files" "$tmp/in/run.bat" "$tmp/in/setup.exe"
"$stubpack" create --stub "$stub" -o "$out/empty-and-long-name" "$tmp/in/empty.txt" "$tmp/in/$long"

# Signed: the table's address and size in the PE headers, the table after the trailer.
signed=$out/two-files-signed
cp "$out/two-files" "$signed"
length=$(stat -c %s "$signed")
put "$signed" $((0x40 + 152)) 4 "$length"
put "$signed" $((0x40 + 156)) 4 16
head -c 16 /dev/zero | tr '\0' '\252' >>"$signed"
