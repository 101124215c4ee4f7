#!/bin/bash
# Renders the programs' icons from their SVG sources into the hicolor sizes
# the desktop looks for. The PNGs are committed; run this again after
# changing an SVG (needs imagemagick and its SVG delegate rsvg-convert, both from setup.sh).
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
for svg in *.svg; do
  name=${svg%.svg}
  for size in 16 22 24 32 48 64 128 256; do
    mkdir -p "${size}x${size}"
    convert -background none -density 384 "$svg" -resize "${size}x${size}" \
      -strip "PNG32:${size}x${size}/$name.png"
  done
done
echo "make_icons: done"
