#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the full build, then
# the core tests again under AddressSanitizer and LeakSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

scripts/build.sh build
(cd build && ctest --output-on-failure --timeout 300)

scripts/build.sh build-asan -DTARNHOLLOW_SANITIZE=ON -DTARNHOLLOW_BUILD_UI=OFF -DCMAKE_BUILD_TYPE=Debug
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure --timeout 300 -L core)
