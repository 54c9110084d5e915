#!/usr/bin/env bash
# Times object store sides against rclone on the same radosgw (a one-node Ceph cluster on
# loopback, started here by tests/common/s3_server.sh):
#   small-up       500 small files (10 folders, 100 B - 8 KB) into an empty bucket:
#                  kestrune-cli update (its comparisons included) against `rclone copy --transfers 4`
#   big-up         one file of S3_BIG_MIB MiB (default 1024) the same way; kestrune's peak
#                  memory (maximum resident set) is printed beside it
#   compare-seen   a prefix of S3_COMPARE_COUNT objects (default 20,000, in 20 folders) that the
#                  last run saw: kestrune-cli compare against `rclone lsl`
#   compare-first  the same with no record of the last run (a HEAD for every object)
#
#   bench/s3.sh [RUNS]     RUNS per tool (default 3); medians are compared
#
# The trees are generated once under bench/data (git-ignored). kestrune-cli comes from the
# release build in build/release, built here when missing (KESTRUNE_CLI names another).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-3}
data="$root/bench/data"
cli=${KESTRUNE_CLI:-"$root/build/release/app/kestrune-cli"}
big_mib=${S3_BIG_MIB:-1024}
count=${S3_COMPARE_COUNT:-20000}

source "$root/bench/build_cli.sh"
source "$root/bench/timing.sh"
source "$root/bench/trees.sh"

for tool in rclone bc /usr/bin/time; do command -v "$tool" >/dev/null || { echo "bench/s3.sh needs $tool" >&2; exit 1; }; done
small="$data/latency-small"
many="$data/s3-many-$count"
big="$data/s3-big-$big_mib"
[ -d "$small" ] || generate_upload_tree "$small"
[ -d "$many" ] || stamped_tree "$many" "$count" 20 file%05d.txt 0 2048 13 x
if [ ! -d "$big" ]; then
    mkdir -p "$big.tmp" && head -c "$((big_mib << 20))" /dev/urandom >"$big.tmp/big.bin" && mv "$big.tmp" "$big"
fi
build_cli

run=$(mktemp -d)
trap 'bash "$root/tests/common/s3_server.sh" stop "$run/s3" >/dev/null 2>&1 || true; rm -rf "$run"' EXIT
mkdir -p "$run/s3"
start=$(date +%s.%N)
bash "$root/tests/common/s3_server.sh" start "$run/s3" >"$run/s3.log" 2>&1
printf 'radosgw started in %.1f s\n' "$(echo "$(date +%s.%N) - $start" | bc -l)"
source "$run/s3/s3.env"
export RCLONE_CONFIG_KNB_TYPE=s3 RCLONE_CONFIG_KNB_PROVIDER=Ceph RCLONE_CONFIG_KNB_ACCESS_KEY_ID="$ACCESS_KEY" \
    RCLONE_CONFIG_KNB_SECRET_ACCESS_KEY="$SECRET_KEY" RCLONE_CONFIG_KNB_ENDPOINT="$ENDPOINT"
unset AWS_CA_BUNDLE  # Debian's rclone 1.60 cannot take it over its own transport
export KESTRUNE_HOME="$run/home"
mkdir -p "$KESTRUNE_HOME"
s3="s3://$ACCESS_KEY:$SECRET_KEY@127.0.0.1:$PORT"
rclone mkdir "knb:many" && rclone copy --transfers 16 "$many" "knb:many"

declare -A times
for ((i = 1; i <= runs; i++)); do
    for what in small big; do
        tree=$small
        [ "$what" = big ] && tree=$big
        rclone mkdir "knb:r$i-$what" && rclone mkdir "knb:k$i-$what"
        times[rclone-$what]+="$(time_once rclone copy --transfers 4 "$tree" "knb:r$i-$what") "
        if [ "$what" = big ]; then
            start=$(date +%s.%N)
            /usr/bin/time -f %M -o "$run/rss" "$cli" update "$tree" "$s3/k$i-$what;http" --action left-to-right >/dev/null
            times[kestrune-$what]+="$(echo "$(date +%s.%N) - $start" | bc -l) "
            echo "kestrune big-up run $i: peak memory $(($(cat "$run/rss") / 1024)) MiB"
        else
            times[kestrune-$what]+="$(time_once "$cli" update "$tree" "$s3/k$i-$what;http" --action left-to-right) "
        fi
    done
    times[rclone-lsl]+="$(time_once rclone lsl "knb:many") "
    rm -f "$KESTRUNE_HOME/written.sqlite"
    times[kestrune-first]+="$(time_once "$cli" compare "$many" "$s3/many;http") "
    times[kestrune-seen]+="$(time_once "$cli" compare "$many" "$s3/many;http") "
done

med() { tr ' ' '\n' <<<"${times[$1]}" | grep . | median; }
ratio() { echo "$(med "$1") / $(med "$2")" | bc -l; }
for tool in rclone-small kestrune-small rclone-big kestrune-big rclone-lsl kestrune-first kestrune-seen; do
    printf '%-16s median %8.2f s  (%s)\n' "$tool" "$(med "$tool")" "${times[$tool]}"
done
printf 'small-up:      kestrune / rclone copy = %.2f (target at most 0.80)\n' "$(ratio kestrune-small rclone-small)"
printf 'big-up:        kestrune / rclone copy = %.2f (target at most 0.80)\n' "$(ratio kestrune-big rclone-big)"
printf 'compare-seen:  kestrune / rclone lsl  = %.2f (target at most 0.20)\n' "$(ratio kestrune-seen rclone-lsl)"
printf 'compare-first: kestrune / rclone lsl  = %.2f (target at most 1.00)\n' "$(ratio kestrune-first rclone-lsl)"
