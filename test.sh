#!/usr/bin/env bash
# Installs what is missing, builds Tidewire with its tests, and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps

build=${TIDEWIRE_BUILD_DIR:-build}
jobs=$(nproc)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} -DTIDEWIRE_TESTS=ON >/dev/null
cmake --build "$build" -j "$jobs"
cd "$build"
ctest --output-on-failure -j "$jobs" --timeout 300
