#!/usr/bin/env bash
# Installs every Debian 12 package Ostrel needs to build, test and run.
# Safe to run again; uses sudo only when not already root.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libgl-dev libxkbcommon-dev
  libhidapi-dev libudev-dev libpugixml-dev libxlsxwriter-dev
  # tests and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang clang-format clang-tidy libclang-rt-14-dev libxml2-utils poppler-utils python3-openpyxl valgrind
  qemu-system-x86 busybox-static udev xz-utils cpio
  locales  # locale sources: tests compile a comma locale with localedef when none is installed
  # the Debian package (tools/package.sh and its test)
  help2man lintian appstream dpkg-dev
  # run
  qt6-qpa-plugins fonts-liberation xdg-utils fonts-wqy-microhei
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
