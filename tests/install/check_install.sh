#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks that every file a desktop needs is
# there: the programs, the desktop entry, the icons and readable manual pages.
set -u
build=$1
kind=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "cmake --install failed"; exit 1; }

expected=(bin/kestrune-cli share/man/man1/kestrune-cli.1)
if [ "$kind" = gui ]; then
  expected+=(bin/kestrune share/applications/kestrune.desktop share/man/man1/kestrune.1)
  for s in 16 32 48 64 128 256; do expected+=("share/icons/hicolor/${s}x${s}/apps/kestrune.png"); done
fi
failed=0
for f in "${expected[@]}"; do
  [ -s "$prefix/$f" ] || { echo "missing: $f"; failed=1; }
done
for f in "$prefix"/bin/*; do
  [ -x "$f" ] || { echo "not executable: $f"; failed=1; }
done
if [ "$kind" = gui ]; then
  grep -q '^Exec=kestrune' "$prefix/share/applications/kestrune.desktop" || { echo "desktop entry lacks Exec"; failed=1; }
  grep -q '^Icon=kestrune$' "$prefix/share/applications/kestrune.desktop" || { echo "desktop entry lacks Icon"; failed=1; }
fi
# The manual pages must be valid roff: a broken macro shows up as a warning.
if command -v groff >/dev/null; then
  for page in "$prefix"/share/man/man1/*.1; do
    warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
    [ -z "$warnings" ] || { echo "$page: $warnings"; failed=1; }
  done
fi
"$prefix/bin/kestrune-cli" --help | grep -q 'Usage: kestrune-cli' || { echo "installed kestrune-cli does not run"; failed=1; }
[ $failed -eq 0 ] && echo "installed files complete"
exit $failed
