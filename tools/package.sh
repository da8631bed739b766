#!/usr/bin/env bash
# Builds the Debian package ostrel_<version>_<arch>.deb with CPack's DEB generator and
# checks it with lintian (no errors allowed) and the AppStream metadata with appstreamcli.
#
#   tools/package.sh [BUILD_DIR]     (default: build-package)
#
# Installs what it needs first (tools/install-deps.sh). Prints the package's path last.
# Install the package with: sudo apt-get install ./ostrel_<version>_<arch>.deb
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build-package}")

"$root/tools/install-deps.sh" package
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DOSTREL_BUILD_TESTS=OFF -DOSTREL_BUILD_BENCH=OFF
cmake --build "$build"
rm -f "$build"/ostrel_*.deb
(cd "$build" && cpack -G DEB)
deb=$(ls "$build"/ostrel_*.deb)

appstreamcli validate --no-net "$root/app/resources/ostrel.metainfo.xml"
lintian --fail-on error "$deb"
echo "$deb"
