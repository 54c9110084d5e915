# Helpers shared by the benchmark scripts (sourced): timing, and the FTP and SFTP test tree.

# time_once COMMAND...: prints the seconds one run takes. Exit status 1 is fine: kestrune-cli
# uses it for "differences found".
time_once() {
    local start end rc=0
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || rc=$?
    end=$(date +%s.%N)
    if [ "$rc" -gt 1 ]; then
        echo "failed (exit $rc): $*" >&2
        exit 1
    fi
    echo "$end - $start" | bc -l
}

# median: the median of the numbers on standard input, one a line.
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

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
