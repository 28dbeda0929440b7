#!/usr/bin/env bash
# Regenerates the committed macOS icon from the SVG (Debian packages
# librsvg2-bin and icnsutils).
set -euo pipefail
cd "$(dirname "$0")/../packaging"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
pngs=()
for size in 16 32 48 128 256 512 1024; do
    rsvg-convert -w "$size" -h "$size" org.tarnhollow.Tarnhollow.svg -o "$tmp/$size.png"
    pngs+=("$tmp/$size.png")
done
png2icns org.tarnhollow.Tarnhollow.icns "${pngs[@]}" >/dev/null
