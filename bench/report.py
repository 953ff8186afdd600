#!/usr/bin/env python3
"""The scan benchmark's report: the table of bench/run.sh.

Reads hyperfine's JSON export (--export-json) and GNU time's -v reports
written by bench/run.sh and prints the medians, the ratios against their
goals and the peak memory. Standard library only. A goal is judged on the
figure as printed; the script never fails for a missed goal.
"""

import argparse
import datetime
import json
import os
import re

# The table's rows, in order: hyperfine's command name and its label. A
# command that was not timed (no SQLite, no wine) is left out.
ROWS = [
    ("raw", "raw read (cat FILE > /dev/null)"),
    ("plain", "recmeter FILE"),
    ("counted", "recmeter FILE /C"),
    ("counted-json", "recmeter FILE /C /J=FILE.json"),
    ("counted-html", "recmeter FILE /C /J=FILE.html"),
    ("truncate", "recmeter COPY /T4"),
    ("dry-run", "recmeter COPY /T4 /N"),
    ("truncate-8", "recmeter COPY /T8"),
    ("truncate-undo", "recmeter COPY /T8 /U=JOURNAL (two passes)"),
    ("keys-dry-run", "recmeter COPY /T8 /N, no terminal"),
    ("keys-dry-run-pty", "recmeter COPY /T8 /N, in a pseudo-terminal"),
    ("keys-counted", "recmeter FILE /C, no terminal"),
    ("keys-counted-pty", "recmeter FILE /C, in a pseudo-terminal"),
    ("files", "recmeter FOLDER (FILES files of 100 records)"),
    ("files-one", "recmeter ONE (one file of those records)"),
    ("sqlite", "sqlite3: SELECT length(data), count(*) GROUP BY 1"),
    ("wine-start", "wine RECMETER.EXE (usage only: wine's start)"),
    ("wine", "wine RECMETER.EXE FILE /C"),
    ("wine-plain", "wine RECMETER.EXE FILE"),
    ("wine-files", "wine RECMETER.EXE FOLDER (FILES files)"),
    ("wine-files-one", "wine RECMETER.EXE ONE"),
    ("wine-keys-dry-run", "wine RECMETER.EXE COPY /T8 /N, no terminal"),
    ("wine-keys-dry-run-pty", "wine RECMETER.EXE COPY /T8 /N, pseudo-terminal"),
    ("wine-keys-counted", "wine RECMETER.EXE FILE /C, no terminal"),
    ("wine-keys-counted-pty", "wine RECMETER.EXE FILE /C, pseudo-terminal"),
]

# Ratios of two timed commands against their goals, judged on the
# wall-clock medians; the ratio of CPU times beside them holds up better on
# a busy machine.
GOALS = [
    ("/C / raw read", "counted", "raw", "<=", 1.5),
    ("SQLite / /C", "sqlite", "counted", ">=", 10),
    ("/C / plain", "counted", "plain", "<=", 1.3),
    ("plain / /C", "plain", "counted", "<=", 1.5),
    ("/C /J / /C", "counted-json", "counted", "<=", 1.1),
    ("/C /J=.html / /C /J=.json", "counted-html", "counted-json", "<=", 1.1),
    # No Update is made in either run: the two differ by noise alone.
    ("/T /N / /T", "dry-run", "truncate", "<=", 1.05),
    # The journal's pass reads the file once more before /T's own.
    ("/T8 /U / /T8", "truncate-undo", "truncate-8", "<=", 2.5),
    ("wine / native (/C)", "wine", "counted", "<=", 1.2),
    ("wine / native (plain)", "wine-plain", "plain", "<=", 1.5),
    ("wine plain / wine /C", "wine-plain", "wine", "<=", 1.5),
    # The Esc test at a console against none.
    ("/T8 /N terminal / none", "keys-dry-run-pty", "keys-dry-run", "<=", 1.2),
    ("/C terminal / none", "keys-counted-pty", "keys-counted", "<=", 1.2),
    ("wine /T8 /N terminal / none", "wine-keys-dry-run-pty", "wine-keys-dry-run", "<=", 1.2),
    ("wine /C terminal / none", "wine-keys-counted-pty", "wine-keys-counted", "<=", 1.2),
]

MEMORY_GOAL_MIB = 16
FILE_COST_GOAL_MS = 2  # what a file costs beyond its records, natively
MEMORY_GROWTH_GOAL = 1.1


def ratio(a, b):
    """a / b as printed; "-" when b is nothing (hyperfine takes the shell's
    start off, so a command of a tiny file can time as 0)."""
    return "%.2f" % (a / b) if b > 0 else "-"


def goal_line(label, value, op, limit, cpu=""):
    if value == "-":
        verdict = "n/a"
    else:
        met = float(value) <= limit if op == "<=" else float(value) >= limit
        verdict = "met" if met else "MISSED"
    print("  %-34s %8s %8s   goal %s %-5s %s" % (label, value, cpu, op, "%g" % limit, verdict))


