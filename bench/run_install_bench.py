#!/usr/bin/env python3
"""Installation benchmark: the run's stage, commit and syncs against plain extraction and one
sync, on the same disk, in one run.

Usage: run_install_bench.py INSTALLBENCH ARCHIVE WORKDIR [ROUNDS]
Each round installs into a fresh target and then again over the installed one (an update,
where every file is replaced and the old ones are kept as the previous version), the two
tools in rotated order; the figures are medians in seconds and the ratio to plain.
"""
import os
import shutil
import statistics
import subprocess
import sys
import time

bench, archive, work = sys.argv[1:4]
rounds = int(sys.argv[4]) if len(sys.argv) > 4 else 3
modes = ["plain", "install"]


def timed(mode, target):
    subprocess.run(["sync"])
    start = time.perf_counter()
    proc = subprocess.run([bench, mode, archive, target], capture_output=True, text=True)
    if proc.returncode != 0:
        sys.exit(f"failed: {mode}: {proc.stderr}")
    return time.perf_counter() - start


fresh = {m: [] for m in modes}
update = {m: [] for m in modes}
for r in range(rounds):
    for mode in modes[r % 2:] + modes[:r % 2]:
        target = os.path.join(work, "target-" + mode)
        shutil.rmtree(target, ignore_errors=True)
        os.makedirs(target)
        fresh[mode].append(timed(mode, target))
        update[mode].append(timed(mode, target))
        shutil.rmtree(target, ignore_errors=True)

print(f"{'installation':<22} {'plain+sync s':>13} {'staged s':>9} {'ratio':>6}")
for name, figures in (("into an empty target", fresh), ("over the same package", update)):
    plain = statistics.median(figures["plain"])
    staged = statistics.median(figures["install"])
    print(f"{name:<22} {plain:>13.2f} {staged:>9.2f} {staged / plain:>6.2f}")
