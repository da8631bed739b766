#!/usr/bin/env bash
# Checks that every library a configured build links comes from a Debian package that
# tools/install-deps.sh installs, itself or through the packages it depends on. A library
# that a machine happens to have for another reason would otherwise pass every build here
# and fail on a fresh machine.
#
#   tools/check-deps.sh BUILD_DIR [PROFILE] [--packages FILE]
#
# It reads the link lines of BUILD_DIR/build.ninja (every -l library and every absolute
# library path outside the source and build folders), finds the package that owns each file
# (dpkg -S) and the packages that PROFILE's list (install-deps.sh --list PROFILE, default test;
# or FILE, one package a line) pulls in (apt-cache depends --recurse). Exit status 1 names each
# library whose package is neither listed nor pulled in; 2 for a usage or set-up error.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")

build=""; profile=test; packages_file=""
while [ $# -gt 0 ]; do
  case "$1" in
    --packages) packages_file=$2; shift 2 ;;
    *) if [ -z "$build" ]; then build=$1; else profile=$1; fi; shift ;;
  esac
done
if [ -z "$build" ] || [ ! -f "$build/build.ninja" ]; then
  echo "check-deps: usage: check-deps.sh BUILD_DIR [PROFILE] [--packages FILE] (a configured Ninja build)" >&2
  exit 2
fi
build=$(cd "$build" && pwd)

list_name="install-deps.sh --list $profile"
if [ -n "$packages_file" ]; then
  list_name=$packages_file
  mapfile -t listed < <(grep -v '^\s*$' "$packages_file")
else
  mapfile -t listed < <("$here/install-deps.sh" --list "$profile")
fi

# Every library named on a link line, once.
mapfile -t libraries < <(
  sed -n 's/^ *LINK_\(LIBRARIES\|FLAGS\) = //p' "$build/build.ninja" | tr ' ' '\n' |
    grep -E '^-l[^ ]+$|^/[^ ]+\.(so(\.[0-9.]+)?|a)$' | sort -u)

# The file a library name stands for, as the linker would find it ("" when none is there).
library_file() {
  local name=$1 kind found
  if [[ $name != -l* ]]; then
    echo "$name"
    return
  fi
  for kind in so a; do
    found=$(cc -print-file-name="lib${name#-l}.$kind")
    if [[ $found == /* ]]; then
      realpath -s "$found"
      return
    fi
  done
  echo ""
}

# The package that installed a file; dpkg knows a file by the path it unpacked, which on a
# merged /usr may differ from the path the linker reports.
owning_package() {
  local file=$1 candidate owner
  for candidate in "$file" "$(realpath "$file")" "${file#/usr}" "/usr$file"; do
    owner=$(dpkg -S "$candidate" 2>/dev/null | head -n 1) || continue
    [ -n "$owner" ] && { echo "${owner%%:*}" | sed 's/:[a-z0-9]*$//'; return; }
  done
  echo ""
}

# Everything the listed packages pull in through their dependencies.
declare -A provided
while read -r name; do
  provided[${name%%:*}]=1
done < <(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
  --no-replaces --no-enhances "${listed[@]}" 2>/dev/null | grep -E '^[a-z0-9]')
for name in "${listed[@]}"; do provided[$name]=1; done

failures=0
for library in "${libraries[@]}"; do
  file=$(library_file "$library")
  if [ -z "$file" ]; then
    echo "check-deps: $library: no such library on this machine; add the package that installs it to tools/install-deps.sh" >&2
    failures=$((failures + 1))
    continue
  fi
  case "$file" in "$build"/* | "$source_dir"/*) continue ;; esac
  package=$(owning_package "$file")
  if [ -z "$package" ]; then
    echo "check-deps: $library ($file) belongs to no Debian package" >&2
    failures=$((failures + 1))
  elif [ -z "${provided[$package]:-}" ]; then
    echo "check-deps: $library ($file) comes from $package, which the list ($list_name) neither names nor pulls in" >&2
    failures=$((failures + 1))
  fi
done
if [ "$failures" -gt 0 ]; then
  echo "check-deps: $failures linked librar$([ "$failures" -eq 1 ] && echo y || echo ies) not installed by tools/install-deps.sh" >&2
  exit 1
fi
echo "check-deps: ${#libraries[@]} linked libraries, each from a listed package or one it pulls in"
