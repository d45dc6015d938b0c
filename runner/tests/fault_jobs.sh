#!/usr/bin/env bash
# Whole jobs meeting the faults of a user's PC, where the Linux side must act:
#   - a small disk (tmpfs, mounted here: root only) mapped to a drive letter
#     of the prefix, which the test program (KestrelFault) fills in the
#     middle of a job; the share-gone job runs with it;
#   - power loss: every process of the prefix stopped at once (wineserver -k)
#     while a large job is being saved. Afterwards the job store has its
#     bytes, no file cut short lies in the save folder under its own name,
#     and the next runner keeps the dead job's pages in the recovered scans,
#     deletes the partial file the dead save left and runs its own job.
set -u
. "$VLM_SOURCE/tools/wine-jobs.sh"
vlm_wine_env
top=$(mktemp -d "$VLM_BUILD/fault-jobs.XXXXXX")
cleanup() {
    jobs_end
    small_disk_unmount
    [ -n "${KEEP_WORK:-}" ] || rm -rf "$top"
}
trap cleanup EXIT
die() {
    echo "FAIL: $*"
    exit 1
}

# ---- the test program's jobs ----------------------------------------------
filter='KestrelFault.*'
count=2
small_disk_mount "$top/small"
case $? in
0) ;;
1)
    echo "$small_disk_why: the full disk is not checked"
    filter='KestrelFault.*:-*DiskFull*'
    count=1
    ;;
*) die "$small_disk_why" ;;
esac
"$run" "$VLM_BUILD/runner/kestrel_pc_fault_program_test.exe" --gtest_filter="$filter" \
    </dev/null >"$top/test.out" 2>&1 || die "$(tr -d '\r' <"$top/test.out" | tail -80)"
grep -q "\[  PASSED  \] $count tests\?\." "$top/test.out" || die "not all run: $(tr -d '\r' <"$top/test.out")"
grep -q SKIPPED "$top/test.out" && die "skipped: $(tr -d '\r' <"$top/test.out")"
tr -d '\r' <"$top/test.out" | grep -E '^\[ +OK \]'

# ---- power loss during the save ---------------------------------------------
jobs_begin "$top/power" kestrel-fault-power.log
jobs_start_service || exit 1
saved=$work/saved
mkdir -p "$saved"
# Eight grey A4 pages at 300 dpi in one uncompressed TIFF: some 70 MB, whose
# copy takes long enough to be caught in the middle.
printf '[CustomDsData]\r\nScanType=2\r\nXResolution=300\r\nYResolution=300\r\nPageSize=A4 - 210 x 297 mm\r\n' \
    >"$work/driver.ini"
save_job 9 "$saved" 3 "$work/driver.ini" "tiff_MultiPage i4 1"
tool select 9
tool feed --generate 8
[ "$failures" -eq 0 ] || die "the job could not be set up"
store_file=$work/Taskstore.reg
tool press start
# The store as the runner leaves it once its job runs (it wrote LastJobNum).
for _ in $(seq 3000); do
    jobs_run_logs | xargs -r -d '\n' grep -als "DoModal start" | grep -q . && break
    sleep 0.1
done
cp "$store_file" "$top/store.before"
# The runner's Linux process (of this prefix: other lanes run their own), so
# that the copy can be frozen the moment it is seen: stopping the whole
# prefix takes the wineserver milliseconds to do, in which a copy could end.
runner=
for p in $(pgrep -x 'kestrel(\.exe)?'); do
    tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && runner="$runner $p"
