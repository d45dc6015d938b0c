# shellcheck shell=bash
# Shared by the package's Wine tests: each runs in a throwaway prefix of its
# own (tools/wine-scratch.sh), installs with msiexec and looks at the prefix.
#   pkg_begin NAME          a fresh prefix under $VLM_BUILD/package-tests/NAME
#   msi LOG ARGS...         msiexec ARGS /qn, verbose log in $work/LOG.log
#   ppath 'C:\x\y'          the Unix path of a Windows path in the prefix
#   prefix_pids TEXT        this prefix's processes with TEXT in their command line
#   wait_for SECONDS CMD..  until CMD succeeds
#   state FILE              the prefix's files and registry, one line each
#   expected_files          the Windows paths the manifest installs, one a line
#   same_as_built WINPATH   the installed file is the package's copy of the built one
set -u
_pkg_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$_pkg_here/../../tools/wine-scratch.sh"
run="$_pkg_here/../../tools/wine-run.sh"
pf='C:\Program Files\Velmora Works'
manifest=$VLM_BUILD/prefix-manifest.txt
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
pkg_finish() {
    [ "$failures" -eq 0 ] && echo "PASS" || echo "$failures failure(s)"
    [ "$failures" -eq 0 ]
}

pkg_begin() {
    work=$VLM_BUILD/package-tests/$1
    scratch_begin "$work"
    trap scratch_end EXIT
    trap 'exit 143' TERM INT
}

msi() {
    local log=$work/$1.log
    shift
    "$run" msiexec "$@" /qn /l*v "$(winpath "$log")" </dev/null >/dev/null 2>&1
}

ppath() {
    local p=${1:3}
    printf '%s/drive_c/%s' "$WINEPREFIX" "${p//\\//}"
}

prefix_pids() {
    local pid
    for pid in $(pgrep -f -- "$1"); do
        tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" &&
            echo "$pid"
    done
}

wait_for() {
    local i limit=$(($1 * 10))
    shift
    for ((i = 0; i < limit; i++)); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# The server writes the registry when it ends: stop it (and every program of
# the prefix), list, start it again with its resident processes.
state() {
    "$WINESERVER" -k 2>/dev/null || true
    "$WINESERVER" -w 2>/dev/null || true
    {
        (cd "$WINEPREFIX" && find drive_c \( -type f -o -type l \) -printf 'file %p\n')
        python3 - "$WINEPREFIX/system.reg" HKLM "$WINEPREFIX/user.reg" HKCU <<'PY'
import re, sys
for path, root in zip(sys.argv[1::2], sys.argv[2::2]):
    key = None
    for line in open(path, encoding="utf-8", errors="replace"):
        line = line.rstrip("\n")
        m = re.match(r"^\[(.*)\](?: \d+)?$", line)
        if m:
            key = root + "\\" + m.group(1).replace("\\\\", "\\")
            print("key", key)
        elif key and line and not line.startswith(("#", ";")):
            print("value", key, "|", line)
PY
    } | sort >"$1"
    scratch_server
    "$WINE64" wineboot </dev/null >/dev/null 2>&1 || true
}

expected_files() {
    local kind src dst rest
    while IFS='|' read -r kind src dst rest; do
        case $kind in
        install) echo "$pf\\$dst\\$(basename "$src")|$src" ;;
        file) echo "$dst|$src" ;;
        esac
    done <"$manifest"
}

# Programs and libraries go into the package without their debug information.
same_as_built() {
    local win=$1 src=$2 built
    built=$src
    case ${src,,} in
    *.exe | *.dll | *.ds)
        built=$work/stripped.tmp
        bash "$_pkg_here/../strip-pe.sh" "$src" "$built" || return 1
        ;;
    esac
    cmp -s "$built" "$(ppath "$win")"
}

# The next version's package, made from the same files: sets $version (this
# build's), $next and $next_msi.
pkg_build_next() {
    version=$(sed -n 's/^ *CMAKE_PROJECT_VERSION:STATIC=//p' "$VLM_BUILD/CMakeCache.txt")
    next=${version%.*}.$((${version##*.} + 1))
    next_msi=$work/VX410-Scan-Suite-$next-x64.msi
    bash "$_pkg_here/../build-msi.sh" "$manifest" "$next" "$next_msi" \
        "$VLM_BUILD/packaging/SuiteActions.dll" 2>/dev/null ||
        { fail "cannot build the $next package"; pkg_finish; exit 1; }
}

# The suite's versions in the installed-programs list.
arp_versions() {
    "$run" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' |
        awk '/DisplayName *REG_SZ *VX-410 Scan Suite/ {s=1} s && /DisplayVersion/ {print $3; s=0}' | sort | xargs
}
