#!/usr/bin/env bash
# Packages the built trees twice with scripts/dist.sh, a second apart and under different umasks,
# and checks that both give the same .deb, zip and SHA256SUMS.
#   check-dist-reproducible.sh HOST_TREE WIN_TREE
set -euo pipefail
host=$1 windows=$2
root=$(cd "$(dirname "$0")/.." && pwd)
[ -f "$windows/CPackConfig.cmake" ] || { echo "FAIL: no Windows build tree at $windows"; exit 1; }
out=$(mktemp -d "${TMPDIR:-/tmp}/dist-twice.XXXXXX")
trap 'rm -rf "$out"' EXIT
(umask 022 && bash "$root/scripts/dist.sh" --no-build "$out/first" "$host" "$windows" >/dev/null)
sleep 1
(umask 077 && bash "$root/scripts/dist.sh" --no-build "$out/second" "$host" "$windows" >/dev/null)
echo "first:";  cat "$out/first/SHA256SUMS"
echo "second:"; cat "$out/second/SHA256SUMS"
[ "$(ls "$out/first")" = "$(ls "$out/second")" ] || { echo "FAIL: different file sets"; exit 1; }
if ! diff -r "$out/first" "$out/second"; then
  echo "FAIL: two packaging runs on one commit differ"
  exit 1
fi
echo "identical"
