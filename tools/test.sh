#!/usr/bin/env bash
# The test command: builds Ostrel and runs every test through CTest (the QEMU guest, package and
# service tests and the format check among them). On a fresh Debian 12 machine this is all the
# set-up there is: it installs the packages first (tools/install-deps.sh test). It shares the
# build folder and its compile flags with tools/run.sh.
#
# The slow gates (clang-tidy, the sanitizer and ThreadSanitizer runs, fuzzing, the benchmarks'
# build) are tools/check.sh; CI (.ci/run) runs this and then that.
#
# Usage: tools/test.sh   (the build folder is $OSTREL_BUILD_DIR or build; CTest runs
# $OSTREL_TEST_JOBS tests at a time, by default twice as many as there are cores: many tests
# wait on timers and child processes, and the few that need the machine to themselves are
# marked RUN_SERIAL or take a RESOURCE_LOCK)
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

export QT_QPA_PLATFORM=offscreen
jobs=${OSTREL_TEST_JOBS:-$(($(nproc) * 2))}
step "every test through CTest, $jobs at a time"
ctest --test-dir "$build" --output-on-failure --timeout 600 -j "$jobs"
