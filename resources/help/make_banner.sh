#!/bin/sh
# Draws the About window's banner (189 x 55 GIF) with ImageMagick; run it again after changing
# the wording:  sh resources/help/make_banner.sh [output.gif]
set -eu
out=${1:-"$(dirname "$0")/banner.gif"}
convert -size 189x55 gradient:'#1f4e8c'-'#3a7bd5' \
  -fill '#ffffff' -stroke none \
  -draw 'roundrectangle 8,10 30,44 3,3' \
  -fill '#1f4e8c' -draw 'rectangle 12,16 26,18' -draw 'rectangle 12,22 26,24' \
  -draw 'rectangle 12,28 22,30' -draw 'rectangle 12,34 24,36' \
  -fill '#f4b400' -draw 'polygon 20,40 34,18 38,21 24,43' \
  -fill '#ffffff' -font Noto-Sans-CJK-SC-Bold -pointsize 20 -annotate +40+27 'Quillmerge' \
  -fill '#dce8fb' -font Noto-Sans-CJK-SC -pointsize 10 -annotate +40+45 'Excel 数据批量填入 Word 模板' \
  -colors 64 "$out"
