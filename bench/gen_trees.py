#!/usr/bin/env python3
"""Writes two folder trees for the comparison benchmark: LEFT and RIGHT hold N files each in
folders of 100 files (grouped 32 folders to a parent), with equal contents and times except
for 1% of the files, which differ in size and time on the right.

Usage: gen_trees.py N OUTDIR   (writes OUTDIR/left, OUTDIR/right, then OUTDIR/complete)"""
import os
import random
import sys

FILES_PER_FOLDER = 100
FOLDERS_PER_PARENT = 32
BASE_TIME = 1_600_000_000


def write(path, data, mtime):
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    os.write(fd, data)
    os.close(fd)
    os.utime(path, (mtime, mtime))


def main():
    n, out = int(sys.argv[1]), sys.argv[2]
    rng = random.Random(20240601)
    folders = (n + FILES_PER_FOLDER - 1) // FILES_PER_FOLDER
    for side in ("left", "right"):
        os.makedirs(os.path.join(out, side), exist_ok=True)
    for i in range(n):
        f = i // FILES_PER_FOLDER
        rel = os.path.join(f"group{f // FOLDERS_PER_PARENT:03d}", f"folder{f:05d}")
        name = f"file{i:07d}.{('txt', 'dat', 'log', 'c')[i % 4]}"
        data = b"x" * rng.randrange(0, 200)
        mtime = BASE_TIME + rng.randrange(0, 10_000_000) * 2
        changed = i % 100 == 37
        for side in ("left", "right"):
            folder = os.path.join(out, side, rel)
            if i % FILES_PER_FOLDER == 0:
                os.makedirs(folder, exist_ok=True)
            if side == "right" and changed:
                write(os.path.join(folder, name), data + b"changed", mtime + 120)
            else:
                write(os.path.join(folder, name), data, mtime)
    # Folder times equal on both sides, as after a copy that keeps times.
    for side in ("left", "right"):
        for dirpath, _, _ in os.walk(os.path.join(out, side)):
            os.utime(dirpath, (BASE_TIME, BASE_TIME))
    open(os.path.join(out, "complete"), "w").close()
    print(f"{n} files in {folders} folders per side, {n // 100} changed", file=sys.stderr)


if __name__ == "__main__":
    main()