def machine():
    model = ""
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as f:
        kib = next(int(line.split()[1]) for line in f if line.startswith("MemTotal:"))
    return len(os.sched_getaffinity(0)), model, kib / 1048576


def peak_rss_kib(report):
    with open(report) as f:
        return int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", f.read()).group(1))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--times", required=True, help="hyperfine's JSON export")
    parser.add_argument("--data", required=True,
                        help="the file's folder: records.dat and expected.hist")
    parser.add_argument("--records", type=int, required=True)
    parser.add_argument("--small-records", type=int, required=True)
    parser.add_argument("--lengths", required=True, help="MIN..MAX")
    parser.add_argument("--files", type=int, required=True, help="files in FOLDER")
    parser.add_argument("--many", type=int, required=True, help="files of the memory run")
    parser.add_argument("--load", required=True, help="load average before timing")
    parser.add_argument("--memory", action="append", default=[], metavar="NAME=REPORT",
                        help="GNU time -v report of counted, small or plain")
    args = parser.parse_args()

    with open(args.times) as f:
        results = {r["command"]: r for r in json.load(f)["results"]}
    median = {name: r["median"] for name, r in results.items()}
    cpu = {name: r["user"] + r["system"] for name, r in results.items()}
    runs = len(next(iter(results.values()))["times"])
    memory = {}
    for item in args.memory:
        name, report = item.split("=", 1)
        memory[name] = peak_rss_kib(report)

    size_mib = os.stat(os.path.join(args.data, "records.dat")).st_size // 1048576
    with open(os.path.join(args.data, "expected.hist")) as f:
        distinct = sum(1 for _ in f)
    cores, model, mem_gib = machine()

    now = datetime.datetime.now(datetime.timezone.utc)
    print()
    print("Recmeter scan benchmark, %s" % now.strftime("%Y-%m-%d %H:%M UTC"))
    print("  machine: %d cores (%s), %.0f GiB" % (cores, model, mem_gib))
    print("  file: %d records, lengths %s (%d distinct), %d MiB, warm page cache"
          % (args.records, args.lengths, distinct, size_mib))
    print("  median of %d runs after one warm-up; load average before timing: %s"
          % (runs, args.load))
    if float(args.load.split()[0]) > cores / 2:
        print("  (the machine was busy: other work competes for the cores and the figures are noisy)")
    print()
    print("  %-52s %10s  %8s" % ("", "wall", "cpu"))
    for name, label in ROWS:
        if name in results:
            r = results[name]
            print("  %-52s %8.3f s  %8s  (min %.3f, max %.3f)"
                  % (label.replace("FILES", str(args.files)), r["median"], "%.3f s" % cpu[name],
                     r["min"], r["max"]))

    print()
    print("  %-34s %8s %8s" % ("Ratios", "wall", "cpu"))
    for label, a, b, op, limit in GOALS:
        if a in results and b in results:
            goal_line(label, ratio(median[a], median[b]), op, limit, ratio(cpu[a], cpu[b]))
    for prefix, goal in (("", FILE_COST_GOAL_MS), ("wine-", None)):
        if prefix + "files" in results and prefix + "files-one" in results:
            cost = "%.2f" % ((median[prefix + "files"] - median[prefix + "files-one"])
                             * 1000 / args.files)
            label = "%sa file beyond its records (ms)" % ("wine: " if prefix else "")
            if goal is None:
                print("  %-34s %8s" % (label, cost))
            else:
                goal_line(label, cost, "<=", goal)
    if "wine" in results and "wine-start" in results:
        print("  %-34s %8s            (wine's own start taken off)" % (
            "(wine - wine start) / native",
            ratio(median["wine"] - median["wine-start"], median["counted"])))

    print()
    print("Peak resident memory (GNU time, maximum resident set size)")
    if not memory:
        print("  n/a: no /usr/bin/time")
        return
    def mib(kib):
        return "%.1f" % (kib / 1024)
    goal_line("/C, %d records (MiB)" % args.records, mib(memory["counted"]), "<=", MEMORY_GOAL_MIB)
    print("  %-34s %8s" % ("/C, %d records (MiB)" % args.small_records, mib(memory["small"])))
    print("  %-34s %8s" % ("plain, %d records (MiB)" % args.records, mib(memory["plain"])))
    goal_line("growth, %sx the records" % ratio(args.records, args.small_records),
              ratio(memory["counted"], memory["small"]), "<=", MEMORY_GROWTH_GOAL)
    if "many-files" in memory and "many-one" in memory:
        print("  %-34s %8s" % ("%d files of 10 records (MiB)" % args.many,
                                 mib(memory["many-files"])))
        print("  %-34s %8s" % ("one file of those records (MiB)", mib(memory["many-one"])))


if __name__ == "__main__":
    main()
