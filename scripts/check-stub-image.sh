#!/usr/bin/env bash
# The stub's image budget: at most 64 KiB with its resources, and static imports only from DLLs
# that Windows always loads from the system directory (KnownDLLs), so that no DLL planted beside
# a downloaded package executable is ever loaded into the elevated process.
set -euo pipefail
#   check-stub-image.sh EXE [SIZE_LIMIT]   (a limit of 0 checks the imports only)
exe=$1
limit=${2:-65536}
allowed='^(kernel32|user32|shell32|advapi32|msvcrt|gdi32|ole32|shlwapi|comdlg32|ntdll)\.dll$'

size=$(stat -c %s "$exe")
echo "size: $size bytes (limit $limit)"
fail=0
if [ "$limit" -gt 0 ] && [ "$size" -gt "$limit" ]; then
  echo "FAIL: $exe is larger than $limit bytes"
  fail=1
fi
imports=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
[ -n "$imports" ] || { echo "FAIL: no import table found"; exit 1; }
for dll in $imports; do
  if [[ "$dll" =~ $allowed ]]; then
    echo "import: $dll"
  else
    echo "FAIL: imports $dll, which is not a KnownDLL"
    fail=1
  fi
done
exit $fail
