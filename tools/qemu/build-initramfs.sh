#!/usr/bin/env bash
# build-initramfs.sh OUT.cpio KERNEL_DIR SCENARIO [--udev] [--program FILE]... [--file FILE]...
#                    [--extra FILE]... [--gconv MODULE]...
# Builds the guest's root file system as an uncompressed newc cpio archive:
#   /init                   tools/qemu/guest-init.sh (mounts, loads modules, runs the scenario)
#   /scenario               the scenario script, run by /init with busybox sh
#   /bin/busybox + applets  the shell and tools (busybox-static)
#   /bin/<program>          each --program, with its shared-library closure (ldd)
#   /data/<file>            each --file
#   <path>                  each --extra file at its own absolute path, with its
#                           closure (for libraries opened at run time, e.g. Qt plugins)
#   /lib/modules/*.ko       the modules of KERNEL_DIR and their loading order
#   systemd-udevd           with --udev, for device-change notices
#   iconv's gconv modules   each --gconv MODULE (e.g. GBK) with the gconv configuration:
#                           glibc's iconv loads them at run time, so ldd does not see them
set -euo pipefail
trap 'echo "build-initramfs: failed at line $LINENO" >&2' ERR

out=${1:?usage: build-initramfs.sh OUT.cpio KERNEL_DIR SCENARIO [options]}
kernel_dir=${2:?}
scenario=${3:?}
shift 3
here=$(cd "$(dirname "$0")" && pwd)
programs=()
files=()
extras=()
gconv=()
udev=0
while [ $# -gt 0 ]; do
  case "$1" in
    --udev) udev=1 ;;
    --program) programs+=("$2"); shift ;;
    --file) files+=("$2"); shift ;;
    --extra) extras+=("$2"); shift ;;
    --gconv) gconv+=("$2"); shift ;;
    *) echo "build-initramfs: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done

busybox=$(command -v busybox) || { echo "build-initramfs: busybox is not installed" >&2; exit 1; }
if ldd "$busybox" >/dev/null 2>&1; then
  echo "build-initramfs: $busybox is not static (install busybox-static)" >&2; exit 1
fi

root="$out.root"
rm -rf "$root"
mkdir -p "$root"/{bin,sbin,dev,proc,sys,run,tmp,data,etc,lib/modules}
cp "$busybox" "$root/bin/busybox"
install -m 0755 "$here/guest-init.sh" "$root/init"
install -m 0755 "$scenario" "$root/scenario"
cp "$kernel_dir"/modules/*.ko "$kernel_dir/modules/order" "$root/lib/modules/"
for f in "${files[@]}"; do cp "$f" "$root/data/"; done

# Copies a dynamically linked program's libraries (and the loader) to their own paths.
copy_closure() {
  ldd "$1" 2>/dev/null | awk '/=> \// { print $3 } /^\t\/[^ ]+ \(/ { print $1 }' |
    while read -r lib; do
      [ -e "$root$lib" ] && continue
      mkdir -p "$root$(dirname "$lib")"
      cp -L "$lib" "$root$lib"
    done
}
for p in "${programs[@]}"; do
  cp "$p" "$root/bin/"
  copy_closure "$p"
done
for e in "${extras[@]}"; do
  mkdir -p "$root$(dirname "$e")"
  cp -L "$e" "$root$e"
  copy_closure "$e"
done
if [ ${#gconv[@]} -gt 0 ]; then
  gconv_dir=
  for d in /usr/lib/*/gconv /usr/lib64/gconv /usr/lib/gconv; do
    if [ -e "$d/gconv-modules" ]; then gconv_dir=$d; break; fi
  done
  [ -n "$gconv_dir" ] || { echo "build-initramfs: no gconv directory" >&2; exit 1; }
  mkdir -p "$root$gconv_dir"
  for f in gconv-modules gconv-modules.cache gconv-modules.d; do
    if [ -e "$gconv_dir/$f" ]; then cp -r "$gconv_dir/$f" "$root$gconv_dir/"; fi
  done
  for m in "${gconv[@]}"; do cp "$gconv_dir/$m.so" "$root$gconv_dir/"; done
fi
if [ "$udev" = 1 ]; then
  udevadm=$(command -v udevadm) || { echo "build-initramfs: udevadm is not installed (udev)" >&2; exit 1; }
  cp "$udevadm" "$root/bin/udevadm"
  copy_closure "$udevadm"
  mkdir -p "$root/lib/systemd"
  ln -s /bin/udevadm "$root/lib/systemd/systemd-udevd"
fi

(cd "$root" && find . | LC_ALL=C sort | cpio -o -H newc -R 0:0 --quiet) >"$out"
rm -rf "$root"
