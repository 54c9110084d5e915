#!/usr/bin/env python3
"""Writes two folder trees for the comparison benchmark: LEFT and RIGHT hold N files each in
folders of 100 files (grouped 32 folders to a parent), with equal contents and times except
for 1% of the files, which differ in size and time on the right.

With --million the trees are shaped for a large case: empty files (their inodes are what the
scan pays for; the changed ones hold a few bytes), 1% changed, 1% only on the left and 1% only
on the right, and a third tree RIGHT_ALL whose every file is two minutes newer than the left
one, so that comparing LEFT with it gives a row for every file.

Usage: gen_trees.py [--million] N OUTDIR
       (writes OUTDIR/left, OUTDIR/right [, OUTDIR/right_all], then OUTDIR/complete)"""
import os
import random
import sys

FILES_PER_FOLDER = 100
FOLDERS_PER_PARENT = 32
BASE_TIME = 1_600_000_000


def write(path, data, mtime):
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    if data:
        os.write(fd, data)
    os.close(fd)
    os.utime(path, (mtime, mtime))


def sides_of(i, million):
    """The trees file i goes to, and whether the right copy is changed."""
    if not million:
        return ("left", "right"), i % 100 == 37
    kind = i % 100
    if kind == 11:
        return ("left", "right_all"), False
    if kind == 53:
        return ("right",), False
    return ("left", "right", "right_all"), kind == 37


def main():
    args = sys.argv[1:]
    million = "--million" in args
    args = [a for a in args if a != "--million"]
    n, out = int(args[0]), args[1]
    rng = random.Random(20240601)
    folders = (n + FILES_PER_FOLDER - 1) // FILES_PER_FOLDER
    trees = ("left", "right", "right_all") if million else ("left", "right")
    for side in trees:
        os.makedirs(os.path.join(out, side), exist_ok=True)
    for i in range(n):
        f = i // FILES_PER_FOLDER
        rel = os.path.join(f"group{f // FOLDERS_PER_PARENT:03d}", f"folder{f:05d}")
        name = f"file{i:07d}.{('txt', 'dat', 'log', 'c')[i % 4]}"
        data = b"" if million else b"x" * rng.randrange(0, 200)
        mtime = BASE_TIME + rng.randrange(0, 10_000_000) * 2
        sides, changed = sides_of(i, million)
        for side in trees:
            folder = os.path.join(out, side, rel)
            if i % FILES_PER_FOLDER == 0:
                os.makedirs(folder, exist_ok=True)
            if side not in sides:
                continue
            if side == "right" and changed:
                write(os.path.join(folder, name), data + b"changed", mtime + 120)
            elif side == "right_all":
                write(os.path.join(folder, name), data, mtime + 120)
            else:
                write(os.path.join(folder, name), data, mtime)
    # Folder times equal on both sides, as after a copy that keeps times.
    for side in trees:
        for dirpath, _, _ in os.walk(os.path.join(out, side)):
            os.utime(dirpath, (BASE_TIME, BASE_TIME))
    open(os.path.join(out, "complete"), "w").close()
    print(f"{n} files in {folders} folders per side, {n // 100} changed", file=sys.stderr)


if __name__ == "__main__":
    main()
