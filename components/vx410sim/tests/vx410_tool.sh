#!/usr/bin/env bash
# Drives the installed vx410.exe under Wine: feed, fault, status, panel, and
# the state folder taken from the environment or from the registry.
set -u
run() { "$VLM_SOURCE/tools/wine-run.sh" "C:\\Program Files\\Velmora Works\\VX-410 Simulator\\vx410.exe" "$@" 2>&1 | tr -d '\r'; return "${PIPESTATUS[0]}"; }
fails=0
check() { # check DESCRIPTION COMMAND...
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; fails=$((fails + 1)); fi
}
expect_rc() { # expect_rc RC ARGS...
    local want=$1
    shift
    out=$(run "$@")
    local rc=$?
    [ "$rc" -eq "$want" ] || { echo "  vx410 $* gave exit $rc, wanted $want: $out"; return 1; }
}
contains() { grep -qF -- "$1" <<<"$out" || { echo "  missing '$1' in: $out"; return 1; }; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/state" "$work/regstate"
export VX410SIM_DIR=$(bash "$VLM_SOURCE/tools/wine-env.sh" winpath "$work/state")

check "help names the simulator" expect_rc 0 help
check "help text" contains "SIMULATOR"
check "status of a fresh device" expect_rc 0 status
check "fresh device is attached by USB" contains "device: VELMORA VX-410 USB as {6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000"
check "fresh feeder is empty" contains "paper absent"

printf 'P5\n4 2\n255\n\x00\x40\x80\xff\xff\x80\x40\x00' >"$work/page.pgm"
check "feed a file" expect_rc 0 feed "$(bash "$VLM_SOURCE/tools/wine-env.sh" winpath "$work/page.pgm")"
check "feed generated pages" expect_rc 0 feed --generate 2
check "fault jam" expect_rc 0 fault jam 2
check "fault diag" expect_rc 0 fault diag 0xE33
check "status after feeding" expect_rc 0 status
check "feeder count" contains "feeder: 3 pages (1 files, 2 generated), paper present"
check "faults listed" contains "faults: jam at page 2, diagnostic error 0xE33"
check "fed file copied into the state folder" test -f "$work/state/page-000001.pgm"

check "select" expect_rc 0 select 7
check "press start" expect_rc 0 press start
check "state file records the selection" grep -q '^selected_job=7' "$work/state/state.txt"
check "state file records the press" grep -q '^start_pending=1' "$work/state/state.txt"
check "panel with no message" expect_rc 0 panel
check "panel message line" contains "message [none]:"

check "bad job number exits 2" expect_rc 2 select 100
check "missing file exits 1" expect_rc 1 feed 'C:\no\such\page.bmp'
check "unknown command exits 2" expect_rc 2 scan
check "clear" expect_rc 0 clear
check "status after clear" expect_rc 0 status
check "clear empties the feeder" contains "feeder: 0 pages"
check "clear removes the page files" test ! -f "$work/state/page-000001.pgm"

# Without the environment variable the registry value names the folder.
unset VX410SIM_DIR
regdir=$(bash "$VLM_SOURCE/tools/wine-env.sh" winpath "$work/regstate")
"$VLM_SOURCE/tools/wine-run.sh" reg add 'HKCU\Software\Velmora Works Inc.\VX-410 Simulator' /v StateFolder /d "$regdir" /f >/dev/null 2>&1
check "select through the registry folder" expect_rc 0 select 42
check "registry folder used" grep -q '^selected_job=42' "$work/regstate/state.txt"
"$VLM_SOURCE/tools/wine-run.sh" reg delete 'HKCU\Software\Velmora Works Inc.\VX-410 Simulator' /v StateFolder /f >/dev/null 2>&1

echo "$fails failed"
[ "$fails" -eq 0 ]
