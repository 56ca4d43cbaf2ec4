#!/usr/bin/env bash
# Shows what GNU time measures for `wine PROGRAM.exe`: the process that time starts is the one
# that runs the Windows program (the wine script and loader exec in place), so its VmHWM read
# from /proc while the program runs matches the peak that time reports when it ends. A program
# it starts (cmd.exe) is, when still running, shown with its parent: Wine detaches it, so its
# memory is not in that figure.
#   rss-process.sh PROGRAM.exe   (in the benchmark's Wine session; runs for more than 1.5 s)
set -euo pipefail
program=$1
# Paths in the output are relative to the checkout, so that a recorded run names no machine's path.
root=$(cd "$(dirname "$0")/.." && pwd)
relative() { local text=$1; printf '%s' "${text//"$root/"/}"; }
report=$(mktemp)
trap 'rm -f "$report"' EXIT

/usr/bin/time -f %M -o "$report" wine "$program" &
time_pid=$!
sleep 1.5
pid=$(pgrep -P "$time_pid")
echo "process started by GNU time: pid $pid"
command_line=$(tr '\0' ' ' </proc/"$pid"/cmdline)
echo "  command line: $(relative "${command_line% }")"
echo "  executable image: $(relative "$(readlink /proc/"$pid"/exe)")"
echo "  peak so far (VmHWM): $(awk '/VmHWM/ { print $2, $3 }' /proc/"$pid"/status)"
echo "  Windows DLLs mapped: $(grep -c 'i386-windows/.*\.dll$' /proc/"$pid"/maps || true) mappings"
children=$(pgrep -P "$pid" | tr '\n' ' ' || true)
echo "  its child processes now: ${children:-none}"
# Other Wine sessions may run on the machine: only this prefix's cmd.exe counts.
for other in $(pgrep -f 'cmd\.exe' || true); do
  if { tr '\0' '\n' </proc/"$other"/environ; } 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then
    echo "  cmd.exe of this prefix: pid $other, parent $(awk '/^PPid/ { print $2 }' /proc/"$other"/status)"
  fi
done
wait "$time_pid"
echo "GNU time's maximum resident set size after the end: $(cat "$report") kB"
