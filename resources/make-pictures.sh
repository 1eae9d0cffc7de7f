#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
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

# The program icon: a golden key on a rounded blue tile, drawn at 256 and at 512 (the
# affine scales the drawing, pen widths included) and scaled down for the small sizes.
draw_icon() {
    local size=$1 scale=$2
    convert -size ${size}x${size} xc:none -affine ${scale},0,0,${scale},0,0 \
        -fill '#2B5D7C' -stroke '#1B3F55' -strokewidth 6 -draw 'roundrectangle 6,6 249,249 44,44' \
        -fill '#F2C14E' -stroke '#A87A12' -strokewidth 5 \
        -draw 'circle 86,128 86,70' \
        -draw 'rectangle 136,114 230,142' \
        -draw 'rectangle 186,142 204,176' \
        -draw 'rectangle 212,142 230,190' \
        -stroke none -draw 'rectangle 130,117 150,139' \
        -fill '#2B5D7C' -stroke '#A87A12' -strokewidth 5 -draw 'circle 76,128 76,106' \
        -strip PNG32:kolvik-${size}.png
}
draw_icon 256 1
draw_icon 512 2
for size in 16 24 32 48 64 128; do
    convert kolvik-256.png -filter Lanczos -resize ${size}x${size} -strip PNG32:kolvik-${size}.png
done

# The help window's question mark, 51 by 52 pixels: a ring cut open at the lower left,
# a stem and a dot, drawn four times larger and scaled down. (Open strokes are avoided:
# this ImageMagick closes every stroked path.)
convert -size 204x208 xc:none \
    -fill '#2B5D7C' -stroke '#1B3F55' -strokewidth 6 -draw 'circle 102,104 102,12' \
    -fill none -stroke white -strokewidth 20 -draw 'circle 102,76 136,76' \
    -fill '#2B5D7C' -stroke none -draw 'polygon 102,76 96,140 30,140 30,62' \
    -fill white -draw 'rectangle 93,100 111,132' -draw 'circle 102,160 102,147' \
    -filter Lanczos -resize 51x52\! -strip PNG32:vraagteken.png

# The registration dialog's picture, 65 by 61 pixels: a file, the pointer that right-clicked
# it, and the context menu with the key entry highlighted; clear of the frame on its right.
convert -size 260x244 xc:none \
    -fill white -stroke '#707070' -strokewidth 4 -draw 'polygon 14,8 98,8 128,38 128,150 14,150' \
    -fill '#D8D8D8' -draw 'polygon 98,8 98,38 128,38' \
    -stroke none -fill '#B0B0B0' -draw 'rectangle 30,50 84,58' -draw 'rectangle 30,66 84,74' \
    -fill '#F4F4F4' -stroke '#707070' -strokewidth 4 -draw 'rectangle 84,84 252,238' \
    -stroke none -fill '#A0A0A0' -draw 'rectangle 104,104 232,116' -draw 'rectangle 104,206 232,218' \
    -fill '#2B5D7C' -draw 'rectangle 88,134 248,184' \
    -fill '#F2C14E' -stroke '#A87A12' -strokewidth 3 -draw 'circle 112,159 112,146' \
    -draw 'rectangle 122,154 168,164' -draw 'rectangle 150,164 158,174' \
    -draw 'rectangle 160,164 168,178' \
    -fill '#2B5D7C' -stroke none -draw 'circle 108,159 108,153' \
    -fill white -draw 'rectangle 180,154 236,164' \
    -fill black -stroke white -strokewidth 4 \
    -draw 'polygon 60,62 60,128 76,112 88,140 100,134 88,108 110,106' \
    -filter Lanczos -resize 62x58\! -background none -extent 65x61 -strip PNG32:registreren.png
