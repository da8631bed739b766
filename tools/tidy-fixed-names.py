#!/usr/bin/env python3
"""Runs clang-tidy and drops the naming rule's findings on the fixed names NAMES.md lists.

    tools/tidy-fixed-names.py NAMES.md -- clang-tidy ARG...

NAMES.md is the one list of the names readability-identifier-naming leaves alone. Handing the
list to clang-tidy as each kind's IgnoredRegexp (one alternation of some 3,500 characters)
makes the naming check match every declaration against it and doubles the cost of a file, so
tools/check-tidy.sh runs the check without it and this script passes the findings through
here instead: a finding "invalid case style for <kind> '<name>'" is dropped when <kind> is one
of the kinds the fixed names cover and <name> (or, for a member, the name after its m_ mark)
is listed. Every other finding, with its notes and source lines, is printed unchanged.

Exit status: 0 when no finding is left and clang-tidy either passed or failed only on findings
dropped here; 1 when a finding is left; clang-tidy's own status when it failed without printing
a finding or died (a crash, a missing compile command). So the status is honest both ways.

A name of NAMES.md is any `Name` in a table row; "`Label11` to `Label17`" stands for every name
between, and "(and `...Click`)" adds each name of the row with "Click" after it.
"""
import re
import subprocess
import sys

# The kinds .clang-tidy configures that a fixed name may be (not namespaces or template
# parameters), as clang-tidy words them in its message.
FIXED_KINDS = {
    "class", "union", "enum", "type alias", "typedef", "enum constant", "function", "method",
    "variable", "parameter", "member", "private member", "protected member",
}
# A private or protected member takes the m_ mark before its fixed name (m_ReportBuffer).
MARKED_KINDS = {"private member", "protected member"}

DIAGNOSTIC = re.compile(r"^.+?:\d+:\d+: (error|warning|note): ")
NAMING = re.compile(r": (?:error|warning): invalid case style for ([a-z ]+) '([^']*)'.*"
                    r"\[readability-identifier-naming")


def fixed_names(path):
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
        sys.exit(f"tidy-fixed-names: no names found in {path}")
    return names


def is_fixed(header, names):
    match = NAMING.search(header)
    if not match:
        return False
    kind, name = match.groups()
    if kind not in FIXED_KINDS:
        return False
    if kind in MARKED_KINDS and name.startswith("m_"):
        name = name[2:]
    return name in names


def main():
    if len(sys.argv) < 4 or sys.argv[2] != "--":
        sys.exit("usage: tidy-fixed-names.py NAMES.md -- clang-tidy ARG...")
    names = fixed_names(sys.argv[1])
    run = subprocess.run(sys.argv[3:], stdout=subprocess.PIPE, check=False)
    output = run.stdout.decode("utf-8", "replace").splitlines(keepends=True)

    # A finding is its error or warning line and every line up to the next one (its source
    # line, caret, fix-it and notes).
    kept, dropped, left = [], 0, 0
    keep = True
    for line in output:
        diagnostic = DIAGNOSTIC.match(line)
        if diagnostic and diagnostic.group(1) != "note":
            keep = not is_fixed(line, names)
            if keep:
                left += 1
            else:
                dropped += 1
        if keep:
            kept.append(line)
    sys.stdout.write("".join(kept))
    sys.stdout.flush()

    if left:
        return 1
    if run.returncode == 0 or (run.returncode == 1 and dropped):
        return 0
    return run.returncode if run.returncode > 0 else 2


if __name__ == "__main__":
    sys.exit(main())
