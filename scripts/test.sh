#!/usr/bin/env bash
# Builds everything (Release, warnings as errors) and runs the whole test suite.
#   scripts/test.sh [BUILD_DIR]          default BUILD_DIR: build
# Extra CMake options can be given in TESSMARK_CMAKE_OPTIONS.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
build=${1:-build}
# shellcheck disable=SC2086
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTESSMARK_WERROR=ON ${TESSMARK_CMAKE_OPTIONS:-}
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
