#!/usr/bin/env bash
# Searchable PDF through whole jobs: a page with known text is scanned from the
# simulated panel into a PDF job with text recognition on; the saved document's
# text, read back with pdftotext, holds the page's words (English, grey scan)
# and characters (Japanese, bilevel scan). Recognition off leaves no text.
set -u
. "$VLM_SOURCE/tools/wine-jobs.sh"

cleanup() {
    jobs_end
    [ -n "${KEEP_WORK:-}" ] || rm -rf "$work"
}
jobs_begin "$(mktemp -d "$VLM_BUILD/pdf-ocr-job.XXXXXX")" pdf-ocr-job.log
trap cleanup EXIT
jobs_start_service || exit 1

english="The quick brown fox jumps over the lazy dog while seven wizards quietly judge the boxing match. Scanned invoices arrive every morning."
japanese="スキャナーで読み取った書類は、検索できる文書として保存されます。毎朝届く請求書を担当者が確認します。"

# ocr_job N SCANTYPE LANGINDEX ADDOCR FONT TEXT: an A5 page at 300 dpi with
# TEXT scanned through PDF job N; the saved document's text in $text.
ocr_job() {
    local n=$1 f
    text=
    mkdir -p "$work/saved$n"
    printf '[CustomDsData]\r\nScanType=%s\r\nXResolution=300\r\nYResolution=300\r\nPageSize=A5 - 148 x 210 mm\r\n' \
        "$2" >"$work/driver$n.ini"
    save_job "$n" "$work/saved$n" 2 "$work/driver$n.ini" "pdf_OCRLangID i4 $3;pdf_AddOCR i4 $4"
    convert -density 300 -units PixelsPerInch -background white -fill black -font "$5" \
        -pointsize 11 -size 1000x caption:"$6" -bordercolor white -border 120 \
        -gravity northwest -extent 1748x2480 -depth 8 "pgm:$work/sheet$n.pgm" ||
        fail "job $n: cannot render the page"
    tool select "$n"
    tool feed "$(winpath "$work/sheet$n.pgm")"
    press_start_and_wait 600
    [ -n "$job_ended" ] || fail "job $n did not end"
    saved_pdf "$n" || return
    f=$saved
    qpdf --check "$f" >/dev/null 2>&1 || fail "job $n: qpdf --check"
    text=$(pdftotext "$f" - 2>/dev/null)
}
# share EXPECTED ACTUAL UNIT: the share (percent) of the expected words or
# characters found in order in the actual text.
share() {
    python3 - "$1" "$2" "$3" <<'PY'
import difflib, sys
want, got, unit = sys.argv[1], sys.argv[2], sys.argv[3]
if unit == "words":
    a, b = want.split(), got.split()
else:
    a, b = [c for c in want if not c.isspace()], [c for c in got if not c.isspace()]
m = difflib.SequenceMatcher(None, a, b, autojunk=False)
print(int(100 * sum(x.size for x in m.get_matching_blocks()) / len(a)))
PY
}

ocr_job 30 2 1 1 DejaVu-Sans "$english"
got=$(share "$english" "$text" words)
echo "English, grey scan: $got% of the words"
[ "$got" -ge 95 ] || fail "English: $got% of the words in: $text"

ocr_job 31 0 0 1 Noto-Sans-CJK-JP "$japanese"
got=$(share "$japanese" "$text" chars)
echo "Japanese, bilevel scan: $got% of the characters"
[ "$got" -ge 90 ] || fail "Japanese: $got% of the characters in: $text"

ocr_job 32 2 1 0 DejaVu-Sans "$english"
[ -z "$(tr -d '[:space:]\f' <<<"$text")" ] || fail "recognition off: the PDF has text: $text"

[ "$failures" -eq 0 ] || { echo "$failures failures"; exit 1; }
echo "pdf ocr jobs: English and Japanese recognised, recognition off left no text"
