#!/usr/bin/env bash
# Measures how well `kestrune-cli update --bwlimit` keeps to its rate, against `rsync --bwlimit`
# over the same OpenSSH sshd on loopback (started here, keys made for the run): a 50 MiB file is
# uploaded at RATE, and each tool's average rate over its whole run (connection, login and
# comparison included) is printed as a share of RATE. The target: 95% to 100%.
#
#   bench/bwlimit.sh [RATE_MIB] [SIZE_MIB]     (defaults 2 and 50)
#
# kestrune-cli comes from the release build in build/release, built here when missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rate_mib=${1:-2}
size_mib=${2:-50}
data="$root/bench/data/bwlimit"
cli=${KESTRUNE_CLI:-"$root/build/release/app/kestrune-cli"}

source "$root/bench/build_cli.sh"
source "$root/bench/servers.sh"
source "$root/bench/timing.sh"

for tool in rsync bc; do command -v "$tool" >/dev/null || { echo "bench/bwlimit.sh needs $tool" >&2; exit 1; }; done
mkdir -p "$data/src"
if [ "$(stat -c %s "$data/src/big.bin" 2>/dev/null || echo 0)" != $((size_mib * 1048576)) ]; then
    head -c $((size_mib * 1048576)) /dev/urandom >"$data/src/big.bin.tmp" && mv "$data/src/big.bin.tmp" "$data/src/big.bin"
fi
build_cli
start_sshd
trust_sshd "$sshd_port"
user=$(id -un)
location="sftp://$user@127.0.0.1:$sshd_port"
ssh_opts="-p $sshd_port -F /dev/null -i $run/home/.ssh/id_ed25519 -o UserKnownHostsFile=$run/home/.ssh/known_hosts -o BatchMode=yes"

kestrune() { HOME="$run/home" "$cli" "$@"; }
share() { echo "scale=1; 100 * $size_mib / $rate_mib / $1" | bc; }

rm -rf "$data/up" && mkdir -p "$data/up"
t_kn=$(time_once kestrune update "$data/src" "$location$data/up" --action left-to-right --bwlimit "${rate_mib}M")
cmp "$data/src/big.bin" "$data/up/big.bin"
rm -rf "$data/up" && mkdir -p "$data/up"
t_rsync=$(time_once rsync -a --bwlimit=$((rate_mib * 1024)) -e "ssh $ssh_opts" "$data/src/" "$user@127.0.0.1:$data/up/")
rm -rf "$data/up"

echo "${size_mib} MiB at --bwlimit ${rate_mib}M over SFTP on loopback, load $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-12s %8s s  %6s%% of the rate\n' kestrune-cli "$t_kn" "$(share "$t_kn")" rsync "$t_rsync" "$(share "$t_rsync")"
end_servers
