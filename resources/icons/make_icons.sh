#!/usr/bin/env bash
# Draws the tool-bar icons with ImageMagick (32 and 16 pixel images in each .ico file).
# Aberration: rays from the edge of the view pulled toward the direction of motion.
# SRTDoppler: a star blue-shifted ahead (left) and red-shifted behind (right).
# wavelength: the visible spectrum with an eye's sensitivity curve over it.
# Searchlight: light from a moving source crowded into a bright cone toward its motion (right).
# LightTravelTime: a body moving right, seen at its earlier, fainter place by the light that
# reaches the eye (bottom right) now.
# FreezeTime: a clock face.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

convert -size 32x32 xc:none -stroke '#1d3f8f' -strokewidth 2 -fill none \
    -draw 'line 3,16 29,16' -draw 'path "M 3,16 Q 14,4 29,3"' -draw 'path "M 3,16 Q 14,28 29,29"' \
    -stroke '#e0a000' -draw 'path "M 3,16 Q 18,9 29,9"' -draw 'path "M 3,16 Q 18,23 29,23"' \
    -fill '#1d3f8f' -stroke none -draw 'circle 4,16 7,16' "$tmp/ab32.png"

convert -size 32x32 xc:none \
    \( -size 16x32 gradient:'#2050ff-#80a0ff' -rotate -90 -resize 16x32\! \) -geometry +0+0 -composite \
    \( -size 16x32 gradient:'#ff8060-#d01010' -rotate -90 -resize 16x32\! \) -geometry +16+0 -composite \
    \( -size 32x32 xc:black -fill white -draw 'circle 16,16 16,2' \) -alpha off -compose copy_opacity -composite \
    -fill white -stroke none -draw 'circle 16,16 18,16' "$tmp/dp32.png"

convert xc:'#7000c0' xc:'#0020ff' xc:'#00c0ff' xc:'#00e000' xc:'#ffff00' xc:'#ff8000' xc:'#ff0000' \
    +append -filter triangle -resize 32x18\! -background none -gravity south -extent 32x32 \
    -stroke black -strokewidth 2 -fill none -draw 'path "M 2,31 C 10,29 12,3 16,3 C 20,3 22,29 30,31"' \
    "$tmp/wl32.png"

convert -size 32x32 xc:none \
    \( -size 32x32 radial-gradient:'#fff8c0-#ffb000' \) -geometry +0+0 -compose over -composite \
    \( -size 32x32 xc:black -fill white -draw 'polygon 6,16 31,4 31,28' \) \
    -alpha off -compose copy_opacity -composite \
    -compose over -stroke '#b07000' -strokewidth 1 -fill none \
    -draw 'line 6,16 31,4' -draw 'line 6,16 31,28' \
    -fill '#1d3f8f' -stroke none -draw 'circle 6,16 10,16' "$tmp/sl32.png"

convert -size 32x32 xc:none -stroke none \
    -fill '#1d3f8f40' -draw 'circle 6,9 10,9' -fill '#1d3f8f90' -draw 'circle 15,9 19,9' \
    -fill '#1d3f8f' -draw 'circle 25,9 29,9' \
    -stroke '#e0a000' -strokewidth 2 -fill none -draw 'line 7,13 23,26' \
    -stroke none -fill '#e0a000' -draw 'polygon 26,29 19,26 24,21' \
    -fill black -draw 'circle 27,28 29,28' "$tmp/lt32.png"

convert -size 32x32 xc:none -stroke '#1d3f8f' -strokewidth 2 -fill white \
    -draw 'circle 16,16 16,3' -strokewidth 2 -draw 'line 16,16 16,7' -draw 'line 16,16 23,19' \
    -fill '#1d3f8f' -stroke none -draw 'circle 16,16 18,16' "$tmp/ft32.png"

for name in ab:Aberration dp:SRTDoppler wl:wavelength sl:Searchlight lt:LightTravelTime ft:FreezeTime; do
    short=${name%%:*}
    long=${name#*:}
    convert "$tmp/${short}32.png" -resize 16x16 "$tmp/${short}16.png"
    convert "$tmp/${short}16.png" "$tmp/${short}32.png" "$long.ico"
done
