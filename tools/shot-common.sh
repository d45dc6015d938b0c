# shellcheck shell=bash
# Shared by the screenshot scripts (sourced): the shots' prefix, a private
# Xvfb display and pictures of a window once its painting has ended. Needs
# Xvfb, xdotool, xdpyinfo and ImageMagick's import and convert.

. "$(dirname "${BASH_SOURCE[0]}")/wine-common.sh"

# The shots' own prefix, $VLM_BUILD/wineprefix-shots (Wine's X11 driver, its
# own wineserver), so that the test lanes' prefixes keep their null driver and
# their running servers. One script at a time per build tree holds it (file
# descriptor 9): a second would restart the first's server.
shot_prefix() {
    export VLM_WINEPREFIX=$VLM_BUILD/wineprefix-shots
    mkdir -p "$VLM_WINEPREFIX"
    exec 9>"$VLM_WINEPREFIX.lock"
    flock 9
    vlm_wine_env
}

# The start of a screenshot script: the build tree (VLM_BUILD, default
# build/windows), the output folder $1 (default build/windows/screenshots)
# made and set as $out, and the shots' prefix.
shot_begin() {
    export VLM_BUILD=${VLM_BUILD:-$(dirname "${BASH_SOURCE[0]}")/../build/windows}
    VLM_BUILD=$(cd "$VLM_BUILD" && pwd)
    out=${1:-$VLM_BUILD/screenshots}
    mkdir -p "$out"
    shot_prefix
}

# Stops the prefix's wineserver and the display.
shot_stop() {
    "$WINESERVER" -k 2>/dev/null || true
    shot_stop_display
}

# Starts Xvfb on the first free display from $1 (default 90) and exports
# DISPLAY; shot_xvfb_pid is its process. Fails when it does not answer
# within $2 seconds (default 60).
shot_start_display() {
    local n=${1:-90} wait=${2:-60}
    while [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ]; do n=$((n + 1)); done
    Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    shot_xvfb_pid=$!
    export DISPLAY=:$n
    local deadline=$((SECONDS + wait))
    until xdpyinfo >/dev/null 2>&1; do
        [ $SECONDS -lt $deadline ] || { echo "Xvfb did not start on $DISPLAY" >&2; return 1; }
        sleep 0.2
    done
}

shot_stop_display() {
    [ -z "${shot_xvfb_pid:-}" ] || { kill "$shot_xvfb_pid" 2>/dev/null || true; wait "$shot_xvfb_pid" 2>/dev/null || true; }
}

# Prints the id of the visible X window whose name matches the extended
# regular expression ^$1$, waiting up to $2 seconds (default 60) for it.
shot_window() {
    local id deadline=$((SECONDS + ${2:-60}))
    while :; do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true)
        [ -z "$id" ] || { echo "$id"; return 0; }
        [ $SECONDS -lt $deadline ] || { echo "no window \"$1\"" >&2; return 1; }
        sleep 0.1
    done
}

# Writes window $1 ("root": the screen) to the PNG $2 once two pictures in a
# row agree (painting ends at its own pace), or as it is after $3 seconds
# (default 30).
shot_take() {
    local prev="" sum deadline=$((SECONDS + ${3:-30}))
    while :; do
        import -window "$1" -strip "$2" 2>/dev/null
        sum=$(convert "$2" -depth 8 rgba:- | md5sum)
        [ "$sum" != "$prev" ] && [ $SECONDS -lt $deadline ] || break
        prev=$sum
        sleep 0.3
    done
}
