#!/bin/sh
# Regenerates the two pictures the window carries: qr-code.jpg, the QR code of
# the maker's website shown in 图片框1, and icon.png, the window icon.
# Needs the Debian packages qrencode, imagemagick and fonts-noto-cjk. The
# build does not run this; the pictures are committed beside it.
set -eu
cd "$(dirname "$0")"

address=$(sed -n 's/.*kMakerWebsiteAddress = "\(.*\)";/\1/p' ../addresses.h)
[ -n "$address" ] || { echo "kMakerWebsiteAddress not found in ui/addresses.h" >&2; exit 1; }
font=/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc
bold=/usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# 344 x 447, a QR code over two caption lines, saved as baseline JFIF in
# three colour components.
# Whole pixels a module, as large as fits in 320 x 320.
qrencode -l M -s 1 -m 2 -o "$tmp/qr.png" "$address"
modules=$(identify -format %w "$tmp/qr.png")
qrencode -l M -s $((320 / modules)) -m 2 -o "$tmp/qr-big.png" "$address"
convert -size 344x447 xc:white \
  "$tmp/qr-big.png" -gravity north -geometry +0+10 -composite \
  -fill '#1a1a1a' -font "$bold" -pointsize 22 -gravity north \
  -annotate +0+338 '扫一扫 关注Velkor' \
  -fill '#666666' -font "$font" -pointsize 15 \
  -annotate +0+376 "${address#http://}" \
  -fill '#e4393c' -draw 'rectangle 0,437 343,446' \
  -type TrueColor -colorspace sRGB -interlace none -sampling-factor 2x2 \
  -strip -quality 90 jpeg:qr-code.jpg

# 32 x 32: an orange rounded square with a white magnifier over "ID".
convert -size 32x32 xc:none \
  -fill '#ff6a00' -draw 'roundrectangle 0,0 31,31 6,6' \
  -fill white -font "$bold" -pointsize 13 -gravity northwest -annotate +3+2 'ID' \
  -fill none -stroke white -strokewidth 2.5 -draw 'circle 20,20 20,13' \
  -stroke white -strokewidth 3 -draw 'line 25,25 29,29' \
  -depth 8 -define png:color-type=6 icon.png
