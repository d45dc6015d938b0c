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
. "$root/tools/wine-jobs.sh"
vlm_wine_env
step() { printf '\n== %s\n' "$*"; }
die() {
    echo "demo: $*" >&2
    exit 1
}

# Your own pictures: the feeder takes binary PBM/PGM/PPM and BMP as they are;
# anything else ImageMagick can read becomes a PPM first, shrunk to fit A4 at
# 200 dpi (a PPM carries no resolution, and the feeder takes it as 200 dpi).
demo=$VLM_BUILD/demo
rm -rf "$demo" && mkdir -p "$demo"
own=()
for f in "$@"; do
    [ -f "$f" ] || { echo "demo: no such file: $f" >&2; exit 2; }
    case ${f,,} in
    *.pbm | *.pgm | *.ppm | *.pnm | *.bmp) own+=("$(winpath "$(realpath "$f")")") ;;
    *)
        mkdir -p "$demo/own"
        out=$demo/own/$(printf '%02d' $((${#own[@]} + 1))).ppm
        convert "$f" -flatten -resize '1654x2339>' "$out" || { echo "demo: cannot convert $f" >&2; exit 2; }
        own+=("$(winpath "$out")")
        ;;
    esac
done

bash "$root/tools/wine-env.sh" setup
# The demo's own simulated scanner, job store and save folder, so nothing of
# the user's is touched; kestrel's run log on (HKCU\Software\Velmora Works
# Inc.\kestrel\General WriteLog=1).
jobs_begin "$demo" kestrel-demo.log
cleanup() {
    jobs_end
    bash "$root/tools/wine-env.sh" stop
}
trap cleanup EXIT
saved=$demo/Scans
mkdir -p "$saved"

step "Register job 7 \"Invoices\" in the job store: Save as file, one PDF of all pages"
# Scanner settings of the job: colour, 200 dpi, A4.
printf '[CustomDsData]\r\nScanType=3\r\nXResolution=200\r\nYResolution=200\r\nPageSize=A4 - 210 x 297 mm\r\n' \
    >"$demo/driver.ini"
save_job 7 "$saved" 2 "$demo/driver.ini" "pdf_MultiPage i4 1;filename string Invoice"
store set 7 title string "Invoices"
"$run" "$store_dir\\taskstore.exe" list
[ "$failures" -eq 0 ] || die "the job could not be registered"

if [ ${#own[@]} -gt 0 ]; then
    step "Simulated scanner: select job 7, put your ${#own[@]} picture(s) in the feeder"
    "$run" "$sim\\vx410.exe" select 7
    "$run" "$sim\\vx410.exe" feed "${own[@]}"
else
    step "Simulated scanner: select job 7, put 3 generated pages in the feeder"
    "$run" "$sim\\vx410.exe" select 7
    "$run" "$sim\\vx410.exe" feed --generate 3
fi
"$run" "$sim\\vx410.exe" status

step "Start the scanner service"
jobs_start_service || die "the scanner service did not start"

step "Press Start on the scanner panel, wait for the job to end"
press_start_and_wait 600
[ -n "$job_ended" ] || die "kestrel did not end within 10 minutes"
cat "$service_log"

step "Panel of the simulated scanner"
"$run" "$sim\\vx410.exe" panel | grep -v '^ *[0-9]*: *$' || true

step "kestrel's run log, the pages and the delivery"
log=$(jobs_run_logs | head -1)
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
[ -n "$pdf" ] || die "the job left no PDF in the save folder"

step "pdfinfo $(basename "$pdf")"
pdfinfo "$pdf"

step "First page as a picture"
png=$demo/$(basename "$pdf" .pdf)-page1
pdftoppm -png -r 60 -f 1 -l 1 -singlefile "$pdf" "$png"
echo "The scanned file:     $pdf"
echo "Its first page:       $png.png"
case $job_ended in *"exit code 0"*) ;; *) die "kestrel did not end well: $job_ended" ;; esac
