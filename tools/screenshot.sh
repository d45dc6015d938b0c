#!/usr/bin/env bash
# Takes a PNG of the window a command opens, drawn by Wine's X11 driver on a
# private Xvfb display:
#   tools/screenshot.sh [--lang de|en] [--out FILE.png] [--wait-caption TEXT]
#                       [--exe NAME.exe] [--timeout S] [--keep] -- PROGRAM [ARGS...]
# e.g. tools/screenshot.sh --lang de --out build/shots/edit.png \
#          --wait-caption "New/Editing" -- ploverctl.exe DoModal 3
# PROGRAM is a Windows path, or a file name looked up in the prefix's
# "Task Deck" folder and then in the build tree. The shot waits for a dialog
# of the program's process (with --wait-caption: that exact caption; --exe
# names the process when PROGRAM only starts it), then for the picture to
# stop changing, and takes the dialog alone when X knows it by that caption
# (the whole screen otherwise). Default output: build/shots/shot.png.
#
# The shots run in a prefix of their own (build/windows/wineprefix-shots,
# made and refreshed through tools/wine-env.sh) with its own wineserver and
# Xvfb, so that the test lanes' prefixes keep their null driver and their
# running servers. Both are stopped when the shot is taken (--keep leaves
# them running and prints DISPLAY).
set -eu
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")

lang=en out="" caption="" exe="" timeout=60 keep=0
while [ $# -gt 0 ]; do
    case $1 in
    --lang) lang=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --wait-caption) caption=$2; shift 2 ;;
    --exe) exe=$2; shift 2 ;;
    --timeout) timeout=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    --) shift; break ;;
    *) sed -n '2,20p' "$0"; exit 2 ;;
    esac
done
[ $# -ge 1 ] || { sed -n '2,20p' "$0"; exit 2; }

export VLM_BUILD=${VLM_BUILD:-$repo/build/windows}
[ -f "$VLM_BUILD/CMakeCache.txt" ] || { echo "screenshot: no build tree at $VLM_BUILD" >&2; exit 2; }
export VLM_WINEPREFIX=$VLM_BUILD/wineprefix-shots
# One shot at a time per build tree: a second would restart the first's server.
mkdir -p "$VLM_WINEPREFIX"
exec 9>"$VLM_WINEPREFIX.lock"
flock 9
. "$here/wine-common.sh"
vlm_wine_env
out=${out:-$repo/build/shots/shot.png}
mkdir -p "$(dirname "$out")"
logdir=$(mktemp -d "${TMPDIR:-/tmp}/vlmshot.XXXXXX")

# A free display of our own.
n=90
while [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ]; do n=$((n + 1)); done
Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >"$logdir/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=:$n

cleanup() {
    if [ "$keep" = 0 ]; then
        "$WINESERVER" -k 2>/dev/null || true
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$logdir"
}
trap cleanup EXIT

deadline=$((SECONDS + timeout))
until xwininfo -root >/dev/null 2>&1; do
    [ $SECONDS -lt $deadline ] || { echo "screenshot: Xvfb did not start" >&2; exit 1; }
    sleep 0.2
done

# Set up or refresh the shots prefix (X11 driver, unmanaged windows) and
# install the built files into it.
bash "$here/wine-env.sh" setup >"$logdir/setup.log" 2>&1 ||
    { cat "$logdir/setup.log" >&2; exit 1; }

winpath() { local p=$1; printf 'Z:%s' "${p//\//\\}"; }
prog=$1
shift
case $prog in
*\\* | *:*) ;;
*)
    taskdeck="$WINEPREFIX/drive_c/Program Files/Velmora Works/Task Deck/$prog"
    if [ -f "$taskdeck" ]; then
        prog="C:\\Program Files\\Velmora Works\\Task Deck\\$prog"
    else
        found=$(find "$VLM_BUILD" -name "$prog" -not -path '*/wineprefix*' -print -quit)
        [ -n "$found" ] || { echo "screenshot: $prog not found" >&2; exit 2; }
        prog=$(winpath "$found")
    fi
    ;;
esac
exe=${exe:-${prog##*\\}}

case $lang in
de) locale=de_DE.UTF-8 ;;
en) locale=en_US.UTF-8 ;;
*) echo "screenshot: --lang de or en" >&2; exit 2 ;;
esac
LC_ALL=$locale LANG=$locale "$WINE64" "$prog" "$@" </dev/null >"$logdir/program.log" 2>&1 &

robot=$(find "$VLM_BUILD/tests/tools" -name uirobot.exe -print -quit)
[ -n "$robot" ] || { echo "screenshot: build uirobot first" >&2; exit 2; }
args=(--exe "$exe" --timeout $((timeout * 1000)))
[ -z "$caption" ] || args+=(--caption "$caption")
if ! "$WINE64" "$(winpath "$robot")" "${args[@]}" >"$logdir/robot.log" 2>&1; then
    echo "screenshot: no window of $exe${caption:+ with caption \"$caption\"}" >&2
    cat "$logdir/program.log" >&2
    exit 1
fi

# The dialog's X window when X knows it by its caption; the screen otherwise.
target=root
if [ -n "$caption" ]; then
    id=$(xdotool search --onlyvisible --name "^$caption\$" 2>/dev/null | head -n 1 || true)
    [ -z "$id" ] || target=$id
fi
# Painting ends at its own pace: take pictures until two in a row agree.
prev=""
while :; do
    import -window "$target" "$logdir/now.png" 2>/dev/null
    sum=$(convert "$logdir/now.png" -depth 8 rgba:- | md5sum)
    [ "$sum" != "$prev" ] || break
    prev=$sum
    [ $SECONDS -lt $deadline ] || break
    sleep 0.3
done
cp "$logdir/now.png" "$out"
echo "screenshot: $out ($(identify -format '%wx%h' "$out" 2>/dev/null || echo '?'))"
[ "$keep" = 0 ] || echo "screenshot: left running on DISPLAY=:$n (WINEPREFIX=$WINEPREFIX)"
