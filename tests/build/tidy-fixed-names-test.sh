#!/usr/bin/env bash
# The naming rule's filter of fixed names, on canned clang-tidy output: a naming finding on a
# name NAMES.md lists (as the kind it may be) is dropped and the run passes; any other finding
# stays, with its source lines, and fails the run; and a clang-tidy that fails or dies without
# a finding still fails it.
set -euo pipefail
filter=$1
names=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# fake STATUS: a clang-tidy stand-in that prints $work/out and ends with STATUS (a number, or
# "crash" for a segmentation fault).
cat >"$work/fake" <<'FAKE'
#!/usr/bin/env bash
cat "$(dirname "$0")/out"
if [ "$1" = crash ]; then kill -SEGV $$; fi
exit "$1"
FAKE
chmod +x "$work/fake"
# run EXPECTED STATUS: runs the filter over the fake and checks the filter's exit status.
run() {
  local expected=$1 status=0
  "$filter" "$names" -- "$work/fake" "$2" >"$work/kept" || status=$?
  if [ "$expected" = fail ] && [ "$status" -ne 0 ]; then return; fi
  if [ "$expected" = pass ] && [ "$status" -eq 0 ]; then return; fi
  echo "FAIL: expected the filter to $expected over this output (fake status $2), got $status:"
  cat "$work/out"
  exit 1
}

fixed="/s/ui/TFrmTest.h:96:8: error: invalid case style for method 'Panel2Click' [readability-identifier-naming,-warnings-as-errors]
  void Panel2Click();
       ^~~~~~~~~~~
       panel2Click
/s/ui/TFrmTest.h:174:17: error: invalid case style for private member 'cds1' [readability-identifier-naming,-warnings-as-errors]
/s/ui/Report.h:9:15: error: invalid case style for private member 'm_ReportBuffer' [readability-identifier-naming,-warnings-as-errors]"
other="/s/base/A.cpp:70:5: error: invalid case style for variable 'Bad_Name' [readability-identifier-naming,-warnings-as-errors]
int Bad_Name = 0;
    ^~~~~~~~
    badName"

echo "$fixed" >"$work/out"
run pass 1
if [ -s "$work/kept" ]; then echo "FAIL: findings on fixed names were printed:"; cat "$work/kept"; exit 1; fi

printf '%s\n%s\n' "$fixed" "$other" >"$work/out"
run fail 1
grep -q "int Bad_Name = 0;" "$work/kept" || { echo "FAIL: the other finding lost its source line"; exit 1; }
if grep -q Panel2Click "$work/kept"; then echo "FAIL: a fixed name's finding was kept"; exit 1; fi

# A fixed name as a kind it cannot be (a namespace), and a check other than the naming rule.
echo "/s/a.h:1:11: error: invalid case style for namespace 'Panel2' [readability-identifier-naming,-warnings-as-errors]" >"$work/out"
run fail 1
echo "/s/a.cpp:3:1: error: 'Panel2Click' is bad [bugprone-something,-warnings-as-errors]" >"$work/out"
run fail 1

# Failures without a finding: clang-tidy's own status stands.
: >"$work/out"
run fail 1
run fail crash
echo "$fixed" >"$work/out"
run fail crash
run pass 0
echo "passed"
