#!/bin/sh
# Regenerates every asset of the game from scratch: the font, the images, the
# two models and the preview renders. Run from anywhere; PYTHON may name a
# Python 3 with numpy and PIL (default: /usr/bin/python3, as Debian ships it).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
sh tools/fetch_font.sh
"${PYTHON:-/usr/bin/python3}" tools/make_textures.py
blender -b --factory-startup -P tools/build_models.py
