#!/usr/bin/env python3
"""Prints the names NAMES.md lists as fixed, as one anchored regular expression.

tools/check-tidy.sh gives it to clang-tidy's readability-identifier-naming as the IgnoredRegexp
of every kind, so that NAMES.md is the one list of the names the naming rule leaves alone. A
name is any `Name` in a table row; "`Label11` to `Label17`" stands for every name between, and
"(and `...Click`)" adds each name of the row with "Click" after it.
"""
import re
import sys

path = sys.argv[1] if len(sys.argv) > 1 else "NAMES.md"
names = set()
with open(path, encoding="utf-8") as f:
    for line in f:
        if not line.startswith("|"):
            continue
        for first, last in re.findall(r"`(\w+?\d+)` to `(\w+?\d+)`", line):
            stem, low = re.match(r"(\D\w*?)(\d+)$", first).groups()
            high = re.match(r"(\D\w*?)(\d+)$", last).group(2)
            names.update(f"{stem}{n}" for n in range(int(low), int(high) + 1))
        row = set(re.findall(r"`([A-Za-z_]\w*)`", line))
        if "(and `...Click`)" in line:
            row |= {name + "Click" for name in row}
        names |= row
if not names:
    sys.exit(f"fixed-names-regex: no names found in {path}")
# A private or protected member takes the m_ mark before its fixed name (m_ReportBuffer).
print("^(m_)?(" + "|".join(sorted(names)) + ")$")
