#!/usr/bin/env bash
# Draws the program icon (a bone-white lane that bends into an "M" on a deep teal tile)
# and packs it at 256, 48, 32 and 16 pixels into marrowlane.ico. Needs ImageMagick 6.
# Run it only to change the design; the .ico is committed.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

convert -size 256x256 gradient:'#1b8a8f'-'#1d2d5c' \
  \( -size 256x256 xc:none -fill white -draw 'roundrectangle 8,8 247,247 44,44' \) \
  -alpha set -compose DstIn -composite -compose Over \
  -fill none -stroke '#f4efe1' -strokewidth 26 -draw "stroke-linecap round stroke-linejoin round polyline 56,196 56,72 128,150 200,72 200,196" \
  -fill '#f2b134' -stroke none -draw "circle 128,206 128,190" \
  -depth 8 "$tmp/256.png"

for s in 48 32 16; do
  convert "$tmp/256.png" -filter Lanczos -resize ${s}x${s} "$tmp/$s.png"
done
convert "$tmp/256.png" "$tmp/48.png" "$tmp/32.png" "$tmp/16.png" marrowlane.ico
