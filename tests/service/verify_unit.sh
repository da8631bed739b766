#!/bin/sh
# Checks the cable logger's systemd template unit with systemd-analyze verify, as an instance,
# with the built ostrel-cli in place of the installed one (the only difference from the unit
# the package ships). Usage: verify_unit.sh UNITFILE OSTREL_CLI. Skips (77) without systemd.
set -eu
unit=$1
cli=$2
command -v systemd-analyze >/dev/null 2>&1 || { echo "no systemd-analyze: skipped"; exit 77; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
sed "s|/usr/bin/ostrel-cli|$cli|" "$unit" >"$dir/ostrel-log@.service"
ln -s ostrel-log@.service "$dir/ostrel-log@1a86_e008_41422d3132.service"
cd "$dir"
out=$(systemd-analyze verify --man=no ./ostrel-log@1a86_e008_41422d3132.service 2>&1) || {
  echo "$out"
  exit 1
}
# verify also passes with warnings it only prints: any line about the unit is a fault.
if printf '%s\n' "$out" | grep -q 'ostrel-log@'; then
  echo "$out"
  exit 1
fi
echo "systemd-analyze verify: ok"
