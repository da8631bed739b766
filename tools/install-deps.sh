#!/usr/bin/env bash
# Installs the Debian 12 packages that one of Ostrel's commands needs, and no more.
#
#   tools/install-deps.sh [run|test|package]   install what that command needs (default: run)
#   tools/install-deps.sh --list [PROFILE]     print that profile's packages, one a line
#
#   run      build and start the program (tools/run.sh)
#   test     run plus the test toolchain (tools/test.sh): compilers for the sanitizer and fuzz
#            builds, clang-format and clang-tidy, QEMU for the guest tests, the packaging tools
#            for the package test, a Mosquitto broker for the MQTT tests
#   package  run plus the packaging tools (tools/package.sh)
#
# Safe to run again: it installs only what is missing. As a normal user it needs sudo.
# tools/check-deps.sh checks that every library the build links comes from a package listed
# here (or one these pull in).
set -euo pipefail

# Build and run: the compiler, CMake and the libraries the programs link, the Qt platform
# plugins and the fonts the window draws with.
run_packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libgl-dev libxkbcommon-dev
  libhidapi-dev libudev-dev libpugixml-dev libxlsxwriter-dev
  zlib1g-dev  # xlsxwriter.pc links -lz, yet libxlsxwriter-dev does not depend on it
  libexpat1-dev  # the workbook read back member by member as a stream
  libmosquitto-dev
  qt6-qpa-plugins fonts-liberation xdg-utils fonts-wqy-microhei
)
# The Debian package: CPack's DEB generator needs dpkg-dev; the man page of ostrel-cli is
# made by help2man; the package is checked by lintian and appstreamcli.
package_packages=(
  git help2man lintian appstream dpkg-dev
)
# Tests, checks and benchmarks (the package test needs the packaging tools too).
test_packages=(
  git googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang clang-format clang-tidy libclang-rt-14-dev
  libxml2-utils poppler-utils python3-openpyxl valgrind
  qemu-system-x86 busybox-static udev xz-utils cpio
  locales  # locale sources: tests compile a comma locale with localedef when none is installed
  mosquitto mosquitto-clients  # a real broker for the MQTT tests
  systemd  # systemd-analyze verify of the logging service's unit; systemd-escape in the QEMU guest
  "${package_packages[@]}"
)

profile_packages() {
  case "$1" in
    run) printf '%s\n' "${run_packages[@]}" ;;
    test) printf '%s\n' "${run_packages[@]}" "${test_packages[@]}" ;;
    package) printf '%s\n' "${run_packages[@]}" "${package_packages[@]}" ;;
    *)
      echo "install-deps: unknown profile '$1' (run, test or package)" >&2
      exit 2
      ;;
  esac
}

if [ "${1:-}" = "--list" ]; then
  profile_packages "${2:-run}" | sort -u
  exit 0
fi
profile=${1:-run}
mapfile -t packages < <(profile_packages "$profile" | sort -u)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    cat >&2 <<EOF
install-deps: these Debian packages are missing and installing them needs root:
  ${missing[*]}
This system has no sudo (Debian installed with a root password gives none). Either install
them as root:
  su -c 'apt-get update && apt-get install --no-install-recommends ${missing[*]}'
or make yourself a sudoer once (as root: apt-get install sudo && adduser $(id -un) sudo, then
log in again) and run this command again.
EOF
    exit 1
  fi
  SUDO=(sudo)
fi
echo "install-deps: installing ${#missing[@]} package(s) for '$profile': ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -qq
"${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
