#!/usr/bin/env bash
# Configures the build folder that tools/run.sh and tools/test.sh share, with the same
# compile flags for both, so that running one after the other rebuilds nothing.
#
#   tools/configure.sh BUILD_DIR [--with-tests]
#
# Without --with-tests a new folder is configured without the tests and benchmarks (their
# libraries come with the test packages only); a folder configured with them keeps them.
set -euo pipefail
cd "$(dirname "$0")/.."

build=$1
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTREL_WERROR=ON)
if [ "${2:-}" = "--with-tests" ]; then
  options+=(-DOSTREL_BUILD_TESTS=ON -DOSTREL_BUILD_BENCH=ON)
elif [ ! -f "$build/CMakeCache.txt" ]; then
  options+=(-DOSTREL_BUILD_TESTS=OFF -DOSTREL_BUILD_BENCH=OFF)
fi
cmake -S . -B "$build" -G Ninja "${options[@]}"
