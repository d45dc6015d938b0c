#!/usr/bin/env bash
# Print jobs through kestrel, started from the simulated panel: 20 and 100
# generated A4 pages at 300 dpi, bilevel, on the prefix's "PostScript File A4"
# printer (spooler and PostScript driver included). For each job: seconds per
# page in the runner beyond the data source, the delivery's part (reading the
# TIFF files back, banding, spooling) per page and kestrel's peak working
# set. The peer, measured in the same run: the same pages saved as single-page
# Group 4 TIFF files (what a print job writes before it prints). Printing
# must stay flat in the number of pages: the peak working set and the
# delivery's time per page of the large job against the small one.
#   BENCH_PAGES="20 100" (the two counts, the first one the reference)
set -u
here=$VLM_SOURCE/tests/bench
peakws=$VLM_BUILD/tests/bench/peakws.exe
read -r small large <<<"${BENCH_PAGES:-20 100}"
flat_limit=1.25 # peak working set, large / small
time_limit=1.5  # delivery ms per page, large / small
. "$VLM_SOURCE/tools/wine-jobs.sh"
. "$here/benchjob.sh"

bench_begin kestrel-print-bench
printed="$WINEPREFIX/drive_c/Print Output/PostScript File A4.ps"
"$run" reg query 'HKLM\System\CurrentControlSet\Control\Print\Printers\PostScript File A4' \
    >/dev/null 2>&1 || { echo "the prefix has no \"PostScript File A4\" printer"; exit 1; }

results=$work/results.txt
: >"$results"
# bench_job NAME N FUNCTION PAGES: job N (0 save, 2 print) of PAGES generated
# bilevel sheets as single-page Group 4 TIFF; its figures as one line of $results.
bench_job() {
    local name=$1 n=$2 function=$3 pages=$4
    local saved=$work/saved$n
    rm -f "$printed"
    bench_prepare "$n" "$saved" 3 0 "tiff_Comp i4 1;printsize i4 0" "$pages"
    store set "$n" "function id" i4 "$function"
    bench_measure "$name" "$n" "$pages" || return
    local got
    if [ "$function" = 2 ]; then
        got=$(grep -ac '^%%Page: ' "$printed" 2>/dev/null)
        [ "${got:-0}" = "$pages" ] || fail "$name $pages: ${got:-no} pages printed"
    else
        got=$(find "$saved" -name '*.tif' | wc -l)
        [ "$got" = "$pages" ] || fail "$name $pages: $got files saved"
    fi
    printf '%s %s %s %s %s %s\n' "$name" "$pages" "${fig[job_s]}" "${fig[runner_ms_per_page]}" \
        "${fig[deliver_ms_per_page]:-0}" "$peak" >>"$results"
    rm -rf "$saved"
}

bench_job save-g4 1 0 "$small"
bench_job print 2 2 "$small"
bench_job save-g4 3 0 "$large"
bench_job print 4 2 "$large"

echo
echo "kestrel, print jobs from the simulated panel (A4, 300 dpi, bilevel, generated pages)"
echo "runner: the job's time less the data source's, per page; deliver: from the files saved"
echo "to the job's end (print: reading back, banding, spooling); peak WS: kestrel.exe's"
awk '{ printf "%-8s %4d pages  %7.1f s  runner %7.1f ms/page  deliver %7.1f ms/page  peak WS %6.1f MiB\n",
       $1, $2, $3, $4, $5, $6 / 1048576 }' "$results"

# Printing against saving the same pages, per page in the runner.
awk '$1 == "save-g4" { save[$2] = $4 } $1 == "print" { print_[$2] = $4 }
     END { for (n in print_) if (save[n] > 0)
           printf "print / save-g4, runner time per page at %d pages = %.2f\n", n, print_[n] / save[n] }' \
    "$results"

# check NAME COLUMN LIMIT: the large job's figure over the small one's.
check() {
    local what=$1 col=$2 limit=$3 ratio
    ratio=$(awk -v s="$small" -v l="$large" -v c="$col" '$1 == "print" && $2 == s { a = $c }
        $1 == "print" && $2 == l { b = $c } END { printf "%.3f", (a > 0) ? b / a : 0 }' "$results")
    echo "print: $what at $large pages / at $small pages = $ratio"
    awk -v r="$ratio" -v l="$limit" 'BEGIN { exit !(r > 0 && r <= l) }' ||
        fail "print: the $what grows with the number of pages ($ratio > $limit)"
}
check "peak working set" 6 "$flat_limit"
check "delivery time per page" 5 "$time_limit"

[ "$failures" -eq 0 ] || { echo "$failures failures"; exit 1; }
