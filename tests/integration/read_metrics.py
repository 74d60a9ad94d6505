#!/usr/bin/python3
# SPDX-FileCopyrightText: 2026 The RX47 monitor developers
# SPDX-License-Identifier: GPL-3.0-or-later

"""Reads a Prometheus text exposition (a file, or standard input for "-") with the parser of the
Python client and prints what it found as JSON: {"types": {family: type}, "samples": [{"name": ...,
"labels": {...}, "value": ...}]}. A text the parser rejects ends it with exit status 1."""
import json
import sys

from prometheus_client.parser import text_string_to_metric_families

source = sys.stdin if sys.argv[1] == "-" else open(sys.argv[1], encoding="utf-8")
found = {"types": {}, "samples": []}
try:
    for family in text_string_to_metric_families(source.read()):
        found["types"][family.name] = family.type
        for sample in family.samples:
            found["samples"].append({"name": sample.name, "labels": sample.labels, "value": sample.value})
except Exception as error:  # the parser's own errors are of several kinds
    print(f"read_metrics: {error}", file=sys.stderr)
    sys.exit(1)
json.dump(found, sys.stdout)
