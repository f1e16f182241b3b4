#!/usr/bin/env bash
# Makes the demo's pictures with ImageMagick: the atlas (gem, glow, star, banner, button) and the
# background. The results are committed; run this only to change them.
set -euo pipefail
cd "$(dirname "$0")/data/Textures"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# A white gem with a darker rim and a highlight: tinted by the script's colour.
convert -size 64x64 xc:none \
  -fill 'rgb(150,150,150)' -draw 'polygon 32,2 60,22 50,60 14,60 4,22' \
  -fill 'rgb(215,215,215)' -draw 'polygon 32,8 54,24 46,54 18,54 10,24' \
  -fill white -draw 'polygon 32,8 46,24 32,40 18,24' \
  -fill 'rgba(255,255,255,0.9)' -draw 'circle 24,20 27,20' "$tmp/gem.png"
# A soft round glow, drawn additively behind the gem under the mouse.
convert -size 64x64 radial-gradient:white-black -alpha copy -fill white -colorize 100 "$tmp/glow.png"
# A star for the ticker.
convert -size 64x64 xc:none -fill white \
  -draw 'polygon 32,2 40,24 62,24 44,38 51,61 32,47 13,61 20,38 2,24 24,24' "$tmp/star.png"
# The title plate and the button plate.
convert -size 256x64 xc:none -fill 'rgb(40,30,90)' -stroke 'rgb(230,200,90)' -strokewidth 4 \
  -draw 'roundrectangle 3,3 252,60 20,20' "$tmp/banner.png"
convert -size 128x48 xc:none -fill 'rgb(30,110,70)' -stroke white -strokewidth 3 \
  -draw 'roundrectangle 2,2 125,45 14,14' "$tmp/button.png"

# Atlas layout (must match the texture layout block of data/AllLua.lua).
convert -size 256x256 xc:none \
  "$tmp/gem.png" -geometry +0+0 -composite \
  "$tmp/glow.png" -geometry +64+0 -composite \
  "$tmp/star.png" -geometry +128+0 -composite \
  "$tmp/banner.png" -geometry +0+64 -composite \
  "$tmp/button.png" -geometry +0+128 -composite \
  -depth 8 -define png:color-type=6 atlas.png

# The background: a dark gradient with faint light spots.
convert -size 1024x768 gradient:'rgb(20,24,60)'-'rgb(60,20,70)' \
  -fill 'rgba(255,255,255,0.04)' -draw 'circle 200,150 200,330' -draw 'circle 820,560 820,800' \
  -quality 85 back.jpg
