# shellcheck shell=bash
# Sourced by the whole-job benchmarks, after tools/wine-jobs.sh (needs $here
# and $peakws).
#
#   bench_begin NAME
#       the work folder $VLM_BUILD/NAME.XXXXXX (removed at the end unless
#       KEEP_WORK is set), kestrel's run log NAME.log, the scanner service;
#       exits when peakws.exe is not built or the service does not start
#   bench_prepare N FOLDER FILETYPE SCANTYPE "KEY TYPE VALUE;..." PAGES
#       job N saving into FOLDER (made anew), scanning A4 at 300 dpi with
#       SCANTYPE, selected on the panel, PAGES generated sheets in the feeder
#   bench_measure NAME N PAGES
#       presses Start with peakws following kestrel.exe and waits for the
#       end; the job's figures (joblog.py's keys) into the associative array
#       fig, kestrel's peak working set (bytes) into peak. Checks the exit
#       code and that every page was scanned and written; returns 1 when the
#       logs hold no whole job.

bench_begin() {
    [ -f "$peakws" ] || { echo "peakws.exe is not built ($peakws)"; exit 1; }
    jobs_begin "$(mktemp -d "$VLM_BUILD/$1.XXXXXX")" "$1.log"
    trap _bench_end EXIT
    jobs_start_service || exit 1
}

_bench_end() {
    jobs_end
    [ -n "${KEEP_WORK:-}" ] || rm -rf "$work"
}

bench_prepare() {
    local n=$1 folder=$2 ftype=$3 scantype=$4 extra=$5 pages=$6
    rm -rf "$folder" && mkdir -p "$folder"
    printf '[CustomDsData]\r\nScanType=%s\r\nXResolution=300\r\nYResolution=300\r\nPageSize=A4 - 210 x 297 mm\r\n' \
        "$scantype" >"$work/driver$n.ini"
    save_job "$n" "$folder" "$ftype" "$work/driver$n.ini" "$extra"
    tool clear
    tool select "$n"
    tool feed --generate "$pages"
    jobs_run_logs | xargs -r -d '\n' rm -f
}

bench_measure() {
    local name=$1 n=$2 pages=$3
    # A generous deadline: a busy machine may take seconds per colour page.
    local deadline=$((300 + 20 * pages))
    "$run" "$peakws" kestrel.exe "$deadline" >"$work/peak$n.txt" 2>&1 </dev/null &
    local probe=$!
    press_start_and_wait "$deadline"
    wait "$probe" || fail "$name $pages: peakws: $(cat "$work/peak$n.txt")"

    local figures logs k v
    mapfile -t logs < <(jobs_run_logs)
    figures=$(python3 "$here/joblog.py" "$service_log" "${logs[@]}") || {
        fail "$name $pages: the logs hold no whole job"
        return 1
    }
    unset fig
    declare -gA fig
    while IFS='=' read -r k v; do fig[$k]=$v; done <<<"$figures"
    [ "${fig[exit_code]}" = 0 ] || fail "$name $pages: kestrel ended with exit code ${fig[exit_code]}"
    [ "${fig[pages]}" = "$pages" ] && [ "${fig[pages_written]}" = "$pages" ] ||
        fail "$name $pages: ${fig[pages]} pages scanned, ${fig[pages_written]} written"
    peak=$(awk '/^peak_working_set_bytes/ {print $2}' "$work/peak$n.txt")
    peak=${peak:-0}
}
