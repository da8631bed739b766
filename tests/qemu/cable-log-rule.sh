#!/bin/sh
# Guest scenario (busybox sh, as root): the cable loggers' udev rule (71-ostrel-log.rules) under
# the real udevd, with its naming helper and the logger's unit. Proves, for cables with the
# serial numbers AB-12 and "x poweroff.target y": udevd gives the cable /dev/ostrel/NAME and
# SYSTEMD_WANTS exactly one unit, ostrel-log@NAME.service, NAME being the ids and the serial in
# hexadecimal; `udevadm test` shows the same; and the unit's BindsTo= with that instance is the
# device unit systemd makes of /dev/ostrel/NAME (systemd-escape). A cable without a serial
# number wants no unit, gets no /dev/ostrel link and says why in its OSTREL_LOG property.

fail() {
  echo "FAIL: $*"
  exit 1
}

mkdir -p /etc/udev/rules.d /usr/lib/udev
cp /data/71-ostrel-log.rules /etc/udev/rules.d/
cp /data/ostrel-cable-name /usr/lib/udev/
chmod 0755 /usr/lib/udev/ostrel-cable-name
udevadm control --reload || fail "udevd did not reload its rules"

# plug [SERIAL]: starts a cable (with that serial number) and waits for udevd to handle its
# hidraw node, which is then in $node.
plug() {
  if [ $# -gt 0 ]; then
    ostrel-uhid-cable --frames /data/cable-frames.txt --serial "$1" >/dev/null 2>/tmp/cable.err &
  else
    ostrel-uhid-cable --frames /data/cable-frames.txt >/dev/null 2>/tmp/cable.err &
  fi
  cable=$!
  tries=0
  until [ -e /sys/class/hidraw/hidraw0 ] || [ -e /sys/class/hidraw/hidraw1 ]; do
    tries=$((tries + 1))
    [ "$tries" -lt 100 ] || { cat /tmp/cable.err; fail "no hidraw node for the cable"; }
    sleep 0.1
  done
  udevadm settle --timeout=20 || fail "udevd did not settle"
  node=/dev/$(ls /sys/class/hidraw | head -n 1)
  udevadm info --query=property "$node" >/tmp/properties || fail "no udev data for $node"
}

unplug() {
  kill "$cable"
  wait "$cable"
  udevadm settle --timeout=20
  tries=0
  while [ -n "$(ls /sys/class/hidraw)" ]; do
    tries=$((tries + 1))
    [ "$tries" -lt 100 ] || fail "the cable did not go away"
    sleep 0.1
  done
}

property() {
  sed -n "s/^$1=//p" /tmp/properties
}

bindsTo=$(sed -n 's/^BindsTo=//p' /data/ostrel-log@.service)
[ -n "$bindsTo" ] || fail "the unit has no BindsTo="

for case in "AB-12|1a86_e008_41422d3132" \
  "x poweroff.target y|1a86_e008_7820706f7765726f66662e7461726765742079"; do
  serial=${case%%|*}
  name=${case#*|}
  plug "$serial"
  echo "--- serial \"$serial\""
  cat /tmp/properties
  [ "$(property SYSTEMD_WANTS)" = "ostrel-log@$name.service" ] ||
    fail "SYSTEMD_WANTS is \"$(property SYSTEMD_WANTS)\", not ostrel-log@$name.service"
  [ "$(property SYSTEMD_ALIAS)" = "/dev/ostrel/$name" ] ||
    fail "SYSTEMD_ALIAS is \"$(property SYSTEMD_ALIAS)\""
  [ "$(readlink -f "/dev/ostrel/$name")" = "$node" ] || fail "/dev/ostrel/$name is not $node"
  [ "$(ls /dev/ostrel)" = "$name" ] || fail "/dev/ostrel holds $(ls /dev/ostrel)"
  # The unit bound to the device is the one systemd makes for the link.
  device=$(/usr/bin/systemd-escape --path --suffix=device "/dev/ostrel/$name") || fail "systemd-escape"
  instance=${name}
  [ "$(echo "$bindsTo" | sed "s/%i/$instance/g")" = "$device" ] ||
    fail "BindsTo=$bindsTo as ostrel-log@$instance.service is not $device"
  # udevadm test runs the same rules on the node and shows the same wish.
  udevadm test --action=add "/sys/class/hidraw/${node#/dev/}" >/tmp/test.out 2>/tmp/test.err ||
    { cat /tmp/test.err; fail "udevadm test failed"; }
  grep -qx "SYSTEMD_WANTS=ostrel-log@$name.service" /tmp/test.out ||
    { cat /tmp/test.out; fail "udevadm test shows another SYSTEMD_WANTS"; }
  unplug
done

plug
echo "--- no serial number"
cat /tmp/properties
[ -z "$(property SYSTEMD_WANTS)" ] || fail "a cable without a serial wants $(property SYSTEMD_WANTS)"
[ "$(property OSTREL_LOG)" = "none: the cable has no serial number" ] ||
  fail "OSTREL_LOG is \"$(property OSTREL_LOG)\""
[ -z "$(ls /dev/ostrel 2>/dev/null)" ] || fail "/dev/ostrel holds $(ls /dev/ostrel)"
unplug
echo "PASS"
