#!/usr/bin/env bash
# No program of the build tree carries a run path with an empty entry (or "."), which the
# dynamic loader reads as the current folder: run from an untrusted folder, such a program
# would load a library planted there. (What the package and QEMU tests unpack is not ours;
# the package test checks the installed programs itself.)
set -euo pipefail
build=$1
checked=0; failures=0
while IFS= read -r -d '' file; do
  head -c 4 "$file" | grep -q 'ELF' || continue
  checked=$((checked + 1))
  paths=$(readelf -d "$file" | sed -n 's/.*(\(RUNPATH\|RPATH\)).*\[\(.*\)\]/\2/p')
  [ -z "$paths" ] && continue
  if [[ ":$paths:" == *::* || ":$paths:" == *:.:* || $paths != /* ]]; then
    echo "FAIL: $file: run path [$paths] has an empty or relative entry"
    failures=$((failures + 1))
  fi
done < <(find "$build" -type f -perm -u+x -not -path '*/CMakeFiles/*' \
  -not -path '*/tests/package/work/*' -not -path '*/tests/qemu/*/*' -print0)
echo "$checked programs checked, $failures with an unsafe run path"
[ "$checked" -gt 0 ] && [ "$failures" -eq 0 ]
