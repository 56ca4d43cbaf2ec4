#!/usr/bin/env bash
# Builds one target of this source again, in a fresh build tree under another path, and checks
# that the result is byte-identical to the one given: no time stamp, no build path in the file.
#   check-reproducible.sh BUILT_FILE TARGET [CMAKE_CONFIGURE_ARGS...]
set -euo pipefail
built=$1 target=$2
shift 2
root=$(cd "$(dirname "$0")/.." && pwd)
again=$(mktemp -d "${TMPDIR:-/tmp}/reproduce.XXXXXX")
trap 'rm -rf "$again"' EXIT
# Apart in time as well as in place: a time stamp with one-second resolution would differ.
sleep 1
cmake -S "$root" -B "$again/elsewhere/build" -G Ninja "$@" >/dev/null
cmake --build "$again/elsewhere/build" --target "$target" >/dev/null
second=$(find "$again/elsewhere/build" -name "$(basename "$built")" -type f | head -1)
[ -n "$second" ] || { echo "FAIL: the second build made no $(basename "$built")"; exit 1; }
echo "first:  $(sha256sum "$built")"
echo "second: $(sha256sum "$second")"
if ! cmp "$built" "$second"; then
  echo "FAIL: two builds of the same source differ"
  exit 1
fi
echo "identical"
