#!/usr/bin/env bash
# Builds the release files into dist/: the Debian package (stubpack, its manual page, the stub),
# the Windows zip (stubpack.exe, the stub, the README), and SHA256SUMS over them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh"
dist=$root/dist
rm -rf "$dist"
mkdir -p "$dist"
cpack --config "$root/build/host/CPackConfig.cmake" -B "$root/build/host/packages" >/dev/null
cpack --config "$root/build/windows/CPackConfig.cmake" -B "$root/build/windows/packages" >/dev/null
cp "$root"/build/host/packages/stubpack_*.deb "$root"/build/windows/packages/stubpack-*-win32.zip "$dist/"
(cd "$dist" && sha256sum -- * >SHA256SUMS)
cat "$dist/SHA256SUMS"
