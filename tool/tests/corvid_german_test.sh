#!/usr/bin/env bash
# corvid for a German user (a German Unix locale for Wine): the window's
# caption comes from the German catalogue, and its close button, pressed by
# its German text, ends the tool.
set -u
run="$VLM_SOURCE/tools/wine-run.sh"
. "$VLM_SOURCE/tools/wine-common.sh"
vlm_wine_env || exit 1
work=$(mktemp -d "${TMPDIR:-/tmp}/corvid-german.XXXXXX")
trap 'rm -rf "$work"' EXIT
winpath() { local p=$1; printf 'Z:%s' "${p//\//\\}"; }
export TASKSTORE_FILE VX410SIM_DIR
TASKSTORE_FILE=$(winpath "$work/Taskstore.reg")
mkdir -p "$work/state"
VX410SIM_DIR=$(winpath "$work/state")
deck='C:\Program Files\Velmora Works\Task Deck'
robot=$(winpath "$VLM_BUILD/tests/tools/uirobot.exe")

"$run" 'C:\Program Files\Velmora Works\Taskstore\taskstore.exe' set 4 title string Briefe \
    </dev/null >/dev/null 2>&1 || { echo "FAIL: job not stored"; exit 1; }
LC_ALL=de_DE.UTF-8 LANG=de_DE.UTF-8 "$run" "$deck\\corvid.exe" </dev/null >"$work/corvid.log" 2>&1 &
corvid=$!
# Found by its German caption, closed by its German button (one job: no question).
out=$("$run" "$robot" --exe corvid.exe --caption 'VX-410 Taskdeck-Registrierprogramm' \
    --press 'Schließen' --timeout 60000 </dev/null 2>/dev/null | tr -d '\r')
echo "$out"
status=0
grep -q 'caption=VX-410 Taskdeck-Registrierprogramm' <<<"$out" ||
    { echo "FAIL: no window with the German caption"; status=1; }
wait "$corvid" || { echo "FAIL: corvid ended with $?"; status=1; }
[ $status = 0 ] && echo "corvid in German: passed"
exit $status
