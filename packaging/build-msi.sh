#!/usr/bin/env bash
# Builds the suite's Windows Installer package from the prefix manifest:
#   packaging/build-msi.sh MANIFEST VERSION OUT.msi ACTIONS.dll [HELP_LINK]
# make-wxs.py writes the WiX source, wixl compiles it, msibuild adds what
# wixl cannot express (type libraries, the sequence fixes).
set -eu
[ $# -ge 4 ] || { sed -n '2,3p' "$0"; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
manifest=$1 version=$2 out=$3 actions=$4 help=${5:-}
mkdir -p "$(dirname "$out")"
work=$(mktemp -d "$(dirname "$out")/.msi.XXXXXX")
trap 'rm -rf "$work"' EXIT
# The installed-programs icon: a scanner with a sheet.
convert -size 32x32 xc:none -fill '#1f4e8c' -draw 'roundrectangle 1,9 30,27 4,4' \
    -fill white -draw 'rectangle 7,3 24,14' -fill '#9cc3f0' -draw 'rectangle 5,18 26,21' \
    -define icon:auto-resize=32,16 "$work/suite.ico"
python3 "$here/make-wxs.py" --manifest "$manifest" --version "$version" --icon "$work/suite.ico" \
    --help-link "$help" --actions "$actions" --out "$work/suite.wxs" --tables "$work/tables.sql" \
    --strip "$here/strip-pe.sh"
(cd "$work" && wixl -a x64 -o suite.msi suite.wxs)
while IFS= read -r q; do
    msibuild "$work/suite.msi" -q "$q"
done <"$work/tables.sql"
mv -f "$work/suite.msi" "$out"
