#!/usr/bin/env bash
# Times copying a tree into an empty folder.
#
#   bench/update.sh [RUNS]        a 1 GiB tree (four large files, 20,000 small ones):
#                                 `kestrune-cli update --action left-to-right`, `cp -a`, `rsync -a`
#   bench/update.sh small [RUNS]  50,000 files of 100 B to 4 KiB in 500 folders: `cp -a`,
#                                 `kestrune-cli update` and the desktop window's update (compare,
#                                 Update, the comparison after it), all in one run
#
# (default 3 runs per tool; prints the medians and the ratios). The trees are generated once
# under bench/data/ (git-ignored) and reused. Each run starts from an empty destination after
# the previous copy has been written out (`sync`), so no tool pays for another's write-back.
# The large tree uses kestrune-cli of the release build in build/release; the small one builds
# kestrune-cli and the window benchmark (bench/ui/update_window_bench.cpp) in build/bench, and
# runs the window on Qt's offscreen platform, which paints as on a screen.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mode=large
if [ "${1:-}" = small ]; then mode=small; shift; fi
runs=${1:-3}
data="$root/bench/data"
src="$data/update-src"
dest="$data/update-dest"
cli="$root/build/release/app/kestrune-cli"
tools="cp rsync kestrune"
if [ $mode = small ]; then
    src="$data/update-small-src"
    cli="$root/build/bench/app/kestrune-cli"
    window="$root/build/bench/tests/ui/bench_update_window"
    tools="cp kestrune window"
fi

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

generate_small_tree() {
    echo "Generating $src (once)..." >&2
    rm -rf "$src.tmp"
    /usr/bin/python3 - "$src.tmp" <<'EOF'
import os, random, sys
root = sys.argv[1]
rnd = random.Random(7)
block = os.urandom(1 << 16)
for i in range(50000):
    folder = os.path.join(root, "d%02d" % (i % 50), "e%02d" % (i // 50 % 10))
    os.makedirs(folder, exist_ok=True)
    size = rnd.randint(100, 4096)
    start = rnd.randint(0, len(block) - size)
    with open(os.path.join(folder, "f%05d.txt" % i), "wb") as f:
        f.write(block[start:start + size])
EOF
    mv "$src.tmp" "$src"
}

build_small() {
    echo "Building kestrune-cli and the window benchmark (build/bench, release)..." >&2
    cmake -S "$root" -B "$root/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRUNE_BUILD_TESTS=ON >/dev/null
    cmake --build "$root/build/bench" --target kestrune-cli bench_update_window -j2 >/dev/null
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
[ $mode = small ] || command -v rsync >/dev/null || { echo "bench/update.sh needs rsync (apt-get install rsync)" >&2; exit 1; }
if [ $mode = small ]; then
    [ -d "$src" ] || generate_small_tree
    build_small
else
    [ -d "$src" ] || generate_tree
    build_cli
fi
echo "Tree: $(du -sh "$src" | cut -f1), $(find "$src" -type f | wc -l) files; $runs runs per tool" >&2

# The tools take turns, so a slow spell of the shared disk does not fall on one tool only.
declare -A times result
for ((r = 1; r <= runs; r++)); do
    for tool in $tools; do
        case $tool in
            cp) t=$(time_once cp -a "$src/." "$dest/") ;;
            rsync) t=$(time_once rsync -a "$src/" "$dest/") ;;
            kestrune) t=$(time_once "$cli" update --action left-to-right "$src" "$dest") ;;
            window) t=$(QT_QPA_PLATFORM=offscreen time_once "$window" "$src" "$dest") ;;
        esac
        times[$tool]+="$t "
        echo "  $tool run $r: $t s" >&2
    done
done
for tool in $tools; do
    result[$tool]=$(printf '%s\n' ${times[$tool]} | median)
done
rm -rf "$dest"

printf '%-10s %10s %8s %12s\n' tool "median s" "vs cp" "vs kestrune"
for tool in $tools; do
    printf '%-10s %10.2f %8.2f %12.2f\n' "$tool" "${result[$tool]}" "$(echo "${result[$tool]} / ${result[cp]}" | bc -l)" \
        "$(echo "${result[$tool]} / ${result[kestrune]}" | bc -l)"
done
