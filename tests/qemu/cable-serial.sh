#!/bin/sh
# Guest scenario (busybox sh, as root): the cable's serial number as the kernel keeps it.
# Proves: a cable created with a unique id (HID_UNIQ) is listed by `ostrel-cli devices` as
# "USB to Serial (Serial=<id>)" and is not the one the window would select; the same cable
# without one is listed as "USB to Serial" and selected.

fail() {
  echo "FAIL: $*"
  exit 1
}

# listed PATTERN: ostrel-cli devices shows a line matching PATTERN within 10 s.
listed() {
  tries=0
  until ostrel-cli devices >/tmp/devices.txt 2>&1 && grep -q "$1" /tmp/devices.txt; do
    tries=$((tries + 1))
    [ "$tries" -lt 100 ] || return 1
    sleep 0.1
  done
}

# gone: no cable is listed any more (the previous one has left) within 10 s.
gone() {
  tries=0
  while ostrel-cli devices 2>/dev/null | grep -q 'USB to Serial'; do
    tries=$((tries + 1))
    [ "$tries" -lt 100 ] || return 1
    sleep 0.1
  done
}

ostrel-uhid-cable --frames /data/cable-frames.txt --serial A1B2C3 >/dev/null 2>/tmp/cable.err &
cable=$!
tab=$(printf '\t')
listed "^  USB to Serial (Serial=A1B2C3)$tab/dev/hidraw" || {
  cat /tmp/devices.txt /tmp/cable.err
  fail "the cable with a serial number was not listed with it, unselected"
}
echo "--- with a serial number"
cat /tmp/devices.txt
kill "$cable"
wait "$cable"
gone || fail "the cable did not go away"

ostrel-uhid-cable --frames /data/cable-frames.txt >/dev/null 2>/tmp/cable.err &
cable=$!
listed "^\* USB to Serial$tab/dev/hidraw" || {
  cat /tmp/devices.txt /tmp/cable.err
  fail "the cable without a serial number was not listed and selected"
}
echo "--- without"
cat /tmp/devices.txt
kill "$cable"
wait "$cable"
echo "PASS"
