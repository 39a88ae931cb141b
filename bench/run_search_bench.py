#!/usr/bin/env python3
"""Folder search benchmark: NajdiSouborHD against find, a bare C walk and a Python walk.

Usage: run_search_bench.py SEARCHBENCH BAREWALK TREE [ROUNDS]
All apply the same rules (levels 0-8 tested, 0-7 listed, dot-entries skipped, no link
followed, one file system) on a warm cache, in rotated order round by round; each hit count
is checked against the tree's manifest. Peak memory of our search is measured by GNU time.
"""
import json
import os
import statistics
import subprocess
import sys
import time

searchbench, barewalk, tree = sys.argv[1:4]
rounds = int(sys.argv[4]) if len(sys.argv) > 4 else 5
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
            if not e.name.startswith(".") and e.is_dir(follow_symlinks=False):
                visit(e.path, level + 1)

    visit(tree, 0)
    return hits


def run(cmd):
    return lambda: len(subprocess.run(cmd, capture_output=True, text=True, check=True).stdout.split("\n")) - 1


def count(cmd):
    return lambda: int(subprocess.run(cmd, capture_output=True, text=True, check=True).stdout)


tools = {
    "ours": run([searchbench, tree, name]),
    "bare": count([barewalk, tree, name]),
    "find": run(["find", tree, "-xdev", "-maxdepth", "9", "-name", ".*", "-prune", "-o",
                 "-name", name, "-type", "f", "-print"]),
    "python": walk,
}
times = {tool: [] for tool in tools}
hits = {}
for fn in tools.values():
    fn()  # warm the cache
for r in range(rounds):
    order = list(tools)[r % len(tools):] + list(tools)[:r % len(tools)]
    for tool in order:
        start = time.perf_counter()
        hits[tool] = tools[tool]()
        times[tool].append(time.perf_counter() - start)
results = {tool: (statistics.median(times[tool]), hits[tool]) for tool in tools}
peak = subprocess.run(["/usr/bin/time", "-f", "%M", searchbench, tree, name],
                      capture_output=True, text=True, check=True).stderr.split()[-1]

print(f"\nfolder search over {manifest['folders']} folders, {manifest['files']} files "
      f"(expected hits {expected}), medians of {rounds} rounds")
print(f"{'tool':<7} {'seconds':>8} {'hits':>5} {'ours/tool':>10}")
for tool, (secs, found) in results.items():
    flag = "" if found == expected else "  <- hit count differs"
    print(f"{tool:<7} {secs:8.3f} {found:5d} {results['ours'][0] / secs:10.2f}{flag}")
print(f"peak memory of ours: {int(peak) / 1024:.1f} MiB")
