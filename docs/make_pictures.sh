#!/usr/bin/env bash
# Regenerates the README's pictures: the bundled sample and its edge image as PNG.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null && cmake --build build >/dev/null
edges=$(mktemp --suffix=.bmp)
trap 'rm -f "$edges"' EXIT
build/bin/image samples/landscape.bmp "$edges" c >/dev/null
python3 tools/bmp2png.py samples/landscape.bmp docs/landscape.png
python3 tools/bmp2png.py "$edges" docs/landscape-edges.png
