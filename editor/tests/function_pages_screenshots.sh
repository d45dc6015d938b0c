#!/usr/bin/env bash
# Screenshots of the mail, print and application pages and the address list
# dialog, in English and German, for looking at their layout:
#   DISPLAY=:N VLM_WINEPREFIX=<a prefix set up with DISPLAY> \
#     editor/tests/function_pages_screenshots.sh OUTDIR
# Needs an X server (Xvfb), a prefix set up by tools/wine-env.sh with DISPLAY
# set (Wine's X11 driver, unmanaged windows), xdotool and ImageMagick. The
# host program runs from the prefix's "Task Deck" folder, beside the
# catalogue, so that the German texts are found.
set -eu
out=${1:?output folder}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
src=$(cd "$here/../.." && pwd)
export VLM_BUILD=${VLM_BUILD:-$src/build/windows}
: "${DISPLAY:?an X display}" "${VLM_WINEPREFIX:?a prefix set up with DISPLAY}"
run=$src/tools/wine-run.sh
robot=$VLM_BUILD/tests/tools/uirobot.exe
deck="$VLM_WINEPREFIX/drive_c/Program Files/Velmora Works/Task Deck"
host='C:\Program Files\Velmora Works\Task Deck\dialoghost.exe'
store='C:\Program Files\Velmora Works\Taskstore\taskstore.exe'
mkdir -p "$out" "$deck"
cp "$VLM_BUILD/editor/dialoghost.exe" "$src/components/localize/catalogue/Taskdeck.loc" "$deck/"
stores=$(mktemp -d)
trap 'rm -rf "$stores"' EXIT
export TASKSTORE_DIR="Z:${stores//\//\\}"

"$run" "$store" set 1 "function id" i4 1 >/dev/null
"$run" "$store" set 1 send string "anna@example.com,ben@example.org" >/dev/null
"$run" "$store" set 1 from string "scans@example.com" >/dev/null
"$run" "$store" set 1 subject string "Scanned documents" >/dev/null
"$run" "$store" set 1 text string "The scanned pages are attached." >/dev/null
"$run" "$store" set 2 "function id" i4 2 >/dev/null
"$run" "$store" set 3 "function id" i4 3 >/dev/null
"$run" "$store" set 3 "app path" string 'C:\Program Files\Viewer\viewer.exe' >/dev/null

. "$src/tools/shot-common.sh"
shoot() { shot_take "$(shot_window "$1")" "$out/$2.png"; } # caption file

for lang in en de; do
    # Wine takes the user's language from the locale variables.
    loc=$([ $lang = de ] && echo de_DE.UTF-8 || echo en_US.UTF-8)
    for kind in mail print app; do
        job=$([ $kind = mail ] && echo 1 || { [ $kind = print ] && echo 2 || echo 3; })
        env LC_ALL=$loc LANG=$loc "$run" "$host" page $kind $job >/dev/null &
        shoot Page "$kind-page-$lang"
        if [ $kind = mail ]; then
            # "Add..." of the page: the button right of the address box.
            xdotool mousemove --window "$(shot_window Page)" 528 39 click 1
            # The X window name: the template's caption or the localised one.
            shoot "(Add|Hinzuf.*gen)" "mail-address-$lang"
            # Its Cancel button, bottom right.
            xdotool mousemove --window "$(shot_window "(Add|Hinzuf.*gen)")" 400 274 click 1
        fi
        "$run" "$robot" --exe dialoghost.exe --caption Page --press Cancel >/dev/null
        wait
    done
    # The print page in the New/Editing dialog; its buttons sit on a page of
    # their own, so the host is ended instead.
    env LC_ALL=$loc LANG=$loc "$run" "$host" edit 2 >/dev/null &
    shoot "(New/Editing|Neu/Bearbeiten)" "print-jobedit-$lang"
    kill $! 2>/dev/null || true
    wait
done
echo "screenshots in $out"
