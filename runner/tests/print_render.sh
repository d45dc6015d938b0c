#!/usr/bin/env bash
# Renders the PostScript that kestrel_print_test printed (listed in pages.txt
# of the output folder) with Ghostscript, then checks the sheets under Wine.
#   print_render.sh OUTPUT_FOLDER CHECK_PROGRAM
set -eu
out=$1
check=$2
[ -s "$out/pages.txt" ] || { echo "print_render: nothing printed in $out" >&2; exit 1; }
rm -f "$out"/*.pnm
while IFS='|' read -r name device res _; do
    [ -n "$name" ] || continue
    gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE="$device" -r"$res" \
        -sOutputFile="$out/$name-%d.pnm" "$out/$name.ps"
done <"$out/pages.txt"
VLM_PRINT_OUTPUT=$out "$VLM_SOURCE/tools/wine-run.sh" "$check"
