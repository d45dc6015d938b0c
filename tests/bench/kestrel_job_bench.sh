#!/usr/bin/env bash
# Whole jobs through kestrel, started from the simulated panel: 20 and 200
# generated A4 pages at 300 dpi, as a bilevel Group 4 multi-page TIFF and as
# a colour multi-page PDF. For each job: pages per minute, the data source's
# transfer time per page and what the runner adds per page beyond it (from
# the run log's time stamps, see joblog.py), and kestrel's peak working set
# (peakws.exe follows the process). The peak must not grow with the number
# of pages: pages are written as they arrive.
#   BENCH_PAGES="20 200" (the two counts, the first one the reference)
set -u
run="$VLM_SOURCE/tools/wine-run.sh"
here=$VLM_SOURCE/tests/bench
pf='C:\Program Files\Velmora Works'
sim="$pf\\VX-410 Simulator"
peakws=$VLM_BUILD/tests/bench/peakws.exe
read -r small large <<<"${BENCH_PAGES:-20 200}"
# How much higher the large job's peak may be than the small one's.
flat_limit=1.25
work=$(mktemp -d "$VLM_BUILD/kestrel-bench.XXXXXX")
. "$VLM_SOURCE/tools/wine-common.sh"
vlm_wine_env
winpath() { printf 'Z:%s' "${1//\//\\}"; }
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cleanup() {
    "$run" "$sim\\scanner-service.exe" --stop </dev/null >/dev/null 2>&1
    "$run" taskkill /f /im kestrel.exe </dev/null >/dev/null 2>&1
    [ -n "${KEEP_WORK:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
[ -f "$peakws" ] || { echo "peakws.exe is not built ($peakws)"; exit 1; }

export VX410SIM_DIR=$(winpath "$work/state")
export TASKSTORE_FILE=$(winpath "$work/Taskstore.reg")
mkdir -p "$work/state"
key='HKCU\Software\Velmora Works Inc.\kestrel\General'
"$run" reg add "$key" /v WriteLog /t REG_DWORD /d 1 /f >/dev/null 2>&1
"$run" reg add "$key" /v LogFileName /t REG_SZ /d kestrel-bench.log /f >/dev/null 2>&1
"$run" reg add "$key" /v JobNumber /t REG_DWORD /d 0 /f >/dev/null 2>&1
"$run" reg add "$key" /v CScanLog /t REG_DWORD /d 0 /f >/dev/null 2>&1
tmpdirs=$(find "$WINEPREFIX/drive_c/users" -maxdepth 3 -type d -name Temp)
run_logs() { for t in $tmpdirs; do ls "$t"/kestrel-bench*.log 2>/dev/null; done; }

store() { "$run" "$pf\\Taskstore\\taskstore.exe" "$@" </dev/null >/dev/null 2>&1 || fail "taskstore $*"; }
tool() { "$run" "$sim\\vx410.exe" "$@" </dev/null >/dev/null 2>&1 || fail "vx410 $*"; }

service_log=$work/service.log
"$run" "$sim\\scanner-service.exe" --log "$(winpath "$service_log")" </dev/null >/dev/null 2>&1 &
for _ in $(seq 600); do grep -q "scanner service started" "$service_log" 2>/dev/null && break; sleep 0.1; done
grep -q "scanner service started" "$service_log" || { fail "the scanner service did not start"; exit 1; }

jobs_done=0
results=$work/results.txt
: >"$results"
# bench_job NAME N FILETYPE SCANTYPE "KEY TYPE VALUE;..." PAGES COUNT_PAGES_CMD
# Registers job N saving into its own folder, feeds PAGES generated sheets,
# presses Start with peakws watching, waits for the end and records the
# figures as one line of $results.
bench_job() {
    local name=$1 n=$2 ftype=$3 scantype=$4 extra=$5 pages=$6 counter=$7
    local saved=$work/saved$n
    rm -rf "$saved" && mkdir -p "$saved"
    store set "$n" title string "Bench $n"
    store set "$n" "function id" i4 0
    store set "$n" "function id name" string "Save as file"
    store set "$n" save i2 1
    store set "$n" mypicture i4 0
    store set "$n" save_path string "$(winpath "$saved")"
    store set "$n" filename string "bench"
    store set "$n" filetype i4 "$ftype"
    for k in tiff_Comp tiff_MultiPage pdf_MultiPage pdf_OCRLangID pdf_AddOCR pdf_CompRate; do
        store set "$n" "$k" i4 0
    done
    local IFS=';'
    for kv in $extra; do
        IFS=' ' read -r k t v <<<"$kv"
        store set "$n" "$k" "$t" "$v"
    done
    unset IFS
    printf '[CustomDsData]\r\nScanType=%s\r\nXResolution=300\r\nYResolution=300\r\nPageSize=A4 - 210 x 297 mm\r\n' \
        "$scantype" >"$work/driver$n.ini"
    store set "$n" driver bytesfile "$(winpath "$work/driver$n.ini")"
    tool clear
    tool select "$n"
    tool feed --generate "$pages"
    rm -f $(run_logs)

    # A generous deadline: a busy machine may take seconds per colour page.
    local deadline=$((300 + 20 * pages))
    "$run" "$peakws" kestrel.exe "$deadline" >"$work/peak$n.txt" 2>&1 </dev/null &
    local probe=$!
    tool press start
    jobs_done=$((jobs_done + 1))
    local waited=0
    while [ "$(grep -c "kestrel ended" "$service_log")" -lt "$jobs_done" ] && [ $waited -lt $((deadline * 10)) ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    wait "$probe" || fail "$name $pages: peakws: $(cat "$work/peak$n.txt")"

    local figures
    figures=$(python3 "$here/joblog.py" "$service_log" $(run_logs)) || {
        fail "$name $pages: the logs hold no whole job"
        return
    }
    local -A f
    while IFS='=' read -r k v; do f[$k]=$v; done <<<"$figures"
    [ "${f[exit_code]}" = 0 ] || fail "$name $pages: kestrel ended with exit code ${f[exit_code]}"
    [ "${f[pages]}" = "$pages" ] && [ "${f[pages_written]}" = "$pages" ] ||
        fail "$name $pages: ${f[pages]} pages scanned, ${f[pages_written]} written"
    local files out got
    files=$(ls "$saved")
    [ "$(wc -l <<<"$files")" -eq 1 ] || fail "$name $pages: save folder holds: $files"
    out=$saved/$(head -1 <<<"$files")
    got=$($counter "$out")
    [ "$got" = "$pages" ] || fail "$name $pages: $got pages in $out"
    local peak
    peak=$(awk '/^peak_working_set_bytes/ {print $2}' "$work/peak$n.txt")
    printf '%s %s %s %s %s %s %s %s %s\n' "$name" "$pages" "${f[job_s]}" "${f[pages_per_minute]}" \
        "${f[source_ms_per_page]}" "${f[write_ms_per_page]}" "${f[runner_ms_per_page]}" \
        "${peak:-0}" "$(stat -c %s "$out")" >>"$results"
    rm -rf "$saved"
}

tiff_pages() { tiffinfo "$1" 2>/dev/null | grep -c "TIFF Directory"; }
pdf_pages() { pdfinfo "$1" 2>/dev/null | awk '/^Pages:/ {print $2}'; }

bench_job tiff-g4 1 3 0 "tiff_MultiPage i4 1;tiff_Comp i4 1" "$small" tiff_pages
bench_job tiff-g4 2 3 0 "tiff_MultiPage i4 1;tiff_Comp i4 1" "$large" tiff_pages
bench_job pdf-colour 3 2 3 "pdf_MultiPage i4 1" "$small" pdf_pages
bench_job pdf-colour 4 2 3 "pdf_MultiPage i4 1" "$large" pdf_pages

echo
echo "kestrel, whole jobs from the simulated panel (A4, 300 dpi, generated pages)"
echo "source: the data source's own calls (run log: \"CTwain:DS in\" to \"CTwain:DS OUT\", summed);"
echo "write: the page handler; runner: the job's time (service log) less the source's, per page;"
echo "peak WS: kestrel.exe's peak working set"
awk '{ printf "%-10s %4d pages  %8.1f s  %6.1f pages/min  source %7.1f ms/page  write %7.1f ms/page  runner %7.1f ms/page  peak WS %6.1f MiB  file %8.1f MiB\n",
       $1, $2, $3, $4, $5, $6, $7, $8 / 1048576, $9 / 1048576 }' "$results"

# What one more page costs the runner beyond the source, start-up and the end
# of the job taken out: the difference of the two jobs per page.
awk -v s="$small" -v l="$large" '
    { beyond = ($3 - $5 * $2 / 1000) }
    $2 == s { small[$1] = beyond } $2 == l { large[$1] = beyond }
    END { for (k in small) if (k in large)
          printf "%s: the runner adds %.1f ms per page beyond the source (jobs of %d and %d pages)\n",
                 k, 1000 * (large[k] - small[k]) / (l - s), s, l }' "$results"

# The peak at the large count against the small one, per file type.
while read -r name ratio; do
    echo "$name: peak working set at $large pages / at $small pages = $ratio"
    awk -v r="$ratio" -v l="$flat_limit" 'BEGIN { exit !(r > 0 && r <= l) }' ||
        fail "$name: the peak working set grows with the number of pages ($ratio > $flat_limit)"
done < <(awk -v s="$small" -v l="$large" '
    $2 == s { small[$1] = $8 } $2 == l { large[$1] = $8 }
    END { for (k in small) printf "%s %.3f\n", k, (small[k] > 0 && k in large) ? large[k] / small[k] : 0 }' "$results")

[ "$failures" -eq 0 ] || { echo "$failures failures"; exit 1; }
