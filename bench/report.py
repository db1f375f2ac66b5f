#!/usr/bin/env python3
"""Turns the output of bench/run.sh into bench/RESULTS.md (written to standard output).

usage: report.py RESULTS_DIR PROCESS_TXT [LOAD_TXT]   (reads RESULTS_DIR/bench-*.json)
"""
import glob
import json
import os
import platform
import statistics
import subprocess
import sys

OURS = "qelcfg"
PEERS = ["inih-parse", "INIReader", "SimpleIni", "GKeyFile", "Boost.PropertyTree"]
PACKAGES = ["libinih-dev", "libsimpleini-dev", "libglib2.0-dev", "libboost-dev",
            "libbenchmark-dev", "g++"]


def run(cmd):
    try:
        return subprocess.run(cmd, shell=True, capture_output=True, text=True).stdout.strip()
    except OSError:
        return ""


def version(package):
    return run("dpkg-query -W -f='${Version}' " + package) or "missing"


def load_average():
    """The machine's load averages before and after the run, when recorded."""
    if len(sys.argv) < 4:
        return ""
    with open(sys.argv[3]) as f:
        parts = dict(line.strip().split(" ", 1) for line in f if " " in line)
    return (f"\n- Load average (1, 5, 15 min) before the run: {parts.get('load-before', '?')}; "
            f"after it: {parts.get('load-after', '?')}. Other work on the machine slows "
            "every reader; the runs are interleaved so that it falls on all of them alike.")


def machine():
    cpu = run("lscpu | sed -n 's/^Model name: *//p'") or platform.processor()
    mem = run("free -g | awk '/^Mem:/ {print $2}'")
    lines = [
        f"- Machine: {cpu}, {run('nproc')} cores, {mem} GiB of memory; "
        f"{platform.system()} {platform.release()}",
        f"- Compiler: {run('c++ --version | head -1')}; Release build at -O2 (as distributions build), preset `bench`",
        f"- Library commit: {run('git rev-parse --short HEAD')}",
        f"- Date: {run('date -u +%Y-%m-%d')}",
        "- Packages: " + ", ".join(f"{p} {version(p)}" for p in PACKAGES),
    ]
    return "\n".join(lines) + load_average()


def medians(directory):
    """name -> (real time in ms, bytes/s, items/s) of the median of the repetitions."""
    benchmarks = []
    for path in sorted(glob.glob(os.path.join(directory, "bench-*.json"))):
        with open(path) as f:
            benchmarks += json.load(f)["benchmarks"]
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}
    out = {}
    for b in benchmarks:
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
            continue
        if b.get("error_occurred"):
            continue
        name = b["run_name"].replace("/real_time", "")
        out[name] = (b["real_time"] * scale[b["time_unit"]], b.get("bytes_per_second"),
                     b.get("items_per_second"))
    return out


def processes(path):
    """(shape, reader) -> (median wall ms, median load ms, max peak RSS KiB); base RSS."""
    runs, base = {}, 0
    with open(path) as f:
        for line in f:
            parts = line.split()
            if parts[0] == "base":
                base = int(parts[3])
                continue
            shape, reader, load_ms, rss, wall_ms = parts[0], parts[1], *parts[2:5]
            runs.setdefault((shape, reader), []).append((float(wall_ms), float(load_ms), int(rss)))
    table = {}
    for key, rows in runs.items():
        table[key] = (statistics.median(r[0] for r in rows),
                      statistics.median(r[1] for r in rows), max(r[2] for r in rows))
    return table, base


def table_file(directory, name):
    """Rows of a file of whitespace-separated fields, or [] when it is missing."""
    try:
        with open(os.path.join(directory, name)) as f:
            return [line.split() for line in f if line.strip()]
    except OSError:
        return []


def instructions(directory):
    """(shape, reader) -> instructions of a whole process loading that file."""
    return {(r[0], r[1]): int(r[2]) for r in table_file(directory, "instructions.txt")
            if len(r) == 3}


def reads(directory):
    """(shape, reader) -> read calls on the file in a process loading it."""
    return {(r[0], r[1]): int(r[2]) for r in table_file(directory, "reads.txt")}


def floor_of(directory, platform_name):
    """The figures of qelcfg_bench_floor for one platform, or {}."""
    return {r[0]: float(r[1]) for r in table_file(directory, f"floor-{platform_name}.txt")}


def ratio(value, ours):
    return f"{value / ours:.2f}" if ours else "–"


def fmt_ms(ms):
    if ms < 0.1:
        return f"{ms:.4f}"
    return f"{ms:.3f}" if ms < 1 else f"{ms:.1f}" if ms < 100 else f"{ms:.0f}"


