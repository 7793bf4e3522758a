#!/usr/bin/env bash
# Builds Tarvelin and runs every test (unit and end to end) with CTest.
# TARVELIN_SANITIZE=1 builds with AddressSanitizer and UBSan into build-asan/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
opts=()
if [ "${TARVELIN_SANITIZE:-0}" = 1 ]; then
  build=build-asan
  opts+=(-DTARVELIN_SANITIZE=ON)
fi
cmake -S . -B "$build" "${opts[@]}"
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
