#!/usr/bin/env bash
# Checks the naming rule and runs clang-tidy with the checked-in .clang-tidy over every C++
# source the build compiles outside tests/ (base/, decode/, record/, pipeline/, link/, ui/, app/, sim/,
# bench/, tools/; fuzz/ too when the build folder is a fuzz build), failing on any finding. It reads
# the compile commands of a configured and built build folder (CMake exports them; the build
# generates the Qt meta-object sources the Qt files include), so run it after the build.
#
# Usage: tools/check-tidy.sh [BUILD_DIR [FILE...]]   (BUILD_DIR defaults to $OSTREL_BUILD_DIR
# or build; FILE... limits clang-tidy to those sources, as tools/check.sh --changed does)
# Prints the findings and exits 1 when there is one, 0 when there is none.
# Every source takes about half of the processor time it took while the fixed names were
# clang-tidy's IgnoredRegexp (CONTRIBUTING.md, Testing, has the figures); it uses every core
# (OSTREL_TIDY_JOBS to change that).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-${OSTREL_BUILD_DIR:-build}}
if [ $# -gt 0 ]; then shift; fi
only=("$@")
jobs=${OSTREL_TIDY_JOBS:-$(nproc)}

if ! command -v clang-tidy >/dev/null; then
  echo "check-tidy: clang-tidy is not installed (tools/install-deps.sh installs it)" >&2
  exit 2
fi
if [ ! -f "$build/compile_commands.json" ]; then
  echo "check-tidy: no $build/compile_commands.json; configure the build first" >&2
  exit 2
fi

# No "k" prefix on constants (clang-tidy's camelBack accepts kName). A name of ours is declared
# or used as kName followed by "=", "(", "{", "[" or ";"; a library's constant is reached
# through its namespace (benchmark::kMillisecond) and a unit in a text ("1 kV") is not followed
# by one of those.
if git grep -nP '(?<![\w:])k[A-Z]\w*\s*[=({\[;]' -- '*.cpp' '*.h'; then
  echo "check-tidy: constants take no k prefix (CONTRIBUTING.md, Naming): rename the names above" >&2
  exit 1
fi

# Every tracked source that the build folder compiles; the others (fuzz/ in an ordinary build)
# are named so that a folder left out is seen.
# tests/ is left to the compiler (-Wshadow under -Werror): clang-tidy over its GUI tests would
# add about half again to the run.
# With FILE... only those of them (the .cpp files outside tests/) are checked.
listed() {
  if [ ${#only[@]} -gt 0 ]; then printf '%s\n' "${only[@]}"; else git ls-files -- '*.cpp'; fi
}
# A unity build (CMAKE_UNITY_BUILD) lists its batch files, not the sources they include: each
# source is given its batch's command in a compile database of our own, which clang-tidy reads.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mapfile -t sources < <(listed | grep -E '\.cpp$' | grep -v '^tests/' | python3 -c '
import json, os, re, sys
db = json.load(open(os.path.join(sys.argv[1], "compile_commands.json")))
expanded = []
for entry in db:
    if not re.search(r"/Unity/unity_\d+_cxx\.cxx$", entry["file"]):
        expanded.append(entry)
        continue
    with open(entry["file"], encoding="utf-8") as batch:
        for source in re.findall(r"^#include \"(.+)\"$", batch.read(), re.M):
            expanded.append(dict(entry, file=source,
                                 command=entry["command"].replace(entry["file"], source)))
with open(os.path.join(sys.argv[2], "compile_commands.json"), "w") as out:
    json.dump(expanded, out)
compiled = {os.path.realpath(e["file"]) for e in expanded}
for line in sys.stdin:
    path = line.rstrip("\n")
    print(("" if os.path.realpath(path) in compiled else "-") + path)
' "$build" "$work")
compiled=()
for s in "${sources[@]}"; do
  case $s in
    -*) echo "check-tidy: not compiled by $build, left out: ${s#-}" >&2 ;;
    *) compiled+=("$s") ;;
  esac
done

if [ ${#compiled[@]} -eq 0 ]; then
  echo "check-tidy: no compiled source to check" >&2
  exit 0
fi

# The configuration: .clang-tidy, whose last key is CheckOptions, and two outside conventions
# as short IgnoredRegexps: Google Benchmark's BM_ functions and push_back on a container of
# ours that stands in for a standard one. The fixed names of NAMES.md (their one list) are not
# given to clang-tidy: matching each declaration against their 3,500-character pattern was half
# of clang-tidy's time. tools/tidy-fixed-names.py drops the naming findings on them instead.
config=$work/clang-tidy.yaml
{
  cat .clang-tidy
  echo "  - { key: readability-identifier-naming.FunctionIgnoredRegexp, value: '^BM_[A-Za-z0-9]+\$' }"
  echo "  - { key: readability-identifier-naming.MethodIgnoredRegexp, value: '^push_back\$' }"
} >"$config"

echo "check-tidy: ${#compiled[@]} source files, $jobs at a time (each file is named as it starts)" >&2
# The build compiles with GCC: clang does not know some of its warning options.
# shellcheck disable=SC2016 # $0, $1 and $@ belong to the inner shell
if ! printf '%s\0' "${compiled[@]}" |
  xargs -0 -n 4 -P "$jobs" sh -c 'database=$0 config=$1; shift; echo "check-tidy: $*" >&2
    exec tools/tidy-fixed-names.py NAMES.md -- clang-tidy -p "$database" --quiet \
      --config-file="$config" --warnings-as-errors="*" --extra-arg=-Wno-unknown-warning-option "$@"' "$work" "$config" \
    2> >(grep --line-buffered -v -e 'warnings generated' -e '^Suppressed ' -e '^Use -header-filter' >&2); then
  echo "check-tidy: clang-tidy found problems (see above)" >&2
  exit 1
fi
