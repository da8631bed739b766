#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (address and undefined-behaviour
# sanitizers on) and runs each for SECONDS, starting from its seed corpus fuzz/corpus/<target>/.
# Fails on the first target that finds a crash, a leak, a sanitizer report or a broken
# invariant; the input that did it is left in <build>/fuzz-artifacts/<target>/.
#
# Usage: tools/fuzz.sh SECONDS [TARGET...]   (default: every target fuzz/CMakeLists.txt defines)
# The build tree is build-fuzz, or $OSTREL_FUZZ_BUILD_DIR. New corpus entries found on the
# way go to <build>/fuzz-corpus/<target>/, never into the source tree.
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
for target in "${targets[@]}"; do
  corpus="$build/fuzz-corpus/$target"
  artifacts="$build/fuzz-artifacts/$target"
  mkdir -p "$corpus" "$artifacts"
  seeds=()
  if [ -d "fuzz/corpus/$target" ]; then seeds+=("fuzz/corpus/$target"); fi
  options=(-max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048
    -print_final_stats=1 -artifact_prefix="$artifacts/")
  if [ -f "fuzz/$target.dict" ]; then options+=(-dict="fuzz/$target.dict"); fi
  echo "== $target: ${seconds}s"
  "$build/fuzz/$target" "${options[@]}" "$corpus" "${seeds[@]}"
done
echo "fuzz: no findings"
