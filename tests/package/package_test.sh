#!/usr/bin/env bash
# package_test.sh BUILD_DIR VERSION WORK_DIR: makes the package of BUILD_DIR in WORK_DIR and
# checks it. Exit status 77 (skipped) when a Debian tool it needs is missing.
set -euo pipefail
build=$1
version=$2
work=$3

for tool in cpack dpkg-deb dpkg-shlibdeps lintian appstreamcli; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (tools/install-deps.sh installs it)"
    exit 77
  fi
done

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

rm -rf "$work"
mkdir -p "$work"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; exit 1; }
arch=$(dpkg --print-architecture)
deb="$work/ostrel_${version}_${arch}.deb"
[ -f "$deb" ] || { ls "$work"; echo "FAIL: no $deb"; exit 1; }

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = ostrel ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)'"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)'"
depends=$(field Depends)
# dpkg-shlibdeps computed the libraries; the Qt platform plugins are added by hand.
for library in libqt6widgets6 libhidapi-hidraw0 libudev1 libpugixml1v5 \
  libxlsxwriter4 libc6 qt6-qpa-plugins; do
  [[ "$depends" == *"$library"* ]] || fail "Depends lacks $library: $depends"
done
[[ "$(field Recommends)" == *fonts-wqy-microhei* ]] || fail "Recommends lacks a CJK font"

# Contents.
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/contents"
for path in /usr/bin/ostrel /usr/bin/ostrel-demo /usr/bin/ostrel-cli \
  /usr/share/applications/ostrel.desktop /usr/share/applications/ostrel-demo.desktop \
  /usr/share/icons/hicolor/scalable/apps/ostrel.svg \
  /usr/share/metainfo/org.ostrel.Ostrel.metainfo.xml \
  /usr/lib/udev/rules.d/70-ostrel-cable.rules /usr/lib/udev/rules.d/71-ostrel-log.rules \
  /usr/lib/udev/ostrel-cable-name \
  /usr/lib/systemd/system/ostrel-log@.service /usr/lib/sysusers.d/ostrel.conf \
  /usr/share/ostrel/manual/index.html /usr/share/ostrel/manual/files.html \
  /usr/share/man/man1/ostrel-cli.1.gz /usr/share/man/man1/ostrel.1.gz \
  /usr/share/man/man1/ostrel-demo.1.gz \
  /usr/share/doc/ostrel/copyright /usr/share/doc/ostrel/changelog.gz; do
  grep -qx "$path" "$work/contents" || fail "missing $path"
done
# Nothing for the administrator's /etc, no test or benchmark programs.
grep -E '^/etc/|_tests$|_bench$' "$work/contents" && fail "unexpected files above"

dpkg-deb -x "$deb" "$work/root"
dpkg-deb -e "$deb" "$work/control"
# The installed programs need no run path: every library they load is the system's.
for program in ostrel ostrel-demo ostrel-cli; do
  readelf -d "$work/root/usr/bin/$program" | grep -E 'RUNPATH|RPATH' && fail "$program has a run path"
done
# The man page of ostrel-cli comes from its --help: every command has a section.
for command in decode convert report chart tests log devices; do
  zcat "$work/root/usr/share/man/man1/ostrel-cli.1.gz" | grep -q "^\.SS $command\$" ||
    fail "ostrel-cli.1 has no section for $command"
done
# The installed programs find the installed manual: beside the bin folder's share.
[ -f "$work/root/usr/bin/../share/ostrel/manual/index.html" ] || fail "manual not under share"
# The udev rule is the one of the source tree.
cmp -s "$work/root/usr/lib/udev/rules.d/70-ostrel-cable.rules" \
  "$(dirname "$0")/../../tools/udev/70-ostrel-cable.rules" || fail "udev rule differs"

# The cable loggers' template unit passes systemd-analyze verify, with the package's ostrel-cli.
"$(dirname "$0")/../service/verify_unit.sh" "$work/root/usr/lib/systemd/system/ostrel-log@.service" \
  "$work/root/usr/bin/ostrel-cli" || fail "ostrel-log@.service does not verify"

# Maintainer scripts reload udev's rules on installation and removal.
for script in postinst postrm; do
  [ -x "$work/control/$script" ] || fail "$script missing or not executable"
  grep -q 'udevadm control --reload-rules' "$work/control/$script" || fail "$script: no reload"
  sh -n "$work/control/$script" || fail "$script: syntax"
done
# Only the cable's devices are triggered, never every USB or hidraw device of the machine.
if grep -q 'trigger.*--subsystem-match' "$work/control/postinst"; then
  fail "postinst triggers devices other than the cable's"
fi

appstreamcli validate --no-net "$work/root/usr/share/metainfo/org.ostrel.Ostrel.metainfo.xml" ||
  fail "AppStream metadata does not validate"
if ! lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1; then
  cat "$work/lintian.log"
  fail "lintian reports errors"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "package $deb: all checks passed"
