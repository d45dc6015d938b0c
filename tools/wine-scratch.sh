# shellcheck shell=bash
# A throwaway Wine prefix with its own persistent wineserver, for the tests
# that install and remove the suite's package: nothing is shared with the
# build's lanes (tools/wine-env.sh), so they may run beside them.
#   scratch_begin DIR   a fresh prefix in DIR/prefix (DIR is emptied first);
#                       exports VLM_WINEPREFIX and WINEPREFIX, so that
#                       tools/wine-run.sh runs in it
#   scratch_server      start its server again (after stopping it)
#   scratch_end         stop its wineserver and remove the prefix (what else
#                       the caller wrote into DIR stays, e.g. logs)
_scratch_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$_scratch_here/wine-common.sh"
_scratch_dir=

scratch_begin() {
    _scratch_dir=$1
    rm -rf "$_scratch_dir"
    mkdir -p "$_scratch_dir"
    export VLM_WINEPREFIX=$_scratch_dir/prefix
    vlm_wine_env
    DISPLAY= "$WINE64" wineboot -i </dev/null >/dev/null 2>&1 || true
    "$WINESERVER" -w
    "$WINE64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
    "$WINESERVER" -k 2>/dev/null || true
    "$WINESERVER" -w 2>/dev/null || true
    scratch_server
    "$WINE64" wineboot </dev/null >/dev/null 2>&1 || true
    [ -f "$WINEPREFIX/system.reg" ]
}

# The prefix's server, detached from our output (ctest waits for every holder
# of a test's pipes); it ends a minute after its last program, should the
# test be killed before scratch_end.
scratch_server() {
    "$WINESERVER" -p60 </dev/null >/dev/null 2>&1
}

scratch_end() {
    [ -n "$_scratch_dir" ] || return 0
    "$WINESERVER" -k 2>/dev/null || true
    "$WINESERVER" -w 2>/dev/null || true
    rm -rf "$_scratch_dir/prefix"
    _scratch_dir=
}
