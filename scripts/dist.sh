#!/usr/bin/env bash
# Builds the release files into dist/: the Debian package (stubpack, its manual page, the stub),
# the Windows zip (stubpack.exe, the stub, the README), and SHA256SUMS over them. Two runs on
# one commit give the same bytes: every time stamp is the commit's date (SOURCE_DATE_EPOCH),
# modes and order are fixed.
#   dist.sh                                     build both trees, then package into dist/
#   dist.sh --no-build DIR HOST_TREE WIN_TREE   package those built trees into DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/source-date-epoch.sh"
# cpack takes the modes of the directories it stages, and of the members of the .deb itself,
# from the disk: they follow the umask.
umask 022
if [ "${1:-}" = --no-build ]; then
  [ $# -eq 4 ] || { echo "usage: dist.sh [--no-build DIR HOST_TREE WIN_TREE]" >&2; exit 2; }
  dist=$2 host=$3 windows=$4
else
  dist=$root/dist host=$root/build/host windows=$root/build/windows
  # The manual page carries a date: made again, from this commit's.
  rm -f "$host/tools/stubpack/stubpack.1.gz"
  "$root/scripts/build.sh"
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/dist.XXXXXX")
trap 'rm -rf "$work"' EXIT
cpack --config "$host/CPackConfig.cmake" -B "$work/host" >/dev/null
cpack --config "$windows/CPackConfig.cmake" -B "$work/windows" >/dev/null
rm -rf "$dist"
mkdir -p "$dist"
cp "$work"/host/stubpack_*.deb "$work"/windows/stubpack-*-win32.zip "$dist/"
(cd "$dist" && LC_ALL=C sha256sum -- * >SHA256SUMS)
cat "$dist/SHA256SUMS"
