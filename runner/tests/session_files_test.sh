#!/usr/bin/env bash
# One job per file type, started from the simulated panel: the sheets fed are
# pictures made here, the files kestrel leaves in the save folder are read
# back by the peers (tiffinfo and libtiff through ImageMagick, djpeg, qpdf,
# pdfinfo, pdfimages) and their pixels compared with the sheets.
set -u
check="python3 $VLM_SOURCE/runner/tests/pagecheck.py"
. "$VLM_SOURCE/tools/wine-jobs.sh"

cleanup() {
    jobs_end
    [ -n "${KEEP_WORK:-}" ] || rm -rf "$work"
}
jobs_begin "$(mktemp -d "$VLM_BUILD/session-files.XXXXXX")" session-files.log
trap cleanup EXIT
jobs_start_service || exit 1

# run_job N FUNCTION FILETYPE SCANTYPE "KEY TYPE VALUE;..." KIND COUNT
# Registers job N saving into its own folder, feeds COUNT sheets of KIND and
# presses Start; the job's folder is $work/saved$N afterwards.
run_job() {
    local n=$1 ftype=$2 scantype=$3 extra=$4 kind=$5 count=$6 i files=()
    local saved=$work/saved$n
    mkdir -p "$saved"
    printf '[CustomDsData]\r\nScanType=%s\r\nXResolution=200\r\nYResolution=200\r\nPageSize=Business card - 55 x 91 mm\r\n' \
        "$scantype" >"$work/driver$n.ini"
    save_job "$n" "$saved" "$ftype" "$work/driver$n.ini" "$extra"
    for i in $(seq "$count"); do
        $check make "$kind" 300 400 "$((n * 10 + i))" "$work/sheet$n-$i.pnm"
        files+=("$(winpath "$work/sheet$n-$i.pnm")")
    done
    tool select "$n"
    tool feed "${files[@]}"
    press_start_and_wait 120
    case $job_ended in
    *"exit code 0"*) ;;
    *) fail "job $n: kestrel did not end well: ${job_ended:-still running}" ;;
    esac
    for t in $tmpdirs; do
        [ -e "$t/VX410JOB_83D649F0-02A1-4a3f-BB2A-B312F6B8E49" ] && fail "job $n: temporary folder left"
    done
}

