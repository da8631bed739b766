#!/usr/bin/env bash
# Builds the link tests and the file worker's tests with ThreadSanitizer in build directories of
# their own and runs them; any sanitizer report fails the run (halt_on_error plus a non-zero
# exit code).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${OSTREL_TSAN_BUILD_DIR:-build-tsan}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTREL_WERROR=ON \
  -DOSTREL_SANITIZE=thread -DOSTREL_BUILD_UI=OFF -DOSTREL_BUILD_BENCH=OFF
cmake --build "$build" --target link_tests
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1 suppressions=$PWD/tools/tsan.supp ${TSAN_OPTIONS:-}"
export QT_QPA_PLATFORM=offscreen
"$build/tests/link/link_tests"

# The worker of long file work (ui/work): a library of its own, so only it and its test are
# built, in a build folder that has the Qt programs configured.
uibuild=${OSTREL_TSAN_UI_BUILD_DIR:-build-tsan-ui}
cmake -S . -B "$uibuild" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTREL_WERROR=ON \
  -DOSTREL_SANITIZE=thread -DOSTREL_BUILD_BENCH=OFF
cmake --build "$uibuild" --target ui_work_tests
"$uibuild/tests/ui/ui_work_tests"
