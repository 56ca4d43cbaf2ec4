#!/usr/bin/env python3
"""Turns the files bench/run.sh leaves in build/bench/results/ into the results section of
bench/README.md (between the results markers) and prints it: the goals with measured figures and
ratios, every median, the machine and the date.

  report.py ROOT RESULTS_DIR
"""
import datetime
import json
import os
import platform
import re
import subprocess
import sys

POLL_S = 3.0  # the stub's fixed wait before it first reads the payload's exit code
FILES = 2000  # files in the many-small-files packages (bench/make-inputs.sh)
MIB = 1024.0
BEGIN, END = "<!-- results:begin -->", "<!-- results:end -->"


def load(results, name):
    with open(os.path.join(results, name)) as f:
        return json.load(f)


def read(results, name):
    with open(os.path.join(results, name)) as f:
        return f.read().strip()


def command_output(argv):
    try:
        return subprocess.run(argv, capture_output=True, text=True).stdout.strip()
    except OSError:
        return "?"


def machine(root):
    cpu = re.search(r"Model name:\s*(.+)", command_output(["lscpu"]))
    with open("/proc/meminfo") as f:
        memory_kib = int(f.readline().split()[1])
    with open("/etc/os-release") as f:
        release = re.search(r'PRETTY_NAME="(.+)"', f.read())
    fs = command_output(["stat", "-f", "-c", "%T", os.path.join(root, "build")])
    mingw = command_output(["i686-w64-mingw32-g++-posix", "--version"]).splitlines()
    return (f"{cpu.group(1) if cpu else '?'}, {os.cpu_count()} CPUs (shared with other jobs), "
            f"{memory_kib / MIB / MIB:.0f} GiB RAM, {release.group(1) if release else '?'}, "
            f"Linux {platform.release()}, build/ on {fs}; {command_output(['wine', '--version'])}, "
            f"NSIS {command_output(['makensis', '-VERSION'])}, {mingw[0] if mingw else '?'}")


def windows_build(results):
    return ("the same sources built for 64-bit Windows, run by wine64, and NSIS installers for "
            "64-bit Windows (no emulation on either side); the stub image row is the 32-bit stub "
            "that ships")


def median(group, name, key="wall_s"):
    return group["commands"][name][key]["median"]


def verdict(ok):
    return "met" if ok else "**missed**"


