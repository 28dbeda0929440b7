#!/bin/sh
# Validates the desktop entry and the AppStream metadata as installed files.
# Usage: validate_desktop_files.sh <packaging directory>. Exit 77: skipped.
set -eu
dir=$1
for tool in desktop-file-validate appstreamcli; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed"
        exit 77
    fi
done
desktop-file-validate "$dir/org.tarnhollow.Tarnhollow.desktop"
appstreamcli validate --no-net "$dir/org.tarnhollow.Tarnhollow.metainfo.xml"
grep -qx 'Categories=Utility;' "$dir/org.tarnhollow.Tarnhollow.desktop"
grep -q '^<svg ' "$dir/org.tarnhollow.Tarnhollow.svg"
echo "desktop entry and metainfo are valid"
