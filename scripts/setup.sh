#!/usr/bin/env bash
# Installs what building, testing and running need on a fresh Debian 12 machine, skipping
# packages that are already there. Sourced by run.sh and test.sh.
set -euo pipefail

kestrune_packages=(
  cmake g++ ninja-build ccache pkg-config clang-format git
  qt6-base-dev qt6-base-dev-tools libgl-dev qtkeychain-qt6-dev
  libgtest-dev libgmock-dev
  python3 python3-pyftpdlib python3-openssl
  vsftpd libssl-dev openssl
  libhiredis0.14 libmemcached11 libmemcachedutil2 libpcre2-posix3
  libssh-dev openssh-server openssh-client gesftpserver
  libsqlite3-dev
  libcurl4-openssl-dev libexpat1-dev
  apache2 lighttpd lighttpd-mod-webdav lighttpd-mod-openssl nginx libnginx-mod-http-dav-ext rclone
  xvfb xauth adwaita-icon-theme fonts-dejavu-core
  desktop-file-utils appstream groff-base
  openbox
  diffutils patch rsync
)

kestrune_install_missing() {
  local missing=()
  for p in "${kestrune_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
  fi
  kestrune_unpack_proftpd
}

# A second FTP server for the tests: Debian's proftpd-core, unpacked (not installed) into
# $KESTRUNE_PROFTPD, since every FTP server package of Debian conflicts with vsftpd's. Its
# libraries come with kestrune_packages; the tests run it from there with a configuration of
# their own.
KESTRUNE_PROFTPD=/opt/kestrune-test/proftpd
kestrune_unpack_proftpd() {
  [ -x "$KESTRUNE_PROFTPD/usr/sbin/proftpd" ] && return 0
  local sudo="" work
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  work=$(mktemp -d)
  (cd "$work" && { apt-get download proftpd-core || { $sudo apt-get update && apt-get download proftpd-core; }; })
  $sudo mkdir -p "$KESTRUNE_PROFTPD"
  $sudo dpkg-deb -x "$work"/proftpd-core_*.deb "$KESTRUNE_PROFTPD"
  rm -rf "$work"
}

# kestrune_build DIR [cmake options...]: configures (once) and builds into DIR.
kestrune_build() {
  local dir=$1; shift
  cmake -S "$KESTRUNE_ROOT" -B "$dir" -G Ninja "$@"
  cmake --build "$dir"
}
