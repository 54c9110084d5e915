#!/usr/bin/env bash
# Times SFTP transfers and listings of kestrune-cli against OpenSSH's sftp client, both talking
# to one OpenSSH sshd on loopback (started here on a free port, with keys made for the run):
#   upload    a 200 MB file: `kestrune-cli update ... --action left-to-right` vs `sftp -b` put
#   download  the same file back: `... --action right-to-left` vs `sftp -b` get
#   listing   10,000 files in 100 folders: `kestrune-cli compare LOCAL sftp://...` vs `sftp -b`
#             with `ls -l` of every folder (the recursive listing the comparison needs)
#   content   the 200 MB file against a copy with another time: `kestrune-cli compare
#             --content` (which streams the server's file and compares it as it arrives) vs
#             the sftp get of the download
# kestrune-cli's times include its connection, login and comparison; so do sftp's.
#
#   bench/sftp.sh [RUNS]     (default 3 runs per tool; prints the medians and the ratios)
#
# The data is generated once under bench/data (git-ignored). kestrune-cli comes from the
# release build in build/release, built here when missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-3}
data="$root/bench/data"
tree="$data/sftp-tree"
big="$data/sftp-big"
cli=${KESTRUNE_CLI:-"$root/build/release/app/kestrune-cli"}

source "$root/bench/build_cli.sh"
source "$root/bench/servers.sh"
source "$root/bench/timing.sh"
source "$root/bench/trees.sh"

# OpenSSH's sftp reads the password database's home, not $HOME: it is given the run's files.
sftp_batch() {
    sftp -q -b "$1" -P "$sshd_port" -F /dev/null -i "$run/home/.ssh/id_ed25519" \
        -o UserKnownHostsFile="$run/home/.ssh/known_hosts" -o BatchMode=yes "$(id -un)@127.0.0.1"
}

kestrune() { HOME="$run/home" "$cli" "$@"; }

command -v bc >/dev/null || { echo "bench/sftp.sh needs bc (apt-get install bc)" >&2; exit 1; }
mkdir -p "$data"
[ -d "$tree" ] || generate_tree "$tree"
if [ ! -f "$big/src/big.bin" ]; then
    echo "Generating a 200 MB file (once)..." >&2
    mkdir -p "$big/src"
    head -c $((200 * 1048576)) /dev/urandom >"$big/src/big.bin.tmp" && mv "$big/src/big.bin.tmp" "$big/src/big.bin"
fi
if [ ! -f "$big/same/big.bin" ]; then
    mkdir -p "$big/same"
    cp "$big/src/big.bin" "$big/same/big.bin"  # same bytes, the time of the copy
fi
build_cli
start_sshd
trust_sshd "$sshd_port"
location="sftp://$(id -un)@127.0.0.1:$sshd_port"

for d in $(ls "$tree"); do echo "ls -l $tree/$d"; done >"$run/list.batch"
echo "put $big/src/big.bin $big/up/big.bin" >"$run/put.batch"
echo "get $big/src/big.bin $big/down/big.bin" >"$run/get.batch"
prepare() { rm -rf "$big/up" "$big/down"; mkdir -p "$big/up" "$big/down"; }

declare -A result
tools=(sftp-put kestrune-upload sftp-get kestrune-download sftp-ls kestrune-compare kestrune-content)
for tool in "${tools[@]}"; do
    times=()
    for ((r = 1; r <= runs; r++)); do
        prepare
        case $tool in
            sftp-put) t=$(time_once sftp_batch "$run/put.batch") ;;
            sftp-get) t=$(time_once sftp_batch "$run/get.batch") ;;
            sftp-ls) t=$(time_once sftp_batch "$run/list.batch") ;;
            kestrune-upload) t=$(time_once kestrune update "$big/src" "$location$big/up" --action left-to-right) ;;
            kestrune-download) t=$(time_once kestrune update "$big/down" "$location$big/src" --action right-to-left) ;;
            kestrune-compare) t=$(time_once kestrune compare "$tree" "$location$tree") ;;
            kestrune-content) t=$(time_once kestrune compare --content "$big/same" "$location$big/src") ;;
        esac
        times+=("$t")
        echo "  $tool run $r: $t s" >&2
    done
    result[$tool]=$(printf '%s\n' "${times[@]}" | median)
done
prepare
kestrune update "$big/src" "$location$big/up" --action left-to-right >/dev/null
cmp "$big/src/big.bin" "$big/up/big.bin" && echo "upload checked: identical" >&2
rm -rf "$big/up" "$big/down"

printf '%-18s %10s\n' tool "median s"
for tool in "${tools[@]}"; do printf '%-18s %10.2f\n' "$tool" "${result[$tool]}"; done
ratio() { echo "${result[$1]} / ${result[$2]}" | bc -l; }
printf 'upload:   kestrune speed / sftp speed = %.2f\n' "$(ratio sftp-put kestrune-upload)"
printf 'download: kestrune speed / sftp speed = %.2f\n' "$(ratio sftp-get kestrune-download)"
printf 'listing:  kestrune time / sftp time   = %.2f\n' "$(ratio kestrune-compare sftp-ls)"
printf 'content:  kestrune time / sftp get time = %.2f\n' "$(ratio kestrune-content sftp-get)"
