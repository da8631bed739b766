#!/usr/bin/env bash
# Builds the link tests with ThreadSanitizer in a build directory of their own and runs them; any
# sanitizer report fails the run (halt_on_error plus a non-zero exit code).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${OSTREL_TSAN_BUILD_DIR:-build-tsan}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTREL_WERROR=ON \
  -DOSTREL_SANITIZE=thread -DOSTREL_BUILD_UI=OFF -DOSTREL_BUILD_BENCH=OFF
cmake --build "$build" --target link_tests
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1 suppressions=$PWD/tools/tsan.supp ${TSAN_OPTIONS:-}"
export QT_QPA_PLATFORM=offscreen
"$build/tests/link/link_tests"
