#!/usr/bin/env bash
# pafcv2.dll under Wine, its cryptography from Wine's CNG: a protected and a
# PDF/A document checked with qpdf, poppler and Ghostscript, and the refusals.
#   pafc_protect.sh PROBE_EXE
set -u
probe=$1
. "$VLM_SOURCE/tools/script-checks.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
probe() { # probe FILE MODE=VALUE...: the probe's result lines in $out
    local file=$1
    shift
    out=$("$VLM_SOURCE/tools/wine-run.sh" "$probe" "$(winpath "$work/$file")" "$@" 2>&1 | tr -d '\r')
}
has() { grep -qF -- "$1" <<<"$out" || { echo "  missing '$1' in: $out"; return 1; }; }
# Ghostscript's rendering of page 1 against the page's own bits.
same_render() { # same_render FILE PASSWORD
    gs -q -dSAFER -dBATCH -dNOPAUSE -dPDFSTOPONERROR -dPDFSTOPONWARNING -sDEVICE=pbmraw -r72 \
        -sPDFPassword="$2" -sOutputFile="$work/render.pbm" "$work/$1" &&
        python3 - "$work/render.pbm" "$work/$1.pbm" <<'PY'
import sys
def bits(path):
    data = open(path, 'rb').read()
    fields, pos = [], 0
    while len(fields) < 3:  # magic, width, height; comments skipped
        while data[pos:pos + 1].isspace(): pos += 1
        if data[pos:pos + 1] == b'#': pos = data.index(b'\n', pos); continue
        end = pos
        while not data[end:end + 1].isspace(): end += 1
        fields.append(data[pos:end]); pos = end
    return fields[1:], data[pos + 1:]
a, b = bits(sys.argv[1]), bits(sys.argv[2])
sys.exit(0 if a == b else 1)
PY
}

user='Lohn-%C3%BCbersicht 7' # "Lohn-übersicht 7"
user_utf8=$(printf 'Lohn-\xc3\xbcbersicht 7')
probe prot.pdf "1=$user" "2=Chef" "3=3" "4=0"
check "protected document made" has "close 0"
check "no clear text in the file" bash -c "! grep -aq -e 'VX-410' -e 'Im0 Do' '$work/prot.pdf'"
check "qpdf refuses it without a password" bash -c "! qpdf --check '$work/prot.pdf' >/dev/null 2>&1"
check "qpdf opens it with the user password" qpdf --check "--password=$user_utf8" "$work/prot.pdf"
check "qpdf opens it with the owner password" qpdf --check --password=Chef "$work/prot.pdf"
out=$(qpdf --show-encryption --password=Chef "$work/prot.pdf" 2>&1)
check "AES-256, revision 6" has "R = 6"
check "streams AESv3" has "stream encryption method: AESv3"
check "print allowed" has "print high resolution: allowed"
check "copy allowed" has "extract for any purpose: allowed"
check "change not allowed" has "modify other: not allowed"
check "pdftotext reads it with the user password" pdftotext -upw "$user_utf8" "$work/prot.pdf" /dev/null
check "Ghostscript renders it with the user password" same_render prot.pdf "$user_utf8"

probe owner.pdf "2=Chef" "3=0"
check "owner password alone opens without one" qpdf --check "$work/owner.pdf"
out=$(qpdf --show-encryption "$work/owner.pdf" 2>&1)
check "owner-only permissions" has "print low resolution: not allowed"

probe archive.pdf "5=1"
check "PDF/A document made" has "close 0"
check "PDF/A document passes qpdf" qpdf --check "$work/archive.pdf"
out=$(pdfinfo -meta "$work/archive.pdf" 2>&1)
check "XMP names PDF/A-2b" has "<pdfaid:conformance>B</pdfaid:conformance>"
out=$(qpdf --json "$work/archive.pdf" 2>&1)
check "sRGB output intent" has '"/S": "/GTS_PDFA1"'
check "PDF/A renders" same_render archive.pdf ""

probe ligature.pdf "1=%EF%AC%81le%C2%A042" # the ligature fi and a no-break space
check "password normalised by the platform" qpdf --check "--password=file 42" "$work/ligature.pdf"

probe conflict.pdf "5=1" "1=x"
check "PDF/A with a password is refused" has "open -5"
check "and makes no file" test ! -e "$work/conflict.pdf"
probe long.pdf "1=$(printf 'x%.0s' {1..128})"
check "128-byte password refused" has "modeset 1 -1"
check "and the open too" has "open -1"
check "and no file made" test ! -e "$work/long.pdf"
probe ctrl.pdf "2=a%07b"
check "control character refused" has "modeset 2 -1"
probe unknown.pdf "9=1"
check "unknown mode" has "modeset 9 -4"
[ "$fails" -eq 0 ]
