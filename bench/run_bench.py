#!/usr/bin/env python3
"""Benchmark dravont against two peers on the same files.

    cmake -S . -B build -DDRAVONT_BUILD_TESTS=ON && cmake --build build -j2 && python3 bench/run_bench.py [--runs N]

Inputs, made afresh in BUILD/bench-work:
  * real.coff   - a real program of 2,881 functions in six translation units,
                  generated C compiled and linked by h8300-hms-gcc -mh with a
                  linker script of our own (skipped without the cross toolchain);
  * small.coff  - a synthetic image of 25,000 functions (about 5 MB);
  * large.coff  - the same with 250,000 functions (about 54 MB, 2 million
                  symbol-table entries and 2 million line-number entries).
Commands, several runs each (after one warm-up run), medians of their CPU
time (user + system) reported:
  dravont FILE, dravont -debug FILE > /dev/null,
  h8300-hms-objdump -t FILE > /dev/null (a reader of the same symbol table),
  xxd FILE > /dev/null (one hex dump of the same bytes).
Peak memory is the child's maximum resident set size.

Targets checked at the end: conversion at most 1/4 of objdump -t's time;
debug run at most 1.5 times xxd's; ten times the input at most eleven times
the time; peak memory at most the input's size plus 16 MB.

ELF inputs, made by BUILD/bench/make_elf_image: small.elf (100 units, about
5 MB) and large.elf (1,000 units of 500 functions and 500 variables, about
50 MB, 2 million line rows). dravont FILE is timed against
sh-elf-readelf --debug-dump=decodedline FILE > /dev/null (which decodes the
same line tables); targets: faster than readelf, ten times the input at most
eleven times the time, peak memory at most the input's size plus 16 MB.

The real compiled SH ELF, built (once, then kept) by bench/make_real_elf.py
in BUILD/bench-work/real-sh: 8 generated C units of 6,000 functions,
sh4-linux-gnu-gcc-12 -mb -O0 -g (DWARF 5), linked by sh-elf-ld, about 17 MB.
Its commands run interleaved (one of each per round) and their medians of
wall time are compared: dravont FILE; the I/O floor, that is cat FILE >
/dev/null plus dd writing a file as large as dravont's two output files; and
sh-elf-readelf --debug-dump=decodedline FILE > /dev/null. Targets: dravont
at most twice the floor and at most half of readelf's time, peak memory at
most the input's size plus 16 MB. Skipped with a message without
sh4-linux-gnu-gcc-12 and sh-elf-ld.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)
sys.dont_write_bytecode = True  # no __pycache__ beside the sources
import make_real_elf  # noqa: E402


def run_once(argv, cwd):
    """CPU seconds (user + system) of one run, from wait4: the child's own
    time, without the cost of starting it from this Python process."""
    with open(os.devnull, "wb") as null:
        proc = subprocess.Popen(argv, cwd=cwd, stdout=null, stderr=subprocess.STDOUT)
        _, status, usage = os.wait4(proc.pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("%s failed with status %d" % (" ".join(argv), os.waitstatus_to_exitcode(status)))
    return usage.ru_utime + usage.ru_stime


def wall_once(argv, cwd):
    """(wall, user, system) seconds of one run: wall from just before the
    child is started until it has been reaped, the CPU times from wait4."""
    with open(os.devnull, "wb") as null:
        start = time.perf_counter()
        proc = subprocess.Popen(argv, cwd=cwd, stdout=null, stderr=subprocess.STDOUT)
        _, status, usage = os.wait4(proc.pid, 0)
        seconds = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("%s failed with status %d" % (" ".join(argv), os.waitstatus_to_exitcode(status)))
    return seconds, usage.ru_utime, usage.ru_stime


def peak_memory(argv, cwd):
    """Peak resident set in bytes, measured by GNU time in a run of its own
    (a child forked from this Python process would report Python's size)."""
    if not os.path.exists("/usr/bin/time"):
        return float("nan")
    report = os.path.join(cwd, "time.out")
    with open(os.devnull, "wb") as null:
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report] + argv, cwd=cwd, stdout=null,
                       stderr=subprocess.STDOUT, check=True)
    with open(report) as f:
        return int(f.read().split()[-1]) * 1024


def measure(argv, cwd, runs):
    run_once(argv, cwd)  # warm the page cache
    seconds = statistics.median(run_once(argv, cwd) for _ in range(runs))
    return seconds, peak_memory(argv, cwd)


