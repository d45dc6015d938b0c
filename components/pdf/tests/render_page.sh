#!/usr/bin/env bash
# Renders a scanned-looking 300 dpi page with ImageMagick and DejaVu fonts:
#   render_page.sh KIND colour|grey OUT.pnm [INK.pgm] [WORDS.txt]
# KIND: "sample" (1200 x 800: text in four colours on a noisy colour gradient,
# a photo-like plasma and a line drawing), "text" (a Letter page of 11 pt
# paragraphs), "mixed" (a Letter page of 8 pt paragraphs around a photo).
# INK.pgm gets the same text and drawing on white, as the ink a segmenter
# should find; WORDS.txt the words of the page, for text recognition checks.
set -eu
kind=$1 mode=$2 out=$3 ink=${4:-} words=${5:-}
[ -n "$words" ] && : > "$words"
fonts=/usr/share/fonts/truetype/dejavu
sans=$fonts/DejaVuSans.ttf serif=$fonts/DejaVuSerif.ttf bold=$fonts/DejaVuSans-Bold.ttf

paragraphs=(
  "The scanner delivers each page to the job runner, which writes the page"
  "as a file in the chosen format and hands it over by mail or to a folder."
  "Character precedence keeps every letter as sharp as the scan itself,"
  "while the paper and the pictures around it are stored at a coarser grid."
  "Invoices, letters and forms with small print stay readable after years,"
  "and the documents need only a fraction of the space on the shared drive."
  "Please check the totals of the quarterly report before Friday morning."
  "Seven boxes of archived contracts were digitised during the last week."
)
# Drawing commands: "font size colour x y text" per line of text.
declare -a draw=()
case $kind in
sample)
  w=1200 h=800
  draw=(-font "$sans" -pointsize 11 -fill '#101010' -annotate +50+110 'Quarterly report: totals by region'
        -font "$serif" -pointsize 10 -fill '#18307a' -annotate +50+190 'Invoices and letters stay sharp.'
        -font "$bold" -pointsize 12 -fill '#8a1010' -annotate +50+280 'URGENT: reply by Friday'
        -font "$sans" -pointsize 8 -fill '#0f5a1e' -annotate +50+350 'small print: seven boxes of contracts'
        -fill none -stroke '#202020' -strokewidth 3 -draw 'rectangle 60,420 680,760'
        -draw 'line 60,420 680,760' -draw 'circle 370,590 370,700'
        -stroke '#18307a' -strokewidth 2 -draw 'line 760,120 1150,120' -draw 'line 760,170 1150,300')
  photo=(400 290 +760 +460)
  ;;
text | mixed)
  w=2550 h=3300
  y=330 n=0 size=11 step=115
  [ "$kind" = mixed ] && size=8 step=85
  for p in "${paragraphs[@]}" "${paragraphs[@]}" "${paragraphs[@]}"; do
    colours=('#111111' '#111111' '#1c2f7a' '#111111' '#7a1414' '#111111')
    c=${colours[$((n % 6))]}
    x=240
    if [ "$kind" = mixed ] && [ $y -gt 1300 ] && [ $y -lt 2350 ]; then
      y=2400 # the photo's place
    fi
    draw+=(-font "$serif" -pointsize $size -fill "$c" -annotate +$x+$y "$p")
    echo "$p" >> "${words:-/dev/null}"
    y=$((y + step))
    n=$((n + 1))
    [ $y -gt 3100 ] && break
  done
  draw+=(-fill none -stroke '#202020' -strokewidth 4 -draw 'line 240,200 2310,200')
  photo=()
  [ "$kind" = mixed ] && photo=(1500 1000 +520 +1330)
  ;;
*)
  echo "unknown page kind $kind" >&2
  exit 2
  ;;
esac

# Paper: a soft colour gradient with scanner noise (fixed seeds: the same page every time).
args=(-size ${w}x${h} gradient:'#f6efdc-#dfe9f6' -seed 11 -attenuate 0.25 +noise Gaussian)
if [ ${#photo[@]} -gt 0 ]; then
  args+=(\( -size ${photo[0]}x${photo[1]} -seed 5 plasma:'#c08040-#204a80' -blur 0x2 \)
         -geometry ${photo[2]}${photo[3]} -composite)
fi
grey=()
[ "$mode" = grey ] && grey=(-colorspace Gray)
convert "${args[@]}" -density 300 "${draw[@]}" "${grey[@]}" -depth 8 "$out"
if [ -n "$ink" ]; then
  convert -size ${w}x${h} xc:white -density 300 "${draw[@]}" -colorspace Gray -depth 8 "$ink"
fi
