#!/bin/sh
# Regenerates the committed artwork and icon from their SVG sources.
# Needs rsvg-convert (librsvg2-bin), Pillow (python3-pil) and the fonts
# fonts-liberation2; building the program needs none of them.
set -eu
cd "$(dirname "$0")/.."
/usr/bin/python3 tools/make_artwork.py resources/artwork.png
/usr/bin/python3 tools/make_icon.py resources/avendrel.ico
