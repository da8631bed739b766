#!/usr/bin/env bash
# Checks that every tracked C and C++ source is formatted as .clang-format says. Hand-aligned
# tables are fenced with "// clang-format off" / "// clang-format on" and are left alone.
#
# Usage: tools/check-format.sh [ROOT]   (ROOT defaults to the checkout this script is in)
# Prints each file that differs (and clang-format's first complaints about it) and exits 1 when
# there is one, 0 when there is none. To fix: clang-format -i FILE.
set -euo pipefail
root=${1:-"$(dirname "$0")/.."}
cd "$root"

if ! command -v clang-format >/dev/null; then
  echo "check-format: clang-format is not installed (tools/install-deps.sh installs it)" >&2
  exit 2
fi

log=$(mktemp)
trap 'rm -f "$log"' EXIT
differ=()
while IFS= read -r -d '' file; do
  if ! clang-format --dry-run --Werror "$file" >"$log" 2>&1; then
    differ+=("$file")
    head -n 6 "$log" >&2
  fi
done < <(git ls-files -z -- '*.cpp' '*.h' '*.c')

if [ ${#differ[@]} -gt 0 ]; then
  echo "check-format: ${#differ[@]} file(s) differ from .clang-format:" >&2
  printf '  %s\n' "${differ[@]}" >&2
  exit 1
fi
