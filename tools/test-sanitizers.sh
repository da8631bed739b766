#!/usr/bin/env bash
# Builds the libraries and their tests with AddressSanitizer (leak checking on) and
# UndefinedBehaviorSanitizer in a separate tree, and runs the tests through CTest. Any
# sanitizer report stops its test and fails the run.
#
# The Qt programs and their tests are left out by default to keep the run short; pass --ui
# (or set OSTREL_SANITIZE_UI=ON) to include them; the QEMU guest tests (qemu.*) are never
# run here. The build tree is build-sanitize, or $OSTREL_SANITIZE_BUILD_DIR.
set -euo pipefail
cd "$(dirname "$0")/.."

ui=${OSTREL_SANITIZE_UI:-OFF}
if [ "${1:-}" = "--ui" ]; then ui=ON; fi

build=${OSTREL_SANITIZE_BUILD_DIR:-build-sanitize}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTREL_WERROR=ON \
  -DOSTREL_SANITIZE=address,undefined -DOSTREL_BUILD_BENCH=OFF -DOSTREL_BUILD_UI="$ui" >/dev/null
cmake --build "$build"

export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$PWD/tools/lsan.supp:print_suppressions=0
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure --timeout 600 -j 2 -E '^(qemu|format)\.'
