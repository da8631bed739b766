#!/bin/busybox sh
# /init of the QEMU test guest: prepares a minimal system, runs /scenario and
# hands its exit status to QEMU through the isa-debug-exit port (ostrel-guest-exit).
/bin/busybox --install -s /bin
export PATH=/bin:/sbin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /run
mount -t tmpfs tmpfs /tmp
while read -r module; do
  insmod "/lib/modules/$module" || echo "guest: insmod $module failed"
done </lib/modules/order
if [ -x /lib/systemd/systemd-udevd ]; then
  /lib/systemd/systemd-udevd --daemon --resolve-names=never 2>/tmp/udevd.log ||
    echo "guest: systemd-udevd did not start: $(cat /tmp/udevd.log)"
fi
cd /tmp
sh /scenario
status=$?
echo "guest: scenario exit status $status"
ostrel-guest-exit "$status"
poweroff -f
