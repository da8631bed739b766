#!/usr/bin/env bash
# Builds the link tests and the file worker's tests with ThreadSanitizer in a build directory of
# their own and runs them; any sanitizer report fails the run (halt_on_error plus a non-zero
# exit code).
#
# One tree serves both: it is configured with the Qt programs (the worker of long file work,
# ui/work, is a library of its own beside them), but only the two test programs and what they
# link are built. Two trees, one without the Qt programs for the link, built base/ and link/
# twice and configured twice.
# The build tree is build-tsan, or $OSTREL_TSAN_BUILD_DIR.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${OSTREL_TSAN_BUILD_DIR:-build-tsan}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTREL_WERROR=ON \
  -DOSTREL_SANITIZE=thread -DOSTREL_BUILD_UI=ON -DOSTREL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target link_tests ui_work_tests
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1 suppressions=$PWD/tools/tsan.supp ${TSAN_OPTIONS:-}"
export QT_QPA_PLATFORM=offscreen
"$build/tests/link/link_tests"
"$build/tests/ui/ui_work_tests"
