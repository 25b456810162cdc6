#!/usr/bin/env bash
# The report service under load: 16 concurrent clients for 60 seconds over a
# demo database, mixing the three reports and the lookups; every answer is
# compared with the tool's output for the same call. Prints the requests,
# errors, p50/p99 latency and the service's peak memory; exits non-zero on
# any error or difference. (The test suite runs the same program for a few
# seconds.)
#
#   scripts/load-test.sh [SECONDS] [CLIENTS] [SCALE]
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-60}
clients=${2:-16}
scale=${3:-5000}
build=${Q8_BUILD_DIR:-$root/build}

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQ8_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "${Q8_JOBS:-$(nproc 2>/dev/null || echo 2)}" --target q8vantorpt service_load_test
"$build/tests/service/service_load_test" --tool "$build/q8vantorpt" --clients "$clients" \
  --seconds "$seconds" --scale "$scale"
