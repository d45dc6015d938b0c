#!/usr/bin/env bash
# Every dialog dialoghost opens shows its texts whole and gives each key
# to one control only, in English and in German, at 96 and at 144 DPI: each
# host runs with --check-fit, which measures every visible text control once
# the dialog is up, prints a line per control and per mnemonic clash and
# closes the dialog itself. A "clipped:" or "clash:" line, a missing summary,
# a run at the wrong DPI or a German run that shows no German text fails.
# The locale comes from the Unix environment of the Wine process; the DPI
# from the prefix's LogPixels, set for the 144 DPI runs and put back as it
# was when the script ends, so that the lane's other tests see it unchanged.
# The host runs from "Task Deck", beside the catalogue.
#   dialog_fit.sh [OUTPUT_DIR]   keeps each run's lines there (default: a temporary folder)
set -u
. "$VLM_SOURCE/editor/tests/deckhost.sh" dialoghost-fit.exe
old_dpi=$(vlm_dpi)
trap 'vlm_set_dpi "$old_dpi"; deckhost_cleanup' EXIT
# One run of the host; a host that never closes fails the run, not the test.
fit() { timeout 120 env "$@" 2>/dev/null | tr -d '\r'; }
# The file of one dialog's lines: OUT/DPI-LANG-WORDS.txt.
fitfile() {
    local name="$1-$2-${3// /_}"
    echo "$out/${name//[^A-Za-z0-9_.-]/_}.txt"
}
out=${1:-$work/out}
mkdir -p "$out" "$work/store"
export TASKSTORE_DIR="Z:${work//\//\\}\\store"
ts='C:\Program Files\Velmora Works\Taskstore\taskstore.exe'

store() { "$run" "$ts" "$@" </dev/null >/dev/null 2>&1 || { echo "FAIL: taskstore $*"; exit 1; }; }
# Job n+1 has function n (0 save, 1 mail, 2 print, 3 application, 4 mail
# application, 5..8 without pages); job 1 saves JPEG, 2 TIFF, 3 PDF.
for f in 0 1 2 3 4 5 6 7 8; do
    store set $((f + 1)) "function id" i4 $f
done
store set 1 filetype i4 1
store set 2 filetype i4 3
store set 3 filetype i4 2
store set 2 send string "anna@example.com,ben@example.org"

dialogs=()
for n in 1 2 3 4 5 6 7 8 9; do dialogs+=("edit $n"); done
for n in 1 2 3 4 5; do dialogs+=("edit2 $n"); done
dialogs+=("copy 1" "copy 1 1 20" "version" "admin 1" "admin 2" "admin 3" "admin 4")
dialogs+=("page save 1" "page save-image 1" "page mail 2" "page print 3" "page app 4")
dialogs+=("format jpeg 1" "format tiff 2" "format pdf 3" "format pdf-multi 3")
dialogs+=("access" "mail-address anna@example.com,ben@example.org")

fail=0 runs=0
# The check itself first: on its probe it finds each clipped kind, passes
# each kind with room and leaves hidden, frame and shortening statics out;
# of the mnemonics it reports the one pair that shares a key.
ids() { sed -n "s/^$1: id=\([0-9]*\) .*/\1/p" "$out/probe.txt" | sort -n | tr '\n' ' '; }
vlm_set_dpi 96 || { echo "FAIL: LogPixels cannot be set"; exit 1; }
fit LC_ALL=C.UTF-8 LANG=C.UTF-8 "$run" "$host" --check-fit fit-probe </dev/null >"$out/probe.txt"
want_clipped="1011 1012 1013 1014 1015 1016 1017 1018 "
want_fits="1 2 1001 1002 1003 1004 1005 1006 "
want_clash='clash: key=S id=1003 text="&sure" and id=1001 text="&Short"'
if [ "$(ids clipped)" = "$want_clipped" ] && [ "$(ids fits)" = "$want_fits" ] &&
    [ "$(grep '^clash: ' "$out/probe.txt")" = "$want_clash" ] &&
    grep -qx 'fit: checked=16 clipped=8 clashes=1 dpi=96' "$out/probe.txt"; then
    echo "ok: the probe's clipped controls and its clash are found, the others pass"
else
    echo "FAIL: probe: clipped '$(ids clipped)' (want '$want_clipped'), fits '$(ids fits)' (want '$want_fits'), clashes:"
    grep '^clash: ' "$out/probe.txt" | sed 's/^/    /'
    sed 's/^/    /' "$out/probe.txt"
    fail=1
fi

for dpi in 96 144; do
    vlm_set_dpi $dpi || { echo "FAIL: LogPixels $dpi cannot be set"; exit 1; }
    for lang in en de; do
        case $lang in
        en) loc=C.UTF-8 ;;
        de) loc=de_DE.UTF-8 ;;
        esac
        # One host measures every dialog of this language and DPI in turn.
        printf '%s\n' "${dialogs[@]}" |
            fit LC_ALL=$loc LANG=$loc "$run" "$host" --check-fit each >"$out/$dpi-$lang.txt"
        file=/dev/null
        while IFS= read -r line; do
            case $line in
            "dialog: "*) file=$(fitfile $dpi $lang "${line#dialog: }"); : >"$file" ;;
            *) echo "$line" >>"$file" ;;
            esac
        done <"$out/$dpi-$lang.txt"
        for d in "${dialogs[@]}"; do
            name=$(fitfile $dpi $lang "$d")
            [ -f "$name" ] || : >"$name"
            runs=$((runs + 1))
            summary=$(grep '^fit: ' "$name")
            if ! grep -q '^result=2$' "$name" || [ -z "$summary" ]; then
                echo "FAIL: $dpi dpi $lang $d: not measured or not closed by Cancel"
                sed 's/^/    /' "$name"
                fail=1
                continue
            fi
            if [ "${summary##* dpi=}" != $dpi ]; then
                echo "FAIL: $dpi dpi $lang $d: laid out for ${summary##* dpi=} dpi"
                fail=1
            elif grep -q '^clipped: \|^clash: ' "$name"; then
                echo "FAIL: $dpi dpi $lang $d:"
                grep '^clipped: \|^clash: ' "$name" | sed 's/^/    /'
                fail=1
            else
                echo "ok: $dpi dpi $lang $d: $summary"
            fi
        done
    done
done

# The German runs really were German, the English ones English.
grep -qx 'fits: id=2 class=Button text="Abbrechen" .*' "$(fitfile 96 de access)" ||
    { echo "FAIL: the German access dialog has no German Cancel"; fail=1; }
grep -qx 'fits: id=2 class=Button text="Cancel" .*' "$(fitfile 96 en access)" ||
    { echo "FAIL: the English access dialog has no English Cancel"; fail=1; }

[ $fail = 0 ] && echo "dialog fit: $runs dialogs measured, nothing clipped, no key twice"
exit $fail
