#!/usr/bin/env bash
# corvid for a German user (a German Unix locale for Wine): the window's
# caption comes from the German catalogue, its help command opens the German
# help file (its window is titled from that file), and its close button,
# pressed by its German text, ends the tool.
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
caption='VX-410 Taskdeck-Registrierprogramm'
status=0
# Found by its German caption; Help > Task Deck Help (menu command 32784).
out=$("$run" "$robot" --exe corvid.exe --caption "$caption" --command 32784 --timeout 60000 \
    </dev/null 2>/dev/null | tr -d '\r')
echo "$out"
grep -q "caption=$caption" <<<"$out" || { echo "FAIL: no window with the German caption"; status=1; }
help=$("$run" "$robot" --exe corvid.exe --any-window --caption 'VX-410 Task Deck-Hilfe' \
    --timeout 60000 </dev/null 2>/dev/null | tr -d '\r')
grep -q 'caption=VX-410 Task Deck-Hilfe' <<<"$help" ||
    { echo "FAIL: the German help did not open: $help"; status=1; }
# Closed by its German button (one job: no question).
"$run" "$robot" --exe corvid.exe --caption "$caption" --press 'Schließen' --timeout 60000 \
    </dev/null >/dev/null 2>&1 || { echo "FAIL: Schließen not pressed"; status=1; }
wait "$corvid" || { echo "FAIL: corvid ended with $?"; status=1; }
[ $status = 0 ] && echo "corvid in German: passed"
exit $status
