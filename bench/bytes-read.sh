#!/usr/bin/env bash
# Prints how many bytes a command reads through read system calls, as strace counts them: for
# stubpack verify and list this must not depend on the size of the package's files.
#   bytes-read.sh COMMAND [ARG...]
set -euo pipefail
log=$(mktemp)
trap 'rm -f "$log"' EXIT
strace -f -qq -e trace=read,pread64,readv,preadv -o "$log" "$@" >/dev/null
awk '/ = [0-9]+$/ { sum += $NF } END { print sum + 0 }' "$log"
