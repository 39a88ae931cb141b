#!/usr/bin/env python3
"""Download benchmark: our download component against curl, both from nginx on loopback.

Usage: run_dl_bench.py DLBENCH FILE WORKDIR [ROUNDS] [BASE_DLBENCH]
Each round fetches FILE (served by an nginx started here on a free port) into WORKDIR with
`curl -s -o` and with DLBENCH (and BASE_DLBENCH, the build a change started from, when
given), in rotated order; the figures are the median wall time, its spread (max - min) and
the peak resident memory of each, and each time as a ratio of curl's. Then, when WORKDIR's disk has
6 GiB free, a 5 GiB sparse file served by the same nginx is fetched once by DLBENCH, to show
that memory stays bounded whatever the body's size.
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

from bench_nginx import start_nginx

dlbench, source, work = sys.argv[1:4]
rounds = int(sys.argv[4]) if len(sys.argv) > 4 else 3
tools = {"curl": None, "ours": dlbench}
if len(sys.argv) > 5:
    tools["base"] = sys.argv[5]
size = os.path.getsize(source)




def run(cmd, dest, expected=size):
    if os.path.exists(dest):
        os.remove(dest)
    subprocess.run(["sync"])  # the previous round's write-back must not slow this one
    start = time.perf_counter()
    proc = subprocess.run(["/usr/bin/time", "-f", "%M"] + cmd, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE, text=True)
    elapsed = time.perf_counter() - start
    if proc.returncode != 0 or os.path.getsize(dest) != expected:
        sys.exit(f"failed: {' '.join(cmd)}: {proc.stderr}")
    return elapsed, int(proc.stderr.strip().splitlines()[-1]) / 1024  # MiB


os.makedirs(work, exist_ok=True)
served = tempfile.mkdtemp(prefix="dlbench-root-")
os.symlink(os.path.abspath(source), os.path.join(served, "body.bin"))
nginx, port, prefix = start_nginx(served)
url = f"http://127.0.0.1:{port}/body.bin"
huge = None
try:
    times = {tool: [] for tool in tools}
    peaks = {tool: [] for tool in tools}
    names = list(tools)
    for r in range(rounds):
        for tool in names[r % len(names):] + names[:r % len(names)]:
            dest = os.path.join(work, tool + ".bin")
            cmd = (["curl", "-s", "-o", dest, url] if tool == "curl"
                   else [tools[tool], url, work, tool + ".bin"])
            t, m = run(cmd, dest)
            times[tool].append(t)
            peaks[tool].append(m)
    if subprocess.run(["cmp", "-s", source, os.path.join(work, "ours.bin")]).returncode != 0:
        sys.exit("our download differs from the served file")
    for tool in tools:
        os.remove(os.path.join(work, tool + ".bin"))
    stat = os.statvfs(work)
    if stat.f_bavail * stat.f_frsize >= 6 << 30:
        sparse = os.path.join(served, "huge.bin")
        with open(sparse, "wb") as f:
            f.truncate(5 << 30)
        dest = os.path.join(work, "huge.bin")
        huge = run([dlbench, f"http://127.0.0.1:{port}/huge.bin", work, "huge.bin"], dest,
                   5 << 30)
        os.remove(dest)
finally:
    nginx.terminate()
    nginx.wait()
    shutil.rmtree(prefix, ignore_errors=True)
    shutil.rmtree(served, ignore_errors=True)

body = size / (1 << 20)
print(f"download of {body:.0f} MiB from nginx on loopback, {rounds} rounds (medians)")
print(f"{'tool':<6} {'seconds':>8} {'spread':>7} {'vs curl':>8} {'peak MiB':>9}")
for tool in tools:
    t = statistics.median(times[tool])
    spread = max(times[tool]) - min(times[tool])
    print(f"{tool:<6} {t:>8.3f} {spread:>7.3f} {t / statistics.median(times['curl']):>7.2f}x "
          f"{max(peaks[tool]):>9.1f}")
if "base" in tools:
    ratio = statistics.median(times["ours"]) / statistics.median(times["base"])
    print(f"ours against base: {ratio:.3f}x")
print("rounds:", {k: [round(x, 3) for x in v] for k, v in times.items()})
print(f"our peak memory: {max(peaks['ours']):.1f} MiB (limit 64)")
if huge:
    print(f"5 GiB sparse file: {huge[0]:.1f} s, peak memory {huge[1]:.1f} MiB")
else:
    print("5 GiB sparse file: skipped (less than 6 GiB free)")
