#!/usr/bin/env python3
"""Writes a pair of text files for the line-difference benchmark.

gen_diff_pair.py LINES EDITS SEED LEFT RIGHT: LEFT holds LINES lines of varied text; RIGHT is
LEFT with EDITS scattered single-line edits (a third each inserted, removed, replaced).
"""
import random
import sys

WORDS = ("alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu nu xi omicron pi "
         "rho sigma tau upsilon phi chi psi omega return value index count buffer offset").split()


def line(rng, n):
    words = " ".join(rng.choice(WORDS) for _ in range(rng.randint(2, 9)))
    return f"{' ' * (4 * rng.randint(0, 3))}{words} {n} {rng.getrandbits(24):06x}\n"


def main():
    lines, edits, seed = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
    rng = random.Random(seed)
    left = [line(rng, i) for i in range(lines)]
    right = list(left)
    for e in range(edits):
        pos = rng.randrange(len(right) + 1)
        kind = e % 3
        if kind == 0:
            right.insert(pos, line(rng, -e))
        elif pos < len(right):
            if kind == 1:
                del right[pos]
            else:
                right[pos] = line(rng, -e)
    with open(sys.argv[4], "w") as f:
        f.writelines(left)
    with open(sys.argv[5], "w") as f:
        f.writelines(right)


if __name__ == "__main__":
    main()
