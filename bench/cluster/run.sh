#!/usr/bin/env bash
# One command: builds Tarvelin optimised into build-bench/ and runs the
# cluster benchmark (two servers on a PostgreSQL primary with a synchronous
# standby, with faults, next to one server on SQLite). Options go to
# cluster_bench, e.g.  bench/cluster/run.sh --phase-seconds 20 --only postgresql
# Needs postgresql-15 (scripts/install-deps.sh); as root the database servers
# run as the user "postgres" (or "nobody").
set -euo pipefail
cd "$(dirname "$0")/../.."
[ -x /usr/lib/postgresql/15/bin/initdb ] || { echo "PostgreSQL 15 not found: run scripts/install-deps.sh" >&2; exit 1; }
log=build-bench/build.log
mkdir -p build-bench
if ! { cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release &&
       cmake --build build-bench -j2 --target tarvelin tarvelin-setup cluster_bench; } >"$log" 2>&1; then
  tail -30 "$log" >&2
  echo "build failed; see $log" >&2
  exit 1
fi
exec build-bench/bench/cluster/cluster_bench "$@"