def make_real_program(work):
    """Builds real.coff with the cross toolchain; returns its path or None."""
    if not shutil.which("h8300-hms-gcc"):
        print("h8300-hms-gcc not found: the real program is skipped")
        return None
    src = os.path.join(work, "real-src")
    os.makedirs(src, exist_ok=True)
    subprocess.check_call([sys.executable, os.path.join(ROOT, "tests/overflow/generate.py"), src])
    objects = []
    for name in sorted(os.listdir(src)):
        if name.endswith(".c"):
            obj = os.path.join(src, name[:-2] + ".o")
            subprocess.check_call(["h8300-hms-gcc", "-mh", "-g", "-O0", "-c", name, "-o", obj], cwd=src)
            objects.append(obj)
    out = os.path.join(work, "real.coff")
    subprocess.run(["h8300-hms-gcc", "-mh", "-nostdlib", "-Wl,-e,_main", "-T",
                    os.path.join(ROOT, "tests/overflow/link.ld"), "-o", out] + objects,
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--real-runs", type=int, default=9,
                        help="interleaved rounds on the real compiled SH ELF (default 9)")
    parser.add_argument("--only", choices=("coff", "elf", "real"),
                        help="run one format's inputs only (real: the real compiled SH ELF alone)")
    args = parser.parse_args()
    dravont = os.path.join(args.build, "dravont")
    make_image = os.path.join(args.build, "bench", "make_image")
    work = os.path.join(args.build, "bench-work")
    os.makedirs(work, exist_ok=True)

    ok = True

    def check(what, value, limit, fmt="%.3f"):
        nonlocal ok
        good = value <= limit
        ok = ok and good
        print("%-58s %8s  (limit %s)  %s" % (what, fmt % value, fmt % limit, "ok" if good else "MISSED"))

    if args.only == "real":
        bench_real_elf(dravont, work, args.real_runs, check)
        return 0 if ok else 1
    if args.only == "elf":
        bench_elf(dravont, args.build, work, args.runs, check)
        bench_real_elf(dravont, work, args.real_runs, check)
        return 0 if ok else 1

    inputs = []
    real = make_real_program(work)
    if real:
        inputs.append(("real", real))
    for name, functions in (("small", 25000), ("large", 250000)):
        path = os.path.join(work, name + ".coff")
        subprocess.check_call([make_image, str(functions), path], stdout=subprocess.DEVNULL)
        inputs.append((name, path))

    have_objdump = shutil.which("h8300-hms-objdump") is not None
    table = {}
    print("%-6s %10s  %-28s %12s %10s" % ("input", "bytes", "command", "median cpu s", "peak MB"))
    for name, path in inputs:
        size = os.path.getsize(path)
        base = os.path.basename(path)
        commands = [("dravont", [dravont, base]), ("dravont -debug", [dravont, "-debug", base])]
        if have_objdump:
            commands.append(("h8300-hms-objdump -t", ["h8300-hms-objdump", "-t", base]))
        commands.append(("xxd", ["xxd", base]))
        for label, argv in commands:
            seconds, peak = measure(argv, work, args.runs)
            table[(name, label)] = (seconds, peak, size)
            print("%-6s %10d  %-28s %12.3f %10.1f" % (name, size, label, seconds, peak / 1e6))

    print()
    for name, _ in inputs:
        if have_objdump:
            check("%s: dravont / objdump -t" % name,
                  table[(name, "dravont")][0] / table[(name, "h8300-hms-objdump -t")][0], 0.25)
        check("%s: dravont -debug / xxd" % name,
              table[(name, "dravont -debug")][0] / table[(name, "xxd")][0], 1.5)
        for label in ("dravont", "dravont -debug"):
            seconds, peak, size = table[(name, label)]
            check("%s: peak MB of %s (input + 16 MB)" % (name, label), peak / 1e6,
                  (size + 16 * 2**20) / 1e6, "%.1f")
    for label in ("dravont", "dravont -debug"):
        small, large = table[("small", label)], table[("large", label)]
        size_ratio = large[2] / small[2]
        check("%s: time ratio large/small for %.1fx the input" % (label, size_ratio),
              large[0] / small[0], 1.1 * size_ratio, "%.2f")
    if args.only != "coff":
        bench_elf(dravont, args.build, work, args.runs, check)
        bench_real_elf(dravont, work, args.real_runs, check)
    return 0 if ok else 1


