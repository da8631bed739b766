#!/usr/bin/env bash
# Builds Ostrel and starts it. Pass --demo to start it with the virtual meter instead
# of a real cable.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh

build=${OSTREL_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --target ostrel
if [ "${1:-}" = "--demo" ] && [ -x "$build/app/ostrel-demo" ]; then
  exec "$build/app/ostrel-demo"
fi
exec "$build/app/ostrel"
