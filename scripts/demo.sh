#!/usr/bin/env bash
# The main job: builds everything, makes the demo package (a real setup.msi, run.bat, setup.ini,
# PreVerCheck.exe and uninst.iss packed with stubpack and signed with a throwaway certificate),
# runs it under Wine and checks that the product got installed and the stub cleaned up.
# Everything lands in build/demo; the Wine prefix stays there for a look afterwards.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh"
"$root/scripts/demo-package.sh" "$root/build/demo"
echo
"$root/scripts/demo-run.sh" "$root/build/demo"
