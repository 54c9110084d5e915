#!/usr/bin/env bash
# Two-way runs over a slow SFTP link against the one-way update and the comparison of the same
# pair, all in the same run: OpenSSH's sshd behind bench/latency/delay_proxy.py, which holds
# every byte 10 ms in each direction, and the 500 small files of bench/latency.sh (10 folders,
# 100 B - 8 KB).
#   one-way upload       kestrune-cli update TREE sftp://.../a --action left-to-right (empty a)
#   first two-way run    kestrune-cli update TREE sftp://.../b --action two-way (empty b, no state)
#   two-way, nothing to do   the same again, with the state the first run left
#   comparison           kestrune-cli compare TREE sftp://.../b
# Targets: the first two-way run at most 1.2 times the one-way upload; a two-way run with nothing
# to do at most 1.1 times the comparison. For reference, `rclone bisync` (the first with --resync,
# then one with nothing to do) over the same link.
#
#   bench/twoway/sftp.sh [RUNS]        RUNS of each, the tools taking turns (default 3); medians
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
runs=${1:-3}
data="$root/bench/data"
cli=${KESTRUNE_CLI:-"$root/build/release/app/kestrune-cli"}

source "$root/bench/build_cli.sh"
source "$root/bench/servers.sh"
source "$root/bench/timing.sh"
source "$root/bench/trees.sh"

small="$data/latency-small"
[ -d "$small" ] || generate_upload_tree "$small"
build_cli
start_sshd
start_helper ssh_port proxy /usr/bin/python3 "$root/bench/latency/delay_proxy.py" --to "$sshd_port" --delay-ms 10
trust_sshd "$ssh_port"
user=$(id -un)
key="$run/home/.ssh/id_ed25519"
location="sftp://$user@127.0.0.1:$ssh_port$run/served"
# A failed run leaves its output in bench/data/last-failure.txt (the timing hides it).
kestrune() { HOME="$run/home" KESTRUNE_HOME="$run/state" "$cli" "$@" >"$run/kestrune.out" 2>&1 || { local rc=$?; cp "$run/kestrune.out" "$root/bench/data/last-failure.txt"; return $rc; }; }
rclone_remote=":sftp,host=127.0.0.1,port=$ssh_port,user=$user,key_file=$key,known_hosts_file=$run/home/.ssh/known_hosts:"
bisync() {
    rclone bisync --config /dev/null --workdir "$run/bisync" --sftp-disable-hashcheck "$@" >"$run/rclone.out" 2>&1
}

declare -A times
add() { times[$1]="${times[$1]:-} $2"; }
for ((r = 1; r <= runs; r++)); do
    rm -rf "$run/served" "$run/state" "$run/bisync" && mkdir -p "$run/served/a" "$run/served/b" "$run/served/c" "$run/state"
    add one-way "$(time_once kestrune update "$small" "$location/a" --action left-to-right)"
    add first "$(time_once kestrune update "$small" "$location/b" --action two-way)"
    diff -r "$small" "$run/served/b" >/dev/null || { echo "the two-way copy differs" >&2; exit 1; }
    add noop "$(time_once kestrune update "$small" "$location/b" --action two-way)"
    grep -q "Done: 0 files copied" "$run/kestrune.out" || { echo "the second run did something:" >&2; tail -3 "$run/kestrune.out" >&2; exit 1; }
    add compare "$(time_once kestrune compare "$small" "$location/b")"
    if command -v rclone >/dev/null; then
        add bisync-first "$(time_once bisync "$small" "$rclone_remote$run/served/c" --resync)"
        add bisync-noop "$(time_once bisync "$small" "$rclone_remote$run/served/c")"
    fi
    echo "  round $r:$(for k in one-way first noop compare; do printf ' %s %s' "$k" "${times[$k]##* }"; done)" >&2
done

med() { printf '%s\n' ${times[$1]} | median; }
printf '%-34s %10s %10s\n' "run (500 files, 10 ms each way)" "median s" "ratio"
printf '%-34s %10.2f\n' "one-way upload" "$(med one-way)"
printf '%-34s %10.2f %10.2f  (of the one-way upload; target <= 1.2)\n' "first two-way run" "$(med first)" \
    "$(echo "$(med first) / $(med one-way)" | bc -l)"
printf '%-34s %10.2f\n' "comparison" "$(med compare)"
printf '%-34s %10.2f %10.2f  (of the comparison; target <= 1.1)\n' "two-way, nothing to do" "$(med noop)" \
    "$(echo "$(med noop) / $(med compare)" | bc -l)"
if [ -n "${times[bisync-first]:-}" ]; then
    printf '%-34s %10.2f\n' "rclone bisync --resync" "$(med bisync-first)"
    printf '%-34s %10.2f\n' "rclone bisync, nothing to do" "$(med bisync-noop)"
fi
