#!/bin/sh
# Guest scenario (busybox sh, as root): the virtual cable through the kernel's HID
# stack as hidapi and libudev see it. The cable plays the frames of
# /data/cable-frames.txt, going away after the third for half a second.
# /data/cable-readings.txt holds the reading each frame shows.
# Proves: the cable is listed as "USB to Serial"; it sends no report before it
# receives the line settings; at each connect it receives
# exactly the line settings 60 09 00 00 03 00 00 00 00, and reading them back
# gives report number 0 in front of them; the frames arrive in input reports and
# reassemble unchanged; removal gives a read error and udev notices of removal and
# arrival; after reconnecting, the remaining frames arrive; the reports read, run
# through ostrel-cli decode, give the readings of the frames played.

fail() {
  echo "FAIL: $*"
  exit 1
}

frames=$(grep -vc '^#' /data/cable-frames.txt)
ostrel-uhid-cable --frames /data/cable-frames.txt --frame-period-ms 200 --unplug 3:500 \
  --log /tmp/cable.log >/dev/null 2>/tmp/cable.err &
cable=$!

tries=0
until ostrel-hid-probe list >/tmp/list.txt && grep -q '^1a86:e008 USB to Serial|/dev/hidraw' /tmp/list.txt; do
  tries=$((tries + 1))
  [ "$tries" -lt 100 ] || { cat /tmp/list.txt /tmp/cable.err; fail "the cable was not listed"; }
  sleep 0.1
done
echo "--- hid devices"
cat /tmp/list.txt

ostrel-hid-probe log "$frames" 60 /tmp/reports.txt >/tmp/probe.log 2>&1
probe_status=$?
kill "$cable"
wait "$cable"
echo "--- probe"
cat /tmp/probe.log
echo "--- cable"
cat /tmp/cable.log /tmp/cable.err

[ "$probe_status" = 0 ] || fail "the probe did not get all frames"

settings='set-feature 60 09 00 00 03 00 00 00 00'
[ "$(grep -c '^set-feature' /tmp/cable.log)" = 2 ] || fail "expected two feature reports"
[ "$(grep -c "^$settings\$" /tmp/cable.log)" = 2 ] || fail "the cable did not receive the line settings"
[ "$(grep -c '^reports before the line settings 0$' /tmp/probe.log)" = 2 ] ||
  fail "the cable sent reports before it received the line settings"
[ "$(grep -c '^feature 10$' /tmp/probe.log)" = 2 ] || fail "hid_send_feature_report did not return 10"
[ "$(grep -c '^get-feature 6 00 60 09 00 00 03$' /tmp/probe.log)" = 2 ] ||
  fail "reading the line settings back did not give report number 0 and the settings"
[ "$(grep -c '^plugged$' /tmp/cable.log)" = 2 ] || fail "the cable did not come back"

grep -v '^#' /data/cable-frames.txt >/tmp/frames.expected
grep '^frame ' /tmp/cable.log | cut -d' ' -f3- >/tmp/frames.played
grep '^frame ' /tmp/probe.log | cut -d' ' -f2- >/tmp/frames.received
cmp -s /tmp/frames.expected /tmp/frames.played || fail "the cable did not play the frames in order"
cmp -s /tmp/frames.expected /tmp/frames.received || fail "the frames received differ from those played"

ostrel-cli decode /tmp/reports.txt >/tmp/decoded.jsonl || fail "ostrel-cli decode failed"
grep -o '"offered":true,"value":"[^"]*","unit":"[^"]*","vrange":"[^"]*"' /tmp/decoded.jsonl |
  cut -d, -f2- >/tmp/readings.decoded
cmp -s /data/cable-readings.txt /tmp/readings.decoded || {
  cat /tmp/readings.decoded
  fail "the reports read do not decode to the readings of the frames played"
}

grep -q '^read-error' /tmp/probe.log || fail "the removal gave no read error"
grep -q '^udev remove /dev/hidraw' /tmp/probe.log || fail "no udev notice of the removal"
grep -q '^udev add /dev/hidraw' /tmp/probe.log || fail "no udev notice of the arrival"
[ "$(grep -c '^connected' /tmp/probe.log)" = 2 ] || fail "the probe did not reconnect"
echo "PASS"
