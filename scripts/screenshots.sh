#!/usr/bin/env bash
# Makes the README's screenshots: the main window after a comparison of two demo trees, the
# differences window of one pair, the plan marks of a Left to Right update and the
# confirmation of a Force Update with its totals, under Xvfb at 1280x800.
# Usage: scripts/screenshots.sh [OUTPUT-FOLDER] (default docs/)
# KESTRUNE_SCREENSHOT_BUILD=DIR takes the programs from an existing build instead;
# KESTRUNE_SCREENSHOT_DISPLAY=:N picks the Xvfb display (default :97).
set -euo pipefail
KESTRUNE_ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$KESTRUNE_ROOT/scripts/setup.sh"
kestrune_packages+=(xdotool imagemagick)
kestrune_install_missing
build=${KESTRUNE_SCREENSHOT_BUILD:-}
if [ -z "$build" ]; then
  build="$KESTRUNE_ROOT/build/release"
  kestrune_build "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRUNE_BUILD_TESTS=OFF >/dev/null
fi

out=${1:-$KESTRUNE_ROOT/docs}
mkdir -p "$out"
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

# Two demo trees: a project and its older copy.
demo() { mkdir -p "$(dirname "$1")"; printf '%b' "$2" > "$1"; touch -d "$3" "$1"; }
L=$work/Projects/website R=$work/Backup/website
for side in "$L" "$R"; do
  demo "$side/index.html" '<html>\n<body>\n<h1>Welcome</h1>\n</body>\n</html>\n' '2026-11-02 10:00'
  demo "$side/img/logo.png" 'PNG' '2026-10-01 09:00'
done
demo "$L/css/site.css" 'body {\n  margin: 0;\n  font-family: sans-serif;\n  color: #222;\n}\nh1 {\n  font-size: 2em;\n}\n' '2026-12-01 16:20'
demo "$R/css/site.css" 'body {\n  margin: 0;\n  color: #333;\n}\nh1 {\n  font-size: 2em;\n}\n' '2026-11-20 08:15'
demo "$L/about.html" '<p>About us</p>\n' '2026-12-03 11:00'
demo "$R/notes/old-plan.txt" 'Plan from last year\n' '2025-06-10 14:30'
demo "$L/js/app.js" 'console.log("v2");\n' '2026-12-05 18:45'
demo "$R/js/app.js" 'console.log("v1");\n' '2026-11-05 18:45'
demo "$R/contact.html" '<p>Mail us</p>\n' '2026-12-04 12:00'
demo "$L/contact.html" '<p>Mail us!</p>\n' '2026-12-04 12:00'

# A configuration that opens with both folders filled in and a window of 1000x640.
home=$work/home
mkdir -p "$home"
KESTRUNE_HOME=$home "$build/app/kestrune-cli" presets >/dev/null
/usr/bin/python3 - "$home/Kestrune.bin" "$L" "$R" <<'PY'
import struct, sys
path, left, right = sys.argv[1:4]
with open(path, 'r+b') as f:
    f.seek(64); f.write(struct.pack('<iiii', 40, 40, 1000, 640)); f.write(b'\0')
    for offset, text in ((128 + 32, left), (128 + 288, right)):
        f.seek(offset); f.write(text.encode()[:255].ljust(256, b'\0'))
PY

export DISPLAY=${KESTRUNE_SCREENSHOT_DISPLAY:-:97}
Xvfb $DISPLAY -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
sleep 1
KESTRUNE_HOME=$home "$build/app/gui/kestrune" >/dev/null 2>&1 &
app=$!
window=""
for _ in $(seq 50); do
  window=$(xdotool search --sync --onlyvisible --name 'Kestrune' 2>/dev/null | head -1) && [ -n "$window" ] && break
  sleep 0.2
done
[ -n "$window" ] || { echo "the main window did not appear" >&2; exit 1; }
xdotool windowfocus --sync "$window"
xdotool key F5
sleep 2
import -window root -crop 1060x700+20+20 "$out/main-window.png"

# Left to Right (F4 from Auto): the plan marks; then Force Update's confirmation with its
# totals, cancelled; then F4 twice, back to Auto.
xdotool key F4
sleep 1
import -window root -crop 1060x700+20+20 "$out/plan-marks.png"
xdotool key F7
confirm=""
for _ in $(seq 50); do
  confirm=$(xdotool search --onlyvisible --name 'Updating Confirmation' 2>/dev/null | head -1) && [ -n "$confirm" ] && break
  sleep 0.2
done
[ -n "$confirm" ] || { echo "the confirmation did not appear" >&2; exit 1; }
sleep 1
import -window "$confirm" "$out/update-confirmation.png"
xdotool key Escape
sleep 1
xdotool key F4 F4
sleep 1

# Select the style sheet's row (the fifth) and show its differences.
xdotool key Tab Tab Tab Home
for _ in 1 2 3 4; do xdotool key Down; done
xdotool key F8
sleep 2
import -window root "$out/differences-window.png"

kill $app 2>/dev/null || true
echo "screenshots in $out"
