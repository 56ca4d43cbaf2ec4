#!/usr/bin/env bash
# What the benchmarks need on top of the build's packages: the NSIS installer they compare with,
# the mingw-w64 cross compiler for 64-bit Windows (the timed builds), GNU time for peak memory,
# strace to count the bytes that verify and list read, python3 for the harness. Idempotent, like
# scripts/setup.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"

packages=(nsis time strace python3 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
