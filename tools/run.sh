#!/usr/bin/env bash
# Builds Ostrel and starts it. Pass --demo to start it with the virtual meter instead
# of a real cable.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh

build=${OSTREL_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [ "${1:-}" = "--demo" ]; then
  cmake --build "$build" --target ostrel-demo
  exec "$build/app/ostrel-demo"
fi
cmake --build "$build" --target ostrel
exec "$build/app/ostrel"
