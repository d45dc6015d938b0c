#!/usr/bin/env bash
# Upgrade and uninstall beside the suite's running programs, in a fresh
# prefix of its own: a running job is waited for, and when it does not end
# in time (KESTRELWAIT seconds) the installation is refused with a clear
# message and changes nothing; an idle corvid is closed, and started again
# after an upgrade but not after an uninstall.
#   package_running_test.sh PACKAGE.msi UIROBOT.exe
set -u
msi_file=$1 uirobot=$2
. "$(dirname "$0")/package-common.sh"
pkg_begin running
pkg_build_next
help='C:\Program Files\Velmora Works\Task Deck\TASKDECKEN.chm'
help_src=$(expected_files | grep -F "$help|" | cut -d'|' -f2)
kestrel_pids() { prefix_pids 'Task Deck.kestrel.exe'; }
corvid_pids() { prefix_pids 'Task Deck.corvid.exe'; }
no_kestrel() { [ -z "$(kestrel_pids)" ]; }
# A job started by hand while no scanner service runs stops at its failure
# box; the job (and its mutex) lives until the box is answered.
hold_job() {
    "$run" "$pf\\Task Deck\\kestrel.exe" </dev/null >/dev/null 2>&1 &
    "$run" "$uirobot" --exe kestrel.exe --timeout 120000 </dev/null >/dev/null 2>&1 ||
        fail "no job held at its box"
}
release_job() {
    "$run" "$uirobot" --exe kestrel.exe --timeout 60000 --press OK </dev/null >/dev/null 2>&1 ||
        fail "cannot answer the job's box"
    wait_for 120 no_kestrel || fail "the job did not end"
}
# msiexec with the basic interface, as a double-click shows it; the refusal
# is its message box: prints the box's text, fails when msiexec succeeded.
refused() {
    local box
    "$run" msiexec "$@" KESTRELWAIT=5 /qb </dev/null >/dev/null 2>&1 &
    local installer=$!
    box=$("$run" "$uirobot" --exe msiexec.exe --timeout 180000 --press OK </dev/null 2>&1 | tr -d '\r')
    wait "$installer" && fail "msiexec $1 went through beside a running job"
    grep -q "A scan job is running." <<<"$box" || fail "no clear message for the running job: $box"
}

echo "== $version installed without the scanner service"
msi install /i "$(winpath "$msi_file")" AUTOSTART=0 || fail "installing $version failed"
echo "marked" >"$(ppath "$help")"
# With no job at all corvid asks before it closes; a user's corvid has jobs.
"$run" "$pf\\Taskstore\\taskstore.exe" set 3 title string "Kept" </dev/null >/dev/null 2>&1 ||
    fail "taskstore set"

echo "== An upgrade beside a job that does not end is refused"
hold_job
refused /i "$(winpath "$next_msi")" AUTOSTART=0
[ "$(arp_versions)" = "$version" ] || fail "installed versions after the refused upgrade: $(arp_versions)"
grep -qx marked "$(ppath "$help")" || fail "the refused upgrade replaced files"
release_job

echo "== An upgrade closes an idle corvid and starts the new one"
"$run" "$pf\\Task Deck\\corvid.exe" </dev/null >/dev/null 2>&1 &
"$run" "$uirobot" --exe corvid.exe --any-window --timeout 120000 </dev/null >/dev/null 2>&1 ||
    fail "corvid shows no window"
old_corvid=$(corvid_pids)
[ -n "$old_corvid" ] || fail "corvid does not run"
msi upgrade /i "$(winpath "$next_msi")" AUTOSTART=0 || fail "the upgrade failed (log $work/upgrade.log)"
[ "$(arp_versions)" = "$next" ] || fail "installed versions after the upgrade: $(arp_versions)"
same_as_built "$help" "$help_src" || fail "the upgrade did not replace the files"
corvid_pids | grep -qx "${old_corvid:-none}" && fail "the old corvid still runs"
new_corvid() { corvid_pids | grep -vqx "${old_corvid:-none}"; }
wait_for 120 new_corvid || fail "corvid was not started again after the upgrade"

echo "== Uninstall beside a job that does not end is refused"
hold_job
refused /x "$(winpath "$next_msi")"
[ "$(arp_versions)" = "$next" ] || fail "installed versions after the refused uninstall: $(arp_versions)"
while IFS='|' read -r win _; do
    [ -e "$(ppath "$win")" ] || fail "the refused uninstall removed $win"
done < <(expected_files)
release_job

echo "== Uninstall closes corvid for good"
new_corvid || fail "corvid does not run before the uninstall"
msi uninstall /x "$(winpath "$next_msi")" || fail "the uninstall failed (log $work/uninstall.log)"
[ -z "$(arp_versions)" ] || fail "still installed: $(arp_versions)"
no_corvid() { [ -z "$(corvid_pids)" ]; }
wait_for 60 no_corvid || fail "corvid runs after the uninstall"
pkg_finish
