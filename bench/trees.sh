# Sourced by the benchmarks: the generated trees they share. Each writes DIR.tmp and renames it
# to DIR when whole, so that a run cut short leaves no tree that looks finished.

# generate_tree DIR: 10,000 files of 0-4 KiB in 100 folders, all with one fixed past time.
generate_tree() {
    local tree=$1
    echo "Generating $tree (once)..." >&2
    rm -rf "$tree.tmp"
    /usr/bin/python3 - "$tree.tmp" <<'PY'
import os, random, sys
root = sys.argv[1]
rnd = random.Random(7)
stamp = 1700000000  # a fixed past time: listings show it with a year, the same every run
for i in range(10000):
    folder = os.path.join(root, "d%02d" % (i % 100))
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "file%05d.txt" % i)
    with open(path, "wb") as f:
        f.write(b"x" * rnd.randint(0, 4096))
    os.utime(path, (stamp, stamp))
PY
    mv "$tree.tmp" "$tree"
}

# generate_upload_tree DIR: 500 files of 100 B to 8 KB of random bytes in 10 folders, all with
# one fixed past time: many small transfers, where a slow link's round trips dominate.
generate_upload_tree() {
    local tree=$1
    echo "Generating $tree (once)..." >&2
    rm -rf "$tree.tmp"
    /usr/bin/python3 - "$tree.tmp" <<'PY'
import os, random, sys
root = sys.argv[1]
rnd = random.Random(11)
stamp = 1700000000
for i in range(500):
    folder = os.path.join(root, "d%02d" % (i % 10))
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "file%03d.bin" % i)
    with open(path, "wb") as f:
        f.write(rnd.randbytes(rnd.randint(100, 8192)))
    os.utime(path, (stamp, stamp))
PY
    mv "$tree.tmp" "$tree"
}

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
