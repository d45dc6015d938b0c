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
. "$here/demo-store.sh"
demo=$VLM_BUILD/demo-corvid
mkdir -p "$demo/state"
store=$demo/Taskstore.reg
demo_store "$store" "$lang"
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
    demo_scans_folder "$VLM_WINEPREFIX"
    echo "demo-corvid: corvid opens on $DISPLAY; close it to end the demo"
    LC_ALL=$locale LANG=$locale "$here/wine-run.sh" \
        'C:\Program Files\Velmora Works\Task Deck\corvid.exe' </dev/null || true
    bash "$here/wine-env.sh" stop
    exit 0
fi
out=$demo/corvid-$lang.png
demo_scans_folder "$VLM_BUILD/wineprefix-shots"
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
