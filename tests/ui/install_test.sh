#!/usr/bin/env bash
# `cmake --install` into a scratch prefix: the programs run through their links in bin/ and find
# their scenes, the desktop entry names the program, its icon and the scene type, and the
# installed type maps *.tavolin to it.
# usage: install_test.sh BUILD_FOLDER
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$prefix" > "$prefix/install.log" || fail "install failed"
share=$prefix/share
for f in bin/tavolin bin/tavolin-render lib/tavolin/scenes/stonehenge.tavolin \
         share/applications/tavolin.desktop share/icons/hicolor/scalable/apps/tavolin.svg \
         share/mime/packages/tavolin.xml; do
    [ -e "$prefix/$f" ] || fail "missing $f"
done

"$prefix/bin/tavolin" --version | grep -q '^tavolin [0-9]' || fail "tavolin --version"
# The headless renderer reads the default scene beside its real executable.
"$prefix/bin/tavolin-render" --size 8x6 -o "$prefix/shot.png" > /dev/null 2>&1 ||
    fail "tavolin-render through its link"
[ -s "$prefix/shot.png" ] || fail "no picture from tavolin-render"

desktop=$share/applications/tavolin.desktop
for line in 'Type=Application' 'Exec=tavolin %f' 'Icon=tavolin' 'MimeType=application/x-tavolin;'; do
    grep -qxF "$line" "$desktop" || fail "desktop entry lacks $line"
done
command -v desktop-file-validate > /dev/null && { desktop-file-validate "$desktop" || fail "desktop entry"; }
command -v xmllint > /dev/null && { xmllint --noout "$share/mime/packages/tavolin.xml" || fail "MIME XML"; }
if command -v update-mime-database > /dev/null; then
    update-mime-database "$share/mime"
    grep -q 'application/x-tavolin:\*\.tavolin' "$share/mime/globs2" || fail "*.tavolin not mapped"
fi
echo PASS
