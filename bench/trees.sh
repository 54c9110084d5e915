# Sourced by the benchmarks: the generated trees they share. Each writes DIR.tmp and renames it
# to DIR when whole, so that a run cut short leaves no tree that looks finished.

# stamped_tree DIR COUNT FOLDERS NAME MIN MAX SEED FILL: COUNT files named NAME % i in FOLDERS
# folders "dNN", of MIN to MAX bytes (FILL x: the letter x, random: random bytes), all with one
# fixed past time, which listings show with a year, the same every run.
stamped_tree() {
    local tree=$1
    echo "Generating $tree (once)..." >&2
    rm -rf "$tree.tmp"
    /usr/bin/python3 - "$@" <<'PY'
import os, random, sys
root, name, fill = sys.argv[1] + ".tmp", sys.argv[4], sys.argv[8]
count, folders, low, high, seed = (int(sys.argv[i]) for i in (2, 3, 5, 6, 7))
rnd = random.Random(seed)
stamp = 1700000000
for i in range(count):
    folder = os.path.join(root, "d%02d" % (i % folders))
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, name % i)
    size = rnd.randint(low, high)
    with open(path, "wb") as f:
        f.write(b"x" * size if fill == "x" else rnd.randbytes(size))
    os.utime(path, (stamp, stamp))
PY
    mv "$tree.tmp" "$tree"
}

# generate_tree DIR: 10,000 files of 0-4 KiB in 100 folders: many entries to list.
generate_tree() { stamped_tree "$1" 10000 100 file%05d.txt 0 4096 7 x; }

# generate_upload_tree DIR: 500 files of 100 B to 8 KB of random bytes in 10 folders: many small
# transfers, where a slow link's round trips dominate.
generate_upload_tree() { stamped_tree "$1" 500 10 file%03d.bin 100 8192 11 random; }

# generate_copy_tree DIR COUNT FOLDERS MIN MAX: COUNT files of MIN to MAX bytes in FOLDERS
# folders of 10 subfolders each, cut from one random block (quick to write, and nothing a
# file system could share between them).
generate_copy_tree() {
    local tree=$1
    echo "Generating $tree (once)..." >&2
    rm -rf "$tree.tmp"
    /usr/bin/python3 - "$@" <<'PY'
import os, random, sys
root, count, folders, low, high = sys.argv[1] + ".tmp", *map(int, sys.argv[2:6])
rnd = random.Random(42)
block = os.urandom(1 << 20)
for i in range(count):
    folder = os.path.join(root, "d%02d" % (i % folders), "e%02d" % (i // folders % 10))
    os.makedirs(folder, exist_ok=True)
    size = rnd.randint(low, high)
    start = rnd.randint(0, len(block) - size)
    with open(os.path.join(folder, "f%05d.dat" % i), "wb") as f:
        f.write(block[start:start + size])
PY
    mv "$tree.tmp" "$tree"
}
