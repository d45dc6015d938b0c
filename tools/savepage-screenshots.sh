#!/usr/bin/env bash
# Screenshots of the save settings page (both forms), the access setting
# dialog and the JPEG, TIFF and PDF option dialogs, in English and German,
# under Xvfb with Wine's X11 driver, in a prefix of their own:
#   tools/savepage-screenshots.sh [OUTPUT_DIR]   (default build/windows/screenshots)
# Needs the windows build of dialoghost, pageprobe, uirobot, taskstore and the
# localisation library; Xvfb, xdotool and ImageMagick's import.
set -eu
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/shot-common.sh"
shot_begin "${1:-}"

work=$(mktemp -d)
cleanup() {
    shot_stop
    rm -rf "$work"
}
trap cleanup EXIT
# A display of our own.
shot_start_display 91

"$here/wine-env.sh" setup >/dev/null
deck="$WINEPREFIX/drive_c/Program Files/Velmora Works/Task Deck"
cp -f "$VLM_BUILD/editor/dialoghost.exe" "$deck/dialoghost.exe"
export TASKSTORE_DIR="Z:${work//\//\\}"
run="$here/wine-run.sh"
ts='C:\Program Files\Velmora Works\Taskstore\taskstore.exe'
probe="$VLM_BUILD/editor/pageprobe.exe"
robot="$VLM_BUILD/tests/tools/uirobot.exe"
store() { "$run" "$ts" "$@" </dev/null >/dev/null 2>&1; }

# Jobs: 1 mail with a folder (JPEG), 2 TIFF, 3 PDF, 5 "Save as file".
for n in 1 2 3 5; do
    store set $n save i4 1
    store set $n mypicture i4 0
    store set $n save_path string 'C:\Users\Public\Scans'
    store set $n filename string scan
done
store set 1 "function id" i4 4
store set 1 filetype i4 1
store set 1 jpeg_Comp i4 75
store set 2 "function id" i4 0
store set 2 filetype i4 3
store set 3 "function id" i4 0
store set 3 filetype i4 2
store set 3 pdf_OCRLangID i4 2
store set 5 "function id" i4 0
store set 5 mypicture i4 1
store common set jpeg_CmpDlg i4 1

# Waits for a window whose title is exactly $1 and writes it to $2.
shoot() {
    shot_take "$(shot_window "$1")" "$2"
    echo "$2"
}

# page KIND JOB LOCALE NAME [CONTROL CAPTION NAME2]: the page, then one of its dialogs.
page() {
    local kind=$1 job=$2 loc=$3 name=$4
    LC_ALL=$loc LANG=$loc "$run" 'C:\Program Files\Velmora Works\Task Deck\dialoghost.exe' \
        page "$kind" "$job" </dev/null >/dev/null 2>&1 &
    local host=$!
    shoot Page "$out/$name.png"
    if [ $# -ge 7 ]; then
        "$run" "$probe" dialoghost.exe "$5" click </dev/null >/dev/null 2>&1
        shoot "$6" "$out/$7.png"
        "$run" "$robot" --exe dialoghost.exe --caption "$6" --press "$cancel" </dev/null >/dev/null 2>&1
    fi
    "$run" "$robot" --exe dialoghost.exe --caption Page --press "$cancel" </dev/null >/dev/null 2>&1 ||
        "$run" "$robot" --exe dialoghost.exe --caption Page --press Cancel </dev/null >/dev/null 2>&1
    wait "$host" || true
}

for loc in en_US.UTF-8 de_DE.UTF-8; do
    l=${loc%%_*}
    if [ "$l" = de ]; then
        cancel=Abbrechen jpeg="JPEG-Dateieinstellung" tiff="TIFF-Einstellung" pdf="PDF-Einstellung"
        access="Zugriffseinstellung"
    else
        cancel=Cancel jpeg="JPEG File Setting" tiff="TIFF setting" pdf="PDF setting" access="Access setting"
    fi
    page save-image 1 "$loc" "savepage-image-$l" 420 "$jpeg" "jpeg-$l"
    page save 1 "$loc" "savepage-$l" 415 "$access" "access-$l"
    page save 2 "$loc" "savepage-tiff-$l" 420 "$tiff" "tiff-$l"
    store common set Single_PDF i4 0
    page save 3 "$loc" "savepage-pdf-$l" 420 "$pdf" "pdf-$l"
    store common set Single_PDF i4 1
    page save 3 "$loc" "savepage-pdf-$l" 420 "$pdf" "pdf-multi-$l"
    page save 5 "$loc" "savepage-picture-$l"
done
