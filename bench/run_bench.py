#!/usr/bin/env python3
"""Extraction benchmark: our archiver against bare zlib and ISA-L loops, bsdtar and unzip.

Usage: run_bench.py ZIPBENCH CORPUS WORKDIR [ROUNDS]
Every tool extracts every archive into a fresh folder, the tools in rotated order round by
round; the figure is MB/s of output (medians over the rounds) and the peak resident memory of
the extracting process. "star" is the archiver component's own path ("*.*" with times and
attributes), "ours" its decoding alone.
"""
import os
import shutil
import statistics
import subprocess
import sys
import time

zipbench, corpus, work = sys.argv[1:4]
rounds = int(sys.argv[4]) if len(sys.argv) > 4 else 3
archives = ["mixed.zip", "stored.zip", "big.zip", "many.zip"]


def output_bytes(archive):
    out = subprocess.run(["unzip", "-Zt", archive], capture_output=True, text=True).stdout
    return int(out.split()[2])


def tools(archive, dest):
    return {
        "star": [zipbench, "star", archive, dest],
        "ours": [zipbench, "ours", archive, dest],
        "floor": [zipbench, "floor", archive, dest],
        "isal": [zipbench, "isal", archive, dest],
        "bsdtar": ["bsdtar", "-xf", archive, "-C", dest],
        "unzip": ["unzip", "-qo", archive, "-d", dest],
    }


def run(cmd, dest):
    shutil.rmtree(dest, ignore_errors=True)
    os.makedirs(dest)
    subprocess.run(["sync"])
    start = time.perf_counter()
    # GNU time reports the peak resident size of the tool alone, in KiB, on the last line.
    proc = subprocess.run(["/usr/bin/time", "-f", "%M"] + cmd, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE, text=True)
    elapsed = time.perf_counter() - start
    if proc.returncode != 0:
        sys.exit(f"failed: {' '.join(cmd)}: {proc.stderr}")
    return elapsed, int(proc.stderr.strip().splitlines()[-1]) / 1024  # MiB


print(f"{'archive':<11} {'tool':<7} {'MB/s':>8} {'vs isal':>9} {'vs bsdtar':>10} {'peak MiB':>9}")
for name in archives:
    archive = os.path.join(corpus, name)
    size = output_bytes(archive)
    dest = os.path.join(work, "out")
    names = list(tools(archive, dest))
    times = {tool: [] for tool in names}
    peaks = {tool: [] for tool in names}
    for r in range(rounds):
        for tool in names[r % len(names):] + names[:r % len(names)]:
            elapsed, peak = run(tools(archive, dest)[tool], dest)
            times[tool].append(elapsed)
            peaks[tool].append(peak)
    results = {t: (size / 1e6 / statistics.median(times[t]), max(peaks[t])) for t in names}
    for tool, (rate, peak) in results.items():
        print(f"{name:<11} {tool:<7} {rate:8.1f} {rate / results['isal'][0]:9.2f} "
              f"{rate / results['bsdtar'][0]:10.2f} {peak:9.1f}")
    shutil.rmtree(dest, ignore_errors=True)

# The installer's selection: "*.exe", "*.sql", "*.chm", "*.dll" into T, "*.fr3" into T/pts.
MASKS = ["*.exe", "*.sql", "*.chm", "*.dll"]


def selection_tools(archive, dest):
    pts = os.path.join(dest, "pts")
    return {
        "ours": [[zipbench, "masks", archive, dest]],
        "bsdtar": [["bsdtar", "-xf", archive, "-C", dest] + MASKS,
                   ["sh", "-c", f"mkdir -p '{pts}' && bsdtar -xf '{archive}' -C '{pts}' '*.fr3'"]],
        "unzip": [["unzip", "-qo", archive] + MASKS + ["-d", dest],
                  ["unzip", "-qo", archive, "*.fr3", "-d", pts]],
    }


def count_files(folder):
    return sum(len(files) for _, _, files in os.walk(folder))


print()
print(f"{'archive':<11} {'tool':<7} {'seconds':>8} {'files/s':>9} {'vs bsdtar':>10} {'peak MiB':>9}")
for name in ["mixed.zip", "many.zip"]:
    archive = os.path.join(corpus, name)
    dest = os.path.join(work, "sel")
    results = {}
    for tool in selection_tools(archive, dest):
        times, peaks, files = [], [], 0
        for _ in range(rounds):
            shutil.rmtree(dest, ignore_errors=True)
            os.makedirs(dest)
            subprocess.run(["sync"])
            total, peak = 0.0, 0.0
            for cmd in selection_tools(archive, dest)[tool]:
                start = time.perf_counter()
                proc = subprocess.run(["/usr/bin/time", "-f", "%M"] + cmd,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
                total += time.perf_counter() - start
                # A pattern that matches nothing: bsdtar says 1, unzip 11.
                if proc.returncode not in (0, 1, 11):
                    sys.exit(f"failed: {' '.join(cmd)}: {proc.stderr}")
                peak = max(peak, int(proc.stderr.strip().splitlines()[-1]) / 1024)
            times.append(total)
            peaks.append(peak)
            files = count_files(dest)
        results[tool] = (statistics.median(times), files, max(peaks))
    for tool, (secs, files, peak) in results.items():
        print(f"{name:<11} {tool:<7} {secs:8.2f} {files / secs:9.0f} "
              f"{results['bsdtar'][0] / secs:10.2f} {peak:9.1f}")
    shutil.rmtree(dest, ignore_errors=True)
