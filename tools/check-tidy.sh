#!/usr/bin/env bash
# Runs clang-tidy with the checked-in .clang-tidy over the sources of decode/, record/, pipeline/
# and link/, failing on any warning. It reads the compile commands of a configured build folder
# (CMake exports them), so run it after cmake.
#
# Usage: tools/check-tidy.sh [BUILD_DIR]   (defaults to $OSTREL_BUILD_DIR or build)
# Prints clang-tidy's findings and exits 1 when there is one, 0 when there is none.
# Takes a few minutes of processor time; it uses every core (OSTREL_TIDY_JOBS to change that).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-${OSTREL_BUILD_DIR:-build}}
jobs=${OSTREL_TIDY_JOBS:-$(nproc)}

if ! command -v clang-tidy >/dev/null; then
  echo "check-tidy: clang-tidy is not installed (tools/install-deps.sh installs it)" >&2
  exit 2
fi
if [ ! -f "$build/compile_commands.json" ]; then
  echo "check-tidy: no $build/compile_commands.json; configure the build first" >&2
  exit 2
fi

sources=$(git ls-files -- 'decode/*.cpp' 'record/*.cpp' 'pipeline/*.cpp' 'link/*.cpp' | wc -l)
echo "check-tidy: $sources source files, $jobs at a time (each file is named as it starts)" >&2
# The build compiles with GCC: clang does not know some of its warning options.
# shellcheck disable=SC2016 # $0 and $@ belong to the inner shell
if ! git ls-files -z -- 'decode/*.cpp' 'record/*.cpp' 'pipeline/*.cpp' 'link/*.cpp' |
  xargs -0 -n 4 -P "$jobs" sh -c 'echo "check-tidy: $*" >&2; exec clang-tidy -p "$0" --quiet \
    --warnings-as-errors="*" --extra-arg=-Wno-unknown-warning-option "$@"' "$build" \
    2> >(grep --line-buffered -v -e 'warnings generated' -e '^Suppressed ' -e '^Use -header-filter' >&2); then
  echo "check-tidy: clang-tidy found problems (see above)" >&2
  exit 1
fi
