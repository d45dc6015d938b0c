#!/usr/bin/env bash
# The localisation set-up in the installed layout: a program in "Task Deck"
# finds zxdloc.dll in "Shared Files" and the catalogue beside itself.
set -u
run="$VLM_SOURCE/tools/wine-run.sh"
. "$VLM_SOURCE/tools/wine-common.sh"
vlm_wine_env || exit 1
deck="$WINEPREFIX/drive_c/Program Files/Velmora Works/Task Deck"
[ -f "$deck/TaskdeckCore.loc" ] || { echo "FAIL: catalogue not installed"; exit 1; }
cp -f "$VLM_BUILD/common/locprobe.exe" "$deck/locprobe.exe" || exit 1
trap 'rm -f "$deck/locprobe.exe" "$deck/jtzxdloc.dll"' EXIT
probe='C:\Program Files\Velmora Works\Task Deck\locprobe.exe'

out=$("$run" "$probe" "Please wait." "Unknown key" </dev/null 2>/dev/null | tr -d '\r')
echo "$out"
grep -qx 'init=1' <<<"$out" || { echo "FAIL: init"; exit 1; }
grep -qi 'library=C:\\Program Files\\Velmora Works\\Shared Files\\zxdloc.dll' <<<"$out" ||
    { echo "FAIL: library not from Shared Files"; exit 1; }
grep -qx 'text=Unknown key' <<<"$out" || { echo "FAIL: unknown key"; exit 1; }
if grep -qx 'langid=0407' <<<"$out"; then
    grep -qx 'text=Bitte warten.' <<<"$out" || { echo "FAIL: German expected"; exit 1; }
else
    grep -qx 'text=Please wait.' <<<"$out" || { echo "FAIL: English expected"; exit 1; }
fi

# A German user gets the German text.
out=$(LC_ALL=de_DE.UTF-8 LANG=de_DE.UTF-8 "$run" "$probe" "Please wait." </dev/null 2>/dev/null | tr -d '\r')
echo "$out"
grep -qx 'langid=0407' <<<"$out" || { echo "FAIL: German user locale not seen"; exit 1; }
grep -qx 'text=Bitte warten.' <<<"$out" || { echo "FAIL: German text"; exit 1; }
# The runner's own library beside the program: the runner takes it, the job
# list tool and the editor keep to the shared one.
cp -f "$deck/../Shared Files/vlmloc.dll" "$deck/jtzxdloc.dll" || exit 1
out=$("$run" "$probe" "Please wait." </dev/null 2>/dev/null | tr -d '\r')
grep -qix 'library=C:\\Program Files\\Velmora Works\\Task Deck\\jtzxdloc.dll' <<<"$out" ||
    { echo "FAIL: the runner does not take jtzxdloc.dll: $out"; exit 1; }
out=$("$run" "$probe" --tool "Please wait." </dev/null 2>/dev/null | tr -d '\r')
grep -qix 'library=C:\\Program Files\\Velmora Works\\Shared Files\\zxdloc.dll' <<<"$out" ||
    { echo "FAIL: the tool takes another library: $out"; exit 1; }
echo "localisation set-up: passed"
