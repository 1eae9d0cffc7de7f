#!/usr/bin/env bash
# Draws Kolvik's own pictures with ImageMagick. The PNGs are committed, so building
# needs none of this; rerun it only after changing a drawing.
set -euo pipefail
cd "$(dirname "$0")"

# The progress block: a solid segment, 7 by 17 pixels.
convert -size 7x17 xc:'#55FF00' -strip PNG24:block.png

# The exit button's picture: a door with an arrow pointing out of it.
convert -size 32x32 xc:none \
    -fill '#8B5A2B' -stroke '#4E3116' -strokewidth 1 -draw 'rectangle 5,3 19,28' \
    -fill '#F2C14E' -stroke none -draw 'circle 16,16 17,16' \
    -fill '#D32F2F' -draw 'rectangle 13,14 24,18' \
    -draw 'polygon 23,9 30,16 23,23' \
    -strip PNG32:exit.png

# The program icon: a golden key on a rounded blue tile, drawn large and scaled down.
convert -size 256x256 xc:none \
    -fill '#2B5D7C' -stroke '#1B3F55' -strokewidth 6 -draw 'roundrectangle 6,6 249,249 44,44' \
    -fill '#F2C14E' -stroke '#A87A12' -strokewidth 5 \
    -draw 'circle 86,128 86,70' \
    -draw 'rectangle 136,114 230,142' \
    -draw 'rectangle 186,142 204,176' \
    -draw 'rectangle 212,142 230,190' \
    -stroke none -draw 'rectangle 130,117 150,139' \
    -fill '#2B5D7C' -stroke '#A87A12' -strokewidth 5 -draw 'circle 76,128 76,106' \
    -strip PNG32:kolvik-256.png
for size in 16 32 48 64 128; do
    convert kolvik-256.png -filter Lanczos -resize ${size}x${size} -strip PNG32:kolvik-${size}.png
done