# saved_files N EXT COUNT: the file names, checked against prefix + time stamp.
saved_files() {
    local n=$1 ext=$2 want=$3 f got
    got=$(ls "$work/saved$n" | wc -l)
    [ "$got" -eq "$want" ] || fail "job $n: $got files in the save folder, expected $want"
    for f in "$work/saved$n"/*; do
        [[ $(basename "$f") =~ ^scan[0-9]{17}(-[0-9]+)?\.$ext$ ]] || fail "job $n: file name $(basename "$f")"
    done
}

# sheet_vs N I PAGE.pnm [TOLERANCE]
sheet_vs() {
    $check compare "$work/sheet$1-$2.pnm" "$3" "${4:-0}" || fail "job $1 page $2 pixels"
}

# BMP, bilevel and colour: one file per page, exact pixels.
run_job 1 0 0 "" bw 2
saved_files 1 bmp 2
i=0
for f in "$work/saved1"/*.bmp; do
    i=$((i + 1))
    convert "$f" "$work/p1-$i.pnm" && sheet_vs 1 "$i" "$work/p1-$i.pnm"
done
run_job 2 0 3 "" colour 1
saved_files 2 bmp 1
convert "$work"/saved2/*.bmp "$work/p2.ppm" && sheet_vs 2 1 "$work/p2.ppm"

# JPEG, grey and colour: one file per page, close to the sheet.
run_job 3 1 2 "" grey 2
saved_files 3 jpg 2
i=0
for f in "$work/saved3"/*.jpg; do
    i=$((i + 1))
    djpeg -pnm -outfile "$work/p3-$i.pnm" "$f" || fail "djpeg $f"
    sheet_vs 3 "$i" "$work/p3-$i.pnm" 4
done
run_job 4 1 3 "" colour 1
saved_files 4 jpg 1
djpeg -pnm -outfile "$work/p4.pnm" "$work"/saved4/*.jpg && sheet_vs 4 1 "$work/p4.pnm" 4

# tiff_pages FILE: the number of directories tiffinfo reads.
tiff_pages() { tiffinfo "$1" 2>/dev/null | grep -c "TIFF Directory"; }

# TIFF single page: uncompressed grey and Group 4 bilevel.
run_job 5 3 2 "" grey 2
saved_files 5 tif 2
i=0
for f in "$work/saved5"/*.tif; do
    i=$((i + 1))
    [ "$(tiff_pages "$f")" -eq 1 ] || fail "job 5: $f is not one page"
    tiffinfo "$f" | grep -q "Compression Scheme: None" || fail "job 5: compression"
    convert "$f" "$work/p5-$i.pnm" && sheet_vs 5 "$i" "$work/p5-$i.pnm"
done
run_job 6 3 0 "tiff_Comp i4 1" bw 2
saved_files 6 tif 2
i=0
for f in "$work/saved6"/*.tif; do
    i=$((i + 1))
    tiffinfo "$f" | grep -q "Compression Scheme: CCITT Group 4" || fail "job 6: compression"
    convert "$f" "$work/p6-$i.pnm" && sheet_vs 6 "$i" "$work/p6-$i.pnm"
done

# TIFF multi-page: one file holding every page, uncompressed colour and Group 4.
run_job 7 3 3 "tiff_MultiPage i4 1" colour 3
saved_files 7 tif 1
f=$(ls "$work"/saved7/*.tif)
[ "$(tiff_pages "$f")" -eq 3 ] || fail "job 7: $(tiff_pages "$f") pages, expected 3"
for i in 1 2 3; do
    convert "$f[$((i - 1))]" "$work/p7-$i.ppm" && sheet_vs 7 "$i" "$work/p7-$i.ppm"
done
run_job 8 3 0 "tiff_MultiPage i4 1;tiff_Comp i4 1" bw 3
saved_files 8 tif 1
f=$(ls "$work"/saved8/*.tif)
[ "$(tiff_pages "$f")" -eq 3 ] || fail "job 8: $(tiff_pages "$f") pages, expected 3"
[ "$(tiffinfo "$f" | grep -c "Compression Scheme: CCITT Group 4")" -eq 3 ] || fail "job 8: compression"
for i in 1 2 3; do
    convert "$f[$((i - 1))]" "$work/p8-$i.pnm" && sheet_vs 8 "$i" "$work/p8-$i.pnm"
done

# TIFF with JPEG pages (compressed grey).
run_job 9 3 2 "tiff_Comp i4 1" grey 1
saved_files 9 tif 1
f=$(ls "$work"/saved9/*.tif)
# The JPEG stream sits in the file whole (libtiff calls it old-style JPEG).
tiffinfo "$f" 2>/dev/null | grep -q "Compression Scheme: Old-style JPEG" || fail "job 9: compression"
convert "$f" "$work/p9.pgm" 2>/dev/null && sheet_vs 9 1 "$work/p9.pgm" 4

# pdf_image FILE PAGE OUTBASE: the page's image as pdfimages decodes it.
pdf_image() {
    rm -f "$3"-*
    pdfimages -f "$2" -l "$2" "$1" "$3" || fail "pdfimages $1"
    ls "$3"-* 2>/dev/null | head -1
}

# PDF single page: a document per page; multi-page: one document.
run_job 10 2 0 "" bw 2
saved_files 10 pdf 2
i=0
for f in "$work/saved10"/*.pdf; do
    i=$((i + 1))
    qpdf --check "$f" >/dev/null || fail "job 10: qpdf --check $f"
    pdfinfo "$f" | grep -Eq "^Pages: +1$" || fail "job 10: $f is not one page"
    img=$(pdf_image "$f" 1 "$work/p10-$i")
    [ -n "$img" ] && sheet_vs 10 "$i" "$img"
done
run_job 11 2 3 "pdf_MultiPage i4 1" colour 3
saved_files 11 pdf 1
f=$(ls "$work"/saved11/*.pdf)
qpdf --check "$f" >/dev/null || fail "job 11: qpdf --check"
pdfinfo "$f" | grep -Eq "^Pages: +3$" || fail "job 11: $(pdfinfo "$f" | grep Pages)"
for i in 1 2 3; do
    img=$(pdf_image "$f" "$i" "$work/p11-$i")
    [ -n "$img" ] && sheet_vs 11 "$i" "$img" 4
done

# Character precedence: the text as Group 4 stencil masks over a JPEG
# background, rendered back close to the sheet.
run_job 14 2 3 "pdf_CompRate i4 2" colour 1
saved_files 14 pdf 1
f=$(ls "$work"/saved14/*.pdf)
qpdf --check "$f" >/dev/null || fail "job 14: qpdf --check"
pdfimages -list "$f" | grep -q " stencil .* ccitt " || fail "job 14: no Group 4 text mask"
pdftoppm -r 200 -singlefile "$f" "$work/p14" && sheet_vs 14 1 "$work/p14.ppm" 4

# With the scan log on, pages come by memory transfer (the page buffer)
# instead of as bitmaps: the same files.
"$run" reg add "$key" /v CScanLog /t REG_DWORD /d 1 /f >/dev/null 2>&1
run_job 12 0 0 "" bw 1
run_job 13 3 3 "" colour 1
"$run" reg add "$key" /v CScanLog /t REG_DWORD /d 0 /f >/dev/null 2>&1
saved_files 12 bmp 1
convert "$work"/saved12/*.bmp "$work/p12.pnm" && sheet_vs 12 1 "$work/p12.pnm"
saved_files 13 tif 1
convert "$work"/saved13/*.tif "$work/p13.ppm" && sheet_vs 13 1 "$work/p13.ppm"
[ "$(jobs_run_logs | xargs -r -d '\n' cat | grep -ac "the page came by memory transfer")" -eq 2 ] ||
    fail "the pages did not come by memory transfer"

[ "$failures" -eq 0 ] || { echo "$failures failures"; exit 1; }
echo "session files: all file types passed"
