#!/usr/bin/env bash
# Takes a PNG of the window a command opens, drawn by Wine's X11 driver on a
# private Xvfb display:
#   tools/screenshot.sh [--lang de|en] [--out FILE.png] [--wait-caption TEXT]
#                       [--exe NAME.exe] [--timeout S] [--settle S] [--keep]
#                       -- PROGRAM [ARGS...]
# e.g. tools/screenshot.sh --lang de --out build/shots/edit.png \
#          --wait-caption "New/Editing" -- ploverctl.exe DoModal 3
# PROGRAM is a Windows path, or a file name looked up in the prefix's
# "Task Deck" folder and then in the build tree. The shot waits for a dialog
# of the program's process (with --wait-caption: that exact caption; --exe
# names the process when PROGRAM only starts it), then for the picture to
# stop changing, and takes the dialog alone when X knows it by that caption
# (the whole screen otherwise). A dialog that never stops changing (an
# animation) is taken --settle S seconds after it appeared instead. Default
# output: build/shots/shot.png.
#
# The shots run in a prefix of their own (build/windows/wineprefix-shots,
# made and refreshed through tools/wine-env.sh) with its own wineserver and
# Xvfb, so that the test lanes' prefixes keep their null driver and their
# running servers. Both are stopped when the shot is taken (--keep leaves
# them running and prints DISPLAY; a failed shot stops them all the same).
set -eu
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")

lang=en out="" caption="" exe="" timeout=60 settle=0 keep=0 taken=0
while [ $# -gt 0 ]; do
    case $1 in
    --lang) lang=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --wait-caption) caption=$2; shift 2 ;;
    --exe) exe=$2; shift 2 ;;
    --timeout) timeout=$2; shift 2 ;;
    --settle) settle=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    --) shift; break ;;
    *) sed -n '2,23p' "$0"; exit 2 ;;
    esac
done
[ $# -ge 1 ] || { sed -n '2,23p' "$0"; exit 2; }

export VLM_BUILD=${VLM_BUILD:-$repo/build/windows}
[ -f "$VLM_BUILD/CMakeCache.txt" ] || { echo "screenshot: no build tree at $VLM_BUILD" >&2; exit 2; }
. "$here/shot-common.sh"
shot_prefix
out=${out:-$repo/build/shots/shot.png}
mkdir -p "$(dirname "$out")"
logdir=$(mktemp -d "${TMPDIR:-/tmp}/vlmshot.XXXXXX")

cleanup() {
    [ "$keep" = 1 ] && [ "$taken" = 1 ] || shot_stop
    rm -rf "$logdir"
}
trap cleanup EXIT

deadline=$((SECONDS + timeout))
# A free display of our own.
shot_start_display 90 "$timeout" || exit 1

# Set up or refresh the shots prefix (X11 driver, unmanaged windows) and
# install the built files into it.
bash "$here/wine-env.sh" setup >"$logdir/setup.log" 2>&1 ||
    { cat "$logdir/setup.log" >&2; exit 1; }

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
    # Letters beyond ASCII reach X in an encoding of Wine's choice: any run of
    # them matches anything.
    pattern=$(printf '%s' "$caption" | LC_ALL=C sed 's/[^ -~][^ -~]*/.*/g')
    id=$(xdotool search --onlyvisible --name "^$pattern\$" 2>/dev/null | head -n 1 || true)
    [ -z "$id" ] || target=$id
fi
if [ "$settle" != 0 ]; then
    sleep "$settle"
    import -window "$target" -strip "$out" 2>/dev/null
else
    left=$((deadline - SECONDS))
    shot_take "$target" "$out" $((left > 1 ? left : 1))
fi
echo "screenshot: $out ($(identify -format '%wx%h' "$out" 2>/dev/null || echo '?'))"
taken=1
[ "$keep" = 0 ] || echo "screenshot: left running on DISPLAY=$DISPLAY (WINEPREFIX=$WINEPREFIX)"
