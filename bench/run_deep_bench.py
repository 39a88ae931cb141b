#!/usr/bin/env python3
"""Entries in two 1,000-level folders, in order and alternating between them.

Usage: run_deep_bench.py ZIPBENCH WORK ROUNDS [COUNT]
The files are the shared generator's "many" files (seeded); this script only lays them out:
deep-inorder.zip has every entry of folder a/.../a before those of b/.../b, deep-alternate.zip
takes them in turns. Both go through the archiver component ("*.*") and the medians and their
ratio are printed; the target is alternation within 1.5x of the in-order time.
"""
import os
import statistics
import subprocess
import sys
import time
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "shared", "bench"))
import gen_corpus  # noqa: E402

DEPTH = 1000


def build(path, names, blobs):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=1) as z:
        for name, data in zip(names, blobs):
            info = zipfile.ZipInfo(name, date_time=(2024, 1, 1, 0, 0, 0))
            z.writestr(info, data, compress_type=zipfile.ZIP_DEFLATED)


def remove(folder):
    # rm walks by descriptor; Python's rmtree recurses past its own depth limit here.
    subprocess.run(["rm", "-rf", folder], check=True)


def timed(zipbench, archive, out, rounds):
    times = []
    for _ in range(rounds):
        remove(out)
        os.makedirs(out)
        start = time.perf_counter()
        subprocess.run([zipbench, "star", archive, out], check=True, stdout=subprocess.DEVNULL)
        times.append(time.perf_counter() - start)
    remove(out)
    return statistics.median(times)


def main():
    zipbench, work, rounds = sys.argv[1], sys.argv[2], int(sys.argv[3])
    count = int(sys.argv[4]) if len(sys.argv) > 4 else 4000
    os.makedirs(work, exist_ok=True)
    g = gen_corpus.Gen(1)
    blobs = [g.text("txt", g.rng.randint(1024, 4096)) for _ in range(count)]
    a, b = "a/" * DEPTH, "b/" * DEPTH
    half = count // 2
    inorder = [a + f"f{i:05d}.dll" for i in range(half)] + [b + f"f{i:05d}.dll" for i in range(half, count)]
    alternate = [(a if i % 2 == 0 else b) + f"f{i:05d}.dll" for i in range(count)]
    paths = {}
    for label, names in (("in order", inorder), ("alternating", alternate)):
        paths[label] = os.path.join(work, "deep-" + label.replace(" ", "") + ".zip")
        build(paths[label], names, blobs)
    out = os.path.join(work, "deep-out")
    medians = {label: timed(zipbench, path, out, rounds) for label, path in paths.items()}
    print(f"deep folders, {count} entries in two {DEPTH}-level folders (median of {rounds}):")
    for label, seconds in medians.items():
        print(f"  {label:12s} {seconds:7.2f} s")
    print(f"  alternating / in order: {medians['alternating'] / medians['in order']:.2f}x (target <= 1.5x)")


if __name__ == "__main__":
    main()
