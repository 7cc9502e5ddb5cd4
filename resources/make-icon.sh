#!/usr/bin/env bash
# Renders setup-icon.svg at 16, 32 and 48 pixels and packs the images into
# setup.ico. Needs Debian's librsvg2-bin and icoutils.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for size in 16 32 48; do
  rsvg-convert -w "$size" -h "$size" setup-icon.svg -o "$work/icon-$size.png"
done
icotool -c -o setup.ico "$work/icon-16.png" "$work/icon-32.png" "$work/icon-48.png"
