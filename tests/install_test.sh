#!/bin/sh
# `cmake --install` puts the program, the offline tool, the help page, the
# menu entry and the icon where a Linux desktop finds them.
set -eu
cmake=$1 build=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$cmake" --install "$build" --prefix "$prefix" >/dev/null
test -x "$prefix/bin/tolvek-filter"
"$prefix/bin/tolvek-offline" --help >/dev/null
test -s "$prefix/share/tolvek-filter/Tolvekfilter.htm"
test -s "$prefix/share/icons/hicolor/64x64/apps/tolvek-filter.png"
desktop-file-validate "$prefix/share/applications/tolvek-filter.desktop"
grep -qx "Exec=tolvek-filter" "$prefix/share/applications/tolvek-filter.desktop"
