#!/usr/bin/env bash
# Checks the include rules between the folders on the sources, and that no library folder
# exports the project root as an include folder (the build enforces the same rules through
# what each library links; see ostrel_layer_headers in the top CMakeLists.txt):
#
#   base/                          no Qt header and nothing of another folder of ours (the
#                                  bottom layer: every folder may include it)
#   decode/, record/, link/frame/  no Qt header and nothing of another folder of ours but base/
#   pipeline/                      no Qt header and nothing of ours but decode/, record/, base/
#   link/                          nothing of ui/, app/, sim/ or pipeline/
#   ui/                            nothing of sim/ or app/
#   every library folder           no "../" in an include (it would walk around the rules)
#
# Usage: tools/check-layers.sh [ROOT]   (ROOT defaults to the checkout this script is in)
# Prints every offending line as "file:line: text  [rule]" and exits 1 when there is one,
# 0 when there is none.
set -euo pipefail
root=${1:-"$(dirname "$0")/.."}
cd "$root"

ours='app|ui|link|decode|record|pipeline|sim|base|tests|bench|fuzz|tools'
include='#[[:space:]]*include[[:space:]]*'
found=0

# report RULE: prints grep's "file:line:text" lines from standard input with RULE after them.
report() {
  local line
  while IFS= read -r line; do
    printf '%s  [%s]\n' "$line" "$1"
    found=1
  done
}

# includes FOLDER TARGETS [ALLOWED]: the include lines in FOLDER's sources whose target
# matches the extended regular expression TARGETS, minus those matching ALLOWED.
includes() {
  [ -d "$1" ] || return 0
  grep -rnE --include='*.h' --include='*.hpp' --include='*.cpp' --include='*.c' \
    "^[[:space:]]*${include}[<\"]($2)" "$1" | { if [ -n "${3:-}" ]; then grep -vE "${include}[<\"]($3)"; else cat; fi; } || true
}

report "base/ includes no Qt" < <(includes base 'Q')
report "base/ includes nothing of another folder" < <(includes base "($ours)/" 'base/')
for folder in decode record link/frame; do
  report "$folder/ includes no Qt" < <(includes "$folder" 'Q')
  report "$folder/ includes nothing of another folder but base/" < <(
    includes "$folder" "($ours)/" "($folder|base)/")
done
report "pipeline/ includes no Qt" < <(includes pipeline 'Q')
report "pipeline/ includes nothing of ours but decode/, record/ and base/" < <(
  includes pipeline "($ours)/" '(pipeline|decode|record|base)/')
report "link/ includes nothing of ui/, app/, sim/ or pipeline/" < <(includes link '(ui|app|sim|pipeline)/')
report "ui/ includes nothing of sim/ or app/" < <(includes ui '(sim|app)/')
for folder in base decode record pipeline link sim ui; do
  report "an include goes by the path from the root, never ../" < <(includes "$folder" '\.\./')
done

# Each library exports only its own folder; the root is for programs, tests and benchmarks.
for folder in base decode record pipeline link sim ui; do
  [ -d "$folder" ] || continue
  report "a library exports its own folder, not the root" < <(
    find "$folder" -name CMakeLists.txt -print0 |
      xargs -0 grep -nHE 'include_directories.*\$\{(PROJECT|CMAKE)_SOURCE_DIR\}([[:space:])]|$)' || true)
done

if [ "$found" -ne 0 ]; then
  echo "check-layers: includes across the layers above; see CONTRIBUTING.md (Layers)" >&2
  exit 1
fi
