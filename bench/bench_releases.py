"""The synthetic pair of releases the update benchmarks share: the mixed corpus written twice,
the second rebuilt with fixed-seed changes."""
import os
import random
import subprocess
import sys
import time


def release_trees(base, shared, scale):
    """Two trees written separately; the second with the fixed-seed changes: 5 % of the files
    changed (256 random bytes in the middle), 1 % added, 1 % removed (seed 26)."""
    one, two = os.path.join(base, "one"), os.path.join(base, "two")
    for tree in (one, two):
        if not os.path.isdir(tree):
            subprocess.run([sys.executable, os.path.join(shared, "gen_corpus.py"), "mixed", tree,
                            "--scale", scale], check=True, stdout=subprocess.DEVNULL)
    # The generator gives every file one fixed time; a rebuild gives each a new one.
    later = time.time()
    for d, _, fs in os.walk(two):
        for f in fs:
            os.utime(os.path.join(d, f), (later, later))
    marker = os.path.join(base, "two.changed")
    # The first release's files: what the second held before its changes.
    files = sorted(os.path.relpath(os.path.join(d, f), one)
                   for d, _, fs in os.walk(one) for f in fs)
    if not os.path.exists(marker):
        r = random.Random(26)
        picked = r.sample(files, max(3, len(files) * 7 // 100))
        changed, removed = picked[:len(picked) * 5 // 7], picked[len(picked) * 5 // 7:][:len(files) // 100 or 1]
        for rel in changed:
            path = os.path.join(two, rel)
            data = bytearray(open(path, "rb").read())
            # A rebuilt binary or an edited text: a stretch in the middle differs.
            at = r.randrange(max(1, len(data)))
            data[at:at + 256] = r.randbytes(256)
            open(path, "wb").write(data)
        for rel in removed:
            os.remove(os.path.join(two, rel))
        for i in range(max(1, len(files) // 100)):
            src = os.path.join(two, r.choice(changed))
            with open(os.path.join(os.path.dirname(src), f"added_{i:03d}.dll"), "wb") as f:
                f.write(r.randbytes(max(64, os.path.getsize(src) // 2)))
        with open(marker, "w") as f:
            f.write("\n".join(["changed"] + changed + ["removed"] + removed) + "\n")
    lines = open(marker).read().split("\n")
    changed = lines[1:lines.index("removed")]
    removed = [x for x in lines[lines.index("removed") + 1:] if x]
    return one, two, files, changed, removed
