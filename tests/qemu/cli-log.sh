#!/bin/sh
# Guest scenario (busybox sh, as root: the cable's hidraw node is 0600 root): ostrel-cli
# with its real backend (hidapi on hidraw, libudev) on the kernel's HID stack. The cable
# plays the frames of /data/cable-frames.txt once, one every 700 ms, and after the third
# goes away for half a second; /data/cable-table.txt holds the Value, Unit and Function
# columns each frame must give in a recorded table.
# Proves: `ostrel-cli devices` lists the cable as "USB to Serial" and marks it; `ostrel-cli
# log` connects, and the cable receives nothing but the line settings
# 60 09 00 00 03 00 00 00 00, before the removal and again after it; the removal mid-read
# gives a "READ ERROR" line and "Removal of USB to Serial", the return "Arrival of USB to
# Serial"; every frame before the removal is recorded, and recording resumes through the
# retry cycle without a restart; the records are the readings of the frames played, in
# order; SIGTERM ends the log with status 0 and a complete file.
#
# Timing: the reader opens only after the line settings have been sent, so the meter's
# first frame comes 500 ms after them. After each decoded frame the reader pauses 500 ms,
# and 1000 ms after the last frame the retry cycle stops reading: so the frames come every
# 700 ms, and the cable leaves 750 ms after the third frame's end, while the reader waits
# for the next report. After the re-plug, frames played before the retry cycle reads again
# are lost, so from there on the records must be a subsequence of the frames (every value
# differs), not all of them.

fail() {
  echo "FAIL: $*"
  exit 1
}

# wait_for TENTHS COMMAND...: runs COMMAND every 0.1 s until it succeeds; false after TENTHS tries.
wait_for() {
  limit=$1
  shift
  tries=0
  until "$@"; do
    tries=$((tries + 1))
    [ "$tries" -lt "$limit" ] || return 1
    sleep 0.1
  done
}

frames=$(grep -vc '^#' /data/cable-frames.txt)
unplug_after=3
ostrel-uhid-cable --frames /data/cable-frames.txt --frame-period-ms 700 --lead-in-ms 500 \
  --unplug "$unplug_after:500:750" --log /tmp/cable.log >/dev/null 2>/tmp/cable.err &
cable=$!

listed() {
  ostrel-cli devices >/tmp/devices.txt 2>&1 && grep -q '^\* USB to Serial	/dev/hidraw' /tmp/devices.txt
}
wait_for 100 listed || { cat /tmp/devices.txt /tmp/cable.err; fail "ostrel-cli devices did not list the cable"; }
echo "--- ostrel-cli devices"
cat /tmp/devices.txt
node=$(grep '^\* USB to Serial' /tmp/devices.txt | cut -f2)
ls -l "$node"
[ "$(stat -c '%a %u' "$node")" = "600 0" ] || fail "the cable's node is not 0600 root"

ostrel-cli log --out /tmp/table.txt >/tmp/log.out 2>/tmp/log.err &
log=$!

last_value=$(tail -n 1 /data/cable-table.txt | cut -f1)
# True once the cable has played every frame and the last one is in the table; fails the
# scenario at once when the log has ended by itself.
log_running() {
  state=$(cut -d' ' -f3 "/proc/$log/stat" 2>/dev/null)
  if [ -z "$state" ] || [ "$state" = Z ]; then
    cat /tmp/log.err
    fail "ostrel-cli log ended by itself"
  fi
}
all_played() { log_running && grep -q "^frame $frames " /tmp/cable.log; }
last_recorded() { log_running && tr -d '\r' </tmp/table.txt | cut -f3 | grep -qx "$last_value"; }
wait_for 600 all_played || fail "the cable did not play all frames"
# The last frame may have been lost in a retry pause: then the check below tells.
wait_for 50 last_recorded || echo "the last frame was not recorded within 5 s"

kill -TERM "$log"
wait "$log"
log_status=$?
kill "$cable"
wait "$cable"
echo "--- ostrel-cli log (stderr)"
cat /tmp/log.err
echo "--- table (GBK Ω shown in UTF-8)"
tr -d '\r' </tmp/table.txt | sed "s/$(printf '\246\270')/Ω/g"
echo "--- cable"
cat /tmp/cable.log /tmp/cable.err

[ "$log_status" = 0 ] || fail "ostrel-cli log ended with status $log_status"

settings='set-feature 60 09 00 00 03 00 00 00 00'
grep '^set-feature' /tmp/cable.log | grep -vqx "$settings" && fail "the cable received other feature reports"
awk -v s="$settings" '$0 == "plugged" { plugs++ } $0 == s { got[plugs]++ }
  END { exit !(plugs == 2 && got[1] >= 1 && got[2] >= 1) }' /tmp/cable.log ||
  fail "the cable did not receive the line settings before and after the re-plug"

grep -qx 'Removal of USB to Serial' /tmp/log.err || fail "no history line of the removal"
grep -qx 'Arrival of USB to Serial' /tmp/log.err || fail "no history line of the arrival"
grep -q '^READ ERROR: .* ([0-9A-F]*)$' /tmp/log.err || fail "the removal mid-read gave no READ ERROR line"

header=$(head -n 1 /tmp/table.txt | tr -d '\r')
[ "$header" = "$(printf 'Measurement No.\tTime\tValue\tUnit\tFunction\tRemark')" ] ||
  fail "unexpected table header: $header"
tail -n +2 /tmp/table.txt | tr -d '\r' >/tmp/records.txt
records=$(wc -l </tmp/records.txt)
grep -qx "$records records written to /tmp/table.txt" /tmp/log.err ||
  fail "the table does not hold the $records records the log reported"
cut -f1 /tmp/records.txt | awk '$0 != NR { exit 1 }' || fail "the records are not numbered 1, 2, 3, ..."
cut -f3-5 /tmp/records.txt >/tmp/recorded.txt
# Each record must match a frame after the previous record's frame; prints the frame numbers.
awk -F'\t' 'NR == FNR { expected[NR] = $0; count = NR; next }
  { while (++frame <= count && expected[frame] != $0) {} if (frame > count) exit 1; print frame }' \
  /data/cable-table.txt /tmp/recorded.txt >/tmp/recorded-frames.txt ||
  fail "the records are not readings of the frames played, in order"
echo "recorded frames: $(tr '\n' ' ' </tmp/recorded-frames.txt)"
awk -v n="$unplug_after" 'NR <= n && $0 != NR { bad = 1 } END { exit bad || NR < n }' /tmp/recorded-frames.txt ||
  fail "not every frame before the removal was recorded"
[ "$(tail -n 1 /tmp/recorded-frames.txt)" -gt "$unplug_after" ] || fail "recording did not resume after the re-plug"
echo "PASS"
