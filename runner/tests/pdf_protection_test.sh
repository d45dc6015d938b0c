#!/usr/bin/env bash
# PDF jobs with protection settings, started from the simulated panel: a
# protected job gives an AES-256 document with the job's permissions, a PDF/A
# job a PDF/A-2b one; the runner refuses what must not become an unprotected
# or mislabelled file (a password that cannot be unsealed, PDF/A together
# with a password) with its log line and no file; no password reaches a log.
set -u
. "$VLM_SOURCE/tools/wine-jobs.sh"

cleanup() {
    jobs_end
    [ -n "${KEEP_WORK:-}" ] || rm -rf "$work"
}
jobs_begin "$(mktemp -d "$VLM_BUILD/pdf-protection.XXXXXX")" pdf-protection.log
trap cleanup EXIT
jobs_start_service || exit 1
user_pw='Us3r-Pa55'
owner_pw='0wner-Pa55'

# pdf_job N "KEY TYPE VALUE;...": a single-page bilevel PDF job N saving into
# $work/savedN, with the extra keys.
pdf_job() {
    mkdir -p "$work/saved$1"
    printf '[CustomDsData]\r\nScanType=0\r\nXResolution=100\r\nYResolution=100\r\nPageSize=Business card - 55 x 91 mm\r\n' \
        >"$work/driver$1.ini"
    save_job "$1" "$work/saved$1" 2 "$work/driver$1.ini" "$2"
}
# scan_one N: one sheet through job N; the job must end (well or failed).
scan_one() {
    python3 "$VLM_SOURCE/runner/tests/pagecheck.py" make bw 300 400 "$1" "$work/sheet$1.pnm"
    tool select "$1"
    tool feed "$(winpath "$work/sheet$1.pnm")"
    press_start_and_wait 120
    [ -n "$job_ended" ] || fail "job $1 did not end"
}
run_log() { jobs_run_logs | xargs -r -d '\n' cat; }
# refused N LINE: job N wrote no PDF anywhere and logged LINE and the failed page.
refused() {
    [ -z "$(ls "$work/saved$1")" ] || fail "job $1: a file was saved: $(ls "$work/saved$1")"
    for t in $tmpdirs; do
        [ -z "$(find "$t" -path '*VX410JOB*' -name '*.pdf' 2>/dev/null)" ] || fail "job $1: a PDF in $t"
    done
    run_log | grep -qF "$2" || fail "job $1: no log line \"$2\""
    run_log | grep -qF "SaveFile failed" || fail "job $1: the page did not fail"
}
# The run logs so far and the service log name no password.
no_password_logged() {
    local log
    for log in "$service_log" $(jobs_run_logs); do
        grep -aqF -e "$user_pw" -e "$owner_pw" "$log" && fail "a password in $log"
    done
}

# The passwords and permissions reach the maker: AES-256 (revision 6), only
# printing allowed without the permissions password, both passwords open it.
pdf_job 20 "pdf_UserPassword string $user_pw;pdf_OwnerPassword string $owner_pw;pdf_Flag i4 1;pdf_CryptLevel i4 0"
scan_one 20
if saved_pdf 20; then
    f=$saved
    qpdf --check "$f" >/dev/null 2>&1 && fail "job 20: opens without a password"
    qpdf --check "--password=$user_pw" "$f" >/dev/null 2>&1 || fail "job 20: the open password fails"
    qpdf --check "--password=$owner_pw" "$f" >/dev/null 2>&1 || fail "job 20: the permissions password fails"
    enc=$(qpdf --show-encryption "--password=$user_pw" "$f" 2>&1)
    for want in "R = 6" "stream encryption method: AESv3" "print high resolution: allowed" \
        "extract for any purpose: not allowed" "modify other: not allowed"; do
        grep -qF "$want" <<<"$enc" || fail "job 20: no \"$want\" in: $enc"
    done
fi

# PDF/A: the document says it is PDF/A-2b and passes qpdf.
pdf_job 19 "pdf_PDFA i4 1"
scan_one 19
if saved_pdf 19; then
    f=$saved
    qpdf --check "$f" >/dev/null 2>&1 || fail "job 19: qpdf --check"
    pdfinfo -meta "$f" 2>&1 | grep -qF "<pdfaid:part>2</pdfaid:part>" || fail "job 19: not PDF/A-2"
fi
no_password_logged

# A sealed password that cannot be unsealed (its bytes damaged in the store
# file) stops the job: no unprotected PDF instead.
pdf_job 21 "pdf_UserPassword string $user_pw;pdf_OwnerPassword string $owner_pw"
grep -q '"pdf_UserPassword"=hex(40000008):' "$work/Taskstore.reg" ||
    fail "the open password is not stored sealed"
grep -qF "$user_pw" "$work/Taskstore.reg" && fail "the open password is in the store file"
sed -i 's/\("pdf_UserPassword"=hex(40000008):\)\([0-9a-f][0-9a-f],\)\{4\}/\100,00,00,00,/' \
    "$work/Taskstore.reg"
scan_one 21
refused 21 "The job's PDF password cannot be unsealed (damaged, or stored by another user): no PDF is made"

no_password_logged

# PDF/A and a password exclude each other.
jobs_run_logs | xargs -r -d '\n' rm -f
pdf_job 22 "pdf_OwnerPassword string $owner_pw;pdf_PDFA i4 1"
scan_one 22
refused 22 "PDF/A and password protection exclude each other: no PDF is made"

no_password_logged
[ "$failures" -eq 0 ] || { echo "$failures failures"; exit 1; }
echo "pdf protection: protected, PDF/A and refused jobs passed"
