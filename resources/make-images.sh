#!/usr/bin/env bash
# Renders the banner and the window icon from their SVG sources beside this script.
# The PNGs are kept in the repository, so building never needs this; run it after editing an SVG.
# Needs rsvg-convert (Debian package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"

if ! command -v rsvg-convert >/dev/null; then
  echo "make-images.sh: rsvg-convert is missing (apt-get install librsvg2-bin)" >&2
  exit 1
fi

# Transparent background: rsvg-convert leaves unpainted pixels at alpha 0.
rsvg-convert --width 292 --height 44 banner.svg -o banner.png
rsvg-convert --width 32 --height 32 icon.svg -o icon.png
echo "wrote banner.png (292x44) and icon.png (32x32)"
