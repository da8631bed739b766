#!/usr/bin/env bash
# The slow gates, beside the test command (tools/test.sh); CI (.ci/run) runs both.
#
#   tools/check.sh                  builds the benchmarks (they must compile), checks the naming
#                                   rule and runs clang-tidy over every compiled source outside
#                                   tests/, runs the link and file-worker tests under
#                                   ThreadSanitizer, the library tests under AddressSanitizer and
#                                   UndefinedBehaviorSanitizer, and each fuzz target for a minute
#                                   (two at a time on two cores)
#   tools/check.sh --changed [REV]  for a contributor: builds, then checks the layers, and the
#                                   format, the naming rule and clang-tidy of only the C++ files
#                                   changed since REV (committed or not, new files included)
#
# REV defaults to the merge base of HEAD with main (origin/main when there is no local main):
# what a branch changes. On main itself, whose merge base is HEAD (or without either branch),
# it is HEAD~1: the last commit and what is not committed yet.
# A header counts as changed with every source that includes it (by its path from the root,
# as every include here is written), since clang-tidy sees a header through those.
# The build folder is $OSTREL_BUILD_DIR or build (configured by tools/test.sh or
# tools/configure.sh BUILD --with-tests); the packages are those of tools/install-deps.sh test.
set -euo pipefail
cd "$(dirname "$0")/.."

step() { echo "== check.sh: $*" >&2; }
build=${OSTREL_BUILD_DIR:-build}

if [ "${1:-}" = "--changed" ]; then
  if [ $# -ge 2 ]; then
    rev=$2
  else
    base=main
    git rev-parse -q --verify main >/dev/null || base=origin/main
    rev=$(git merge-base HEAD "$base" 2>/dev/null || git rev-parse HEAD)
    if [ "$rev" = "$(git rev-parse HEAD)" ]; then rev=HEAD~1; fi
  fi
  git rev-parse -q --verify "$rev^{commit}" >/dev/null || {
    echo "check.sh: $rev is not a commit" >&2
    exit 2
  }
  mapfile -t changed < <({
    git diff --name-only --diff-filter=d "$rev" -- '*.cpp' '*.h' '*.c'
    git ls-files --others --exclude-standard -- '*.cpp' '*.h' '*.c'
  } | sort -u)
  step "${#changed[@]} C/C++ file(s) changed since $(git rev-parse --short "$rev")"
  if [ ${#changed[@]} -eq 0 ]; then exit 0; fi
  printf '  %s\n' "${changed[@]}" >&2

  step "building $build"
  [ -f "$build/build.ninja" ] || tools/configure.sh "$build" --with-tests
  cmake --build "$build"
  step "checking the layers"
  tools/check-layers.sh
  step "the format of the changed files"
  clang-format --dry-run --Werror "${changed[@]}"
  sources=()
  for file in "${changed[@]}"; do
    case $file in
      *.cpp) sources+=("$file") ;;
      *.h) mapfile -t -O ${#sources[@]} sources < <(git grep -l -F "\"$file\"" -- '*.cpp') ;;
    esac
  done
  mapfile -t sources < <(printf '%s\n' "${sources[@]}" | sed '/^$/d' | sort -u)
  if [ ${#sources[@]} -eq 0 ]; then
    step "no changed source for clang-tidy"
    exit 0
  fi
  step "the naming rule and clang-tidy on the sources changed or including a changed header"
  tools/check-tidy.sh "$build" "${sources[@]}"
  exit 0
fi
if [ $# -gt 0 ]; then
  echo "usage: tools/check.sh [--changed [REV]]" >&2
  exit 2
fi

step "configuring and building $build with the benchmarks"
tools/configure.sh "$build" --with-tests
cmake --build "$build" --target all benchmarks
step "the naming rule, and clang-tidy over every compiled source but the tests"
tools/check-tidy.sh "$build"

export QT_QPA_PLATFORM=offscreen
step "the link's and the file worker's threads under ThreadSanitizer (build-tsan)"
tools/test-link-tsan.sh
step "the library tests under AddressSanitizer and UndefinedBehaviorSanitizer (build-sanitize)"
tools/test-sanitizers.sh
step "each fuzz target for a minute, as many at a time as there are cores (build-fuzz)"
tools/fuzz.sh 60
step "every gate passed"
