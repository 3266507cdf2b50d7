#!/usr/bin/env python3
"""Parses a JSON document with Python's own json module and prints the
fields named on the command line (dotted paths), one a line, as JSON."""
import json
import sys

document = json.load(open(sys.argv[1]))
for path in sys.argv[2:]:
    value = document
    for part in path.split("."):
        value = value[part]
    print(json.dumps(value))
