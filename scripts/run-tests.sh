#!/usr/bin/env bash
# Builds Tarvelin and runs every test (unit and end to end) with CTest.
# TARVELIN_SANITIZE=1 builds with AddressSanitizer and UBSan into build-asan/.
# TARVELIN_TSAN=1 builds with ThreadSanitizer into build-tsan/ and runs the
# concurrency tests (TCP server, associations, HL7, load and faults).
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
opts=()
labels=()
if [ "${TARVELIN_SANITIZE:-0}" = 1 ]; then
  build=build-asan
  opts+=(-DTARVELIN_SANITIZE=ON)
fi
if [ "${TARVELIN_TSAN:-0}" = 1 ]; then
  build=build-tsan
  opts+=(-DTARVELIN_TSAN=ON)
  labels=(-L 'platform|net|dimse|hl7|load')
fi
cmake -S . -B "$build" "${opts[@]}"
cmake --build "$build" -j"$(nproc)"
# The npm packages the tests use (jQuery for the web pages, the browser driver,
# the MPPS peer), installed one after the other before the tests run in parallel.
for folder in web tests/web/browser tests/worklist/mpps-peer; do
  npm ci --prefix "$folder" --no-audit --no-fund
done
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" "${labels[@]}"
