#!/usr/bin/env bash
# The main job: builds everything, packs the demo payload into a package executable with
# stubpack, signs it with a throwaway certificate and lists what it holds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh"

out="$root/build/demo"
rm -rf "$out" && mkdir -p "$out"
stubpack="$root/build/host/tools/stubpack/stubpack"

echo "== packing the demo payload"
"$stubpack" create --stub "$root/build/windows/src/UnPackFile.exe" -o "$out/DemoSetup.exe" \
  "$root/demo/run.bat" "$root/demo/setup.ini" "$root/demo/uninst.iss"

echo "== signing with a throwaway certificate"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$out/key.pem" -out "$out/cert.pem" -days 2 \
  -subj "/CN=Demo Signer" 2>/dev/null
osslsigncode sign -certs "$out/cert.pem" -key "$out/key.pem" -n "Demo Product" \
  -in "$out/DemoSetup.exe" -out "$out/DemoSetup-signed.exe" >/dev/null
osslsigncode verify -CAfile "$out/cert.pem" -in "$out/DemoSetup-signed.exe" | grep -E '^Signature verification'

echo "== what the signed package holds"
"$stubpack" list "$out/DemoSetup-signed.exe"
