#!/usr/bin/env bash
# Runs the signed demo package that scripts/demo-package.sh left in OUT under Wine, in a fresh
# prefix of its own (OUT/wineprefix), then shows and checks what an administrator would look at:
# the exit code, the installed product and its uninstall entry, the stub's log, the batch output
# and the working directory. Exits non-zero if any check fails.
#   demo-run.sh OUT
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(cd "${1:?usage: demo-run.sh OUT}" && pwd) || exit 1
package="$out/KelvorDemoSetup.exe"
product_code='{AC910264-E724-4B58-824C-B9D798A957E3}'
uninstall_key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product_code"
[ -f "$package" ] || { echo "no $package: run scripts/demo-package.sh first"; exit 1; }

WINE_SESSION_PREFIX="$out/wineprefix"
source "$root/scripts/wine-session.sh"
echo "== starting a Wine session in a fresh prefix ($WINEPREFIX)"
wine_session_start
trap wine_session_end EXIT

failures=0
pass() { echo "ok: $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# A variable as Windows programs see it; an unknown one comes back as %NAME%.
win_env() { wine cmd /c "echo %$1%" 2>/dev/null </dev/null | tr -d '\r'; }

temp_win=$(win_env TEMP)
temp=$(readlink -f "$(winepath -u "$temp_win" 2>/dev/null)")
# setup.msi is a 32-bit package: on a 64-bit system it installs under Program Files (x86).
pf_win=$(win_env 'ProgramFiles(x86)')
[[ "$pf_win" == %* ]] && pf_win=$(win_env ProgramFiles)
install="$(readlink -f "$(winepath -u "$pf_win" 2>/dev/null)")/Kelvor Demo"
echo "%TEMP% is $temp_win ($temp)"
echo "32-bit Program Files is $pf_win"
[ -n "$temp" ] && [ -d "$temp" ] || { echo "FAIL: cannot find %TEMP% on the Linux side"; exit 1; }
[ ! -e "$install" ] || fail "Kelvor Demo is installed before the package ran"

echo
echo "== running $(basename "$package") under Wine"
started=$(date +%s%N)
wine "$package" </dev/null
code=$?
echo "exit code $code after $(( ($(date +%s%N) - started) / 1000000 )) ms"
[ "$code" -eq 0 ] && pass "the stub exits 0" || fail "the stub exits $code"

echo
echo "== the product in $pf_win\\Kelvor Demo"
ls -l "$install" 2>&1
for f in KelvorDemo.exe ReadMe.txt; do
  if cmp -s "$out/msi/$f" "$install/$f"; then pass "$f installed"; else fail "$f not installed as built"; fi
done
ran=$(wine "$install/KelvorDemo.exe" 2>&1 </dev/null | tr -d '\r')
echo "KelvorDemo.exe says: $ran"
[ "$ran" = "Kelvor Demo 1.0.0 is installed and runs" ] && pass "the installed program runs" \
  || fail "the installed program does not run"

echo
echo "== its uninstall entry ($uninstall_key, 32-bit view)"
entry=$(wine reg query "$uninstall_key" /reg:32 2>&1 </dev/null | tr -d '\r')
grep -E 'DisplayName|DisplayVersion|Publisher|UninstallString' <<<"$entry"
grep -qE '^ +DisplayName +REG_SZ +Kelvor Demo$' <<<"$entry" \
  && grep -qE '^ +DisplayVersion +REG_SZ +1\.0\.0$' <<<"$entry" \
  && pass "Kelvor Demo 1.0.0 is registered for uninstall" || fail "no uninstall entry for Kelvor Demo 1.0.0"

echo
echo "== the stub's log $temp_win\\unpack.log (UTF-16LE, shown as UTF-8)"
log_raw="$temp/unpack.log"
log=$(iconv -f UTF-16LE -t UTF-8 "$log_raw" 2>/dev/null | tr -d '\r')
printf '%s\n' "$log"
[ "$(head -c 2 "$log_raw" 2>/dev/null | od -An -tx1 | tr -d ' ')" != fffe ] && [ -n "$log" ] \
  && pass "the log is there, without a byte-order mark" || fail "the log is missing or starts with a BOM"
extracted=$(sed -nE 's/.*\[CUnPack::UnPackFiles\] \([0-9]+\/[0-9]+\)UnPack file name:.*\\([^\\ ]+) \([0-9]+\).*/\1/p' \
  <<<"$log" | tr '\n' ' ')
[ "$extracted" = "setup.msi run.bat setup.ini PreVerCheck.exe uninst.iss " ] \
  && pass "the five files were extracted in package order" || fail "extracted: '$extracted'"
grep -q '\[CUnPackFileApp::InitInstance\] execute done code:0 ' <<<"$log" \
  && pass "the log records run.bat ending with code 0" || fail "the log records no successful run.bat"

echo
echo "== the batch output $temp_win\\unpack.log.txt"
batch=$(tr -d '\r' <"$temp/unpack.log.txt" 2>/dev/null)
printf '%s\n' "$batch"
version=$(wine cmd /c ver 2>/dev/null </dev/null | tr -d '\r' | awk 'NF { v = $NF } END { print v }')
grep -qx "PreVerCheck: Windows version $version" <<<"$batch" \
  && pass "PreVerCheck printed the version Wine reports ($version)" || fail "PreVerCheck did not print $version"
grep -qx 'Kelvor Demo setup: msiexec exit code 0' <<<"$batch" \
  && pass "msiexec exited 0" || fail "msiexec did not exit 0"

echo
echo "== the working directory $temp_win\\unpack"
if [ -e "$temp/unpack" ]; then ls -la "$temp/unpack"; fail "the working directory is still there"
else pass "the working directory is gone"; fi

if [ "$failures" -ne 0 ]; then
  echo
  echo "== msiexec's log, last lines"
  tail -n 30 "$temp/KelvorDemo-msi.log" 2>&1
  echo "$failures check(s) failed"
  exit 1
fi
echo
echo "all checks passed"
