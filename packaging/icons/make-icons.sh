#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Redraws the committed theme icons: 16 and 24 from their own pixel drawings,
# 32 from the window icon itself, the larger sizes from the SVG.
# Needs imagemagick and librsvg2-bin; the build itself needs neither.
set -euo pipefail
cd "$(dirname "$0")"
png() { /usr/bin/convert "$1" -strip PNG32:"$2"; }
png quorval-16.xpm quorval-16.png
png quorval-24.xpm quorval-24.png
png ../../app/quorval.xpm quorval-32.png
for size in 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" quorval.svg -o quorval-$size.png.tmp
    png quorval-$size.png.tmp quorval-$size.png
    rm quorval-$size.png.tmp
done
