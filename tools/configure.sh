#!/usr/bin/env bash
# Configures the build folder that tools/run.sh and tools/test.sh share, with the same
# compile flags for both, so that running one after the other rebuilds nothing.
#
#   tools/configure.sh BUILD_DIR [--with-tests] [CMAKE_OPTION...]
#
# Without --with-tests a new folder is configured without the tests and benchmarks (their
# libraries come with the test packages only); a folder configured with them keeps them.
# CMAKE_OPTION... (e.g. -DOSTREL_BUILD_UI=OFF) go to CMake as they are.
set -euo pipefail
cd "$(dirname "$0")/.."

build=$1
shift
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTREL_WERROR=ON)
if [ "${1:-}" = "--with-tests" ]; then
  shift
  options+=(-DOSTREL_BUILD_TESTS=ON -DOSTREL_BUILD_BENCH=ON)
elif [ ! -f "$build/CMakeCache.txt" ]; then
  options+=(-DOSTREL_BUILD_TESTS=OFF -DOSTREL_BUILD_BENCH=OFF)
fi
cmake -S . -B "$build" -G Ninja "${options[@]}" "$@"
