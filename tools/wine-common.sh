# shellcheck shell=bash
# Sourced by the Wine harness scripts: locate Wine and the build's private prefix.
WINE64=${WINE64:-/usr/lib/wine/wine64}
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver}
[ -x "$WINE64" ] || WINE64=$(command -v wine64 || command -v wine)
[ -x "$WINESERVER" ] || WINESERVER=$(command -v wineserver)

# /abs/unix/path -> Z:\abs\unix\path
winpath() { printf 'Z:%s' "${1//\//\\}"; }

vlm_find_build() {
    # The build tree: $VLM_BUILD, else the nearest folder above $PWD with a CMakeCache.txt.
    if [ -n "${VLM_BUILD:-}" ]; then echo "$VLM_BUILD"; return; fi
    local d=$PWD
    while [ "$d" != / ]; do
        [ -f "$d/CMakeCache.txt" ] && { echo "$d"; return; }
        d=$(dirname "$d")
    done
    echo "wine harness: no build tree above $PWD (set VLM_BUILD)" >&2
    return 1
}

vlm_wine_env() {
    VLM_BUILD=$(vlm_find_build) || return 1
    export VLM_BUILD
    export WINEPREFIX=${VLM_WINEPREFIX:-$VLM_BUILD/wineprefix}
    export WINEDEBUG=${WINEDEBUG:--all}
    # No menu entries: they would land in the host user's home, shared by every prefix.
    export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}
    export WINEARCH=win64
}

# The prefix's screen resolution in dots per inch: the user's and the
# machine's LogPixels, which each Wine process reads when it starts.
# vlm_dpi prints the user's (96, Windows' default, when unset); vlm_set_dpi N
# sets both. Needs vlm_wine_env.
_vlm_dpi_keys=('HKCU\Control Panel\Desktop'
    'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts')
vlm_dpi() {
    local v
    v=$("$WINE64" reg query "${_vlm_dpi_keys[0]}" /v LogPixels </dev/null 2>/dev/null |
        sed -n 's/.*LogPixels[[:space:]]*REG_DWORD[[:space:]]*0x\([0-9a-fA-F]*\).*/\1/p')
    echo $((16#${v:-60}))
}
vlm_set_dpi() {
    local key
    for key in "${_vlm_dpi_keys[@]}"; do
        "$WINE64" reg add "$key" /v LogPixels /t REG_DWORD /d "$1" /f </dev/null >/dev/null 2>&1 || return 1
    done
}
