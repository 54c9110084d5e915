#!/usr/bin/env python3
"""Writes a pair of text files for the line-difference benchmark.

gen_diff_pair.py LINES EDITS SEED LEFT RIGHT [MODE]: LEFT holds LINES lines of varied text.
MODE scattered (default): RIGHT is LEFT with EDITS scattered single-line edits (a third each
inserted, removed, replaced). MODE half: the lines are drawn from a pool of EDITS distinct
lines, and RIGHT is LEFT with each line replaced by another pool line with probability 1/2, so
every line occurs on both sides and the edit distance is huge. MODE unrelated: RIGHT is a
second, independent file like LEFT. MODE short: LEFT holds LINES lines of one random letter
each (2 bytes a line, for the memory per line), RIGHT is LEFT with EDITS scattered edits.
"""
import random
import sys

LETTERS = bytes(range(ord("a"), ord("z") + 1))

WORDS = ("alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu nu xi omicron pi "
         "rho sigma tau upsilon phi chi psi omega return value index count buffer offset").split()


def line(rng, n):
    words = " ".join(rng.choice(WORDS) for _ in range(rng.randint(2, 9)))
    return f"{' ' * (4 * rng.randint(0, 3))}{words} {n} {rng.getrandbits(24):06x}\n"


def main():
    lines, edits, seed = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
    mode = sys.argv[6] if len(sys.argv) > 6 else "scattered"
    rng = random.Random(seed)
    if mode == "short":
        return write_short(rng, lines, edits)
    if mode == "half":
        pool = [line(rng, i) for i in range(edits)]
        left = [rng.choice(pool) for _ in range(lines)]
        right = [rng.choice(pool) if rng.random() < 0.5 else l for l in left]
        return write(left, right)
    left = [line(rng, i) for i in range(lines)]
    if mode == "unrelated":
        return write(left, [line(rng, i) for i in range(lines)])
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
    write(left, right)


def write_short(rng, lines, edits):
    # Built as bytes: a list of a hundred million one-letter lines would not fit in memory.
    table = bytes(LETTERS[b % len(LETTERS)] for b in range(256))
    left = bytearray(2 * lines)
    left[0::2] = rng.randbytes(lines).translate(table)
    left[1::2] = b"\n" * lines
    right, at = [], 0
    for e, pos in enumerate(sorted(rng.randrange(lines) for _ in range(edits))):
        right.append(left[2 * at:2 * pos])
        at = pos
        kind = e % 3
        if kind == 0:
            right.append(bytes([rng.choice(LETTERS)]) + b"\n")
        elif kind == 1:
            at = pos + 1
        else:
            right.append(bytes([rng.choice(LETTERS)]) + b"\n")
            at = pos + 1
    right.append(left[2 * at:])
    with open(sys.argv[4], "wb") as f:
        f.write(left)
    with open(sys.argv[5], "wb") as f:
        f.writelines(right)


def write(left, right):
    with open(sys.argv[4], "w") as f:
        f.writelines(left)
    with open(sys.argv[5], "w") as f:
        f.writelines(right)


if __name__ == "__main__":
    main()