done
[ -n "$runner" ] || die "the runner's process was not found"
# The save's temporary file, as soon as the runner has noted it in its run
# file (before a byte goes into it), and once its first bytes are written.
# Watched with shell builtins only: the run file is found first, then read
# every millisecond, so that the runner stops within milliseconds, in the
# middle of the copy; then the power goes.
mapfile -t temps <<<"$tmpdirs"
exec 9<> <(:) # a pipe nobody writes to: "read -t" on it is a sleep without a process
alive() {
    local p
    for p in $runner; do
        [ -d "/proc/$p" ] || die "the job ended before its save was seen"
    done
}
poll() { # until "$@" holds, every millisecond while the runner lives
    local i
    for ((i = 0; i < 300000; i++)); do
        "$@" && return 0
        alive
        read -r -t 0.001 -u 9
    done
    return 1
}
runfile=
found_run_file() {
    local d r
    for d in "${temps[@]}"; do
        for r in "$d"/VX410JOB_*/*.run; do
            [ -f "$r" ] && runfile=$r
        done
    done
    [ -n "$runfile" ]
}
part=
save_noted() {
    local text=
    IFS= read -r -d '' text <"$runfile"
    [[ $text == *SaveTemp=* ]] || return 1
    text=${text##*SaveTemp=} # the last noted: "" once renamed
    part=${text%%[$'\r\n']*}
    [ -n "$part" ]
}
poll found_run_file || die "the runner's run file never came"
poll save_noted || die "the save never started"
# ... and has its first bytes: the copy is under way.
poll test -s "$saved/${part##*\\}"
kill -STOP $runner
"$WINESERVER" -k
"$WINESERVER" -w

cmp -s "$store_file" "$top/store.before" || die "the job store changed: $(diff "$store_file" "$top/store.before")"
# The job's document in its temporary folder (the name of the page files).
name=$(basename "$(find "$WINEPREFIX/drive_c/users" -maxdepth 4 -path '*/VX410JOB_*' -name 'scan*.tif' -newer "$top/store.before" | head -1)")
pages=$(find "$WINEPREFIX/drive_c/users" -maxdepth 4 -path '*/VX410JOB_*' -name "$name" | head -1)
[ -n "$pages" ] || die "the scanned pages went with the power"
temp=$(dirname "$pages")
[ "$(tiffinfo "$pages" 2>/dev/null | grep -c 'TIFF Directory')" -eq 8 ] || die "the scanned pages are not whole"
cp "$pages" "$top/pages.tif"
partial=
for f in "$saved"/*; do
    case $f in
    */vlm*.tmp)
        partial=$f
        echo "left by the power loss: $(basename "$f") ($(stat -c %s "$f") of $(stat -c %s "$pages") bytes)"
        ;;
    *) cmp -s "$f" "$temp/$(basename "$f")" || die "$(basename "$f") in the save folder is not the whole file" ;;
    esac
done

# Power back: the next job runs and the store reads back.
bash "$VLM_SOURCE/tools/wine-env.sh" restart
service_log=$work/service2.log
jobs_done=0
jobs_start_service || exit 1
"$run" "$store_dir\\taskstore.exe" get 9 title </dev/null 2>&1 | grep -q "Job 9" ||
    die "the store does not read back"
before=$(find "$saved" -name 'scan*.tif' | wc -l)
tool feed --generate 1
press_start_and_wait 300
case $job_ended in
*"exit code 0"*) ;;
*) die "the next job did not end well: ${job_ended:-still running}" ;;
esac
[ "$(find "$saved" -name 'scan*.tif' | wc -l)" -eq $((before + 1)) ] || die "the next job saved nothing"
# The next runner kept the dead job's pages, byte for byte, and said where.
kept=$(find "$WINEPREFIX/drive_c/users" -path '*/Recovered scans/*' -name "$name" | head -1)
[ -n "$kept" ] || die "the pages of the job the power loss ended were not recovered"
cmp -s "$kept" "$top/pages.tif" || die "the recovered pages differ from the scanned ones"
jobs_run_logs | xargs -r -d '\n' grep -aq "ended without its clean-up were kept in .*$(basename "$(dirname "$kept")")" ||
    die "the run log does not name the recovered job"
# ... and deleted the partial file the dead job's save left, and no other.
[ -n "$partial" ] || die "the power went after the save ended: no partial file to see to"
left=$(find "$saved" -name 'vlm*.tmp')
[ -z "$left" ] || die "a partial file of the job the power loss ended is left: $left"
jobs_run_logs | xargs -r -d '\n' grep -aq "the partial file .*$(basename "$partial") of a runner that ended without its clean-up was deleted" ||
    die "the run log does not say the partial file was deleted"
rm -rf "$(dirname "$kept")"
[ "$failures" -eq 0 ] || die "$failures failures"
echo "fault jobs passed"
