#!/usr/bin/env bash
# One command: builds Tarvelin optimised into build-bench/ and runs the
# worklist benchmark against dcmtk's wlmscpfs. Options go to worklist_bench,
# e.g.  bench/worklist/run.sh --sizes 1000,10000 --seconds 10
set -euo pipefail
cd "$(dirname "$0")/../.."
for tool in findscu wlmscpfs; do
  command -v "$tool" >/dev/null || { echo "$tool not found: install dcmtk" >&2; exit 1; }
done
log=build-bench/build.log
mkdir -p build-bench
if ! { cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release &&
       cmake --build build-bench -j2 --target tarvelin tarvelin-setup worklist_bench; } >"$log" 2>&1; then
  tail -30 "$log" >&2
  echo "build failed; see $log" >&2
  exit 1
fi
exec build-bench/bench/worklist/worklist_bench "$@"
