#!/usr/bin/env bash
# Line-difference benchmark: `kestrune-cli diff` with and without --minimal against GNU diff
# and diff --minimal on generated pairs of 10,000, 100,000 and 1,000,000 lines with a few and
# with many scattered edits, two 200,000-line files with half the lines changed (every line
# occurring on both sides), two unrelated 100,000-line files and two 20 MB files of one-letter
# lines (peak memory per line). Prints CPU time, peak memory, the ratios and the changed-line
# count of each tool; then unified output (-u) against diff --minimal -u on the scattered-edit
# pairs, and the time of the marks inside a 20,000-character modified line.
# Usage: bench/diff.sh [SIZES...]   (default: 10000 100000 1000000; QUICK=1 skips the big
# cases, NO_WINDOW=1 the differences window and the build of its library)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
DATA="$ROOT/bench/data/diff"
BUILD="$ROOT/build/release"
CLI="$BUILD/app/kestrune-cli"
SIZES=("${@:-10000 100000 1000000}")
read -r -a SIZES <<< "${SIZES[*]}"

cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRUNE_BUILD_TESTS=OFF \
      -DKESTRUNE_BUILD_GUI=ON > /dev/null
mkdir -p "$DATA"
FILL="$BUILD/bench/diff_window_fill"
if [ -z "${NO_WINDOW:-}" ]; then
  cmake --build "$BUILD" --target kestrune-cli ui -j2 > /dev/null
  # The differences window's load-compare-fill, timed offscreen on the largest pair.
  mkdir -p "$(dirname "$FILL")"
  libs=()
  for lib in ui/libui.a framework/qt/libframework_qt.a config/libconfig.a engine/libengine.a ftp/libftp.a \
             diff/libdiff.a framework/libframework.a; do
    [ -f "$BUILD/$lib" ] && libs+=("$BUILD/$lib")
  done
  # shellcheck disable=SC2046
  c++ -std=c++20 -O2 -fPIC -I"$ROOT" "$ROOT/bench/diff_window_fill.cpp" "${libs[@]}" \
      $(pkg-config --cflags --libs Qt6Widgets) -lpthread -o "$FILL"
else
  cmake --build "$BUILD" --target kestrune-cli -j2 > /dev/null
fi

# measure OUT-FILE COMMAND...: runs the command, keeps its stdout, prints "cpu-seconds peak-KiB".
# CPU time (user + system) rather than wall time, so that other work on the machine does not
# blur the comparison.
measure() {
  local out=$1; shift
  /usr/bin/time -f "%U %S %M" -o "$DATA/time.txt" "$@" > "$out" || [ $? -eq 1 ]
  # A failing status adds a line before the figures.
  tail -n 1 "$DATA/time.txt" | awk '{ printf "%.2f %d\n", $1 + $2, $3 }'

}

# Changed lines: diff's normal output marks each removed line "<" and each added line ">";
# Kestrune counts a modified line as one removed and one added.
diff_count() { grep -c '^[<>]' "$1" || true; }
kestrune_count() {
  sed -n 's/^\([0-9]*\) lines added, \([0-9]*\) lines modified, \([0-9]*\) lines deleted\.\( (approximate)\)\{0,1\}$/\1 \2 \3/p' "$1" |
    awk '{ print $1 + 2 * $2 + $3 } END { if (NR == 0) print 0 }'
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "-" }'; }

# bench_case NAME LINES EDITS MODE: one generated pair through all four runs.
bench_case() {
  local name=$1 n=$2 edits=$3 mode=$4
  local left="$DATA/l_${mode}_${n}_${edits}.txt" right="$DATA/r_${mode}_${n}_${edits}.txt"
  [ -f "$right" ] || /usr/bin/python3 "$ROOT/bench/gen_diff_pair.py" "$n" "$edits" "$n$edits" "$left" "$right" "$mode"
  read -r kt km <<< "$(measure "$DATA/k.out" "$CLI" diff "$left" "$right")"
  read -r kmt kmm <<< "$(measure "$DATA/km.out" "$CLI" diff --minimal "$left" "$right")"
  read -r dt dm <<< "$(measure "$DATA/d.out" diff "$left" "$right")"
  read -r mt mm <<< "$(measure "$DATA/m.out" diff --minimal "$left" "$right")"
  local kc kmc dc mc approx=""
  kc=$(kestrune_count "$DATA/k.out") kmc=$(kestrune_count "$DATA/km.out")
  dc=$(diff_count "$DATA/d.out") mc=$(diff_count "$DATA/m.out")
  grep -q '(approximate)$' "$DATA/k.out" && approx="~"
  printf '%-24s | %6s s %5s MiB | %6s s %5s MiB | %6s s %5s MiB | %6s s %5s MiB | %5s %5s %5s | %s%s / %s / %s / %s' \
    "$name" "$kt" $((km / 1024)) "$kmt" $((kmm / 1024)) "$dt" $((dm / 1024)) "$mt" $((mm / 1024)) \
    "$(ratio "$kt" "$dt")" "$(ratio "$kmt" "$mt")" "$(ratio "$kt" "$mt")" "$approx" "$kc" "$kmc" "$dc" "$mc"
  [ "$kmc" -le "$mc" ] && echo || echo "  <- --minimal found more changed lines than diff --minimal"
}

