#!/usr/bin/env python3
"""Point-by-point differences between two runs' Results reports.

    scripts/diff_reports.py OLD NEW            two Results files
    scripts/diff_reports.py OLD_DIR NEW_DIR    every *Results* file the two folders share by name

For each point whose record differs it prints the point number and, field by field, what changed
(final point, loop count, R.E. and K.lc at the start and at the end, the two labels); then the
summary lines that differ. Times are ignored. Exit status 0 when nothing differs, 1 otherwise.
"""

import os
import re
import sys

RECORD = re.compile(r"^Point\s+No\.\s*(\d+)\t")
FIELDS = ("x", "y", "z", "loops", "R.E.(0)", "K.lc(0)", "R.E.(f)", "K.lc(f)", "start", "final")


def parse(path):
    """The point records {number: {field: text}} and the lines outside them."""
    with open(path, encoding="utf-8", errors="replace") as report:
        lines = report.read().splitlines()
    points, rest, i = {}, [], 0
    while i < len(lines):
        match = RECORD.match(lines[i])
        if match and i + 2 < len(lines):
            first, second, third = (line.split("\t") for line in lines[i:i + 3])
            fields = {
                "x": first[2].strip(), "loops": first[4].strip(),
                "y": second[2].strip(), "R.E.(0)": second[4], "K.lc(0)": second[6],
                "start": second[7].strip() if len(second) > 7 else "",
                "z": third[2].strip(), "R.E.(f)": third[4], "K.lc(f)": third[6],
                "final": third[7].strip() if len(third) > 7 else "",
            }
            points[int(match.group(1))] = fields
            i += 3
        else:
            if not re.search(r"[Tt]ime|second", lines[i]):
                rest.append(lines[i])
            i += 1
    return points, rest


def compare(old_path, new_path, title):
    old_points, old_rest = parse(old_path)
    new_points, new_rest = parse(new_path)
    changed = 0
    for number in sorted(set(old_points) | set(new_points)):
        old, new = old_points.get(number), new_points.get(number)
        if old == new:
            continue
        changed += 1
        if old is None or new is None:
            print(f"{title}: point {number} is in only one report")
            continue
        parts = [f"{name} {old[name]} -> {new[name]}" for name in FIELDS if old[name] != new[name]]
        print(f"{title}: point {number}: " + "; ".join(parts))
    for old_line, new_line in zip(old_rest, new_rest):
        if old_line != new_line:
            changed += 1
            print(f"{title}: summary: {old_line.strip()!r} -> {new_line.strip()!r}")
    if len(old_rest) != len(new_rest):
        changed += 1
        print(f"{title}: the reports have different numbers of summary lines")
    return changed


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    old, new = argv[1], argv[2]
    if os.path.isdir(old) and os.path.isdir(new):
        names = sorted(n for n in set(os.listdir(old)) & set(os.listdir(new)) if "Results" in n)
        changed = sum(compare(os.path.join(old, n), os.path.join(new, n), n) for n in names)
    else:
        changed = compare(old, new, os.path.basename(new))
    return 1 if changed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
