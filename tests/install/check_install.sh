#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks that every file a desktop needs is
# there: the programs, the desktop entry and its AppStream description (both valid), the icons
# and readable manual pages, and that every one carries the project's version.
set -u
build=$1
kind=$2
version=$3
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "cmake --install failed"; exit 1; }

expected=(bin/kestrune-cli share/man/man1/kestrune-cli.1)
if [ "$kind" = gui ]; then
  expected+=(bin/kestrune share/applications/kestrune.desktop share/man/man1/kestrune.1
             share/metainfo/org.kestrune.Kestrune.metainfo.xml)
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
  # No field codes: the program takes switches, not the files a desktop would drop on it.
  grep -qx 'Exec=kestrune' "$prefix/share/applications/kestrune.desktop" || { echo "desktop entry: Exec is not 'kestrune'"; failed=1; }
  grep -q '^Icon=kestrune$' "$prefix/share/applications/kestrune.desktop" || { echo "desktop entry lacks Icon"; failed=1; }
  out=$(desktop-file-validate "$prefix/share/applications/kestrune.desktop" 2>&1) || { echo "desktop-file-validate: $out"; failed=1; }
  out=$(appstreamcli validate --no-net "$prefix/share/metainfo/org.kestrune.Kestrune.metainfo.xml" 2>&1) ||
    { echo "appstreamcli validate: $out"; failed=1; }
fi
# One version everywhere: the project's, as the build configured it.
for page in "$prefix"/share/man/man1/*.1; do
  grep -q "^\.TH .*\"Kestrune $version\"" "$page" || { echo "$page does not carry version $version"; failed=1; }
done
[ "$("$prefix/bin/kestrune-cli" --version)" = "kestrune-cli $version" ] || { echo "kestrune-cli --version is not $version"; failed=1; }
if [ "$kind" = gui ]; then
  [ "$(QT_QPA_PLATFORM=offscreen "$prefix/bin/kestrune" --version)" = "Kestrune $version" ] ||
    { echo "kestrune --version is not $version"; failed=1; }
  QT_QPA_PLATFORM=offscreen "$prefix/bin/kestrune" --help | grep -q '/o FOLDER' || { echo "kestrune --help lacks the switches"; failed=1; }
  grep -q "<release version=\"$version\"" "$prefix/share/metainfo/org.kestrune.Kestrune.metainfo.xml" ||
    { echo "metainfo does not carry version $version"; failed=1; }
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