def readers_in(keys):
    return [r for r in [OURS] + PEERS if r in keys]


def process_table(proc):
    readers = readers_in({r for (_, r) in proc})
    rows = ["| Reader | M wall ms | ratio | L wall ms | ratio | wide wall ms | ratio "
            "| L load ms (in process) | ratio |",
            "|---|---:|---:|---:|---:|---:|---:|---:|---:|"]
    for r in readers:
        cells = [r]
        for shape in ["M", "L", "wide"]:
            wall = proc.get((shape, r), (0, 0, 0))[0]
            cells += [fmt_ms(wall), ratio(wall, proc.get((shape, OURS), (0,))[0])]
        load = proc.get(("L", r), (0, 0, 0))[1]
        cells += [fmt_ms(load), ratio(load, proc.get(("L", OURS), (0, 0))[1])]
        rows.append("| " + " | ".join(cells) + " |")
    return "\n".join(rows)


def memory_table(proc, base):
    readers = readers_in({r for (_, r) in proc})
    ours = proc[("L", OURS)][2]
    rows = ["| Reader | peak RSS loading L, MiB | ratio to ours |", "|---|---:|---:|"]
    for r in readers:
        rss = proc[("L", r)][2]
        rows.append(f"| {r} | {rss / 1024:.1f} | {ratio(rss, ours)} |")
    rows.append(f"| (the process alone, nothing loaded) | {base / 1024:.1f} | |")
    return "\n".join(rows)


def case_table(bench, kind, shapes, unit="ms"):
    readers = readers_in({n.split("/")[1] for n in bench if n.startswith(kind + "/")})
    head = "| Reader | " + " | ".join(f"{s} {unit} | ratio" for s in shapes) + " |"
    rows = [head, "|---|" + "---:|---:|" * len(shapes)]
    for r in readers:
        cells = [r]
        for s in shapes:
            mine = bench.get(f"{kind}/{OURS}/{s}")
            theirs = bench.get(f"{kind}/{r}/{s}")
            if theirs is None:
                cells += ["–", "–"]
                continue
            value = theirs[0] if unit == "ms" else theirs[0] * 1e6 / 1000
            cells += [fmt_ms(value) if unit == "ms" else f"{value:.0f}",
                      ratio(theirs[0], mine[0] if mine else 0)]
        rows.append("| " + " | ".join(cells) + " |")
    return "\n".join(rows)


def floor_row(bench, shapes):
    cells = ["inih parse only (floor)"]
    for s in shapes:
        floor = bench.get(f"LoadParseOnly/inih-parse/{s}")
        mine = bench.get(f"Load/{OURS}/{s}")
        cells += [fmt_ms(floor[0]), ratio(floor[0], mine[0])] if floor and mine else ["–", "–"]
    return "| " + " | ".join(cells) + " |"


def long_line_table(proc):
    rows = ["| Line length | load ms | MiB/s | peak RSS MiB |", "|---:|---:|---:|---:|"]
    for (shape, reader), (_, load, rss) in sorted(proc.items(), key=lambda kv: len(kv[0][0])):
        if shape.startswith("long-"):
            length = int(shape[5:])
            rows.append(f"| {length / 2**20:g} MiB | {fmt_ms(load)} | "
                        f"{length / 2**20 / (load / 1000):.0f} | {rss / 1024:.0f} |")
    return "\n".join(rows)


def instructions_table(ir):
    readers = readers_in({r for (_, r) in ir})
    rows = ["| Reader | S | M | M − S | ratio |", "|---|---:|---:|---:|---:|"]
    ours = ir.get(("M", OURS), 0) - ir.get(("S", OURS), 0)
    for r in readers:
        s_ir, m_ir = ir.get(("S", r), 0), ir.get(("M", r), 0)
        rows.append(f"| {r} | {s_ir:,} | {m_ir:,} | {m_ir - s_ir:,} | {ratio(m_ir - s_ir, ours)} |")
    return "\n".join(rows)


def reads_table(rc):
    readers = readers_in({r for (_, r) in rc})
    rows = ["| Reader | S | M | L |", "|---|---:|---:|---:|"]
    for r in readers:
        rows.append(f"| {r} | " + " | ".join(str(rc.get((s, r), "–")) for s in "SML") + " |")
    return "\n".join(rows)


PLATFORMS = [("x86-64", "x86-64"), ("arm", "32-bit ARM (qemu-user)")]


