#!/usr/bin/env bash
# Shows what GNU time measures for `wine PROGRAM.exe`: the process that time starts is the one
# that runs the Windows program (the wine script and loader exec in place), so its VmHWM read
# from /proc while the program runs matches the peak that time reports when it ends. Child
# programs (cmd.exe) are started detached by Wine and are not in that figure.
#   rss-process.sh PROGRAM.exe   (in the benchmark's Wine session; the program must run > 2 s)
set -euo pipefail
program=$1
report=$(mktemp)
trap 'rm -f "$report"' EXIT

/usr/bin/time -f %M -o "$report" wine "$program" &
time_pid=$!
sleep 2
pid=$(pgrep -P "$time_pid")
echo "process started by GNU time: pid $pid"
echo "  command line: $(tr '\0' ' ' </proc/"$pid"/cmdline)"
echo "  executable image: $(readlink /proc/"$pid"/exe)"
echo "  peak so far (VmHWM): $(awk '/VmHWM/ { print $2, $3 }' /proc/"$pid"/status)"
echo "  Windows DLLs mapped: $(grep -c 'i386-windows/.*\.dll$' /proc/"$pid"/maps || true) mappings"
for child in $(pgrep -f 'cmd\.exe' || true); do
  echo "  cmd.exe pid $child has parent $(awk '/^PPid/ { print $2 }' /proc/"$child"/status)"
done
wait "$time_pid"
echo "GNU time's maximum resident set size after the end: $(cat "$report") kB"
