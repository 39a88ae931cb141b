#!/usr/bin/env python3
"""Folder search benchmark: NajdiSouborHD against find and a Python scandir walk.

Usage: run_search_bench.py SEARCHBENCH TREE [ROUNDS]
All three apply the same rules (levels 0-8 tested, 0-7 listed, dot-folders skipped) on a
warm cache; each hit count is checked against the tree's manifest.
"""
import json
import os
import statistics
import subprocess
import sys
import time

searchbench, tree = sys.argv[1:3]
rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 5
manifest = json.load(open(tree.rstrip("/") + ".manifest.json"))
name, expected = manifest["name"], manifest["expected_rules"]


def walk():
    hits = 0

    def visit(folder, level):
        nonlocal hits
        if os.path.isfile(os.path.join(folder, name)):
            hits += 1
        if level == 8:
            return
        entries = sorted(os.scandir(folder), key=lambda e: e.name.lower())
        for e in entries:
            if not e.name.startswith(".") and e.is_dir():
                visit(e.path, level + 1)

    visit(tree, 0)
    return hits


def timed(fn):
    fn()  # warm the cache
    times, hits = [], None
    for _ in range(rounds):
        start = time.perf_counter()
        hits = fn()
        times.append(time.perf_counter() - start)
    return statistics.median(times), hits


def run(cmd):
    return lambda: len(subprocess.run(cmd, capture_output=True, text=True, check=True).stdout.split("\n")) - 1


results = {
    "ours": timed(run([searchbench, tree, name])),
    "find": timed(run(["find", tree, "-maxdepth", "9", "-name", ".*", "-prune", "-o",
                       "-name", name, "-type", "f", "-print"])),
    "python": timed(walk),
}
print(f"\nfolder search over {manifest['folders']} folders, {manifest['files']} files "
      f"(expected hits {expected})")
print(f"{'tool':<7} {'seconds':>8} {'hits':>5} {'vs find':>8}")
for tool, (secs, hits) in results.items():
    flag = "" if hits == expected else "  <- hit count differs"
    print(f"{tool:<7} {secs:8.2f} {hits:5d} {results['find'][0] / secs:8.2f}{flag}")