def floor_table(directory):
    figures = [(title, floor_of(directory, name)) for name, title in PLATFORMS]
    figures = [(t, f) for t, f in figures if f]
    rows = ["| | " + " | ".join(t for t, _ in figures) + " |",
            "|---|" + "---:|" * len(figures)]
    for key, what in [("sizeof_CIniPair", "sizeof(CIniPair), bytes"),
                      ("sizeof_CIniSection", "sizeof(CIniSection)"),
                      ("sizeof_string", "sizeof(std::string)"),
                      ("string_in_place", "characters a string holds without the heap"),
                      ("block_of_1", "heap block of a 1-byte request, header included"),
                      ("block_of_32", "heap block of a 32-byte request"),
                      ("floor_per_entry", "**floor, bytes per entry**"),
                      ("blocks_per_entry", "heap blocks per entry"),
                      ("held_per_entry", "held by the tree a load built, bytes per entry")]:
        rows.append(f"| {what} | " + " | ".join(f"{f.get(key, 0):g}" for _, f in figures) + " |")
    return "\n".join(rows)


TREE_PEERS = ["INIReader", "SimpleIni", "GKeyFile", "Boost.PropertyTree"]


def verdict(ok):
    return "met" if ok else "**not met**"


def load_targets(bench, proc, base, ir, rc, floor):
    lines = []
    ours = ir.get(("M", OURS), 0) - ir.get(("S", OURS), 0)
    peers = [(p, ir[("M", p)] - ir[("S", p)]) for p in ["SimpleIni", "GKeyFile"]
             if ("M", p) in ir and ("S", p) in ir]
    if ours and peers:
        against = ", ".join(f"{p} {v:,} ({v / ours:.2f}×)" for p, v in peers)
        lines.append(f"- Instructions to load M beyond S, whole process (aim: at least 1.3× "
                     f"fewer than each peer's): {ours:,} against {against}: "
                     f"{verdict(all(v >= 1.3 * ours for _, v in peers))}.")
    mine, simple = bench.get(f"Load/{OURS}/S"), bench.get("Load/SimpleIni/S")
    if mine and simple:
        lines.append(f"- S loaded repeatedly in process (aim: no slower than SimpleIni): "
                     f"{mine[0] * 1000:.1f} µs against {simple[0] * 1000:.1f} µs: "
                     f"{verdict(mine[0] <= simple[0])}.")
    floor_proc = proc.get(("L", "inih-parse"))
    if floor_proc:
        times = proc[("L", OURS)][0] / floor_proc[0]
        alone = proc[("L", OURS)][1] / floor_proc[1]
        lines.append(f"- L whole process against inih's parse-only floor (at most 1.8×, aim "
                     f"1.5×): {times:.2f}× ({alone:.2f}× for the load alone): "
                     f"{verdict(times <= 1.8)}{'' if times <= 1.5 else ', the aim not reached'}.")
    if floor.get("floor_bytes"):
        rise = (proc[("L", OURS)][2] - base) * 1024
        lines.append(f"- Peak RSS loading L (within 5 % of the data model's floor): the rise "
                     f"above the process alone is {rise / 2**20:.1f} MiB against a floor of "
                     f"{floor['floor_bytes'] / 2**20:.1f} MiB ({rise / floor['floor_bytes']:.3f}×): "
                     f"{verdict(rise <= 1.05 * floor['floor_bytes'])}.")
    if ("M", OURS) in rc:
        lines.append(f"- Read calls to load M (at most 10): {rc[('M', OURS)]}: "
                     f"{verdict(rc[('M', OURS)] <= 10)}.")
    return "\n".join(lines)


def targets(bench, proc):
    lines = []
    present = [p for p in TREE_PEERS if ("M", p) in proc]
    for shape in ["M", "L", "wide"]:
        ours = proc[(shape, OURS)][0]
        best = min(present, key=lambda p: proc[(shape, p)][0])
        theirs = proc[(shape, best)][0]
        lines.append(f"- Load {shape}, whole process: {fmt_ms(ours)} ms against the fastest "
                     f"tree-building peer, {best}, {fmt_ms(theirs)} ms (ratio "
                     f"{theirs / ours:.2f}): {verdict(ours < theirs)}.")
    for kind, what in [("SaveMem", "into memory"), ("SaveFile", "to a file")]:
        for shape in ["M", "L"]:
            ours = bench.get(f"{kind}/{OURS}/{shape}")
            peers = [(p, bench.get(f"{kind}/{p}/{shape}")) for p in ["SimpleIni", "GKeyFile"]]
            peers = [(p, v) for p, v in peers if v]
            if not ours or not peers:
                continue
            ok = all(ours[0] < v[0] for _, v in peers)
            against = ", ".join(f"{p} {fmt_ms(v[0])} ms" for p, v in peers)
            lines.append(f"- Save {shape} {what}: {fmt_ms(ours[0])} ms against {against}: "
                         f"{verdict(ok)}.")
    return "\n".join(lines)


