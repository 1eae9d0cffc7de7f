#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Packs PNG pictures into one Windows icon file, each picture kept as it is: an icon entry may
# hold a PNG, which Windows reads at every size since Vista. No converter needed.
#   resources/make-ico.sh OUT.ico PICTURE.png...   (square pictures, 1 to 256 pixels)
set -euo pipefail
out=$1
shift
byte() { printf "\\x$(printf %02x $(($1 & 255)))"; }
le16() { byte "$1"; byte $(($1 >> 8)); }
le32() { le16 $(($1 & 65535)); le16 $(($1 >> 16)); }
# A PNG's width and height stand big-endian at bytes 16 and 20 of its header.
be32_at() { od -An -tu1 -j"$2" -N4 "$1" | awk '{ print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4 }'; }
tmp=$out.tmp
{
    le16 0  # reserved
    le16 1  # an icon, not a cursor
    le16 $#
    offset=$((6 + 16 * $#))
    for png in "$@"; do
        width=$(be32_at "$png" 16)
        height=$(be32_at "$png" 20)
        if [ "$width" -lt 1 ] || [ "$width" -gt 256 ] || [ "$width" != "$height" ]; then
            echo "make-ico.sh: $png is $width by $height, not a square of 1 to 256" >&2
            exit 1
        fi
        size=$(stat -c %s "$png")
        byte "$width"   # 256 is written as 0
        byte "$height"
        byte 0          # no palette
        byte 0
        le16 1          # planes
        le16 32         # bits per pixel
        le32 "$size"
        le32 "$offset"
        offset=$((offset + size))
    done
    cat "$@"
} >"$tmp"
mv "$tmp" "$out"
