#!/usr/bin/env bash
# The save page for a German user: labels and the refusal in German. The
# locale comes from the Unix environment of the Wine process, so this script
# starts the host; pageprobe reads the page's controls, uirobot answers the
# boxes.
set -u
. "$VLM_SOURCE/editor/tests/deckhost.sh" dialoghost-german.exe
export TASKSTORE_DIR="Z:${work//\//\\}"
ts='C:\Program Files\Velmora Works\Taskstore\taskstore.exe'
probe="$VLM_BUILD/editor/pageprobe.exe"
robot="$VLM_BUILD/tests/tools/uirobot.exe"
fail=0

store() { "$run" "$ts" "$@" </dev/null >/dev/null 2>&1 || { echo "FAIL: taskstore $*"; exit 1; }; }
store set 3 "function id" i4 4
store set 3 save i4 1
store set 3 mypicture i4 0
store set 3 save_path string 'C:\Scans'
store set 3 filename string 'a|b'

LC_ALL=de_DE.UTF-8 LANG=de_DE.UTF-8 "$run" "$host" page save-image 3 </dev/null \
    >"$work/host.out" 2>/dev/null &
hostpid=$!

text() { "$run" "$probe" "$exe" "$1" </dev/null 2>/dev/null | tr -d '\r' | sed -n 's/^text=//p'; }
expect() {
    if [ "$1" = "$2" ]; then echo "ok: $3: $1"; else echo "FAIL: $3: got '$1', want '$2'"; fail=1; fi
}
expect "$(text 410)" "Bi&lder speichern" "save-image box"
expect "$(text 412)" "&Speichern in Ordner" "folder label"
expect "$(text 415)" "&Zugriffseinstellungen..." "access button"
expect "$(text 420)" "&Einstellungen..." "format button"
label=$(text 411)
case $label in
"Im Ordner „"*"“ spei&chern") echo "ok: pictures folder box: $label" ;;
*) echo "FAIL: pictures folder box: '$label'"; fail=1 ;;
esac

"$run" "$robot" --exe "$exe" --caption Page --press OK </dev/null >/dev/null 2>&1
box=$("$run" "$robot" --exe "$exe" --caption Fehler --timeout 30000 --press OK </dev/null 2>/dev/null |
    tr -d '\r' | iconv -f CP1252 -t UTF-8)
echo "$box"
grep -qF 'text=\ /  * ? < > : | "    Diese Zeichen sind in Dateinamen nicht zulässig.' <<<"$box" ||
    { echo "FAIL: German refusal"; fail=1; }

"$run" "$robot" --exe "$exe" --caption Page --press Abbrechen </dev/null >/dev/null 2>&1 ||
    "$run" "$robot" --exe "$exe" --caption Page --press Cancel </dev/null >/dev/null 2>&1
wait "$hostpid"
grep -q '^result=2' "$work/host.out" || { echo "FAIL: host did not end by Cancel"; cat "$work/host.out"; fail=1; }
[ $fail = 0 ] && echo "German save page: passed"
exit $fail