def own_table(bench):
    rows = ["| Case | time | bytes/s | items/s |", "|---|---:|---:|---:|"]
    for name, (ms, bps, ips) in sorted(bench.items()):
        if not name.startswith("Own/"):
            continue
        time = f"{ms * 1000:.1f} µs" if ms < 1 else f"{ms:.2f} ms"
        rate = f"{bps / 2**20:.0f} MiB/s" if bps else ""
        items = f"{ips / 1e6:.2f} M/s" if ips else ""
        rows.append(f"| {name[4:]} | {time} | {rate} | {items} |")
    return "\n".join(rows)


def main():
    bench = medians(sys.argv[1])
    proc, base = processes(sys.argv[2])
    ir, rc = instructions(sys.argv[1]), reads(sys.argv[1])
    floor = floor_of(sys.argv[1], "x86-64")
    shapes = ["S", "M", "L", "wide"]
    print(f"""# Benchmark results

Written by `bench/run.sh`; do not edit by hand. Every figure is a median over repeated
runs; a **ratio** is the peer's figure divided by this library's (above 1: this library
is faster or leaner). The files are generated by `qelcfg_bench_gen` from a fixed seed, in
the subset of INI that all readers read alike, and every reader was checked to find the
same sections, keys and key+value bytes before it was timed.

{machine()}

## Targets

{load_targets(bench, proc, base, ir, rc, floor)}
{targets(bench, proc)}

## Instructions per load

Instructions of a whole process that loads the file (callgrind; program start, load,
destruction of the tree, exit). M − S is what the lines of M cost beyond starting a
process and opening a file; a ratio above 1 means the peer needs more.

{instructions_table(ir)}

## Read calls per load

Read calls on the file itself in a process that loads it (strace).

{reads_table(rc)}

## Loading a file: one process per load

Median wall time of a whole process that loads the file and exits (program start, load,
destruction of the tree), and the load alone as timed inside the process. inih's C
parser with a handler that does nothing is the floor: it builds nothing.

{process_table(proc)}

## Peak memory loading L

Peak resident set (ru_maxrss) of the same processes.

{memory_table(proc, base)}

The floor of the data model: a loaded entry is a `CIniPair` in its section's list, a list
of its items, and a heap block for each text (key, item, whole value) longer than a string
holds in place; the floor gives each list and string exactly its length, in the heap blocks
the allocator (glibc) makes of such requests (`qelcfg_bench_floor`, from `sizeof` and
`malloc_usable_size`). "Held" is what the tree that a load built takes in the same terms:
above the floor only by the room its lists and strings keep unused.

{floor_table(sys.argv[1])}

## Loading, in process (Google Benchmark)

The load alone, repeated in one process for each reader and file; the tree of one load
is destroyed before the next, outside the timing.

{case_table(bench, "Load", shapes)}
{floor_row(bench, shapes)}

## Saving

Into a memory stream (`open_memstream`; Boost writes through a `std::ostream` on it,
GKeyFile builds its text and writes it):

{case_table(bench, "SaveMem", ["S", "M", "L"])}

To a file. This library writes a temporary file, forces it to the disk (`fsync`), renames
it over the target and forces the directory too. GKeyFile (`g_file_set_contents`) also
forces the file to the disk when it replaces one; SimpleIni and Boost.PropertyTree do not
flush to the disk at all.

{case_table(bench, "SaveFile", ["S", "M", "L"])}

Holding the file from the read to the replace (the writers' lock, the check that the file is
still the one read, the removal of what killed writers left) costs a save few calls: traced
with `strace -c` over `qelcfg set` of one key in M, against the save before the library held
the file, it makes the same 2 `fsync` calls and adds 2 `getdents64` (the scan for leftovers),
1 `flock` (the new file's own lock), 1 `unlinkat` and 3 `fcntl`; with the larger read buffer
the whole process makes 202 calls instead of 250 (instructions: 23.4 M instead of 24.8 M).

## Lookups

1,000 lookups of seeded (section, key) pairs that exist, time per lookup. This library's
lookups are linear scans by design (first match wins); GKeyFile hashes, the others keep
ordered maps.

{case_table(bench, "LookUp", ["S", "M"], unit="ns")}

## A very long line

A file holding one key line whose value is one line of that many bytes, loaded by this
library in a process of its own (the other readers cut or refuse such lines). Reading
takes time linear in the length of the line.

{long_line_table(proc)}

## This library's own cases

{own_table(bench)}
""")


if __name__ == "__main__":
    main()
