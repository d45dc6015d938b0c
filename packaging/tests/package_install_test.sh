#!/usr/bin/env bash
# The package in a fresh prefix of its own: a damaged copy is refused and
# changes nothing; a silent install puts every file, key and registration in
# place, the COM objects come up by ProgID from a script, the TWAIN manager
# offers the data source, the scanner service runs (and starts again at the
# next log-on) and a job started on the simulated panel runs with nothing but
# the installed files; the uninstall leaves only the user's data.
#   package_install_test.sh PACKAGE.msi TWAINLIST.exe
set -u
msi_file=$1 twainlist=$2
. "$(dirname "$0")/package-common.sh"
pkg_begin install
msiwin=$(winpath "$msi_file")

# The script host registers its own type library when first used: before
# the first look, so that it is not taken for the package's.
echo 'WScript.Echo "ready"' >"$work/ready.vbs"
"$run" cscript //nologo "$(winpath "$work/ready.vbs")" </dev/null >/dev/null 2>&1
state "$work/before.txt"

echo "== A damaged package is refused and changes nothing"
head -c $(($(stat -c %s "$msi_file") / 2)) "$msi_file" >"$work/damaged.msi"
msi damaged /i "$(winpath "$work/damaged.msi")" && fail "the damaged package was installed"
state "$work/after-damaged.txt"
diff "$work/before.txt" "$work/after-damaged.txt" | grep '^[<>]' | grep -v '^. \(key\|value\) HKLM\\System' |
    sed 's/^/    /' | head -20 | grep . && fail "the damaged package changed the prefix"

echo "== Silent install"
t0=$(date +%s%N)
msi install /i "$msiwin" || fail "msiexec /i failed (log $work/install.log)"
echo "install took $((($(date +%s%N) - t0) / 1000000)) ms"

echo "== Files"
while IFS='|' read -r win src; do
    same_as_built "$win" "$src" || fail "not installed as built: $win"
done < <(expected_files)
# The all-users start menu on Windows; Wine takes the installing user's.
for lnk in corvid 'corvid Help' 'corvid Hilfe (Deutsch)'; do
    find "$WINEPREFIX/drive_c" -path "*/Start Menu/Programs/VX-410 Scan Suite/$lnk.lnk" | grep -q . ||
        fail "no start-menu entry $lnk"
done

echo "== Registry"
query() { # KEY NAME, the default value for NAME (Default)
    local sel=(/v "$2")
    [ "$2" = "(Default)" ] && sel=(/ve)
    "$run" reg query "$1" "${sel[@]}" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z]* *//p"
}
[ "$(query 'HKLM\SOFTWARE\Velmora Works Inc.\Shared Files' '(Default)')" = "$pf\\Shared Files" ] ||
    fail "Shared Files key: $(query 'HKLM\SOFTWARE\Velmora Works Inc.\Shared Files' '(Default)')"
