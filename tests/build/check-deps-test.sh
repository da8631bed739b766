#!/usr/bin/env bash
# The dependency checker on a small build file: a library whose package no list names must
# be flagged, by name and package, and the same build with that package listed must pass.
set -euo pipefail
checker=$1
for package in zlib1g-dev libudev-dev; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    echo "skipped: $package is not installed, so no file of it can be looked up"
    exit 77
  fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/build"
cat >"$work/build/build.ninja" <<'NINJA'
build app/prog: CXX_EXECUTABLE_LINKER__prog app/main.o
  LINK_LIBRARIES = -Wl,-rpath,/nowhere  decode/libostrel_decode.a  -lz  /usr/lib/x86_64-linux-gnu/libudev.so
NINJA
echo libudev-dev >"$work/without-zlib"
printf '%s\n' libudev-dev zlib1g-dev >"$work/with-zlib"

if "$checker" "$work/build" --packages "$work/without-zlib" 2>"$work/err"; then
  echo "FAIL: -lz passed although no listed package installs it"
  exit 1
fi
grep -q -- '-lz.*zlib1g-dev' "$work/err" || { echo "FAIL: the report does not name -lz and zlib1g-dev:"; cat "$work/err"; exit 1; }
if grep -q libudev "$work/err"; then
  echo "FAIL: a listed library was flagged:"; cat "$work/err"; exit 1
fi
"$checker" "$work/build" --packages "$work/with-zlib" >/dev/null || { echo "FAIL: a fully listed build was flagged"; exit 1; }
echo "passed"
