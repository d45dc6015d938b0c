#!/usr/bin/env bash
# The Wine harness: a private prefix inside the build tree, a persistent
# wineserver, and the install step that puts the built programs into it.
#   tools/wine-env.sh setup    create the prefix if needed, start the server, install
#   tools/wine-env.sh install  copy and register the built files again
#   tools/wine-env.sh stop     stop the prefix's wineserver
#   tools/wine-env.sh winpath UNIXPATH   print the Windows form of a path
# Set DISPLAY (e.g. under Xvfb) to get real windows for screenshots; otherwise
# the null graphics driver keeps everything headless.
set -eu
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/wine-common.sh"
vlm_wine_env

prefix_path() { # C:\a\b -> $WINEPREFIX/drive_c/a/b
    local p=$1 rest
    rest=${p:3}
    printf '%s/drive_c/%s' "$WINEPREFIX" "${rest//\\//}"
}

vendor_dir="C:\\Program Files\\Velmora Works"

do_install() {
    local manifest=$VLM_BUILD/prefix-manifest.txt
    [ -f "$manifest" ] || { echo "wine-env: $manifest missing (build first)" >&2; exit 2; }
    local kind src dst flag target
    while IFS='|' read -r kind src dst flag _; do
        [ -n "$kind" ] || continue
        # A partial build (VLM_ONLY, one target) installs what exists.
        if [ ! -f "$src" ]; then
            echo "wine-env: not built, not installed: $src" >&2
            continue
        fi
        case $kind in
        install)
            target=$(prefix_path "$vendor_dir\\$dst")
            mkdir -p "$target"
            cp -f "$src" "$target/"
            if [ "$flag" = regsvr ]; then
                "$WINE64" regsvr32 /s "$vendor_dir\\$dst\\$(basename "$src")" ||
                    { echo "wine-env: regsvr32 failed for $src" >&2; exit 1; }
            fi
            ;;
        file)
            target=$(prefix_path "$dst")
            mkdir -p "$(dirname "$target")"
            cp -f "$src" "$target"
            ;;
        run)
            "$WINE64" "$src" </dev/null >/dev/null ||
                { echo "wine-env: $(basename "$src") failed" >&2; exit 1; }
            ;;
        esac
    done <"$manifest"
}

case ${1:-} in
setup)
    mkdir -p "$WINEPREFIX"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "wine-env: creating prefix $WINEPREFIX"
        DISPLAY= "$WINE64" wineboot -i </dev/null >/dev/null 2>&1 || true
        "$WINESERVER" -w
    fi
    "$WINESERVER" -k 2>/dev/null || true
    "$WINESERVER" -w 2>/dev/null || true
    # The graphics driver must be chosen before the persistent server starts.
    if [ -n "${DISPLAY:-}" ]; then
        "$WINE64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11,null /f </dev/null >/dev/null 2>&1
        "$WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    else
        "$WINE64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    fi
    "$WINESERVER" -k 2>/dev/null || true
    "$WINESERVER" -w 2>/dev/null || true
    # Detached from our output: ctest waits for every holder of a test's pipes.
    "$WINESERVER" -p </dev/null >/dev/null 2>&1
    # Start the prefix's resident processes (services, explorer) now, with no
    # inherited pipes, so that no test program becomes their parent.
    "$WINE64" wineboot </dev/null >/dev/null 2>&1 || true
    "$WINE64" cmd /c exit </dev/null >/dev/null 2>&1 || true
    do_install
    echo "wine-env: prefix ready at $WINEPREFIX"
    ;;
install) do_install ;;
stop)
    "$WINESERVER" -k 2>/dev/null || true
    "$WINESERVER" -w 2>/dev/null || true
    ;;
winpath) winpath "$2"; echo ;;
*)
    sed -n '2,10p' "$0"
    exit 2
    ;;
esac
