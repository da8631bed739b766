#!/usr/bin/env bash
# fetch-kernel.sh CACHE_DIR
# Makes a Debian kernel bootable by QEMU's microvm machine, cached in CACHE_DIR:
#   CACHE_DIR/current/vmlinux          uncompressed ELF kernel
#   CACHE_DIR/current/modules/*.ko     hid, uhid, hid-generic and what they need
#   CACHE_DIR/current/modules/order    their file names in loading order
# The kernel is the package linux-image-amd64 depends on, fetched with
# `apt-get download` (never installed). Exit status 77 when no kernel package can
# be had (no apt, no network and nothing cached); 1 on any other failure.
set -euo pipefail
trap 'echo "fetch-kernel: failed at line $LINENO" >&2' ERR

cache=${1:?usage: fetch-kernel.sh CACHE_DIR}
wanted_modules=(hid uhid hid_generic)
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)

skip() { echo "fetch-kernel: SKIP: $*" >&2; exit 77; }

# The package lists change only with apt-get update: until then the kernel made
# last time is still the one linux-image-amd64 depends on.
lists=/var/lib/apt/lists
if [ -e "$cache/current/done" ] && [ -d "$lists" ] && [ "$cache/current/done" -nt "$lists" ]; then
  exit 0
fi

package=$(apt-cache depends linux-image-amd64 2>/dev/null |
          awk '/Depends: linux-image-/ { print $2; exit }') || true
if [ -z "$package" ]; then
  [ -e "$cache/current/vmlinux" ] && { echo "fetch-kernel: apt knows no kernel; using the cached one" >&2; exit 0; }
  skip "apt-cache does not know linux-image-amd64 (run apt-get update) and nothing is cached"
fi
version=$(apt-cache policy "$package" | awk '/Candidate:/ { print $2 }')
kdir="$cache/$package-$version"
if [ -e "$kdir/done" ]; then
  touch "$kdir/done"
  ln -sfn "$(basename "$kdir")" "$cache/current"
  exit 0
fi

rm -rf "$kdir" && mkdir -p "$kdir/modules"
deb=$(ls "$cache"/"$package"_*.deb 2>/dev/null | head -n1 || true)
if [ -z "$deb" ]; then
  (cd "$cache" && apt-get download "$package" >/dev/null 2>"$kdir/apt.log") ||
    skip "apt-get download $package failed: $(tail -n1 "$kdir/apt.log")"
  deb=$(ls "$cache"/"$package"_*.deb | head -n1)
fi

# One pass over the package: the compressed kernel and the HID modules.
extract="$kdir/extract"
mkdir -p "$extract"
dpkg-deb --fsys-tarfile "$deb" |
  tar -x -C "$extract" --wildcards './boot/vmlinuz-*' '*/kernel/drivers/hid/*.ko*'

# bzImage -> vmlinux: the payload is one xz stream behind the setup code.
vmlinuz=$(ls "$extract"/boot/vmlinuz-* | head -n1)
offset=$(LC_ALL=C grep -m1 -obUaP '\xFD7zXZ\x00' "$vmlinuz" | cut -d: -f1)
offset=${offset%%$'\n'*}
[ -n "$offset" ] || { echo "fetch-kernel: no xz payload in $vmlinuz" >&2; exit 1; }
tail -c +$((offset + 1)) "$vmlinuz" >"$extract/payload.xz"
xz -dc --single-stream "$extract/payload.xz" >"$kdir/vmlinux"
[ "$(head -c 4 "$kdir/vmlinux" | od -An -tx1 | tr -d ' ')" = 7f454c46 ] ||
  { echo "fetch-kernel: the decompressed kernel is not an ELF file" >&2; exit 1; }

# Module closure in loading order (dependencies first), decompressed for busybox insmod.
find_module() {  # module name (dashes or underscores) -> file in $extract, extracting it if need be
  local pattern="$(echo "$1" | sed 's/[-_]/[-_]/g')"
  local file
  file=$(find "$extract" -regextype posix-extended -regex ".*/$pattern\.ko(\.xz|\.zst|\.gz)?" | head -n1)
  if [ -z "$file" ]; then
    dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$extract" --wildcards --no-anchored \
      "$(echo "$1" | tr _ -).ko*" "$(echo "$1" | tr - _).ko*" 2>/dev/null || true
    file=$(find "$extract" -regextype posix-extended -regex ".*/$pattern\.ko(\.xz|\.zst|\.gz)?" | head -n1)
  fi
  echo "$file"
}
declare -A loaded=()
order=()
add_module() {
  local name file plain dep
  name=$(echo "$1" | tr - _)
  [ -n "${loaded[$name]:-}" ] && return 0
  loaded[$name]=1
  file=$(find_module "$name")
  [ -n "$file" ] || { echo "fetch-kernel: module $name not in $package" >&2; exit 1; }
  plain="$kdir/modules/$name.ko"
  case "$file" in
    *.xz) xz -dc "$file" >"$plain" ;;
    *.zst) zstd -qdc "$file" >"$plain" ;;
    *.gz) gzip -dc "$file" >"$plain" ;;
    *) cp "$file" "$plain" ;;
  esac
  for dep in $(strings -a "$plain" | sed -n 's/^depends=//p' | tr , ' '); do
    add_module "$dep"
  done
  order+=("$name.ko")
}
for m in "${wanted_modules[@]}"; do add_module "$m"; done
printf '%s\n' "${order[@]}" >"$kdir/modules/order"

rm -rf "$extract"
touch "$kdir/done"
ln -sfn "$(basename "$kdir")" "$cache/current"
# Kernels of earlier package versions are not needed any more.
for old in "$cache"/linux-image-*; do
  case "$old" in "$kdir" | "$deb") ;; *) rm -rf "$old" ;; esac
done