def goals(results):
    rows = []
    image = read(results, "stub-image.txt")
    size = int(re.search(r"size: (\d+) bytes", image).group(1))
    imports = re.findall(r"import: (\S+)", image)
    image_ok = "FAIL" not in image
    rows.append(("1. Stub size, with resources", f"{size:,} bytes", "65,536 bytes",
                 f"{size / 65536:.2f} of the budget", verdict(image_ok)))
    rows.append(("1. Static imports", ", ".join(imports), "system DLLs only", "",
                 verdict(image_ok)))

    extract = load(results, "extract.json")
    wall = median(extract, "extractor") / median(extract, "copy_loop")
    inner = median(extract, "extractor", "inner_ms") / median(extract, "copy_loop", "inner_ms")
    rows.append(("2. Extraction alone, timed inside the process: RunUnPack / copy loop",
                 f"{median(extract, 'extractor', 'inner_ms'):.0f} ms / "
                 f"{median(extract, 'copy_loop', 'inner_ms'):.0f} ms",
                 "≤ 1.10", f"{inner:.2f}", verdict(inner <= 1.10)))
    rows.append(("2. The same, whole process (with Wine start-up and each program's DLLs)",
                 f"{median(extract, 'extractor'):.3f} s / {median(extract, 'copy_loop'):.3f} s",
                 "≤ 1.10", f"{wall:.2f}", verdict(wall <= 1.10)))
    fixed = (median(extract, "extractor_1m", "inner_ms")
             - median(extract, "copy_loop_1m", "inner_ms"))
    rows.append(("2. Fixed cost around the loop: extractor − copy loop, 1 MiB package, inside",
                 f"{median(extract, 'extractor_1m', 'inner_ms'):.0f} ms − "
                 f"{median(extract, 'copy_loop_1m', 'inner_ms'):.0f} ms", "", f"{fixed:+.0f} ms",
                 ""))

    e2e = load(results, "end-to-end.json")
    stub, nsis = median(e2e, "stub"), median(e2e, "nsis")
    rows.append(("2. End to end: (stub − 3000 ms poll) / NSIS installer",
                 f"({stub:.3f} − {POLL_S:.3f}) s / {nsis:.3f} s", "≤ 1.00",
                 f"{(stub - POLL_S) / nsis:.2f}", verdict(stub - POLL_S <= nsis)))

    many = load(results, "many-files.json")
    for size, goal in (("4k", True), ("64k", False)):
        stub, nsis = median(many, f"stub_{size}"), median(many, f"nsis_{size}")
        ratio = (stub - POLL_S) / nsis
        rows.append((f"2. Many small files, 2,000 of {size[:-1]} KiB: (stub − 3000 ms poll) / NSIS "
                     "installer; per file",
                     f"({stub:.3f} − {POLL_S:.3f}) s / {nsis:.3f} s; "
                     f"{(stub - POLL_S) / FILES * 1000:.2f} / {nsis / FILES * 1000:.2f} ms",
                     "≤ 1.00" if goal else "", f"{ratio:.2f}",
                     verdict(ratio <= 1.0) if goal else ""))

    create = load(results, "create.json")
    ratio = median(create, "create") / median(create, "cp_sync")
    rss = median(create, "create", "maxrss_kib") / MIB
    rows.append(("3. stubpack create / (cp and a sync of the copy), 1 GiB",
                 f"{median(create, 'create'):.3f} s / {median(create, 'cp_sync'):.3f} s", "≤ 1.25",
                 f"{ratio:.2f}", verdict(ratio <= 1.25)))
    rows.append(("3. For scale: stubpack create / cp without a sync",
                 f"{median(create, 'create'):.3f} s / {median(create, 'cp'):.3f} s", "",
                 f"{median(create, 'create') / median(create, 'cp'):.2f}", ""))
    rows.append(("3. stubpack create peak memory", f"{rss:.1f} MiB", "< 16 MiB", "",
                 verdict(rss < 16)))

    headers = load(results, "headers.json")
    read_bytes = dict(line.split() for line in read(results, "bytes-read.txt").splitlines())
    for command in ("verify", "list"):
        small, big = median(headers, f"{command}_1m"), median(headers, f"{command}_1g")
        same = read_bytes[f"{command}_1"] == read_bytes[f"{command}_1024"]
        rows.append((f"3. stubpack {command}: 1 GiB / 1 MiB package",
                     f"{big * 1000:.1f} ms / {small * 1000:.1f} ms; bytes read "
                     f"{int(read_bytes[f'{command}_1024']):,} / {int(read_bytes[f'{command}_1']):,}",
                     "same bytes read, time ratio ≈ 1", f"{big / small:.2f}",
                     verdict(same and big / small <= 1.5)))

    memory = load(results, "memory.json")
    small = median(memory, "stub_1m", "maxrss_kib") / MIB
    big = median(memory, "stub_1g", "maxrss_kib") / MIB
    peak = max(max(memory["commands"][n]["maxrss_kib"]["values"]) for n in ("stub_1m", "stub_1g"))
    peak = max(peak, max(e2e["commands"]["stub"]["maxrss_kib"]["values"])) / MIB
    rows.append(("4. Stub peak memory, 1 GiB − 1 MiB package",
                 f"{big:.2f} − {small:.2f} MiB", "< 1 MiB", f"{big - small:+.2f} MiB",
                 verdict(big - small < 1)))
    rows.append(("4. Stub peak memory, highest of all its runs (1 MiB, 256 MiB, 1 GiB)",
                 f"{peak:.1f} MiB", "< 10 MiB", f"{peak / 10:.2f} of the limit",
                 verdict(peak < 10)))
    rows.append(("4. For scale: NSIS installer / bare copy loop / the stub's imports only / "
                 "kernel32, advapi32 and msvcrt only",
                 f"{median(e2e, 'nsis', 'maxrss_kib') / MIB:.1f} / "
                 f"{median(extract, 'copy_loop', 'maxrss_kib') / MIB:.1f} / "
                 f"{median(memory, 'import_floor', 'maxrss_kib') / MIB:.1f} / "
                 f"{median(memory, 'import_floor_lean', 'maxrss_kib') / MIB:.1f} MiB",
                 "", "", ""))
    floor = median(memory, "shell_floor", "maxrss_kib") / MIB
    rows.append(("4. The floor of the stub's two shell calls: SHCreateDirectoryExW of a new "
                 "directory and ShellExecuteExW of cmd.exe, nothing else",
                 f"{floor:.1f} MiB", "< 10 MiB", f"stub peak − floor {peak - floor:+.1f} MiB",
                 verdict(floor < 10)))
    return rows


