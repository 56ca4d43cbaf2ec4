#!/usr/bin/env bash
# stubpack's manual page from its own help, dated by the commit (help2man reads
# SOURCE_DATE_EPOCH), compressed without a name or time stamp.
#   manual-page.sh STUBPACK OUT.1.gz
set -euo pipefail
stubpack=$1 out=$2
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/source-date-epoch.sh"
help2man --no-info --no-discard-stderr \
  --name "build, list, verify and extract self-extracting package executables" \
  --output "${out%.gz}" "$stubpack"
gzip -9 -n -f "${out%.gz}"
