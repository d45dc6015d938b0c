#!/usr/bin/env bash
# make demo: a scan job started from the simulated VX-410's panel.
#   tools/demo.sh              three generated document pages in the feeder
#   tools/demo.sh IMAGE...     your own pictures in the feeder instead
# A "Save as file" job writing one multi-page PDF is registered in the job
# store; pressing Start on the simulated panel makes the scanner service start
# kestrel, which scans the feeder through the TWAIN data source, writes the
# PDF and copies it to the job's save folder. The demo then shows where the
# file landed and renders its first page to a PNG.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
export VLM_BUILD=$root/build/windows
. "$root/tools/wine-common.sh"
vlm_wine_env
run() { "$root/tools/wine-run.sh" "$@"; }
winpath() { bash "$root/tools/wine-env.sh" winpath "$1"; }
step() { printf '\n== %s\n' "$*"; }

# Your own pictures: the feeder takes binary PBM/PGM/PPM and BMP; anything
# else ImageMagick can read is converted to PPM first.
demo=$VLM_BUILD/demo
rm -rf "$demo" && mkdir -p "$demo/sim" "$demo/own"
own=()
for f in "$@"; do
    [ -f "$f" ] || { echo "demo: no such file: $f" >&2; exit 2; }
    case ${f,,} in
    *.pbm | *.pgm | *.ppm | *.pnm | *.bmp) own+=("$(winpath "$(realpath "$f")")") ;;
    *)
        out=$demo/own/$(printf '%02d' $((${#own[@]} + 1))).ppm
        convert "$f" -flatten "$out" || { echo "demo: cannot convert $f" >&2; exit 2; }
        own+=("$(winpath "$out")")
        ;;
    esac
done

bash "$root/tools/wine-env.sh" setup
service_started=
cleanup() {
    [ -n "$service_started" ] && run "$sim\\scanner-service.exe" --stop >/dev/null 2>&1 || true
    bash "$root/tools/wine-env.sh" stop
}
trap cleanup EXIT

# The demo's own simulated scanner, job store and save folder, so nothing of
# the user's is touched.
saved=$demo/Scans
mkdir -p "$saved"
export VX410SIM_DIR=$(winpath "$demo/sim")
export TASKSTORE_FILE=$(winpath "$demo/Taskstore.reg")
export WINEDEBUG=-all
sim='C:\Program Files\Velmora Works\VX-410 Simulator'
store='C:\Program Files\Velmora Works\Taskstore'
set_job() { run "$store\\taskstore.exe" set 7 "$@" >/dev/null; }

step "Register job 7 \"Invoices\" in the job store: Save as file, one PDF of all pages"
set_job title string "Invoices"
set_job "function id" i4 0
set_job "function id name" string "Save as file"
set_job filetype i4 2
set_job pdf_MultiPage i4 1
set_job filename string "Invoice"
set_job save i2 1
set_job mypicture i4 0
set_job save_path string "$(winpath "$saved")"
# Scanner settings of the job: colour, 200 dpi, A4.
printf '[CustomDsData]\r\nScanType=3\r\nXResolution=200\r\nYResolution=200\r\nPageSize=A4 - 210 x 297 mm\r\n' \
    >"$demo/driver.ini"
set_job driver bytesfile "$(winpath "$demo/driver.ini")"
run "$store\\taskstore.exe" list

step "Switch the runner's log on (HKCU\\Software\\Velmora Works Inc.\\kestrel\\General WriteLog=1)"
key='HKCU\Software\Velmora Works Inc.\kestrel\General'
run reg add "$key" /v WriteLog /t REG_DWORD /d 1 /f >/dev/null 2>&1
run reg add "$key" /v LogFileName /d kestrel-demo.log /f >/dev/null 2>&1
rm -f "$WINEPREFIX"/drive_c/users/*/Temp/kestrel-demo*.log 2>/dev/null || true

if [ ${#own[@]} -gt 0 ]; then
    step "Simulated scanner: select job 7, put your ${#own[@]} picture(s) in the feeder"
    run "$sim\\vx410.exe" select 7
    run "$sim\\vx410.exe" feed "${own[@]}"
else
    step "Simulated scanner: select job 7, put 3 generated pages in the feeder"
    run "$sim\\vx410.exe" select 7
    run "$sim\\vx410.exe" feed --generate 3
fi
run "$sim\\vx410.exe" status

step "Start the scanner service"
service_log=$demo/service.log
run "$sim\\scanner-service.exe" --log "$(winpath "$service_log")" </dev/null >/dev/null 2>&1 &
service_started=1
# Waits up to $1 seconds for a line of the service log.
wait_service_line() {
    local limit=$(($1 * 10)) i
    for ((i = 0; i < limit; i++)); do
        grep -q "$2" "$service_log" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}
wait_service_line 120 "scanner service started" || { echo "demo: the scanner service did not start" >&2; exit 1; }

step "Press Start on the scanner panel, wait for the job to end"
run "$sim\\vx410.exe" press start
wait_service_line 600 "kestrel ended" || { echo "demo: kestrel did not end within 10 minutes" >&2; exit 1; }
cat "$service_log"

step "Panel of the simulated scanner"
run "$sim\\vx410.exe" panel | grep -v '^ *[0-9]*: *$' || true

step "kestrel's run log, the pages and the delivery"
log=$(ls "$WINEPREFIX"/drive_c/users/*/Temp/kestrel-demo.log 2>/dev/null | head -1)
if [ -n "$log" ]; then
    grep -aE 'JobNumber is|Scan Page|TempFileName|SaveFile (succeeded|failed)|JobDlg DispMessage|CopyFile|EndJob\(\)$' \
        "$log" | tr -d '\r' | cut -c12- || true
    echo "(whole log: $log)"
else
    echo "(no run log found)"
fi

step "Save folder $saved"
ls -l "$saved"
pdf=$(ls "$saved"/*.pdf 2>/dev/null | head -1)
if [ -z "$pdf" ]; then
    echo "demo: the job left no PDF in the save folder" >&2
    exit 1
fi

step "pdfinfo $(basename "$pdf")"
pdfinfo "$pdf"

step "First page as a picture"
png=$demo/$(basename "$pdf" .pdf)-page1
pdftoppm -png -r 60 -f 1 -l 1 -singlefile "$pdf" "$png"
echo "The scanned file:     $pdf"
echo "Its first page:       $png.png"
grep -q "exit code 0" "$service_log" || { echo "demo: kestrel did not end well" >&2; exit 1; }