def medians_table(results):
    lines = ["| Group | Command | Wall median (min–max) | Peak RSS median | Inner time median |",
             "| --- | --- | --- | --- | --- |"]
    for group in ("extract", "end-to-end", "many-files", "memory", "create", "headers"):
        data = load(results, f"{group}.json")
        for name, r in data["commands"].items():
            wall = r["wall_s"]
            inner = f"{r['inner_ms']['median']:.0f} ms" if "inner_ms" in r else ""
            lines.append(f"| {group} ({data['runs']} runs) | `{name}` | {wall['median']:.3f} s "
                         f"({wall['min']:.3f}–{wall['max']:.3f}) | "
                         f"{r['maxrss_kib']['median'] / MIB:.1f} MiB | {inner} |")
    return "\n".join(lines)


def step_costs(results):
    probe = load(results, "file-cost.json")["commands"]["probe"]
    lines = ["| Step (2,000 iterations, median of the runs) | µs each |", "| --- | --- |"]
    for key, value in probe.items():
        if key.endswith("_us"):
            lines.append(f"| `{key[:-3]}` | {value['median']:.1f} |")
    return "\n".join(lines)


def section(root, results):
    finished = os.path.getmtime(os.path.join(results, "load-after.txt"))
    today = datetime.datetime.fromtimestamp(finished, datetime.timezone.utc).strftime(
        "%Y-%m-%d %H:%M UTC")
    out = [BEGIN, "## Last results", "",
           f"Recorded by `bash bench/run.sh`, finished {today}.", "",
           f"Machine: {machine(root)}.", "",
           f"Windows build measured under Wine: {windows_build(results)}.", "",
           f"Load: before `{read(results, 'load-before.txt')}`; "
           f"after `{read(results, 'load-after.txt')}`.", "",
           "| Goal | Measured (medians) | Limit | Ratio | Verdict |",
           "| --- | --- | --- | --- | --- |"]
    out += [f"| {' | '.join(row)} |" for row in goals(results)]
    out += ["", "All medians (wall time of the whole process, peak RSS as GNU time reports it; "
            "inner time as the Windows program measures it):", "", medians_table(results), "",
            "The steps the stub takes for one file, each timed alone "
            "(`bench/win/file_cost_probe.cpp`):", "", step_costs(results), "",
            "Which process GNU time measures under Wine (`bench/rss-process.sh`):", "", "```",
            read(results, "rss-process.txt"), "```", END]
    return "\n".join(out) + "\n"


def main():
    root, results = sys.argv[1], sys.argv[2]
    text = section(root, results)
    readme = os.path.join(root, "bench", "README.md")
    with open(readme) as f:
        current = f.read()
    start, end = current.index(BEGIN), current.index(END) + len(END) + 1
    with open(readme, "w") as f:
        f.write(current[:start] + text + current[end:])
    print(text)


if __name__ == "__main__":
    main()
