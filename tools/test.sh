#!/usr/bin/env bash
# Builds Ostrel and runs every test through CTest. On a fresh Debian 12 machine this is
# all the set-up there is: it installs the packages first (tools/install-deps.sh test).
# It shares the build folder and its compile flags with tools/run.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

step() { echo "== test.sh: $*" >&2; }

step "installing missing packages"
tools/install-deps.sh test

step "checking the layers"
tools/check-layers.sh
build=${OSTREL_BUILD_DIR:-build}
step "configuring and building $build"
tools/configure.sh "$build" --with-tests
cmake --build "$build"
step "checking that every linked library comes from a listed package"
tools/check-deps.sh "$build" test
step "the naming rule, and clang-tidy over every compiled source but the tests (about 20 minutes)"
tools/check-tidy.sh "$build"
export QT_QPA_PLATFORM=offscreen

step "the link's read threads under ThreadSanitizer (build-tsan)"
tools/test-link-tsan.sh
step "the library tests under AddressSanitizer and UndefinedBehaviorSanitizer (build-sanitize)"
tools/test-sanitizers.sh
step "each fuzz target for a minute"
tools/fuzz.sh 60

# The source format check runs here, once: it is the CTest test format.sources (the sanitizer
# runs leave it out), and no step above runs tools/check-format.sh.
step "every test through CTest"
ctest --test-dir "$build" --output-on-failure --timeout 600 -j 2
