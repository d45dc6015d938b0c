#!/usr/bin/env bash
# Sizes, times and readability of grey and colour pages at the compression
# codes 0 (normal), 2 (high compression) and 3 (character precedence):
#   mrc_bench.sh PNM2PDF WORK_DIR
# Each 300 dpi page (rendered by render_page.sh: a page of text, a page of
# text around a photo) is written as a one-page PDF per code, rendered back at
# 300 dpi by pdftoppm and read by tesseract; word accuracy is the share of the
# page's words found in order. PSNR compares the rendering with the page.
set -eu
pnm2pdf=$(realpath "$1") work=$2
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$work"
cd "$work"
accuracy() { # reference words file, recognised text file
  python3 - "$1" "$2" <<'PY'
import difflib, re, sys
words = lambda p: re.findall(r"[A-Za-z0-9]+", open(p).read())
ref, hyp = words(sys.argv[1]), words(sys.argv[2])
match = sum(b.size for b in difflib.SequenceMatcher(None, ref, hyp, autojunk=False).get_matching_blocks())
print("%.1f" % (100.0 * match / max(1, len(ref))))
PY
}
ocr() { # image, output base
  tesseract "$1" "$2" -l eng --psm 3 >/dev/null 2>&1
}
printf '%-12s %-5s %9s %7s %9s %8s %9s\n' page code bytes ratio ms/page words% PSNR_dB
for kind in text mixed; do
  for mode in colour grey; do
    ext=ppm
    [ $mode = grey ] && ext=pgm
    page=$kind-$mode.$ext
    bash "$here/../tests/render_page.sh" $kind $mode $page "" $kind.words
    ocr $page scan-$kind-$mode
    printf '%-12s %-5s %9s %7s %9s %8s %9s\n' $kind-$mode scan - - - \
      "$(accuracy $kind.words scan-$kind-$mode.txt)" -
    base=0
    for code in 0 2 3; do
      out=$kind-$mode-$code.pdf
      read -r bytes ms < <("$pnm2pdf" $code $page $out | sed 's/bytes=//; s/ms=//')
      [ $code = 0 ] && base=$bytes
      if [ $mode = grey ]; then
        pdftoppm -r 300 -gray -singlefile $out back-$kind-$mode-$code
        back=back-$kind-$mode-$code.pgm
      else
        pdftoppm -r 300 -singlefile $out back-$kind-$mode-$code
        back=back-$kind-$mode-$code.ppm
      fi
      ocr $back ocr-$kind-$mode-$code
      psnr=$(compare -metric PSNR $page $back null: 2>&1 || true)
      printf '%-12s %-5s %9s %7s %9s %8s %9.4s\n' $kind-$mode $code $bytes \
        "$(python3 -c "print('%.3f' % ($bytes / $base))")" $ms \
        "$(accuracy $kind.words ocr-$kind-$mode-$code.txt)" "$psnr"
    done
  done
done
