#!/usr/bin/env bash
# Screenshots of the job list tool corvid and of the editor dialogs it opens
# (Copy, Version, the administrator settings), in English and German, at 96
# and 144 DPI, on the demo's job store (tools/demo-store.sh), under Xvfb
# with Wine's X11 driver in the shots' prefix:
#   tools/corvid-screenshots.sh [OUTPUT_DIR]   (default build/windows/screenshots)
# Writes corvid-LANG-DPI.png, copy-LANG-DPI.png, version-LANG-DPI.png and
# copy-version-dialogs-LANG-DPI.png (the copy dialog above the version
# dialog); through ploverctl.exe, as corvid calls the editor: jobedit-2 (a
# mail job: save and mail pages), jobedit-5 (open with a program), admin4
# and admin1 (administrator settings, forms 4 and 1). The 96 DPI pictures
# are the README's.
set -eu
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/shot-common.sh"
. "$here/demo-store.sh"
shot_begin "${1:-}"

work=$(mktemp -d)
cleanup() {
    vlm_set_dpi 96 || true
    shot_stop
    rm -rf "$work"
}
trap cleanup EXIT
shot_start_display 93

"$here/wine-env.sh" setup >/dev/null
demo_scans_folder "$WINEPREFIX"
run="$here/wine-run.sh"
deck='C:\Program Files\Velmora Works\Task Deck'
robot="$VLM_BUILD/tests/tools/uirobot.exe"
mkdir -p "$work/state"
export TASKSTORE_FILE VX410SIM_DIR
TASKSTORE_FILE=$(winpath "$work/Taskstore.reg")
VX410SIM_DIR=$(winpath "$work/state")

# Waits for a window whose title is exactly $1 and writes it to $2.
shoot() {
    shot_take "$(shot_window "$1")" "$2"
    echo "$2"
}
robot() { "$run" "$robot" "$@" </dev/null >/dev/null 2>&1; }
# One recovered job (its folder and manifest, as a runner leaves them) with reason $1.
recover() {
    local root="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Velmora Works/Recovered scans"
    local when; when=$(date '+%Y-%m-%d %H.%M.%S')
    local dir="$root/3 Delivery notes $when"
    rm -rf "$root"
    mkdir -p "$dir"
    : >"$dir/scan20261208093000000.pdf"
    printf '[Recovered scan]\r\nJob=3\r\nTitle=Delivery notes\r\nFunctionId=0\r\nFunction=Save as file\r\nFileType=PDF\r\nPages=4\r\nTime=%s\r\nReason=%s\r\nFile=scan20261208093000000.pdf\r\n' \
        "$when" "$1" >"$dir/manifest.ini"
}
store() { "$run" 'C:\Program Files\Velmora Works\Taskstore\taskstore.exe' "$@" </dev/null >/dev/null 2>&1; }

for dpi in 96 144; do
    vlm_set_dpi $dpi
    for lang in en de; do
        if [ $lang = de ]; then
            loc=de_DE.UTF-8 main="VX-410 Taskdeck-Registrierprogramm" copy=Kopieren
            recovered="Wiederhergestellte Scans" reason="Auf den Ordner kann nicht zugegriffen werden."
            version=Versionsinformationen admin=Verwaltung cancel=Abbrechen edit=Neu/Bearbeiten
        else
            loc=en_US.UTF-8 main="VX-410 Taskdeck Registrar" copy=Copy
            recovered="Recovered scans" reason="Can't access folder."
            version="Version Information" admin=Admin cancel=Cancel edit=New/Editing
        fi
        demo_store "$work/Taskstore.reg" $lang
        name() { echo "$out/$1-$lang-$dpi.png"; }

        LC_ALL=$loc LANG=$loc "$run" "$deck\\corvid.exe" </dev/null >/dev/null 2>&1 &
        corvid=$!
        shoot "$main" "$(name corvid)"
        # The menu commands Copy... (job 1 is selected), Version... and back.
        robot --exe corvid.exe --any-window --caption "$main" --command 32791
        shoot "$copy" "$(name copy)"
        robot --exe corvid.exe --caption "$copy" --press "$cancel"
        robot --exe corvid.exe --any-window --caption "$main" --command 32783
        shoot "$version" "$(name version)"
        robot --exe corvid.exe --caption "$version" --press OK
        # Editing > Recovered scans... with one kept job.
        recover "$reason"
        robot --exe corvid.exe --any-window --caption "$main" --command 32793
        shoot "$recovered" "$(name recovered)"
        robot --exe corvid.exe --caption "$recovered" --command 2 # Close
        convert "$(name copy)" -background white -splice 0x8 "$(name version)" -append \
            "$(name copy-version-dialogs)"
        robot --exe corvid.exe --any-window --caption "$main" --command 1094 # Close
        wait "$corvid" || true

        # The store-wide settings once corvid's plug-in has prepared the store.
        store common set SMTPServerName string mail.example.com
        store common set SMTP_ID i4 1
        store common set MailSize i4 10
        store common set MonitorOpen i4 1
        store common set DisplayWarning0 i4 1
        store common set MonitorPath0 string "$demo_scans"
        store common set WarningSize0 i4 500
        # New/Editing of a mail job (its save and mail pages) and of a job
        # that opens the scans with a program.
        store set 2 "function id" i4 1
        store set 2 send string "anna@example.com,ben@example.org"
        store set 2 from string "scanner@example.com"
        store set 2 subject string "$([ $lang = de ] && echo "Gescannte Lieferscheine" || echo "Scanned delivery notes")"
        store set 5 "function id" i4 3
        store set 5 "app path" string 'C:\Program Files\Viewer\viewer.exe'
        for job in 2 5; do
            LC_ALL=$loc LANG=$loc "$run" "$deck\ploverctl.exe" DoModal $job </dev/null >/dev/null 2>&1 &
            shoot "$edit" "$(name jobedit-$job)"
            robot --exe ploverctl.exe --caption "$edit" --command 2 # Cancel, on a page of its own
            wait $! || true
        done
        for form in 4 1; do
            args=(ControlDialog$form)
            [ $form = 4 ] && args+=(0)
            LC_ALL=$loc LANG=$loc "$run" "$deck\\ploverctl.exe" "${args[@]}" </dev/null >/dev/null 2>&1 &
            shoot "$admin" "$(name admin$form)"
            robot --exe ploverctl.exe --caption "$admin" --press "$cancel"
            wait $! || true
        done
    done
done
echo "screenshots in $out"