printf '%-24s | %-19s | %-19s | %-19s | %-19s | %-17s | %s\n' case "kestrune cpu/peak" "kestrune --minimal" \
  "diff" "diff --minimal" "k/d km/dm k/dm" "changed lines k (~ approximate) / km / d / dm"
for n in "${SIZES[@]}"; do
  for edits in $((n / 1000 > 10 ? 10 : n / 1000)) $((n / 100)); do
    bench_case "$n lines, $edits edits" "$n" "$edits" scattered
  done
done
if [ -z "${QUICK:-}" ]; then
  bench_case "200000 lines, half changed" 200000 2000 half
  bench_case "100000 lines, unrelated" 100000 0 unrelated
  bench_case "10M 2-byte lines, 1000 edits" 10000000 1000 short
  size=$(($(stat -c %s "$DATA/l_short_10000000_1000.txt") + $(stat -c %s "$DATA/r_short_10000000_1000.txt")))
  read -r _ peak <<< "$(measure "$DATA/k.out" "$CLI" diff "$DATA/l_short_10000000_1000.txt" "$DATA/r_short_10000000_1000.txt")"
  awk -v peak="$peak" -v size="$size" 'BEGIN { printf "one-letter lines: peak %.0f MiB for %.0f MiB of files (%.1f x), %.1f bytes per line\n", peak / 1024, size / 1048576, peak * 1024 / size, peak * 1024 / (size / 2) }'
fi

# Unified output: kestrune-cli diff -u against diff --minimal -u on the scattered pairs; the
# outputs must both apply with patch to give the right file.
echo
printf '%-24s | %-19s | %-19s | %s\n' case "kestrune -u cpu/peak" "diff --minimal -u" "k/dm"
for n in "${SIZES[@]}"; do
  edits=$((n / 100))
  left="$DATA/l_scattered_${n}_${edits}.txt" right="$DATA/r_scattered_${n}_${edits}.txt"
  read -r ut um <<< "$(measure "$DATA/ku.out" "$CLI" diff -u "$left" "$right")"
  read -r dt dm <<< "$(measure "$DATA/du.out" diff --minimal -u "$left" "$right")"
  patch -s -o "$DATA/patched.txt" "$left" < "$DATA/ku.out"
  cmp -s "$DATA/patched.txt" "$right" || echo "  <- patch of the -u output did not give the right file"
  printf '%-24s | %6s s %5s MiB | %6s s %5s MiB | %s\n' "$n lines, $edits edits" "$ut" $((um / 1024)) "$dt" \
    $((dm / 1024)) "$(ratio "$ut" "$dt")"
done
INLINE="$BUILD/bench/diff_inline"
mkdir -p "$(dirname "$INLINE")"
cmake --build "$BUILD" --target diff -j2 > /dev/null
c++ -std=c++20 -O2 -I"$ROOT" "$ROOT/bench/diff_inline.cpp" "$BUILD/diff/libdiff.a" "$BUILD/framework/libframework.a" \
    -o "$INLINE"
"$INLINE"

[ -n "${NO_WINDOW:-}" ] && exit 0
echo
for n in "${SIZES[@]}"; do
  edits=$((n / 100))
  read -r cpu wall rows <<< "$(QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$DATA} "$FILL" "$DATA/l_scattered_${n}_${edits}.txt" "$DATA/r_scattered_${n}_${edits}.txt")"
  echo "differences window, $n lines with $edits edits: loaded, compared and filled $rows rows in $cpu s CPU ($wall s wall)"
done
