#!/usr/bin/env bash
# run-guest.sh KERNEL_DIR INITRAMFS CONSOLE_LOG [TIMEOUT_SECONDS]
# Boots the test guest under QEMU (TCG, microvm), prints its console and returns
# the scenario's exit status; 1 when the guest ended without one (panic, timeout).
set -uo pipefail

kernel_dir=${1:?usage: run-guest.sh KERNEL_DIR INITRAMFS CONSOLE_LOG [TIMEOUT_SECONDS]}
initramfs=${2:?}
console=${3:?}
limit=${4:-180}

# Without PIT or HPET the guest calibrates its TSC by a timing loop that fails on a
# busy host and then hangs; it is told the host's TSC rate instead (TCG passes it on).
tsc_khz=$(awk -F: '/^cpu MHz/ { printf "%d", $2 * 1000; exit }' /proc/cpuinfo)
append="console=ttyS0 quiet panic=-1 ${tsc_khz:+tsc_early_khz=$tsc_khz}"

timeout --kill-after=10 "$limit" qemu-system-x86_64 \
  -accel tcg -M microvm -m 512 -nographic -no-reboot -net none \
  -kernel "$kernel_dir/vmlinux" -initrd "$initramfs" -append "$append" \
  -device isa-debug-exit,iobase=0xf4,iosize=0x04 </dev/null >"$console" 2>&1
qemu_status=$?
cat "$console"
if [ "$qemu_status" = 124 ] || [ "$qemu_status" = 137 ]; then
  echo "run-guest: the guest did not finish within $limit s" >&2
  exit 1
fi
if [ $((qemu_status & 1)) = 1 ]; then
  exit $((qemu_status >> 1))
fi
echo "run-guest: the guest ended without a result (QEMU status $qemu_status)" >&2
exit 1
