#!/usr/bin/env bash
# The whole test suite: installs missing packages, configures, builds, starts
# the throw-away database of the ODBC tests, and runs every test. Exits
# non-zero on any failure.
#
#   scripts/test.sh [BUILD_DIR]
#
# Environment:
#   Q8_BUILD_DIR    build folder when no argument is given (default: build)
#   Q8_SANITIZE=1   an AddressSanitizer + UndefinedBehaviorSanitizer build
#                   (default folder build-asan; benchmarks left out)
#   Q8_JOBS         parallel build jobs (default: number of processors)
#   Q8_TEST_JOBS    parallel test processes (default: 1)
#   Q8_WERROR=1     compiler warnings are errors (CI sets it)
#   Q8_CCACHE=0     no compiler cache even when ccache is installed
#   Q8_BUILD_TYPE   CMake build type (default RelWithDebInfo; CI builds Release)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
sanitize=${Q8_SANITIZE:-0}
if [ "$sanitize" = 1 ]; then
  default_build=build-asan
else
  default_build=build
fi
build=${1:-${Q8_BUILD_DIR:-$default_build}}
case "$build" in
  /*) ;;
  *) build="$root/$build" ;;
esac
jobs=${Q8_JOBS:-$(nproc 2>/dev/null || echo 2)}
test_jobs=${Q8_TEST_JOBS:-1}

"$root/scripts/install-deps.sh"

# Benchmarks are built by bench/run_reports.sh, not by the test run.
options=("-DCMAKE_BUILD_TYPE=${Q8_BUILD_TYPE:-RelWithDebInfo}" -DQ8_BUILD_BENCH=OFF)
if [ "$sanitize" = 1 ]; then
  options+=(-DQ8_SANITIZE=ON -DQ8_BUILD_BENCH=OFF)
fi
if [ "${Q8_WERROR:-0}" = 1 ]; then
  options+=(-DQ8_WERROR=ON)
fi
# A compiler cache, when the machine has one, makes a rebuild of unchanged
# sources quick; paths are taken relative to the build folder, so clones in
# other folders share it.
if command -v ccache >/dev/null 2>&1 && [ "${Q8_CCACHE:-1}" = 1 ]; then
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root} CCACHE_NOHASHDIR=1
  options+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build" "${options[@]}"
cmake --build "$build" -j "$jobs"

if [ -f "$root/scripts/odbc-env.sh" ]; then
  # Starts a throw-away PostgreSQL cluster (stopped again on exit) and exports
  # the ODBC tests' variables; tests whose database is missing skip.
  set +u
  # shellcheck source=/dev/null
  source "$root/scripts/odbc-env.sh"
  set -u
fi

if [ "$sanitize" = 1 ]; then
  export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
fi

cd "$build"
ctest --output-on-failure -j "$test_jobs"
