#!/bin/sh
# Remakes the small pictures the d3dx9 tests load. Needs python3 and ImageMagick's convert.
# The texel values are chosen by pam() below; the tests expect exactly these.
set -eu
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# pam NAME WIDTH HEIGHT DEPTH TUPLTYPE VALUES...: writes an uncompressed PAM picture.
pam() {
  python3 - "$@" <<'PY'
import sys
name, w, h, depth, tupl = sys.argv[1:6]
values = bytes(int(v) for v in sys.argv[6:])
assert len(values) == int(w) * int(h) * int(depth)
with open(name, "wb") as f:
    f.write(f"P7\nWIDTH {w}\nHEIGHT {h}\nDEPTH {depth}\nMAXVAL 255\nTUPLTYPE {tupl}\nENDHDR\n".encode())
    f.write(values)
PY
}

# 3 x 2: red, green, blue / (10,20,30), white, black.
pam "$tmp/rgb.pam" 3 2 3 RGB 255 0 0  0 255 0  0 0 255  10 20 30  255 255 255  0 0 0
# The same colours with alphas 255, 128, 0 / 255, 64, 200.
pam "$tmp/rgba.pam" 3 2 4 RGB_ALPHA \
  255 0 0 255  0 255 0 128  0 0 255 0  10 20 30 255  255 255 255 64  0 0 0 200
# Three colours, one of them fully transparent: a palette with a transparency chunk.
pam "$tmp/pal.pam" 3 2 4 RGB_ALPHA \
  255 0 0 255  0 255 0 255  0 0 0 0  0 255 0 255  255 0 0 255  0 0 0 0
pam "$tmp/grey.pam" 3 2 1 GRAYSCALE 0 85 170  255 17 34
pam "$tmp/grey2.pam" 3 2 1 GRAYSCALE 0 85 170  255 170 85
pam "$tmp/greya.pam" 3 2 2 GRAYSCALE_ALPHA 0 255  85 128  170 0  255 255  17 64  34 200

common="-strip -define png:exclude-chunks=date,time"
convert "$tmp/rgb.pam" $common PNG24:rgb8.png
convert "$tmp/rgba.pam" $common PNG32:rgba8.png
convert "$tmp/rgba.pam" $common -depth 16 PNG64:rgba16.png
convert "$tmp/pal.pam" $common -define png:bit-depth=2 PNG8:palette.png
convert "$tmp/grey.pam" $common -define png:color-type=0 -depth 8 grey8.png
convert "$tmp/grey2.pam" $common -define png:color-type=0 -define png:bit-depth=2 grey2.png
convert "$tmp/greya.pam" $common -define png:color-type=4 -depth 8 greyalpha.png

# 9 x 9 gradient, Adam7-interlaced: texel (x, y) = (28x, 28y, 14(x+y)).
python3 - "$tmp/grad.pam" <<'PY'
import sys
with open(sys.argv[1], "wb") as f:
    f.write(b"P7\nWIDTH 9\nHEIGHT 9\nDEPTH 3\nMAXVAL 255\nTUPLTYPE RGB\nENDHDR\n")
    f.write(bytes(v for y in range(9) for x in range(9) for v in (28 * x, 28 * y, 14 * (x + y))))
PY
convert "$tmp/grad.pam" $common -interlace PNG PNG24:interlaced.png

# 16 x 8 JPEG: a solid block of (200, 40, 60) left and (30, 90, 220) right, so that the lossy
# coding keeps the colours within a few steps.
convert -size 8x8 xc:'rgb(200,40,60)' -size 8x8 xc:'rgb(30,90,220)' +append "$tmp/blocks.png"
convert "$tmp/blocks.png" -strip -quality 100 -sampling-factor 1x1 colour.jpg
convert "$tmp/blocks.png" -strip -quality 100 -sampling-factor 1x1 -interlace JPEG progressive.jpg
convert "$tmp/blocks.png" -strip -quality 100 -colorspace Gray grey.jpg
convert "$tmp/blocks.png" -strip -quality 100 -sampling-factor 1x1 -colorspace CMYK cmyk.jpg
