#!/usr/bin/env python3
"""Runs commands side by side: round after round, each command once per round, so that a busy
moment on a shared machine hits all of them alike. The starting command rotates every round.

Each run records its wall time, the peak resident set size that GNU time reports for it, and any
"bench: KEY=NUMBER" lines it prints (the Windows-side programs print their own inner time).

  alternate.py --runs N [--warmup W] --json OUT \
      --cmd NAME 'COMMAND' [--prepare NAME 'SHELL COMMAND'] ...

A command is split like a shell line but run without a shell, so that GNU time measures the
program itself. A prepare command runs in bash before every run of its command, untimed.
"""
import argparse
import json
import os
import re
import shlex
import statistics
import subprocess
import sys
import tempfile
import time

REPORTED = re.compile(r"^bench: (\w+)=([0-9.]+)\s*$", re.MULTILINE)


def run_once(argv, prepare):
    if prepare:
        subprocess.run(["bash", "-c", prepare], check=True)
    with tempfile.NamedTemporaryFile("w+") as rss, tempfile.TemporaryFile("w+") as out:
        # Output goes to a file, not a pipe: a process left behind by the program (Wine starts
        # some) must not hold the measurement open.
        start = time.perf_counter()
        status = subprocess.call(["/usr/bin/time", "-f", "%M", "-o", rss.name] + argv,
                                 stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        wall = time.perf_counter() - start
        out.seek(0)
        output = out.read()
        rss.seek(0)
        lines = rss.read().split()
    if status != 0:
        sys.exit(f"alternate.py: {shlex.join(argv)} exited with {status}:\n{output}")
    sample = {"wall_s": wall, "maxrss_kib": int(lines[-1])}
    for key, value in REPORTED.findall(output):
        sample[key] = float(value)
    return sample


def summarise(samples):
    summary = {}
    for key in samples[0]:
        values = [s[key] for s in samples]
        summary[key] = {"median": statistics.median(values), "min": min(values),
                        "max": max(values), "values": values}
    return summary


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, required=True)
    parser.add_argument("--warmup", type=int, default=1)
    parser.add_argument("--json", required=True)
    parser.add_argument("--cmd", nargs=2, action="append", metavar=("NAME", "COMMAND"), required=True)
    parser.add_argument("--prepare", nargs=2, action="append", metavar=("NAME", "COMMAND"),
                        default=[])
    args = parser.parse_args()

    names = [name for name, _ in args.cmd]
    commands = {name: shlex.split(line) for name, line in args.cmd}
    prepares = dict(args.prepare)
    unknown = set(prepares) - set(names)
    if unknown:
        parser.error(f"--prepare for unknown command {sorted(unknown)}")

    samples = {name: [] for name in names}
    for round_number in range(args.warmup + args.runs):
        shift = round_number % len(names)
        for name in names[shift:] + names[:shift]:
            sample = run_once(commands[name], prepares.get(name))
            if round_number >= args.warmup:
                samples[name].append(sample)
        print(f"  round {round_number + 1}/{args.warmup + args.runs} done", file=sys.stderr)

    result = {name: {"command": shlex.join(commands[name]), **summarise(samples[name])}
              for name in names}
    with open(args.json, "w") as f:
        json.dump({"runs": args.runs, "warmup": args.warmup, "load_after": os.getloadavg()[0],
                   "commands": result}, f, indent=1)
    for name in names:
        r = result[name]
        inner = f"  inner {r['inner_ms']['median']:9.1f} ms" if "inner_ms" in r else ""
        print(f"  {name:<24} wall {r['wall_s']['median']:8.3f} s  "
              f"maxrss {r['maxrss_kib']['median'] / 1024:6.1f} MiB{inner}")


if __name__ == "__main__":
    main()