run_value=$(query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' 'VX-410 Scanner Service')
[ "$run_value" = "\"$pf\\VX-410 Simulator\\scanner-service.exe\"" ] || fail "Run value: $run_value"
arp=$("$run" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
    tr -d '\r' | grep -B3 -A30 'DisplayName *REG_SZ *VX-410 Scan Suite')
version=$(sed -n 's/^ *CMAKE_PROJECT_VERSION:STATIC=//p' "$VLM_BUILD/CMakeCache.txt")
for want in "DisplayVersion *REG_SZ *$version" 'Publisher *REG_SZ *Velmora Works Inc.' \
    'HelpLink *REG_SZ *https\?://' 'EstimatedSize *REG_DWORD *0x[1-9a-f]' 'NoModify *REG_DWORD *0x1'; do
    grep -q "$want" <<<"$arp" || fail "installed-programs entry lacks $want"
done
icon=$(sed -n 's/^ *DisplayIcon *REG_SZ *//p' <<<"$arp")
[ -n "$icon" ] && [ -f "$(ppath "$icon")" ] || fail "no icon file for the installed-programs entry: '$icon'"
[ "$(query 'HKLM\Software\Classes\TypeLib\{8C4B2E61-3D7A-4F0B-9E52-6A1D0C7B3F10}\1.0\0\win64' '(Default)')" = \
    "$pf\\Taskstore\\Taskstore.dll" ] || fail "Taskstore type library not registered"

echo "== COM objects by ProgID from a script"
cat >"$work/com.vbs" <<'VBS'
Set store = CreateObject("Taskstore.JobStore")
store.SetMaxJobs 99
store.SetModel "VX-410"
store.SetModelIndex 0
Set job = store.GetJob(5)
job.Setdata "title", "From a script"
job.Commit
Set again = CreateObject("Taskstore.JobStore")
again.SetMaxJobs 99
again.SetModel "VX-410"
again.SetModelIndex 0
WScript.Echo "title=" & again.GetJob(5).Getdata("title")
Set editor = CreateObject("Plover.JobRegGUI")
WScript.Echo "editor=" & TypeName(editor)
VBS
out=$("$run" cscript //nologo "$(winpath "$work/com.vbs")" </dev/null 2>&1 | tr -d '\r')
grep -qx 'title=From a script' <<<"$out" || fail "job store by ProgID: $out"
grep -q '^editor=' <<<"$out" && ! grep -qx 'editor=Nothing' <<<"$out" || fail "editor by ProgID: $out"

echo "== The TWAIN manager offers the data source"
"$run" "$twainlist" </dev/null 2>&1 | tr -d '\r' | grep -qx 'Velmora VX-410 TWAIN' ||
    fail "the source manager does not list \"Velmora VX-410 TWAIN\""

echo "== The scanner service runs"
service_up() { [ -n "$(prefix_pids 'VX-410 Simulator.scanner-service.exe')" ]; }
wait_for 60 service_up || fail "the scanner service did not start after the install"
state "$work/relogon.txt" # ends every program, boots again: a log-on
wait_for 60 service_up || fail "the scanner service did not start at log-on"

echo "== A job from the simulated panel, with the installed programs only"
store() { "$run" "$pf\\Taskstore\\taskstore.exe" "$@" </dev/null >/dev/null 2>&1 || fail "taskstore $*"; }
sim() { "$run" "$pf\\VX-410 Simulator\\vx410.exe" "$@" </dev/null >/dev/null 2>&1 || fail "vx410 $*"; }
scans='C:\Scans'
mkdir -p "$(ppath "$scans")"
printf '[CustomDsData]\r\nScanType=1\r\nXResolution=200\r\nYResolution=200\r\n' >"$(ppath 'C:\Scans\driver.ini')"
"$run" reg add 'HKCU\Software\Velmora Works Inc.\kestrel\General' /v WriteLog /t REG_DWORD /d 1 /f >/dev/null 2>&1
for kv in "title|string|Invoices" "function id|i4|0" "function id name|string|Save as file" \
    "save|i2|1" "mypicture|i4|0" "save_path|string|$scans" "filename|string|scan" "filetype|i4|2" \
    "pdf_MultiPage|i4|1"; do
    IFS='|' read -r k t v <<<"$kv"
    store set 7 "$k" "$t" "$v"
done
store set 7 driver bytesfile 'C:\Scans\driver.ini'
sim select 7
sim feed --generate 2
sim press start
pdf_done() { pdfinfo "$(ppath "$scans")"/*.pdf 2>/dev/null | grep -q '^Pages: *2$'; }
kestrel_gone() { [ -z "$(prefix_pids 'Task Deck.kestrel.exe')" ]; }
wait_for 600 pdf_done || fail "the job left no two-page PDF in $scans"
wait_for 120 kestrel_gone || fail "kestrel did not end"

echo "== Uninstall"
t0=$(date +%s%N)
msi uninstall /x "$msiwin" || fail "msiexec /x failed (log $work/uninstall.log)"
echo "uninstall took $((($(date +%s%N) - t0) / 1000000)) ms"
service_up && fail "the scanner service still runs after the uninstall"
state "$work/after.txt"
# What may differ: the user's data (job store, simulator state, settings,
# scans, logs); what Wine itself changes (hardware keys, its own and the
# console's settings, the installer's bookkeeping keys it leaves empty, a key
# it empties: Run); the placeholder data source the package replaced.
user_data='file drive_c/users/[^/]*/(AppData/(Roaming|Local)/Velmora Works|Temp)/|file drive_c/Scans/|(key|value) HKCU\\Software\\Velmora Works Inc\.(\\| |$)'
wine_own='(key|value) HKLM\\System\\|(key|value) HKCU\\(Software\\Wine|Volatile Environment|Console)|key HKLM\\Software\\(Classes\\Installer|Microsoft\\Windows\\CurrentVersion\\Installer)\\[^|]*$'
removed='file drive_c/windows/twain_64/sane\.ds|key HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run'
diff "$work/before.txt" "$work/after.txt" | grep '^[<>] ' >"$work/leftovers.txt"
grep -vE "^> ($user_data)" "$work/leftovers.txt" | grep -vE "^[<>] ($wine_own)" |
    grep -vxE "< ($removed)" >"$work/unexpected.txt"
echo "left after the uninstall (user data and Wine's own):"
sed 's/^/    /' "$work/leftovers.txt"
if [ -s "$work/unexpected.txt" ]; then
    fail "the uninstall left or removed more than the user's data:"
    sed 's/^/    /' "$work/unexpected.txt"
fi
grep -q '^> file drive_c/Scans/.*\.pdf$' "$work/leftovers.txt" || fail "the user's scans are gone"
grep -q '^> file drive_c/users/.*/Taskstore/' "$work/leftovers.txt" || fail "the user's job store is gone"
pkg_finish
