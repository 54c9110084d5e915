#!/usr/bin/env bash
# Times copying a 1 GiB tree (a few large files and 20,000 small ones) into an empty folder:
# `kestrune-cli update --action left-to-right` against `cp -a` and `rsync -a`.
#
#   bench/update.sh [RUNS]     (default 3 runs per tool; prints the medians and the ratios)
#
# The tree is generated once under bench/data/update-src (git-ignored) and reused. Each run
# starts from an empty destination after the previous copy has been written out (`sync`), so
# no tool pays for another's write-back. kestrune-cli comes from the release build in
# build/release, built here when missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-3}
data="$root/bench/data"
src="$data/update-src"
dest="$data/update-dest"
cli="$root/build/release/app/kestrune-cli"

generate_tree() {
    echo "Generating $src (once)..." >&2
    rm -rf "$src.tmp"
    mkdir -p "$src.tmp/large"
    for i in 1 2 3 4; do
        head -c $((200 * 1024 * 1024)) /dev/urandom >"$src.tmp/large/part$i.bin"
    done
    # 20,000 small files of 1 to 20 KiB (about 200 MiB) in 200 folders, two levels deep.
    /usr/bin/python3 - "$src.tmp" <<'EOF'
import os, random, sys
root = sys.argv[1]
rnd = random.Random(42)
block = os.urandom(1 << 20)
for i in range(20000):
    folder = os.path.join(root, "small", "d%02d" % (i % 20), "e%02d" % (i // 20 % 10))
    os.makedirs(folder, exist_ok=True)
    size = rnd.randint(1024, 20 * 1024)
    start = rnd.randint(0, len(block) - size)
    with open(os.path.join(folder, "f%05d.dat" % i), "wb") as f:
        f.write(block[start:start + size])
EOF
    mv "$src.tmp" "$src"
}

source "$root/bench/build_cli.sh"

# time_once COMMAND...: one timed copy into an empty $dest; prints seconds.
time_once() {
    rm -rf "$dest"
    mkdir -p "$dest"
    sync
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || { echo "bench/update.sh: $1 failed" >&2; exit 1; }
    end=$(date +%s.%N)
    diff -rq "$src" "$dest" >/dev/null || { echo "bench/update.sh: $1 made a different tree" >&2; exit 1; }
    echo "$end - $start" | bc -l
}

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

command -v bc >/dev/null || { echo "bench/update.sh needs bc (apt-get install bc)" >&2; exit 1; }
command -v rsync >/dev/null || { echo "bench/update.sh needs rsync (apt-get install rsync)" >&2; exit 1; }
[ -d "$src" ] || generate_tree
build_cli
echo "Tree: $(du -sh "$src" | cut -f1), $(find "$src" -type f | wc -l) files; $runs runs per tool" >&2

# The tools take turns, so a slow spell of the shared disk does not fall on one tool only.
declare -A times result
for ((r = 1; r <= runs; r++)); do
    for tool in cp rsync kestrune; do
        case $tool in
            cp) t=$(time_once cp -a "$src/." "$dest/") ;;
            rsync) t=$(time_once rsync -a "$src/" "$dest/") ;;
            kestrune) t=$(time_once "$cli" update --action left-to-right "$src" "$dest") ;;
        esac
        times[$tool]+="$t "
        echo "  $tool run $r: $t s" >&2
    done
done
for tool in cp rsync kestrune; do
    result[$tool]=$(printf '%s\n' ${times[$tool]} | median)
done
rm -rf "$dest"

printf '%-10s %10s %8s\n' tool "median s" "vs cp"
for tool in cp rsync kestrune; do
    printf '%-10s %10.2f %8.2f\n' "$tool" "${result[$tool]}" "$(echo "${result[$tool]} / ${result[cp]}" | bc -l)"
done
