#!/usr/bin/env bash
# Opens corvid, the job list tool, with a few jobs for a user to look at:
#   bash tools/demo-corvid.sh [--lang en|de]
# The jobs live in a job store of the demo's own
# (build/windows/demo-corvid/Taskstore.reg), the simulated scanner's state
# beside it. With DISPLAY set, corvid opens on that display in a prefix of
# its own and the script waits until you close it. Without a display it
# opens on a private Xvfb (through tools/screenshot.sh), saves a picture of
# the window and leaves corvid running there; the script says how to look
# at it and how to stop it.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
lang=en
[ "${1:-}" != --lang ] || lang=$2

export VLM_BUILD=${VLM_BUILD:-$repo/build/windows}
. "$here/wine-common.sh"
demo=$VLM_BUILD/demo-corvid
mkdir -p "$demo/state" "$demo/Scans"
store=$demo/Taskstore.reg
scans=$(winpath "$demo/Scans")

# The store file is the text form of a registry export (components/taskstore/README.md).
job() { # number title filename filetype(0 BMP, 1 JPEG, 2 PDF, 3 TIFF)
    printf '[HKEY_CURRENT_USER\\Software\\Velmora Works\\Taskstore\\VX-410\\Jobs\\%03d]\r\n' "$1"
    printf '"title"="%s"\r\n"function id"=dword:00000000\r\n' "$2"
    printf '"save"=dword:00000001\r\n"mypicture"=dword:00000000\r\n'
    printf '"save_path"="%s"\r\n' "${scans//\\/\\\\}"
    printf '"filename"="%s"\r\n"filetype"=dword:%08x\r\n\r\n' "$3" "$4"
}
{
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Velmora Works\\Taskstore\\VX-410\\Common]\r\n\r\n'
    if [ "$lang" = de ]; then
        job 1 "Rechnungen" "rechnung" 2
        job 2 "Lieferscheine" "lieferschein" 3
        job 5 "Verträge" "vertrag" 2
        job 7 "Fotos" "foto" 1
        job 12 "Briefe" "brief" 3
        job 20 "Zeichnungen" "zeichnung" 0
    else
        job 1 "Invoices" "inv" 2
        job 2 "Delivery notes" "dn" 3
        job 5 "Contracts" "contract" 2
        job 7 "Photos" "photo" 1
        job 12 "Letters" "letter" 3
        job 20 "Drawings" "drawing" 0
    fi
} >"$store"
export TASKSTORE_FILE VX410SIM_DIR
TASKSTORE_FILE=$(winpath "$store")
VX410SIM_DIR=$(winpath "$demo/state")
case $lang in
de) locale=de_DE.UTF-8 caption="VX-410 Taskdeck-Registrierprogramm" ;;
*) locale=C.UTF-8 caption="VX-410 Taskdeck Registrar" ;;
esac

if [ -n "${DISPLAY:-}" ]; then
    export VLM_WINEPREFIX=$VLM_BUILD/wineprefix-demo-corvid
    bash "$here/wine-env.sh" setup >/dev/null
    echo "demo-corvid: corvid opens on $DISPLAY; close it to end the demo"
    LC_ALL=$locale LANG=$locale "$here/wine-run.sh" \
        'C:\Program Files\Velmora Works\Task Deck\corvid.exe' </dev/null || true
    bash "$here/wine-env.sh" stop
    exit 0
fi
out=$demo/corvid-$lang.png
bash "$here/screenshot.sh" --keep --lang "$lang" --out "$out" --wait-caption "$caption" -- corvid.exe |
    tee "$demo/screenshot.txt"
display=$(sed -n 's/.*DISPLAY=\(:[0-9]*\).*/\1/p' "$demo/screenshot.txt")
xvfb=$(ps -eo pid,args | awk -v d="$display" '$2 == "Xvfb" && $3 == d { print $1 }')
cat <<MSG
demo-corvid: corvid runs on the private display $display; its picture is $out.
  Look at it live:  x11vnc -display $display  (then a VNC viewer), or a new picture:
                    DISPLAY=$display import -window root $demo/now.png
  Drive it:         DISPLAY=$display xdotool ...
  Stop it:          VLM_BUILD=$VLM_BUILD VLM_WINEPREFIX=$VLM_BUILD/wineprefix-shots \\
                      bash $here/wine-env.sh stop
                    kill $xvfb   (the demo's own Xvfb)
MSG
