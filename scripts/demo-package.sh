#!/usr/bin/env bash
# Builds the demo package in OUT from built trees: setup.msi with wixl, the five payload files
# packed with stubpack in the order the product ships them, then signed with a throwaway
# certificate. Fails if packing, signing or the signature check fails.
#   demo-package.sh OUT [WINDOWS_BUILD_DIR] [STUBPACK]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:?usage: demo-package.sh OUT [WINDOWS_BUILD_DIR] [STUBPACK]}
mkdir -p "$out" && out=$(cd "$out" && pwd)
win=${2:-$root/build/windows}
stubpack=${3:-$root/build/host/tools/stubpack/stubpack}
payload="$out/payload" signer="$out/signer" msi="$out/msi"
unsigned="$out/KelvorDemoSetup-unsigned.exe" signed="$out/KelvorDemoSetup.exe"

# Only this script's outputs: a Wine prefix left in OUT by an earlier run may still be in use.
rm -rf "$payload" "$signer" "$msi" "$unsigned" "$signed"
mkdir -p "$payload" "$signer" "$msi"

echo "== building setup.msi with wixl"
# wixl takes no absolute file sources: it builds in a folder holding everything the .wxs names.
cp "$root/demo/product/KelvorDemo.wxs" "$root/demo/product/ReadMe.txt" "$win/demo/KelvorDemo.exe" \
  "$msi/"
(cd "$msi" && wixl -o "$payload/setup.msi" KelvorDemo.wxs)
# wixl can exit 0 without writing its output.
[ -s "$payload/setup.msi" ] || { echo "FAIL: wixl wrote no setup.msi"; exit 1; }
cp "$root/demo/run.bat" "$root/demo/setup.ini" "$root/demo/uninst.iss" "$win/demo/PreVerCheck.exe" \
  "$payload/"
names=(setup.msi run.bat setup.ini PreVerCheck.exe uninst.iss)
ls -lU "${names[@]/#/$payload/}"

echo "== packing with stubpack"
"$stubpack" create --stub "$win/src/UnPackFile.exe" -o "$unsigned" "${names[@]/#/$payload/}"

echo "== signing with a throwaway certificate"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$signer/key.pem" -out "$signer/cert.pem" \
  -days 2 -subj "/CN=Kelvor Demo Signer" 2>/dev/null
osslsigncode sign -certs "$signer/cert.pem" -key "$signer/key.pem" -n "Kelvor Demo" \
  -in "$unsigned" -out "$signed" >/dev/null
osslsigncode verify -CAfile "$signer/cert.pem" -in "$signed" >"$signer/verify.txt" 2>&1 || {
  cat "$signer/verify.txt"; echo "FAIL: the signature does not verify"; exit 1; }
grep -E '^Signature verification' "$signer/verify.txt"

echo "== what the signed package holds"
"$stubpack" list "$signed" | tee "$out/list.txt"
# The records must come back in packing order, with the certificate table found after them.
listed=$(awk -v n=${#names[@]} '$NF != "(trailer)" && $2 == n { print $NF }' "$out/list.txt" | tr '\n' ' ')
if [ "$listed" != "${names[*]} " ]; then
  echo "FAIL: stubpack list shows records '$listed', expected '${names[*]} '"
  exit 1
fi
if grep -q '^certificate table: none' "$out/list.txt"; then
  echo "FAIL: stubpack list finds no certificate table in the signed package"
  exit 1
fi
