#!/usr/bin/env bash
# macOS only: installs Qt 6 and Ninja with Homebrew, builds into build-macos/
# (or $1) and runs the core and window tests. The system tests need Linux.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-macos}
for formula in qt ninja; do
    brew list --formula "$formula" >/dev/null 2>&1 || brew install "$formula"
done
cmake -S . -B "$dir" -G Ninja -DCMAKE_PREFIX_PATH="$(brew --prefix qt)" \
    -DCMAKE_OSX_DEPLOYMENT_TARGET=13.0
cmake --build "$dir" --parallel "$(sysctl -n hw.ncpu)"
cd "$dir"
ctest --output-on-failure --timeout 300 -L core
ctest --output-on-failure --timeout 300 -L ui
