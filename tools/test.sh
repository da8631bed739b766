#!/usr/bin/env bash
# Builds Ostrel and runs every test through CTest. On a fresh Debian 12 machine this is
# all the set-up there is: it installs the packages first.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh

tools/check-layers.sh
tools/check-format.sh
build=${OSTREL_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTREL_WERROR=ON
cmake --build "$build"
# clang-tidy over decode/, record/, pipeline/ and link/ (a few minutes: not a CTest test).
tools/check-tidy.sh "$build"
export QT_QPA_PLATFORM=offscreen

# The link's read threads under ThreadSanitizer, in a build folder of their own.
tools/test-link-tsan.sh
# The library tests under AddressSanitizer (leaks on) and UndefinedBehaviorSanitizer.
tools/test-sanitizers.sh
# Each fuzz target for a minute (libFuzzer, clang), failing on any crash or broken invariant.
tools/fuzz.sh 60

ctest --test-dir "$build" --output-on-failure --timeout 600 -j 2
