#!/usr/bin/env bash
# Times WebDAV against rclone on loopback: Apache 2.4 with mod_dav_fs behind
# bench/latency/delay_proxy.py, which holds every byte 10 ms in each direction (20 ms a round
# trip), as a long link would.
#   small-up / small-down   500 small files (10 folders, 100 B - 8 KB) into an empty folder:
#                           kestrune-cli update (its comparison before and after included)
#                           against `rclone copy --transfers 4`
#   compare                 a tree of 10,000 files in 100 folders, equal on both sides:
#                           kestrune-cli compare against `rclone lsl` of the same folder
#
#   bench/webdav.sh [RUNS]            RUNS per tool (default 3); medians are compared
#   WEBDAV_DELAY_MS=10                the delay each way
#
# The trees are generated once under bench/data (git-ignored). kestrune-cli comes from the
# release build in build/release, built here when missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-3}
data="$root/bench/data"
cli=${KESTRUNE_CLI:-"$root/build/release/app/kestrune-cli"}
delay_ms=${WEBDAV_DELAY_MS:-10}

source "$root/bench/build_cli.sh"
source "$root/bench/servers.sh"
source "$root/bench/timing.sh"
source "$root/bench/trees.sh"

for tool in rclone bc setpriv; do command -v "$tool" >/dev/null || { echo "bench/webdav.sh needs $tool" >&2; exit 1; }; done
[ -x /usr/sbin/apache2 ] || { echo "bench/webdav.sh needs apache2 (scripts/setup.sh installs it)" >&2; exit 1; }
small="$data/latency-small"
tree="$data/sftp-tree"
[ -d "$small" ] || generate_upload_tree "$small"
[ -d "$tree" ] || generate_tree "$tree"
build_cli

# Apache serves $run/www as the unprivileged user; the trees to download and compare are there.
www="$run/www"
mkdir -p "$www/up" "$www/down-src" "$run/apache"
cp -a "$small/." "$www/down-src/"
cp -a "$tree" "$www/tree"
chown -R 65534:65534 "$www" "$run/apache"
chmod 755 "$run"
apache_port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
modules=/usr/lib/apache2/modules
cat >"$run/apache/httpd.conf" <<CONF
ServerRoot $run/apache
ServerName 127.0.0.1
PidFile $run/apache/httpd.pid
DefaultRuntimeDir $run/apache
Mutex file:$run/apache default
ErrorLog $run/apache/error.log
Listen 127.0.0.1:$apache_port
LoadModule mpm_event_module $modules/mod_mpm_event.so
LoadModule authz_core_module $modules/mod_authz_core.so
LoadModule dav_module $modules/mod_dav.so
LoadModule dav_fs_module $modules/mod_dav_fs.so
DavLockDB $run/apache/lockdb
DocumentRoot $www
<Directory $www>
  Dav On
  Options None
  Require all granted
</Directory>
CONF
chown 65534:65534 "$run/apache/httpd.conf"
setpriv --reuid=65534 --regid=65534 --clear-groups /usr/sbin/apache2 -f "$run/apache/httpd.conf" -DFOREGROUND &
pids+=($!)
for _ in $(seq 100); do (exec 9<>"/dev/tcp/127.0.0.1/$apache_port") 2>/dev/null && break; sleep 0.1; done
start_helper port proxy /usr/bin/python3 "$root/bench/latency/delay_proxy.py" --to "$apache_port" --delay-ms "$delay_ms"

dav="dav://127.0.0.1:$port"
remote=":webdav,url='http://127.0.0.1:$port',vendor=other:"
export KESTRUNE_HOME="$run/home"
mkdir -p "$KESTRUNE_HOME" "$run/rclone"
rc() { rclone --config "$run/rclone/rclone.conf" --cache-dir "$run/rclone" -q "$@"; }
prepare() {
    rm -rf "$www/up" "$run/down"
    mkdir -p "$www/up" "$run/down"
    chown 65534:65534 "$www/up"
}

declare -A result
tools=(rclone-up kestrune-up rclone-down kestrune-down rclone-lsl kestrune-compare)
for tool in "${tools[@]}"; do
    times=()
    for ((r = 1; r <= runs; r++)); do
        prepare
        case $tool in
            rclone-up) t=$(time_once rc copy --transfers 4 "$small" "$remote/up") ;;
            rclone-down) t=$(time_once rc copy --transfers 4 "$remote/down-src" "$run/down") ;;
            rclone-lsl) t=$(time_once rc lsl "$remote/tree") ;;
            kestrune-up) t=$(time_once "$cli" update "$small" "$dav/up" --action left-to-right) ;;
            kestrune-down) t=$(time_once "$cli" update "$run/down" "$dav/down-src" --action right-to-left) ;;
            kestrune-compare) t=$(time_once "$cli" compare "$tree" "$dav/tree") ;;
        esac
        times+=("$t")
        echo "  $tool run $r: $t s" >&2
    done
    result[$tool]=$(printf '%s\n' "${times[@]}" | median)
done
prepare
"$cli" update "$small" "$dav/up" --action left-to-right >/dev/null
"$cli" update "$run/down" "$dav/down-src" --action right-to-left >/dev/null
# Apache keeps its properties in .DAV folders beside the files.
diff -r -x .DAV "$small" "$www/up" >/dev/null && echo "upload checked: identical" >&2
diff -r "$small" "$run/down" >/dev/null && echo "download checked: identical" >&2
"$cli" compare "$small" "$dav/up" >/dev/null && echo "compared again after the upload: nothing differs" >&2

printf '%-18s %10s\n' tool "median s"
for tool in "${tools[@]}"; do printf '%-18s %10.2f\n' "$tool" "${result[$tool]}"; done
ratio() { echo "${result[$1]} / ${result[$2]}" | bc -l; }
printf 'upload:   kestrune time / rclone copy time = %.2f (target at most 0.70)\n' "$(ratio kestrune-up rclone-up)"
printf 'download: kestrune time / rclone copy time = %.2f (target at most 0.70)\n' "$(ratio kestrune-down rclone-down)"
printf 'compare:  kestrune time / rclone lsl time  = %.2f (target at most 1.00)\n' "$(ratio kestrune-compare rclone-lsl)"
