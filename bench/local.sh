#!/usr/bin/env bash
# Times local copies with no disk in the way: 20,000 files of 1 to 20 KiB (about 200 MiB) in
# 200 folders, from tmpfs into tmpfs (/dev/shm), so the figures are system calls and CPU.
#
#   bench/local.sh [RUNS] [CLI]
#
# - copy:  into an empty folder: `cp -a`, `rsync -a`, `kestrune-cli update --action
#          left-to-right` (both of its comparisons included)
# - no-op: the same update between two identical trees: `rsync -a` and `kestrune-cli update`
# then one traced run of each (`strace -c -f`): the system calls per file.
#
# The tools take turns in every run (default 5 runs); medians and their ratios are printed,
# of the wall time and of the CPU time (user + system, all threads): on a machine shared with
# other work a tool with several threads gets a larger share of the cores than a tool with one,
# so the CPU figures tell the work done when the load is high.
# CLI defaults to the release kestrune-cli in build/release (built when missing); another
# build (an older commit's, say) can be given to compare.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
cli=${2:-$root/build/release/app/kestrune-cli}
work=$(mktemp -d /dev/shm/kestrune-local-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
src="$work/src"
dest="$work/dest"

for tool in rsync bc strace /usr/bin/time; do
    command -v $tool >/dev/null || { echo "bench/local.sh needs $tool (apt-get install $tool)" >&2; exit 1; }
done
source "$root/bench/build_cli.sh"
source "$root/bench/timing.sh"
source "$root/bench/trees.sh"
build_cli

generate_copy_tree "$src" 20000 20 1024 $((20 * 1024))
files=$(find "$src" -type f | wc -l)
echo "Tree: $(du -sh "$src" | cut -f1), $files files, in $work; $runs runs per tool" >&2

# seconds COMMAND...: runs it once; prints the wall seconds it took and its CPU seconds.
seconds() {
    local start end user system
    start=$(date +%s.%N)
    /usr/bin/time -f "%U %S" -o "$work/cpu.txt" "$@" >/dev/null 2>&1 || { echo "bench/local.sh: $1 failed" >&2; exit 1; }
    end=$(date +%s.%N)
    read -r user system <"$work/cpu.txt"
    echo "$(echo "$end - $start" | bc -l) $(echo "$user + $system" | bc -l)"
}

fresh_dest() { rm -rf "$dest" && mkdir "$dest"; }
same_dest() { rm -rf "$dest" && cp -a "$src/." "$dest/"; }
check() { diff -rq "$src" "$dest" >/dev/null || { echo "bench/local.sh: $1 made a different tree" >&2; exit 1; }; }

echo "Load average before: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
declare -A times cpus
for ((r = 1; r <= runs; r++)); do
    for tool in copy-cp copy-rsync copy-kestrune noop-rsync noop-kestrune; do
        case $tool in
            copy-cp) fresh_dest; t=$(seconds cp -a "$src/." "$dest/") ;;
            copy-rsync) fresh_dest; t=$(seconds rsync -a "$src/" "$dest/") ;;
            copy-kestrune) fresh_dest; t=$(seconds "$cli" update --action left-to-right "$src" "$dest") ;;
            noop-rsync) same_dest; t=$(seconds rsync -a "$src/" "$dest/") ;;
            noop-kestrune) same_dest; t=$(seconds "$cli" update --action left-to-right "$src" "$dest") ;;
        esac
        check "$tool"
        read -r wall cpu <<<"$t"
        times[$tool]+="$wall "
        cpus[$tool]+="$cpu "
        echo "  $tool run $r: $wall s, CPU $cpu s" >&2
    done
done

echo "Load average after: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
declare -A m c
for tool in "${!times[@]}"; do
    m[$tool]=$(printf '%s\n' ${times[$tool]} | median)
    c[$tool]=$(printf '%s\n' ${cpus[$tool]} | median)
done
ratio() { echo "$1 / $2" | bc -l; }
# row LABEL TOOL [BASE]: the medians of TOOL, and their ratios to BASE's.
row() {
    if [ $# -eq 2 ]; then
        printf '%-28s %9.3f %9s %9.3f\n' "$1" "${m[$2]}" "" "${c[$2]}"
    else
        printf '%-28s %9.3f %9.2f %9.3f %9.2f  (vs %s)\n' "$1" "${m[$2]}" "$(ratio "${m[$2]}" "${m[$3]}")" \
            "${c[$2]}" "$(ratio "${c[$2]}" "${c[$3]}")" "${3#*-} -a"
    fi
}
printf '%-28s %9s %9s %9s %9s\n' work "median s" ratio "CPU s" ratio
row "copy: cp -a" copy-cp
row "copy: rsync -a" copy-rsync copy-cp
row "copy: kestrune-cli update" copy-kestrune copy-cp
row "no-op: rsync -a" noop-rsync
row "no-op: kestrune-cli update" noop-kestrune noop-rsync

# System calls per file, from one traced run of each: the copies, and the no-op update (its
# two comparisons' share of a copy's calls: the update's comparison before and after).
echo "System calls per file (strace -c -f, one run each):"
for tool in cp kestrune kestrune-noop; do
    if [ $tool = kestrune-noop ]; then same_dest; else fresh_dest; fi
    case $tool in
        cp) strace -c -f -o "$work/strace.txt" cp -a "$src/." "$dest/" ;;
        kestrune*) strace -c -f -o "$work/strace.txt" "$cli" update --action left-to-right "$src" "$dest" >/dev/null 2>&1 ;;
    esac
    awk -v files="$files" -v tool="$tool" '
        $NF ~ /^(openat|open|newfstatat|fstat|statx|lseek|futex|copy_file_range|read|write|close|getdents64)$/ {
            line = line sprintf(" %s %.2f", $NF, $4 / files)
        }
        END { print "  " tool ":" line }' "$work/strace.txt"
done
