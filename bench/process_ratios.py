#!/usr/bin/env python3
"""Medians and ratios of the whole-process timings that bench/compare.sh took.

Usage: process_ratios.py RESULTS SIZE...  Reads, for each SIZE, the hyperfine exports
RESULTS/processes-SIZE-round*.json, or RESULTS/processes-SIZE-loop.txt ("name seconds" lines)
when hyperfine was not there, and prints each command's median wall time and the ratios.
"""
import glob
import json
import statistics
import sys


def load(results, size):
    times, cpu = {}, {}
    for path in sorted(glob.glob(f"{results}/processes-{size}-round*.json")):
        with open(path) as f:
            for row in json.load(f)["results"]:
                times.setdefault(row["command"], []).extend(row["times"])
                cpu.setdefault(row["command"], []).append(row["user"] + row["system"])
    if not times:
        with open(f"{results}/processes-{size}-loop.txt") as f:
            for line in f:
                name, seconds = line.split()
                times.setdefault(name, []).append(float(seconds))
    return times, {name: statistics.mean(means) for name, means in cpu.items()}


def main():
    results, sizes = sys.argv[1], sys.argv[2:]
    for size in sizes:
        times, cpu = load(results, size)
        median = {name: statistics.median(values) for name, values in times.items()}
        runel, rg, cat = median["runel"], median["ripgrep"], median["find-cat"]
        target = "" if size != "5000" else (": met" if runel <= 2 * rg else ": MISSED")
        print(f"{size:>5} scripts: runel {runel * 1e3:6.1f} ms, rg {rg * 1e3:5.1f} ms, "
              f"find|xargs cat {cat * 1e3:6.1f} ms ({len(times['runel'])} runs each)")
        print(f"{'':>14} runel/rg = {runel / rg:4.2f}x (target <= 2x{target}), "
              f"runel/find-cat = {runel / cat:4.2f}x")
        if "runel-check" in median:
            check = median["runel-check"]
            verdict = "" if size != "5000" else (": met" if check <= 1.2 * runel else ": MISSED")
            print(f"{'':>14} runel check {check * 1e3:6.1f} ms, check/list = "
                  f"{check / runel:4.2f}x (target <= 1.2x{verdict})")
        if cpu:
            runel_cpu, rg_cpu, cat_cpu = (
                cpu[name] * 1e3 for name in ("runel", "ripgrep", "find-cat"))
            print(f"{'':>14} CPU time (user+sys, mean): runel {runel_cpu:.1f} ms, "
                  f"rg {rg_cpu:.1f} ms, find|xargs cat {cat_cpu:.1f} ms")


if __name__ == "__main__":
    main()
