#!/usr/bin/env bash
# The Wine harness: a private prefix inside the build tree, a persistent
# wineserver, and the install step that puts the suite into it: the build's
# Windows Installer package, as a user installs it.
#   tools/wine-env.sh setup    create the prefix if needed, start the server, install
#   tools/wine-env.sh install  install the build's package again (VLM_INSTALL=copy:
#                              copy and register the built files instead)
#   tools/wine-env.sh stop     stop the prefix's wineserver
#   tools/wine-env.sh restart  start the server and the resident processes again
#                              (after a test stopped them all)
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

# The build's package (build/windows/package/*.msi), installed as a user
# would, with every feature; the copy path below only when there is no
# package of this build (a VLM_ONLY tree, a single target built since).
package_of_build() {
    local version msi newer
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$VLM_BUILD/CMakeCache.txt" 2>/dev/null)
    msi=$VLM_BUILD/package/VX410-Scan-Suite-$version-x64.msi
    [ -n "$version" ] && [ -f "$msi" ] || return 1
    newer=$(cut -d'|' -f2 "$manifest" | grep -v '^$' | while read -r f; do
        [ "$f" -nt "$msi" ] && echo "$f"; done | head -1)
    if [ -n "$newer" ]; then
        echo "wine-env: the package is older than $newer (make package): copying instead" >&2
        return 1
    fi
    echo "$msi"
}

# Installs over whatever the prefix holds (REINSTALLMODE=amus: every file
# rewritten, even one of the same version), without the log-on start of the
# scanner service, which the tests start themselves. The same package again
# is a repair, which puts back what a test changed.
install_package() {
    local msi=$1 code stamp=$WINEPREFIX/vlm-installed-product log
    log=$VLM_BUILD/$(basename "$WINEPREFIX")-install.log
    code=$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p')
    local mode=(ADDLOCAL=ALL)
    [ -n "$code" ] && [ "$(cat "$stamp" 2>/dev/null)" = "$code" ] && mode=(REINSTALL=ALL)
    if ! "$WINE64" msiexec /i "$(winpath "$msi")" "${mode[@]}" REINSTALLMODE=amus AUTOSTART=0 /qn \
        /l*v "$(winpath "$log")" </dev/null >/dev/null 2>&1; then
        echo "wine-env: installing $msi failed; its log: $log" >&2
        exit 1
    fi
    echo "$code" >"$stamp"
}

copy_files() {
    local kind src dst flag target
    while IFS='|' read -r kind src dst flag _; do
        [ -n "$kind" ] || continue
        # A partial build (VLM_ONLY, one target) installs what exists.
        if [ "$kind" != run ] && [ ! -f "$src" ]; then
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
        esac
    done <"$manifest"
}

do_install() {
    manifest=$VLM_BUILD/prefix-manifest.txt
    [ -f "$manifest" ] || { echo "wine-env: $manifest missing (build first)" >&2; exit 2; }
    local msi kind src
    if [ "${VLM_INSTALL:-package}" = package ] && msi=$(package_of_build); then
        install_package "$msi"
    else
        copy_files
    fi
    # Set-up steps of the test prefix itself (printers), after the suite is in place.
    while IFS='|' read -r kind src _; do
        [ "$kind" = run ] || continue
        [ -f "$src" ] || { echo "wine-env: not built, not run: $src" >&2; continue; }
        "$WINE64" "$src" </dev/null >/dev/null ||
            { echo "wine-env: $(basename "$src") failed" >&2; exit 1; }
    done <"$manifest"
}

# The persistent wineserver and the prefix's resident processes.
start_resident() {
    "$WINESERVER" -k 2>/dev/null || true
    "$WINESERVER" -w 2>/dev/null || true
    # Detached from our output: ctest waits for every holder of a test's pipes.
    "$WINESERVER" -p </dev/null >/dev/null 2>&1
    # Start the prefix's resident processes (services, explorer) now, with no
    # inherited pipes, so that no test program becomes their parent.
    "$WINE64" wineboot </dev/null >/dev/null 2>&1 || true
    "$WINE64" cmd /c exit </dev/null >/dev/null 2>&1 || true
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
    start_resident
    do_install
    echo "wine-env: prefix ready at $WINEPREFIX"
    ;;
install) do_install ;;
restart) start_resident ;;
stop)
    "$WINESERVER" -k 2>/dev/null || true
    "$WINESERVER" -w 2>/dev/null || true
    ;;
winpath) winpath "$2"; echo ;;
*)
    sed -n '2,11p' "$0"
    exit 2
    ;;
esac
