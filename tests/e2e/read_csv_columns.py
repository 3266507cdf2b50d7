#!/usr/bin/env python3
"""Reads a CSV file with Python's own csv module, as a user's script would,
and prints it back tab-separated: the header's names on the first line,
then every row with each field as Python reads it as a number (repr of
float; an empty field as "-"). Exits 1 when a row's field count differs
from the header's."""
import csv
import sys


def main():
    with open(sys.argv[1], newline="") as file:
        rows = csv.reader(file, strict=True)
        header = next(rows)
        print("\t".join(header))
        for number, row in enumerate(rows):
            if len(row) != len(header):
                print(f"row {number} has {len(row)} fields, the header {len(header)}", file=sys.stderr)
                return 1
            print("\t".join(repr(float(field)) if field != "" else "-" for field in row))
    return 0


if __name__ == "__main__":
    sys.exit(main())
