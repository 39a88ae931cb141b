#!/usr/bin/env python3
"""A change against the build it started from: the extraction by the masks (zipbench masks)
and an installation (installbench install, fresh and over the installed copy) with two
builds' tools, in rotated order, in one run.

Usage: run_ab_bench.py BASE_BENCH_DIR NEW_BENCH_DIR ARCHIVE EXTRACT_DIR INSTALL_DIR [ROUNDS]
The bench dirs hold zipbench and installbench (build-bench/bench of each tree). EXTRACT_DIR on
a tmpfs (/dev/shm/x) takes the disk's write-back out of the extraction figures; INSTALL_DIR is
on the disk, as an installation is. Figures: median seconds, the spread (max - min) of each,
and the new build's ratio to the base.
"""
import os
import shutil
import statistics
import subprocess
import sys
import time

base_dir, new_dir, archive, work, disk = sys.argv[1:6]
rounds = int(sys.argv[6]) if len(sys.argv) > 6 else 5
builds = {"base": base_dir, "new": new_dir}


def timed(argv):
    start = time.perf_counter()
    proc = subprocess.run(argv, capture_output=True, text=True)
    if proc.returncode != 0:
        sys.exit(f"failed: {' '.join(argv)}: {proc.stderr}")
    return time.perf_counter() - start


def extraction(build):
    out = os.path.join(work, "x")
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    return timed([os.path.join(builds[build], "zipbench"), "masks", archive, out])


def installation(build):
    target = os.path.join(disk, "t")
    shutil.rmtree(target, ignore_errors=True)
    os.makedirs(target)
    bench = os.path.join(builds[build], "installbench")
    subprocess.run(["sync"])
    fresh = timed([bench, "install", archive, target])
    subprocess.run(["sync"])
    return fresh + timed([bench, "install", archive, target])


os.makedirs(work, exist_ok=True)
os.makedirs(disk, exist_ok=True)
figures = {(kind, b): [] for kind in ("extraction", "installation") for b in builds}
for i in range(rounds):
    order = ["base", "new"] if i % 2 == 0 else ["new", "base"]
    for b in order:
        figures[("extraction", b)].append(extraction(b))
    for b in order:
        figures[("installation", b)].append(installation(b))
print(f"{'':<14} {'base s':>8} {'spread':>7} {'new s':>8} {'spread':>7} {'new/base':>9}")
for kind in ("extraction", "installation"):
    b, n = figures[(kind, "base")], figures[(kind, "new")]
    mb, mn = statistics.median(b), statistics.median(n)
    print(f"{kind:<14} {mb:>8.3f} {max(b) - min(b):>7.3f} {mn:>8.3f} {max(n) - min(n):>7.3f} "
          f"{mn / mb:>8.3f}x")
shutil.rmtree(work, ignore_errors=True)
shutil.rmtree(disk, ignore_errors=True)
