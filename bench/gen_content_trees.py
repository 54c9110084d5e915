#!/usr/bin/env python3
"""Writes two folder trees for the content benchmark: LEFT and RIGHT hold N files each (in
folders of 100) with equal contents, TOTAL bytes on each side, sizes spread from a few bytes to
about twice the mean, and times shuffled on the right, so that a comparison by time finds every
file changed and a comparison by content finds none.

Usage: gen_content_trees.py N TOTAL OUTDIR   (writes OUTDIR/left, OUTDIR/right, OUTDIR/complete)"""
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gen_trees import BASE_TIME, FILES_PER_FOLDER, write  # noqa: E402


def main():
    n, total, out = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
    rng = random.Random(20241209)
    weights = [rng.random() for _ in range(n)]
    scale = total / sum(weights)
    block = os.urandom(4 * 1024 * 1024)
    for i in range(n):
        folder = "d%03d" % (i // FILES_PER_FOLDER)
        size = max(1, int(weights[i] * scale))
        start = rng.randrange(len(block) - size) if size < len(block) else 0
        data = block[start:start + size] if size < len(block) else os.urandom(size)
        # The first bytes make every file unique, so no two share a prefix by accident.
        data = (b"%08d" % i + data[8:])[:size]
        mtime = BASE_TIME + i * 2
        for side, when in (("left", mtime), ("right", mtime + 2 * rng.randrange(1, 100000))):
            os.makedirs(os.path.join(out, side, folder), exist_ok=True)
            write(os.path.join(out, side, folder, "f%05d.bin" % i), data, when)
    open(os.path.join(out, "complete"), "w").close()


if __name__ == "__main__":
    main()
