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
cli=${KESTRUNE_CLI:-"$root/build/release/app/kestrune-cli"}  # the large tree; override to time another build
tools="cp rsync kestrune"
if [ $mode = small ]; then
    src="$data/update-small-src"
    cli="$root/build/bench/app/kestrune-cli"
    window="$root/build/bench/tests/ui/bench_update_window"
    tools="cp kestrune window"
fi

# The large tree: four 200 MiB files, and 20,000 small ones of 1 to 20 KiB (about 200 MiB) in
# 200 folders, two levels deep; the small tree: 50,000 files of 100 B to 4 KiB in 500 folders.
generate_large_tree() {
    echo "Generating $src (once)..." >&2
    rm -rf "$src.tmp"
    mkdir -p "$src.tmp/large"
    for i in 1 2 3 4; do
        head -c $((200 * 1024 * 1024)) /dev/urandom >"$src.tmp/large/part$i.bin"
    done
    generate_copy_tree "$src.tmp/small" 20000 20 1024 $((20 * 1024))
    mv "$src.tmp" "$src"
}

source "$root/bench/build_cli.sh"
source "$root/bench/timing.sh"
source "$root/bench/trees.sh"

# copy_once COMMAND...: one timed copy into an empty $dest, checked against $src; prints seconds.
copy_once() {
    rm -rf "$dest"
    mkdir -p "$dest"
    sync
    local t
    t=$(time_once "$@") || exit 1
    diff -rq "$src" "$dest" >/dev/null || { echo "bench/update.sh: $1 made a different tree" >&2; exit 1; }
    echo "$t"
}

command -v bc >/dev/null || { echo "bench/update.sh needs bc (apt-get install bc)" >&2; exit 1; }
[ $mode = small ] || command -v rsync >/dev/null || { echo "bench/update.sh needs rsync (apt-get install rsync)" >&2; exit 1; }
if [ $mode = small ]; then
    [ -d "$src" ] || generate_copy_tree "$src" 50000 50 100 4096
    echo "Building kestrune-cli and the window benchmark (build/bench, release)..." >&2
    build_bench kestrune-cli bench_update_window -j2 >/dev/null
else
    [ -d "$src" ] || generate_large_tree
    build_cli
fi
echo "Tree: $(du -sh "$src" | cut -f1), $(find "$src" -type f | wc -l) files; $runs runs per tool" >&2

# The tools take turns, so a slow spell of the shared disk does not fall on one tool only.
declare -A times result
for ((r = 1; r <= runs; r++)); do
    for tool in $tools; do
        case $tool in
            cp) t=$(copy_once cp -a "$src/." "$dest/") ;;
            rsync) t=$(copy_once rsync -a "$src/" "$dest/") ;;
            kestrune) t=$(copy_once "$cli" update --action left-to-right "$src" "$dest") ;;
            window) t=$(QT_QPA_PLATFORM=offscreen copy_once "$window" "$src" "$dest") ;;
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
