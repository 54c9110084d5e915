#!/usr/bin/env bash
# Makes the README's screenshots under a real window manager (openbox in Xvfb, 1280x800), so
# the window frames are drawn as on a desktop:
#   docs/first-start.png         the main window at the first start (a fresh configuration)
#   docs/main-window.png         the main window after a comparison of two demo trees
#   docs/update-confirmation.png the confirmation of a Force Update over the main window
#   docs/main-window-dark.png    the main window under GTK's dark Adwaita theme, with a two-way plan
#   docs/differences-window.png  the differences window of css/site.css (marks inside lines)
#   docs/differences-window-dark.png  js/app.js in a dark theme (qt6ct's "darker" palette)
#   docs/binary-pair.png         the differences window of img/logo.png, a binary pair
# Every run shows the same pictures: the demo trees have fixed contents and times, and each pair
# is opened by its name (the list's keyboard search) and checked by the differences window's
# title, whatever the order of the list.
# Usage: [KESTRUNE_BUILD=DIR] [KESTRUNE_COMPARE_WAIT=S] scripts/screenshots.sh [OUTPUT-FOLDER]
# (default docs/; KESTRUNE_COMPARE_WAIT gives a slow debug build S more seconds to compare)
set -euo pipefail
KESTRUNE_ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$KESTRUNE_ROOT/scripts/setup.sh"
kestrune_packages+=(xdotool imagemagick qt6-gtk-platformtheme qt6ct)
kestrune_install_missing
# KESTRUNE_BUILD=DIR takes the programs of an existing build instead of building build/release.
build=${KESTRUNE_BUILD:-}
if [ -z "$build" ]; then
  build="$KESTRUNE_ROOT/build/release"
  kestrune_build "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRUNE_BUILD_TESTS=OFF >/dev/null
fi

out=${1:-$KESTRUNE_ROOT/docs}
mkdir -p "$out"
out=$(cd "$out" && pwd)
# The folders the pictures show: one fixed path when no other run holds it, so the folder fields
# read the same in every run; a folder of its own otherwise.
work=/tmp/kestrune-demo
mkdir "$work" 2>/dev/null || work=$(mktemp -d /tmp/kestrune-demo.XXXXXX)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

# Two demo trees: a project and its older copy.
demo() { mkdir -p "$(dirname "$1")"; printf '%b' "$2" > "$1"; touch -d "$3" "$1"; }
L=$work/Projects/website R=$work/Backup/website
for side in "$L" "$R"; do
  demo "$side/index.html" '<html>\n<body>\n<h1>Welcome</h1>\n</body>\n</html>\n' '2026-11-02 10:00'
done
demo "$L/img/logo.png" '\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR\x00\x00\x00\x10\x00\x00\x00\x10' '2026-12-01 09:00'
demo "$R/img/logo.png" '\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR\x00\x00\x00\x20\x00\x00\x00\x20' '2026-10-01 09:00'
demo "$L/css/site.css" 'body {\n  margin: 0;\n  font-family: sans-serif;\n  color: #222;\n}\nh1 {\n  font-size: 2em;\n}\n' '2026-12-01 16:20'
demo "$R/css/site.css" 'body {\n  margin: 0;\n  font-family: serif;\n  color: #333;\n}\nh1 {\n  font-size: 1.5em;\n}\n' '2026-11-20 08:15'
# Odd seconds: the list shows the time a file has, not the comparison's two-second cut.
demo "$L/about.html" '<p>About us</p>\n' '2026-12-03 11:00:05'
demo "$R/notes/old-plan.txt" 'Plan from last year\n' '2025-06-10 14:30'
demo "$L/js/app.js" 'console.log("v2");\n' '2026-12-05 18:45:07'
demo "$R/js/app.js" 'console.log("v1");\n' '2026-11-05 18:45'
demo "$R/contact.html" '<p>Mail us</p>\n' '2026-12-04 12:00'
demo "$L/contact.html" '<p>Mail us!</p>\n' '2026-12-04 12:00'
# Folders take fixed times too, once everything is in them (a one-sided folder shows its time).
find "$work/Projects" "$work/Backup" -type d -exec touch -d '2026-12-01 08:00' {} +

# A display of its own (the first free number), so that runs side by side never shoot each
# other's windows.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(head -1 "$work/display")
sleep 1
openbox >/dev/null 2>&1 &
sleep 1
home=$work/home
mkdir -p "$home"

# wait_window NAME: the id of the visible window whose title matches NAME.
wait_window() {
  local id=""
  for _ in $(seq 50); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1) && [ -n "$id" ] && break
    sleep 0.2
  done
  [ -n "$id" ] || { echo "no window \"$1\" appeared" >&2; exit 1; }
  echo "$id"
}
shoot() { sleep 1.5; import -window root "$out/$1"; }

