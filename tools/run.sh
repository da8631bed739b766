#!/usr/bin/env bash
# Builds Ostrel and starts it. Pass --demo to start it with the virtual meter instead
# of a real cable (options after it go to ostrel-demo: --demo --fast 10). Installs the build and run packages first (tools/install-deps.sh run).
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh run

build=${OSTREL_BUILD_DIR:-build}
tools/configure.sh "$build"
if [ "${1:-}" = "--demo" ]; then
  shift
  cmake --build "$build" --target ostrel-demo
  exec "$build/app/ostrel-demo" "$@"
fi
cmake --build "$build" --target ostrel
exec "$build/app/ostrel"
