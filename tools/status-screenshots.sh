#!/usr/bin/env bash
# The pictures of the status window and the error dialog in docs/screenshots:
#   tools/status-screenshots.sh [en|de]...     (default: en de)
# For each language: status-LANG.png, the status window in the middle of a
# job (the scan waits at page 1 for the folder-size question, which is left
# unanswered), and error-LANG.png, the error dialog of a job that is not
# registered, started by hand. Each picture is taken by tools/screenshot.sh
# in its own prefix; the simulated scanner and the job store live under
# build/windows/shots/.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
export VLM_BUILD=${VLM_BUILD:-$root/build/windows}
export VLM_WINEPREFIX=$VLM_BUILD/wineprefix-shots
. "$root/tools/wine-jobs.sh"
vlm_wine_env
out=$root/docs/screenshots
mkdir -p "$out"
langs=("$@")
[ ${#langs[@]} -gt 0 ] || langs=(en de)

die() {
    echo "status-screenshots: $*" >&2
    exit 1
}
caption_of() { [ "$1" = de ] && echo "Monitor für VX-410" || echo "Monitor for VX-410"; }

# Small enough for the repository: a palette of the window's few colours.
shrink() { convert "$1" -strip -colors 64 PNG8:"$1"; }

# The job store, the scanner and the status window's place (top left, away
# from the question box in the middle of the screen), made while the shots
# prefix runs headless; screenshot.sh restarts it on its display.
prepare() { # WORK LANG: job 7 saves into WORK/Scans, watching it with a 1 MiB limit
    local work=$1
    rm -rf "$work" && mkdir -p "$work/Scans"
    bash "$root/tools/wine-env.sh" setup >/dev/null
    jobs_begin "$work" kestrel-shots.log
    printf '[CustomDsData]\r\nScanType=2\r\nXResolution=200\r\nYResolution=200\r\nPageSize=A4 - 210 x 297 mm\r\n' \
        >"$work/driver.ini"
    save_job 7 "$work/Scans" 0 "$work/driver.ini"
    store set 7 title string "Invoices"
    # The function's name as the job editor stored it for the user.
    [ "$2" = de ] && store set 7 "function id name" string "Als Datei speichern"
    store common set MonitorOpen i4 1
    for i in 0 1 2 3 4; do store common set "DisplayWarning$i" i4 $([ $i = 3 ] && echo 1 || echo 0); done
    store common set MonitorPath3 string "$(winpath "$work/Scans")"
    store common set WarningSize3 i4 1
    local pos='HKCU\Software\Velmora Works Inc.\Job\kestrel\window1pos'
    "$run" reg add "$pos" /v left /t REG_DWORD /d 24 /f >/dev/null 2>&1
    "$run" reg add "$pos" /v top /t REG_DWORD /d 24 /f >/dev/null 2>&1
    [ "$failures" -eq 0 ] || die "the job could not be registered"
}

shoot() { # LANG NAME SETTLE BATCH
    bash "$root/tools/screenshot.sh" --lang "$1" --out "$out/$2-$1.png" --exe kestrel.exe \
        --wait-caption "$(caption_of "$1")" --settle "$3" --timeout 180 \
        -- 'C:\windows\system32\cmd.exe' /c "$(winpath "$4")"
    shrink "$out/$2-$1.png"
}

for lang in "${langs[@]}"; do
    work=$VLM_BUILD/shots/status-$lang
    prepare "$work" "$lang"
    tool select 7
    tool feed --generate 3
    tool press start
    bash "$root/tools/wine-env.sh" stop
    # The service takes the Start press waiting for it and starts kestrel.
    printf '"%s\\scanner-service.exe" --log "%s"\r\n' "$sim" "$(winpath "$work/service.log")" \
        >"$work/job.bat"
    shoot "$lang" status 8 "$work/job.bat"

    prepare "$work" "$lang"
    tool select 43 # no such job
    bash "$root/tools/wine-env.sh" stop
    printf 'start "" "%s\\scanner-service.exe" --no-launch --log "%s"\r\n"%s\\Task Deck\\kestrel.exe" /StiDevice:{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000\r\n' \
        "$sim" "$(winpath "$work/service.log")" "$pf" >"$work/error.bat"
    # Taken before the dialog closes itself after ten seconds.
    shoot "$lang" error 3 "$work/error.bat"
done
ls -l "$out"
