#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (address and undefined-behaviour
# sanitizers on) and runs each for SECONDS, starting from its seed corpus fuzz/corpus/<target>/.
# Fails on the first target that finds a crash, a leak, a sanitizer report or a broken
# invariant; the input that did it is left in <build>/fuzz-artifacts/<target>/.
#
# Usage: tools/fuzz.sh SECONDS [TARGET...]   (default: every target fuzz/CMakeLists.txt defines)
# The build tree is build-fuzz, or $OSTREL_FUZZ_BUILD_DIR. New corpus entries found on the
# way go to <build>/fuzz-corpus/<target>/, never into the source tree.
# Targets run as many at a time as there are cores ($OSTREL_FUZZ_JOBS to change that), each
# for SECONDS on one core; a target's output goes to <build>/fuzz-logs/<target>.log and is
# printed when it ends.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 1 ] || ! [[ $1 =~ ^[0-9]+$ ]]; then
  echo "usage: $0 SECONDS [TARGET...]" >&2
  exit 2
fi
seconds=$1
shift
targets=("$@")

build=${OSTREL_FUZZ_BUILD_DIR:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DOSTREL_FUZZ=ON -DOSTREL_BUILD_TESTS=OFF -DOSTREL_BUILD_BENCH=OFF -DOSTREL_BUILD_UI=OFF \
  -DOSTREL_SANITIZE=address,undefined \
  -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link >/dev/null
if [ ${#targets[@]} -eq 0 ]; then mapfile -t targets < "$build/fuzz/targets.txt"; fi
cmake --build "$build" --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
jobs=${OSTREL_FUZZ_JOBS:-$(nproc)}
logs="$build/fuzz-logs"
mkdir -p "$logs"

# fuzz_one TARGET: runs TARGET for SECONDS from its seeds and the corpus it has grown.
fuzz_one() {
  local target=$1 corpus="$build/fuzz-corpus/$1" artifacts="$build/fuzz-artifacts/$1"
  mkdir -p "$corpus" "$artifacts"
  local seeds=()
  if [ -d "fuzz/corpus/$target" ]; then seeds+=("fuzz/corpus/$target"); fi
  local options=(-max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048
    -print_final_stats=1 -artifact_prefix="$artifacts/")
  if [ -f "fuzz/$target.dict" ]; then options+=(-dict="fuzz/$target.dict"); fi
  "$build/fuzz/$target" "${options[@]}" "$corpus" "${seeds[@]}"
}

# Runs the targets, at most $jobs at once; each one's log is printed as it ends. The first
# finding stops the rest.
declare -A running=()
failed=""
finish_one() {
  local pid status=0 target
  wait -n -p pid "${!running[@]}" || status=$?
  target=${running[$pid]}
  unset "running[$pid]"
  echo "== $target: ${seconds}s"
  cat "$logs/$target.log"
  if [ "$status" -ne 0 ] && [ -z "$failed" ]; then
    echo "fuzz: $target failed (exit $status); its input is in $build/fuzz-artifacts/$target/" >&2
    failed=$target
  elif [ "$status" -ne 0 ]; then
    echo "fuzz: $target stopped after $failed failed" >&2
  fi
}
for target in "${targets[@]}"; do
  while [ ${#running[@]} -ge "$jobs" ] && [ -z "$failed" ]; do finish_one; done
  if [ -n "$failed" ]; then break; fi
  echo "fuzz: starting $target" >&2
  fuzz_one "$target" >"$logs/$target.log" 2>&1 &
  running[$!]=$target
done
if [ -n "$failed" ] && [ ${#running[@]} -gt 0 ]; then kill "${!running[@]}" 2>/dev/null || true; fi
while [ ${#running[@]} -gt 0 ]; do finish_one; done
if [ -n "$failed" ]; then exit 1; fi
echo "fuzz: no findings"
