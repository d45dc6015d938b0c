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
here=$VLM_SOURCE/tests/bench
peakws=$VLM_BUILD/tests/bench/peakws.exe
read -r small large <<<"${BENCH_PAGES:-20 200}"
# How much higher the large job's peak may be than the small one's.
flat_limit=1.25
. "$VLM_SOURCE/tools/wine-jobs.sh"
. "$here/benchjob.sh"

bench_begin kestrel-bench

results=$work/results.txt
: >"$results"
# bench_job NAME N FILETYPE SCANTYPE "KEY TYPE VALUE;..." PAGES COUNT_PAGES_CMD
# Registers job N saving into its own folder, feeds PAGES generated sheets,
# presses Start with peakws watching, waits for the end and records the
# figures as one line of $results.
bench_job() {
    local name=$1 n=$2 ftype=$3 scantype=$4 extra=$5 pages=$6 counter=$7
    local saved=$work/saved$n
    bench_prepare "$n" "$saved" "$ftype" "$scantype" "$extra" "$pages"
    bench_measure "$name" "$n" "$pages" || return
    local files out got
    files=$(ls "$saved")
    [ "$(wc -l <<<"$files")" -eq 1 ] || fail "$name $pages: save folder holds: $files"
    out=$saved/$(head -1 <<<"$files")
    got=$($counter "$out")
    [ "$got" = "$pages" ] || fail "$name $pages: $got pages in $out"
    printf '%s %s %s %s %s %s %s %s %s\n' "$name" "$pages" "${fig[job_s]}" "${fig[pages_per_minute]}" \
        "${fig[source_ms_per_page]}" "${fig[write_ms_per_page]}" "${fig[runner_ms_per_page]}" \
        "$peak" "$(stat -c %s "$out")" >>"$results"
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
