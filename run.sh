#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine, builds, and starts the program.
# Arguments are passed on to the program.
set -euo pipefail
KESTRUNE_ROOT=$(cd "$(dirname "$0")" && pwd)
source "$KESTRUNE_ROOT/scripts/setup.sh"
kestrune_install_missing

build="$KESTRUNE_ROOT/build/release"
kestrune_build "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRUNE_BUILD_TESTS=OFF >/dev/null

if [ -x "$build/app/gui/kestrune" ]; then
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "There is no display. Start the program from a desktop session, or try it under Xvfb:" >&2
    echo "  xvfb-run -a $build/app/gui/kestrune" >&2
    exit 1
  fi
  exec "$build/app/gui/kestrune" "$@"
fi
exec "$build/app/kestrune-cli" "$@"
