#!/usr/bin/env bash
# The cross-built OCR engine under Wine: renders a page of known text with
# ImageMagick (DejaVu Sans, 300 dpi), recognises it with every dot-product
# variant the engine carries (its own choice for this processor, then each
# forced: AVX2, AVX, FMA, SSE, generic) and with two languages at once, and
# checks every word comes back without a message on the way; an unknown
# language fails cleanly.
set -u
smoke=${1:?ocr_smoke.exe}
tessdata=${2:?tessdata folder}
. "$VLM_SOURCE/tools/script-checks.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
want="Scanned pages become searchable documents
Invoice 4711 dated 12 March 2026, total 385.40 EUR"
convert -density 300 -font /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf -pointsize 12 \
    label:"$want" -bordercolor white -border 90 -colorspace gray -depth 8 "$work/page.pgm" ||
    { echo "FAILED: rendering the page"; exit 1; }

recognise() { # recognise DOTPRODUCT LANGUAGES: every word of the page, in order
    local out rc dot=(env -u DOTPRODUCT)
    [ "$1" = auto ] || dot=(env DOTPRODUCT="$1")
    out=$("${dot[@]}" "$VLM_SOURCE/tools/wine-run.sh" "$smoke" "$(winpath "$tessdata")" "$2" \
        "$(winpath "$work/page.pgm")" 2>"$work/err" | tr -d '\r')
    rc=$?
    [ "$rc" -eq 0 ] || { echo "  exit $rc: $(cat "$work/err")"; return 1; }
    grep -qx "dotproduct: $1" <<<"$out" || { echo "  not used: $(grep '^dotproduct:' <<<"$out")"; return 1; }
    [ ! -s "$work/err" ] || { echo "  messages: $(cat "$work/err")"; return 1; }
    local got
    got=$(grep -v '^confidence:\|^dotproduct:' <<<"$out" | tr -s ' \n' '  ' | sed 's/ *$//')
    [ "$got" = "$(tr -s ' \n' '  ' <<<"$want" | sed 's/ *$//')" ] ||
        { echo "  got: $got"; return 1; }
    grep -Eq '^confidence: (8[5-9]|9[0-9]|100)$' <<<"$out" ||
        { echo "  low $(grep '^confidence:' <<<"$out")"; return 1; }
}
for variant in auto avx2 avx fma sse generic; do
    check "recognised with dot product '$variant'" recognise "$variant" eng
done
check "recognised with Japanese and English loaded" recognise auto jpn+eng

unknown() {
    "$VLM_SOURCE/tools/wine-run.sh" "$smoke" "$(winpath "$tessdata")" xyz \
        "$(winpath "$work/page.pgm")" >/dev/null 2>&1
    [ $? -eq 3 ]
}
check "an unknown language is refused, no crash" unknown
[ "$fails" -eq 0 ]
