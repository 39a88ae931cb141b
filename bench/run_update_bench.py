#!/usr/bin/env python3
"""Updates as the run fetches them, for real releases and the synthetic pair: the full download,
the assembly from the kept archive (ranges), and the delta from the signed index, each with
every check, from nginx on loopback held to a customer's link.

Usage: run_update_bench.py UPDATEBENCH PUBLISH SHARED_BENCH WORK [ROUNDS]
Pairs: typescript 6.0.2 -> 6.0.3 and @esbuild/linux-x64 0.28.1 -> 0.28.2 (from
SHARED_BENCH/releases.sh, npm) at 2 MB/s, and the synthetic pair of run_delta_bench.py at
20 MB/s. Each release is packaged with selvanix-publish, the second twice: plain, and with
--previous (the publisher's seconds and peak memory for both). Then, per round in rotated
order: the full download (no kept archive), the assembly (kept archive, no index on the
server) and the delta (kept archive, index and delta on the server). Figures: median seconds,
bytes that came over the wire (descriptor, index and delta included) as a share of the new
archive, peak memory, and seconds against the full download.
"""
import hashlib
import os
import shutil
import statistics
import subprocess
import sys
import time

from bench_nginx import start_nginx
from bench_releases import release_trees

updatebench, publish, shared, work = sys.argv[1:5]
work = os.path.abspath(work)
rounds = int(sys.argv[5]) if len(sys.argv) > 5 else 3
scale = os.environ.get("SCALE", "1")
name = "upgrade-brodelik.zip"


def timed(cmd):
    """Runs cmd; its seconds and peak resident memory in MiB."""
    start = time.perf_counter()
    run = subprocess.run(["/usr/bin/time", "-f", "%M"] + cmd, capture_output=True, text=True)
    seconds = time.perf_counter() - start
    if run.returncode != 0:
        sys.exit(f"failed: {' '.join(cmd)}: {run.stderr.strip()}")
    return seconds, int(run.stderr.strip().splitlines()[-1]) / 1024


def package(tree, out, key, version, previous=None):
    shutil.rmtree(out, ignore_errors=True)
    cmd = [publish, "package", "--key", key, "--stem", "brodelik", "--name", "Bench",
           "--version", version, "--date", "9.12.2026", "--marker", "brodelik.exe", tree, out]
    if previous:
        cmd[2:2] = ["--previous", previous]
    return timed(cmd)


def public_key(key):
    return subprocess.run([publish, "keygen", key], check=True, capture_output=True,
                          text=True).stdout.strip()


def fetch(base_url, kept, pub, sha):
    dest = os.path.join(work, "dl")
    shutil.rmtree(dest, ignore_errors=True)
    os.makedirs(dest)
    run = subprocess.run([updatebench, base_url, dest, kept or "-", pub],
                         capture_output=True, text=True)
    if run.returncode != 0:
        sys.exit(f"updatebench {base_url}: {run.stderr.strip()}")
    out = run.stdout.split()
    figures = dict(zip(out[::2], out[1::2]))
    with open(os.path.join(dest, name), "rb") as f:
        if hashlib.sha256(f.read()).hexdigest() != sha:
            sys.exit("the fetched archive is not the new release")
    return float(figures["seconds"]), int(figures["transferred"]), int(figures["peak_kib"])


def bench_pair(label, one, two, rate):
    base = os.path.join(work, label)
    os.makedirs(base, exist_ok=True)
    key = os.path.join(base, "key.pem")
    if os.path.exists(key):
        os.remove(key)
    pub = public_key(key)
    package(one, os.path.join(base, "out-one"), key, "1")
    old_zip = os.path.join(base, "out-one", name)
    plain = package(two, os.path.join(base, "plain"), key, "2")
    with_previous = package(two, os.path.join(base, "delta"), key, "2", old_zip)
    new_zip = os.path.join(base, "delta", name)
    with open(new_zip, "rb") as f:
        sha = hashlib.sha256(f.read()).hexdigest()
    size = os.path.getsize(new_zip)
    # The plain server holds the same archive and descriptor, without index and delta.
    for n in ("brodelik.ini", name):
        shutil.copy(os.path.join(base, "delta", n), os.path.join(base, "plain", n))
    delta_files = [f for f in os.listdir(os.path.join(base, "delta")) if f.endswith(".delta")]
    delta_size = sum(os.path.getsize(os.path.join(base, "delta", f)) for f in delta_files)
    index_size = os.path.getsize(os.path.join(base, "delta", name + ".index"))
    proc, port, prefix = start_nginx(base, f"limit_rate {rate};")
    try:
        results = {"full": [], "assembly": [], "delta": []}
        kinds = list(results)
        for i in range(rounds):
            for kind in kinds[i % 3:] + kinds[:i % 3]:
                server = "plain" if kind == "assembly" else "delta"
                url = f"http://127.0.0.1:{port}/{server}/"
                results[kind].append(fetch(url, None if kind == "full" else old_zip, pub, sha))
    finally:
        proc.terminate()
        proc.wait()
        shutil.rmtree(prefix, ignore_errors=True)
    print(f"\n{label}: new archive {size} bytes at {rate / 1e6:g} MB/s; delta {delta_size} "
          f"bytes, index {index_size} bytes")
    print(f"  publisher: package {plain[0]:.2f} s, {plain[1]:.0f} MiB; with --previous "
          f"{with_previous[0]:.2f} s, {with_previous[1]:.0f} MiB")
    full = statistics.median(r[0] for r in results["full"])
    print(f"  {'':<10} {'seconds':>8} {'vs full':>8} {'bytes':>11} {'share':>8} {'peak MiB':>9}")
    for kind, runs in results.items():
        t = statistics.median(r[0] for r in runs)
        b = statistics.median(r[1] for r in runs)
        m = max(r[2] for r in runs) / 1024
        print(f"  {kind:<10} {t:>8.3f} {t / full:>7.3f}x {b:>11} {100 * b / size:>7.3f}% "
              f"{m:>9.1f}")
    print("  rounds:", {k: [round(r[0], 3) for r in v] for k, v in results.items()})


os.makedirs(work, exist_ok=True)
for pair in ("typescript", "esbuild"):
    out = os.path.join(work, f"releases-{pair}")
    subprocess.run(["bash", os.path.join(shared, "releases.sh"), pair, out], check=True,
                   stdout=subprocess.DEVNULL)
    bench_pair(pair, os.path.join(out, "v1"), os.path.join(out, "v2"), 2_000_000)
one, two, *_ = release_trees(os.path.join(work, f"synthetic-{scale}"), shared, scale)
bench_pair("synthetic", one, two, 20_000_000)
