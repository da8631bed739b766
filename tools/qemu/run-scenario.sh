#!/usr/bin/env bash
# run-scenario.sh WORK_DIR SCENARIO [build-initramfs.sh options]
# Runs one guest scenario from scratch: fetches (or takes from WORK_DIR's cache)
# the kernel, builds the root file system, boots it and returns the scenario's exit
# status. Exit status 77 (skipped) when QEMU or a kernel package cannot be had.
set -euo pipefail
trap 'echo "run-scenario: failed at line $LINENO" >&2' ERR

work=${1:?usage: run-scenario.sh WORK_DIR SCENARIO [options]}
scenario=${2:?}
shift 2
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$work"
name=$(basename "$scenario" .sh)

command -v qemu-system-x86_64 >/dev/null ||
  { echo "SKIP: qemu-system-x86_64 is not installed (package qemu-system-x86)"; exit 77; }

now() { date +%s.%N; }
t0=$(now)
status=0
"$here/fetch-kernel.sh" "$work/kernel" || status=$?
[ "$status" = 0 ] || exit "$status"
t1=$(now)
"$here/build-initramfs.sh" "$work/$name.cpio" "$work/kernel/current" "$scenario" "$@"
t2=$(now)
status=0
"$here/run-guest.sh" "$work/kernel/current" "$work/$name.cpio" "$work/$name.console" || status=$?
t3=$(now)
awk -v a="$t0" -v b="$t1" -v c="$t2" -v d="$t3" -v size="$(stat -c %s "$work/$name.cpio")" \
  'BEGIN { printf "timing: kernel %.1f s, image %.1f s (%.1f MB), guest run %.1f s\n", b - a, c - b, size / 1e6, d - c }'
exit "$status"