# The first start: no configuration yet, so the program makes one and opens its help, which
# Esc closes.
KESTRUNE_HOME=$home "$build/app/gui/kestrune" >/dev/null 2>&1 &
app=$!
help=$(wait_window 'Kestrune Help')
xdotool windowactivate --sync "$help" key Escape
main=$(wait_window '^Kestrune')
xdotool windowactivate --sync "$main"
shoot first-start.png
xdotool key alt+F4
wait $app || true

# The next start, with both folders of the demo trees filled in.
/usr/bin/python3 - "$home/Kestrune.bin" "$L" "$R" <<'PY'
import sys
path, left, right = sys.argv[1:4]
with open(path, 'r+b') as f:
    for offset, text in ((128 + 32, left), (128 + 288, right)):
        f.seek(offset); f.write(text.encode()[:255].ljust(256, b'\0'))
    f.seek(128 + 544); f.write(b'\0')  # the direction: Left to Right
PY
KESTRUNE_HOME=$home "$build/app/gui/kestrune" >/dev/null 2>&1 &
app=$!
main=$(wait_window '^Kestrune')
xdotool windowactivate --sync "$main" key F5
sleep "${KESTRUNE_COMPARE_WAIT:-0}"  # a slow (debug) build may need longer to compare
shoot main-window.png
# F7 is refused while the comparison still runs: press it until the confirmation opens.
for _ in $(seq 20); do
  xdotool windowactivate --sync "$main" key F7
  sleep 1
  xdotool search --onlyvisible --name 'Updating Confirmation' >/dev/null 2>&1 && break
done
confirm=$(wait_window 'Updating Confirmation')
shoot update-confirmation.png
xdotool windowactivate --sync "$confirm" key Escape
sleep 0.5

# open_pair PATH: opens the differences of the row whose left name is PATH (a pair both sides
# have) and prints the differences window's id. It clicks the first row's left name, so that the
# list's keyboard search looks in that column, types PATH (the search selects the first row that
# begins with it) and presses Enter; the window's title, "NAME (LEFT - RIGHT) - Differences",
# must name the file, or the script stops rather than shoot another pair.
open_pair() {
  local name=${1##*/}
  xdotool windowactivate --sync "$main"
  xdotool mousemove --window "$main" 40 75 click 1
  sleep 0.3
  xdotool type --delay 30 "$1"
  xdotool key Return
  wait_window "^${name//./\\.} .* - Differences\$"
}
diffs=$(open_pair css/site.css)
shoot differences-window.png
xdotool windowactivate --sync "$diffs" key alt+F4
sleep 0.5
diffs=$(open_pair img/logo.png)
shoot binary-pair.png
xdotool windowactivate --sync "$diffs" key alt+F4
kill $app 2>/dev/null || true
wait $app 2>/dev/null || true

# The main window again under a dark desktop theme, with a two-way plan (F4 three times from Left
# to Right): every colour of the list and of the plan's notice follows it, the longer legend
# wraps. F4 goes back to Left to Right before the end, which keeps it for the next start.
QT_QPA_PLATFORMTHEME=gtk3 GTK_THEME=Adwaita:dark KESTRUNE_HOME=$home "$build/app/gui/kestrune" >/dev/null 2>&1 &
app=$!
main=$(wait_window '^Kestrune')
xdotool windowactivate --sync "$main" key F4 F4 F4 F5
sleep "${KESTRUNE_COMPARE_WAIT:-0}"
shoot main-window-dark.png
xdotool windowactivate --sync "$main" key F4
sleep 0.5
kill $app 2>/dev/null || true
wait $app 2>/dev/null || true

# A text pair in a dark theme: qt6ct hands the program a dark palette.
mkdir -p "$work/xdg/qt6ct"
printf '[Appearance]\ncolor_scheme_path=/usr/share/qt6ct/colors/darker.conf\ncustom_palette=true\nstyle=Fusion\n' \
  > "$work/xdg/qt6ct/qt6ct.conf"
KESTRUNE_HOME=$home XDG_CONFIG_HOME=$work/xdg QT_QPA_PLATFORMTHEME=qt6ct "$build/app/gui/kestrune" >/dev/null 2>&1 &
app=$!
main=$(wait_window '^Kestrune')
xdotool windowactivate --sync "$main" key F5
sleep $((1 + ${KESTRUNE_COMPARE_WAIT:-0}))
# js/app.js: a line with one changed word.
diffs=$(open_pair js/app.js)
shoot differences-window-dark.png
xdotool windowactivate --sync "$diffs" key alt+F4
kill $app 2>/dev/null || true
echo "screenshots in $out"
