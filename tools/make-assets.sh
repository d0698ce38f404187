#!/usr/bin/env bash
# Draws the images shipped beside the program (assets/). Run by hand after changing a
# picture; the results are committed, so builds need no ImageMagick.
set -euo pipefail
cd "$(dirname "$0")/../assets"
FONT=/usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc

# menu_image.bmp: 24-pixel cells on magenta (the transparent colour).
# 0 search, 1 open folder, 2 add folder, 3 remove folder, 4 support site, 5 settings,
# 6 play, 7 delete, 8 whole-file compare, 9 compare.
x() { echo $(( $1 * 24 + $2 )); }
draw=()
# 2: folder with a plus
draw+=(-fill '#e8b04a' -stroke '#8a5a10' -strokewidth 1 -draw "rectangle $(x 2 2),7 $(x 2 21),20" -draw "rectangle $(x 2 2),4 $(x 2 10),7")
draw+=(-stroke '#1a7f1a' -strokewidth 3 -draw "line $(x 2 12),14 $(x 2 20),14" -draw "line $(x 2 16),10 $(x 2 16),18")
# 3: folder with a minus
draw+=(-fill '#e8b04a' -stroke '#8a5a10' -strokewidth 1 -draw "rectangle $(x 3 2),7 $(x 3 21),20" -draw "rectangle $(x 3 2),4 $(x 3 10),7")
draw+=(-stroke '#b01818' -strokewidth 3 -draw "line $(x 3 11),14 $(x 3 20),14")
# 9: two overlapping frames (compare)
draw+=(-fill '#7fb2e5' -stroke '#1f4f8a' -strokewidth 1 -draw "rectangle $(x 9 2),3 $(x 9 14),15" -fill '#a8d08d' -stroke '#2f6a1a' -draw "rectangle $(x 9 9),9 $(x 9 21),21")
# 1: open folder
draw+=(-fill '#f0c060' -stroke '#8a5a10' -strokewidth 1 -draw "polygon $(x 1 2),8 $(x 1 9),8 $(x 1 11),5 $(x 1 20),5 $(x 1 20),20 $(x 1 2),20" -fill '#ffe0a0' -draw "polygon $(x 1 5),11 $(x 1 22),11 $(x 1 19),20 $(x 1 2),20")
# 6: play triangle
draw+=(-fill '#2e9e3e' -stroke '#145a1e' -strokewidth 1 -draw "polygon $(x 6 6),3 $(x 6 20),12 $(x 6 6),21")
# 7: delete cross
draw+=(-stroke '#c81e1e' -strokewidth 4 -draw "line $(x 7 5),5 $(x 7 19),19" -draw "line $(x 7 19),5 $(x 7 5),19")
# 5: settings gear (ring with teeth)
draw+=(-fill '#808890' -stroke '#404850' -strokewidth 1 -draw "circle $(x 5 12),12 $(x 5 12),3" -fill magenta -draw "circle $(x 5 12),12 $(x 5 12),8")
draw+=(-fill '#808890' -stroke none -draw "rectangle $(x 5 10),1 $(x 5 14),23" -draw "rectangle $(x 5 1),10 $(x 5 23),14" -fill magenta -draw "circle $(x 5 12),12 $(x 5 12),9")
# 4: information
draw+=(-fill '#2f6fc0' -stroke '#173a66' -strokewidth 1 -draw "circle $(x 4 12),12 $(x 4 12),2" -fill white -stroke none -draw "rectangle $(x 4 11),10 $(x 4 13),18" -draw "rectangle $(x 4 11),6 $(x 4 13),8")
# 8: equals sign between bars (whole-file compare)
draw+=(-fill '#5a5a5a' -stroke none -draw "rectangle $(x 8 2),4 $(x 8 6),20" -draw "rectangle $(x 8 18),4 $(x 8 22),20" -fill '#1f4f8a' -draw "rectangle $(x 8 8),8 $(x 8 16),10" -draw "rectangle $(x 8 8),14 $(x 8 16),16")
# 0: magnifier
draw+=(-fill '#d8ecff' -stroke '#333333' -strokewidth 2 -draw "circle $(x 0 10),10 $(x 0 10),4" -strokewidth 3 -draw "line $(x 0 14),14 $(x 0 21),21")
convert -size 240x24 xc:magenta +antialias "${draw[@]}" -type truecolor BMP3:menu_image.bmp

# app_image.png: shown when nothing is previewed.
holes=()
for i in $(seq 0 11); do
  left=$((132 + i * 33))
  holes+=(-draw "rectangle $left,156 $((left + 14)),164" -draw "rectangle $left,316 $((left + 14)),324")
done
convert -size 640x480 gradient:'#24344f'-'#0d1420' \
  -fill '#ffffff22' -draw "roundrectangle 120,150 520,330 18,18" \
  -fill '#0d1420' -draw "rectangle 140,170 500,310" \
  -fill '#ffffff30' "${holes[@]}" \
  -fill '#e8b04a' -draw "polygon 290,200 370,240 290,280" \
  -font "$FONT" -fill '#e6ecf5' -pointsize 44 -gravity north -annotate +0+50 'Quillmere' \
  -pointsize 22 -fill '#aab8cc' -gravity south -annotate +0+80 '重複した動画を見つけて整理します' \
  app_image.png

# decode_err_image.jpg: stands in for a frame that could not be decoded.
convert -size 320x240 xc:'#3a3a3a' \
  -stroke '#d04040' -strokewidth 10 -draw "line 120,50 200,130" -draw "line 200,50 120,130" \
  -stroke none -font "$FONT" -fill '#f0f0f0' -pointsize 20 -gravity south -annotate +0+45 'デコードできません' \
  -quality 90 decode_err_image.jpg

# quillmere.ico: the program's icon (resource 107).
for s in 16 32 48 256; do
  convert -size ${s}x${s} xc:none -fill '#24344f' -draw "roundrectangle 0,0 $((s-1)),$((s-1)) $((s/6)),$((s/6))" \
    -fill '#e8b04a' -draw "polygon $((s*3/10)),$((s/4)) $((s*3/4)),$((s/2)) $((s*3/10)),$((s*3/4))" \
    -fill '#ffffff' -draw "rectangle $((s/10)),$((s/10)) $((s/10 + s/12)),$((s*9/10))" icon-$s.png
done
convert icon-16.png icon-32.png icon-48.png icon-256.png quillmere.ico
rm -f icon-*.png
