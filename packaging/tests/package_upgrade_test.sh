#!/usr/bin/env bash
# Upgrade, downgrade and repair in a fresh prefix of its own: the next
# version (the same files, a higher version) replaces the programs, stops the
# running scanner service and starts the new one, and keeps the user's job
# store, settings, scans and logs; going back is refused with a clear
# message; a repair restores a deleted program.
#   package_upgrade_test.sh PACKAGE.msi UIROBOT.exe
set -u
msi_file=$1 uirobot=$2
. "$(dirname "$0")/package-common.sh"
pkg_begin upgrade
pkg_build_next
kestrel='C:\Program Files\Velmora Works\Task Deck\kestrel.exe'
kestrel_src=$(expected_files | grep -F "$kestrel|" | cut -d'|' -f2)

echo "== $version installed, the user's data made"
msi install /i "$(winpath "$msi_file")" || fail "installing $version failed"
service_pid() { prefix_pids 'VX-410 Simulator.scanner-service.exe'; }
wait_for 60 service_pid || fail "the scanner service did not start after the install"
old_service=$(service_pid)
"$run" "$pf\\Taskstore\\taskstore.exe" set 3 title string "Kept" </dev/null >/dev/null 2>&1 ||
    fail "taskstore set"
"$run" reg add 'HKCU\Software\Velmora Works Inc.\kestrel\General' /v WriteLog /t REG_DWORD /d 1 /f \
    >/dev/null 2>&1
mkdir -p "$(ppath 'C:\Scans')"
echo scan >"$(ppath 'C:\Scans\scan0001.tif')"
for temp in "$WINEPREFIX"/drive_c/users/*/Temp; do echo "a run" >"$temp/kestrel.log"; done
user_files() {
    (cd "$WINEPREFIX/drive_c" && find users/*/AppData/Roaming/'Velmora Works' users/*/Temp/kestrel.log Scans \
        -type f -exec md5sum {} + | sort)
}
user_files >"$work/user-before.txt"
grep -q Taskstore "$work/user-before.txt" || fail "no job store file was written"
echo "not a program" >"$(ppath "$kestrel")"

echo "== Upgrade to $next"
msi upgrade /i "$(winpath "$next_msi")" || fail "the upgrade failed (log $work/upgrade.log)"
service_pid | grep -qx "${old_service:-none}" && fail "the old scanner service still runs"
new_service() { service_pid | grep -vqx "${old_service:-none}"; }
wait_for 60 new_service || fail "the new scanner service did not start after the upgrade"
[ "$(arp_versions)" = "$next" ] || fail "installed versions after the upgrade: $(arp_versions)"
same_as_built "$kestrel" "$kestrel_src" || fail "the upgrade did not replace kestrel.exe"
user_files | diff "$work/user-before.txt" - || fail "the upgrade changed the user's files"
"$run" "$pf\\Taskstore\\taskstore.exe" get 3 title </dev/null 2>/dev/null | tr -d '\r' | grep -q Kept ||
    fail "the job is gone after the upgrade"
"$run" reg query 'HKCU\Software\Velmora Works Inc.\kestrel\General' /v WriteLog >/dev/null 2>&1 ||
    fail "the settings are gone after the upgrade"

echo "== Downgrade to $version is refused"
# With the basic interface, as a double-click shows it: the refusal is a message box.
"$run" msiexec /i "$(winpath "$msi_file")" /qb </dev/null >/dev/null 2>&1 &
installer=$!
box=$("$run" "$uirobot" --exe msiexec.exe --timeout 120000 --press OK </dev/null 2>&1 | tr -d '\r')
wait "$installer" && fail "the downgrade was installed"
grep -q "A newer version of the VX-410 Scan Suite is already installed" <<<"$box" ||
    fail "no clear message for the downgrade: $box"
[ "$(arp_versions)" = "$next" ] || fail "installed versions after the downgrade: $(arp_versions)"
same_as_built "$kestrel" "$kestrel_src" || fail "the refused downgrade touched kestrel.exe"

echo "== Repair restores a deleted program"
rm -f "$(ppath "$kestrel")"
msi repair /i "$(winpath "$next_msi")" REINSTALL=ALL REINSTALLMODE=amus ||
    fail "the repair failed (log $work/repair.log)"
same_as_built "$kestrel" "$kestrel_src" || fail "the repair did not restore kestrel.exe"

echo "== Uninstall keeps the user's data"
msi uninstall /x "$(winpath "$next_msi")" || fail "the uninstall failed"
[ -z "$(arp_versions)" ] || fail "still installed: $(arp_versions)"
[ -e "$(ppath "$kestrel")" ] && fail "kestrel.exe is still there"
user_files | diff "$work/user-before.txt" - || fail "the uninstall changed the user's files"
pkg_finish
