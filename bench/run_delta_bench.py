#!/usr/bin/env python3
"""Update benchmark: today's full download of a new release against its assembly from the
last release's archive, both from nginx on loopback held to 20 MB/s (limit_rate), so the link
and not the loopback is what costs.

Usage: run_delta_bench.py DELTABENCH PUBLISH SHARED_BENCH OTHER_ZIP WORK [ROUNDS]
Two releases of the mixed corpus are written as two separate trees by the shared generator
(every file gets a new time, as a rebuild does); the second changes 5 % of the files, adds 1 %
and removes 1 % (seed 26). Both are packaged with selvanix-publish. In each round, in rotated
order: the full download, and the assembly checked by the archive's SHA-256 (as with a
publisher key). Then, once each: the assembly checked by CRC-32 (no key), the assembly for a
few merge gaps, and one with a kept archive of another product (OTHER_ZIP), where nothing can
be reused. Then through squid and varnish in front of the same nginx, each started afresh: the
assembly cold (the cache's first sight of the file), the full download, and the assembly again
warm; a warm cache answers from its memory, past nginx's limit. Figures: median seconds, bytes
transferred, peak memory, ratios against the direct full download.
"""
import hashlib
import os
import shutil
import statistics
import subprocess
import sys
import zipfile

from bench_caches import start_cache, stop_cache
from bench_nginx import start_nginx
from bench_releases import release_trees

deltabench, publish, shared, other_zip, work = sys.argv[1:6]
work = os.path.abspath(work)  # nginx takes a relative root from its own prefix
rounds = int(sys.argv[6]) if len(sys.argv) > 6 else 3
scale = os.environ.get("SCALE", "1")
rate = 20_000_000
name = "upgrade-brodelik.zip"




def package(tree, out, key, version):
    shutil.rmtree(out, ignore_errors=True)
    subprocess.run([publish, "package", "--key", key, "--stem", "brodelik", "--name", "Bench",
                    "--version", version, "--date", "9.12.2026", "--marker", "none.exe",
                    tree, out], check=True, stderr=subprocess.DEVNULL)
    return os.path.join(out, name)


def fetch(url, kept, gap=4096, sha="-"):
    dest = os.path.join(work, "dl")
    shutil.rmtree(dest, ignore_errors=True)
    os.makedirs(dest)
    run = subprocess.run([deltabench, url, dest, name, kept or "-", str(gap), sha],
                         capture_output=True, text=True)
    if run.returncode != 0:
        sys.exit(f"deltabench {url}: {run.stderr.strip()}")
    out = run.stdout.split()
    figures = dict(zip(out[::2], out[1::2]))
    if hashlib.sha256(open(os.path.join(dest, name), "rb").read()).hexdigest() != new_sha:
        sys.exit("the fetched archive is not the new release")
    return float(figures["seconds"]), int(figures["transferred"]), int(figures["peak_kib"])


os.makedirs(work, exist_ok=True)
base = os.path.join(work, f"releases-{scale}")
one, two, files, changed, removed = release_trees(base, shared, scale)
key = os.path.join(base, "key.pem")
if not os.path.exists(key):
    subprocess.run([publish, "keygen", key], check=True, stdout=subprocess.DEVNULL)
old_zip = package(one, os.path.join(base, "out-one"), key, "1")
www = os.path.join(base, "www")
os.makedirs(www, exist_ok=True)
new_zip = shutil.copy(package(two, os.path.join(base, "out-two"), key, "2"), www)
new_sha = hashlib.sha256(open(new_zip, "rb").read()).hexdigest()
size = os.path.getsize(new_zip)
tree_bytes = sum(os.path.getsize(os.path.join(two, f)) for f in changed)
all_bytes = sum(os.path.getsize(os.path.join(one, f)) for f in files)
print(f"release 2: {len(files)} files, {len(changed)} changed, "
      f"{max(1, len(files) // 100)} added, {len(removed)} removed; the changed files hold "
      f"{100 * tree_bytes / all_bytes:.1f} % of the bytes; archive {size} bytes")
print(subprocess.run([publish, "diff", old_zip, new_zip], capture_output=True, text=True,
                     check=True).stdout.strip())
# What no reuse of whole entries can avoid: the compressed bytes of changed and added entries.
with zipfile.ZipFile(old_zip) as a, zipfile.ZipFile(new_zip) as b:
    before = {i.filename: (i.CRC, i.compress_size, i.file_size) for i in a.infolist()}
    floor = sum(i.compress_size for i in b.infolist()
                if before.get(i.filename) != (i.CRC, i.compress_size, i.file_size))
print(f"changed and added entries: {floor} bytes, {100 * floor / size:.2f} % of the archive")

proc, port, prefix = start_nginx(www, f"limit_rate {rate}; expires 1h;")
url = f"http://127.0.0.1:{port}/{name}"
try:
    results = {"full": [], "delta": []}
    for i in range(rounds):
        for kind in (["full", "delta"] if i % 2 == 0 else ["delta", "full"]):
            results[kind].append(fetch(url, None if kind == "full" else old_zip, sha=new_sha))
    full = statistics.median(r[0] for r in results["full"])
    print(f"{'':<22} {'seconds':>8} {'ratio':>7} {'bytes':>12} {'share':>7} {'peak MiB':>9}")
    def show(label, runs):
        t = statistics.median(r[0] for r in runs)
        b = statistics.median(r[1] for r in runs)
        m = max(r[2] for r in runs) / 1024
        print(f"{label:<22} {t:>8.3f} {t / full:>6.3f}x {b:>12} {100 * b / size:>6.2f}% {m:>9.1f}")
    show("full download", results["full"])
    show("delta, SHA-256 check", results["delta"])
    show("delta, CRC-32 check", [fetch(url, old_zip)])
    for gap in (0, 65536, 1 << 20):
        show(f"delta, merge gap {gap}", [fetch(url, old_zip, gap=gap, sha=new_sha)])
    show("nothing reusable", [fetch(url, other_zip, sha=new_sha)])
    for kind in ("squid", "varnish"):
        cache, cache_port, cache_dir = start_cache(kind, port)
        try:
            through = f"http://127.0.0.1:{cache_port}/{name}"
            show(f"{kind}: delta, cold", [fetch(through, old_zip, sha=new_sha)])
            show(f"{kind}: full download", [fetch(through, None, sha=new_sha)])
            show(f"{kind}: delta, warm", [fetch(through, old_zip, sha=new_sha)])
        finally:
            stop_cache(cache, cache_dir)
    print("rounds:", {k: [round(r[0], 3) for r in v] for k, v in results.items()})
finally:
    proc.terminate()
    proc.wait()
    shutil.rmtree(prefix, ignore_errors=True)
