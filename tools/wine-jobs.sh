# shellcheck shell=bash
# Sourced by the scripts that run whole kestrel jobs from the simulated panel
# (make demo, the whole-job tests, the job benchmark). The prefix must be set
# up already (tools/wine-env.sh setup, or the ctest fixture).
#
#   jobs_begin WORK LOGNAME    simulator state and job store under WORK, kestrel's
#                              run log on as LOGNAME in the user's Temp folder
#   jobs_start_service         the scanner service, logging to $service_log
#   save_job N FOLDER FILETYPE DRIVER_INI ["KEY TYPE VALUE;..."]
#                              a "Save as file" job N saving into FOLDER
#   press_start_and_wait SECONDS
#                              press Start, wait for the next "kestrel ended";
#                              job_ended holds that line (empty when it did not
#                              come). Not in a subshell: it counts the jobs.
#   jobs_run_logs              kestrel's run log and its rotated copies, one a line
#   jobs_end                   stop the service and any kestrel left running
#   small_disk_mount DIR       a 4 MB tmpfs mounted on DIR (root only) and mapped
#                              to a free drive letter of the prefix, exported as
#                              VLM_SMALL_DRIVE ("R:"); 1 when it cannot be mounted,
#                              2 when no letter is free, the reason in small_disk_why
#   small_disk_unmount         its drive letter and mount gone again (harmless
#                              when none was made)
#
# Sets run, pf, sim, store_dir, work, key, service_log, tmpdirs; fail counts
# into failures; store and tool run taskstore.exe and vx410.exe quietly and
# count a failure when they fail.
_jobs_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$_jobs_here/wine-common.sh"
run="$_jobs_here/wine-run.sh"
pf='C:\Program Files\Velmora Works'
sim="$pf\\VX-410 Simulator"
store_dir="$pf\\Taskstore"
key='HKCU\Software\Velmora Works Inc.\kestrel\General'
failures=0
jobs_done=0
_jobs_service=

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
store() { "$run" "$store_dir\\taskstore.exe" "$@" </dev/null >/dev/null 2>&1 || fail "taskstore $*"; }
tool() { "$run" "$sim\\vx410.exe" "$@" </dev/null >/dev/null 2>&1 || fail "vx410 $*"; }

jobs_begin() {
    work=$1
    _jobs_log=$2
    vlm_wine_env
    mkdir -p "$work/state"
    VX410SIM_DIR=$(winpath "$work/state")
    TASKSTORE_FILE=$(winpath "$work/Taskstore.reg")
    export VX410SIM_DIR TASKSTORE_FILE
    service_log=$work/service.log
    "$run" reg add "$key" /v WriteLog /t REG_DWORD /d 1 /f >/dev/null 2>&1
    "$run" reg add "$key" /v LogFileName /t REG_SZ /d "$_jobs_log" /f >/dev/null 2>&1
    "$run" reg add "$key" /v JobNumber /t REG_DWORD /d 0 /f >/dev/null 2>&1
    "$run" reg add "$key" /v CScanLog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    # shellcheck disable=SC2034 # the user Temp folders, for the callers
    tmpdirs=$(find "$WINEPREFIX/drive_c/users" -maxdepth 3 -type d -name Temp)
    jobs_run_logs | xargs -r -d '\n' rm -f
}

jobs_run_logs() {
    find "$WINEPREFIX/drive_c/users" -maxdepth 3 -type f -path '*/Temp/*' \
        \( -name "$_jobs_log" -o -name "${_jobs_log%.*}[0-9]*.log" \)
}

# _jobs_wait_line SECONDS COUNT TEXT: until the service log holds COUNT lines with TEXT.
_jobs_wait_line() {
    local i n limit=$(($1 * 10))
    for ((i = 0; i < limit; i++)); do
        n=$(grep -c "$3" "$service_log" 2>/dev/null)
        [ "${n:-0}" -ge "$2" ] && return 0
        sleep 0.1
    done
    return 1
}

jobs_start_service() {
    "$run" "$sim\\scanner-service.exe" --log "$(winpath "$service_log")" </dev/null >/dev/null 2>&1 &
    _jobs_service=1
    _jobs_wait_line 120 1 "scanner service started" || {
        fail "the scanner service did not start"
        return 1
    }
}

save_job() {
    local n=$1 folder=$2 ftype=$3 ini=$4 extra=${5:-} k t v kv
    store set "$n" title string "Job $n"
    store set "$n" "function id" i4 0
    store set "$n" "function id name" string "Save as file"
    store set "$n" save i2 1
    store set "$n" mypicture i4 0
    store set "$n" save_path string "$(winpath "$folder")"
    store set "$n" username string ""
    store set "$n" password string ""
    store set "$n" filename string "scan"
    store set "$n" filetype i4 "$ftype"
    store set "$n" jpeg_Comp i4 85
    for k in tiff_Comp tiff_MultiPage pdf_MultiPage pdf_OCRLangID pdf_AddOCR pdf_CompRate; do
        store set "$n" "$k" i4 0
    done
    local IFS=';'
    for kv in $extra; do
        IFS=' ' read -r k t v <<<"$kv"
        store set "$n" "$k" "$t" "$v"
    done
    unset IFS
    store set "$n" driver bytesfile "$(winpath "$ini")"
}

# saved_pdf N: the first PDF job N saved into $work/savedN, in $saved; false
# (and a failure counted) when there is none.
saved_pdf() {
    saved=$(ls "$work/saved$1"/*.pdf 2>/dev/null | head -1)
    [ -n "$saved" ] || { fail "job $1: no PDF saved"; return 1; }
}

press_start_and_wait() {
    tool press start
    jobs_done=$((jobs_done + 1))
    _jobs_wait_line "$1" "$jobs_done" "kestrel ended" || true
    # shellcheck disable=SC2034 # read by the caller
    job_ended=$(grep "kestrel ended" "$service_log" | sed -n "${jobs_done}p")
}

jobs_end() {
    if [ -n "$_jobs_service" ]; then
        "$run" "$sim\\scanner-service.exe" --stop </dev/null >/dev/null 2>&1 || true
    fi
    "$run" taskkill /f /im kestrel.exe </dev/null >/dev/null 2>&1 || true
}

_small_disk_dir=
_small_disk_link=

small_disk_mount() {
    local l
    _small_disk_dir=$1
    mkdir -p "$_small_disk_dir"
    if ! small_disk_why=$(mount -t tmpfs -o size=4m vlm-small-disk "$_small_disk_dir" 2>&1); then
        small_disk_why="mounting a small disk needs root ($small_disk_why)"
        return 1
    fi
    for l in r s t u v w x y; do
        [ -e "$WINEPREFIX/dosdevices/$l:" ] || [ -L "$WINEPREFIX/dosdevices/$l:" ] && continue
        _small_disk_link=$WINEPREFIX/dosdevices/$l:
        ln -s "$_small_disk_dir" "$_small_disk_link"
        export VLM_SMALL_DRIVE="${l^^}:"
        return 0
    done
    small_disk_why="no free drive letter for the small disk"
    return 2
}

small_disk_unmount() {
    [ -n "$_small_disk_link" ] && rm -f "$_small_disk_link"
    _small_disk_link=
    [ -n "$_small_disk_dir" ] && mountpoint -q "$_small_disk_dir" && umount "$_small_disk_dir"
    _small_disk_dir=
    unset VLM_SMALL_DRIVE
}