def bench_elf(dravont, build, work, runs, check):
    make = os.path.join(build, "bench", "make_elf_image")
    readelf = shutil.which("sh-elf-readelf")
    table = {}
    print()
    print("%-9s %10s  %-40s %12s %10s" % ("input", "bytes", "command", "median cpu s", "peak MB"))
    for name, units in (("small.elf", 100), ("large.elf", 1000)):
        path = os.path.join(work, name)
        subprocess.check_call([make, str(units), "1000", path], stdout=subprocess.DEVNULL)
        size = os.path.getsize(path)
        commands = [("dravont", [dravont, name])]
        if readelf:
            commands.append(("sh-elf-readelf --debug-dump=decodedline",
                             [readelf, "--debug-dump=decodedline", name]))
        for label, argv in commands:
            seconds, peak = measure(argv, work, runs)
            table[(name, label)] = (seconds, peak, size)
            print("%-9s %10d  %-40s %12.3f %10.1f" % (name, size, label, seconds, peak / 1e6))
    print()
    for name in ("small.elf", "large.elf"):
        seconds, peak, size = table[(name, "dravont")]
        if readelf:
            check("%s: dravont / readelf --debug-dump=decodedline" % name,
                  seconds / table[(name, "sh-elf-readelf --debug-dump=decodedline")][0], 1.0)
        check("%s: peak MB of dravont (input + 16 MB)" % name, peak / 1e6, (size + 16 * 2**20) / 1e6, "%.1f")
    small, large = table[("small.elf", "dravont")], table[("large.elf", "dravont")]
    check("ELF: time ratio large/small for %.1fx the input" % (large[2] / small[2]),
          large[0] / small[0], 1.1 * large[2] / small[2], "%.2f")
    if not readelf:
        print("sh-elf-readelf not found: the ELF comparison is left out")


def peak_and_faults(argv, cwd):
    """(peak resident bytes, minor page faults) of one run under GNU time."""
    if not os.path.exists("/usr/bin/time"):
        return float("nan"), float("nan")
    report = os.path.join(cwd, "time.out")
    with open(os.devnull, "wb") as null:
        subprocess.run(["/usr/bin/time", "-f", "%M %R", "-o", report] + argv, cwd=cwd, stdout=null,
                       stderr=subprocess.STDOUT, check=True)
    with open(report) as f:
        peak, faults = f.read().split()[-2:]
    return int(peak) * 1024, int(faults)


def bench_real_elf(dravont, work, runs, check):
    """The real compiled SH ELF: dravont against the I/O floor and readelf's
    line dump, in interleaved rounds, by median wall time."""
    print()
    path = make_real_elf.build(work)
    if path is None:
        return
    cwd, name = os.path.split(path)
    base = os.path.splitext(name)[0]
    size = os.path.getsize(path)
    readelf = shutil.which("sh-elf-readelf")

    # One run first: it warms the page cache and gives the output's size.
    wall_once([dravont, name], cwd)
    written = sum(os.path.getsize(os.path.join(cwd, base + ext)) for ext in (".sym", ".lin"))
    commands = [
        ("dravont", [dravont, name]),
        ("I/O floor: cat input", ["cat", name]),
        ("I/O floor: write output size", ["dd", "if=/dev/zero", "of=floor.out", "bs=128K",
                                          "count=%d" % written, "iflag=count_bytes",
                                          "status=none"]),
    ]
    if readelf:
        commands.append(("sh-elf-readelf --debug-dump=decodedline",
                         [readelf, "--debug-dump=decodedline", name]))
    for _, argv in commands[1:]:
        wall_once(argv, cwd)
    times = {label: [] for label, _ in commands}
    for _ in range(runs):
        for label, argv in commands:
            times[label].append(wall_once(argv, cwd))
    # Medians of wall, user and system time; the floor's two commands are
    # added up round by round.
    times["I/O floor"] = [tuple(a + b for a, b in zip(cat, write)) for cat, write in
                          zip(times.pop("I/O floor: cat input"),
                              times.pop("I/O floor: write output size"))]
    median = {label: [statistics.median(run[i] for run in values) for i in range(3)]
              for label, values in times.items()}
    floor = median["I/O floor"][0]
    peak, faults = peak_and_faults([dravont, name], cwd)

    print("real compiled SH ELF %s: %d bytes, output %d bytes; medians of %d interleaved rounds"
          % (path, size, written, runs))
    print("%-44s %10s %10s %10s %10s" % ("command", "wall s", "x floor", "user s", "sys s"))
    rows = [("I/O floor (cat input + write %.1f MB)" % (written / 1e6), "I/O floor")]
    if readelf:
        rows.append(("sh-elf-readelf --debug-dump=decodedline",) * 2)
    rows.append(("dravont",) * 2)
    for title, label in rows:
        wall, user, system = median[label]
        print("%-44s %10.4f %10.2f %10.4f %10.4f" % (title, wall, wall / floor, user, system))
    print("dravont: peak %.1f MB, %d minor page faults" % (peak / 1e6, faults))
    print()
    check("real.elf: dravont / I/O floor (wall)", median["dravont"][0] / floor, 2.0, "%.2f")
    if readelf:
        check("real.elf: dravont / readelf --debug-dump=decodedline (wall)",
              median["dravont"][0] / median["sh-elf-readelf --debug-dump=decodedline"][0], 0.5)
    else:
        print("sh-elf-readelf not found: the comparison with readelf is left out")
    check("real.elf: peak MB of dravont (input + 16 MB)", peak / 1e6, (size + 16 * 2**20) / 1e6, "%.1f")


if __name__ == "__main__":
    sys.exit(main())
