#!/bin/sh
# SPDX-FileCopyrightText: 2026 The RX47 monitor developers
# SPDX-License-Identifier: GPL-3.0-or-later
#
# The monitoring stack shipped in packaging/stack, as Prometheus reads it: the alert rules are
# valid, their unit tests pass (an alarm fires and clears, a counter down fires after the monitor
# ends, a monitor gone fires), and every query of the Grafana dashboard parses (each is checked as
# a recording rule). Exits 77 (skipped) without promtool.
set -eu
stack=$1
command -v promtool >/dev/null 2>&1 || { echo "promtool is missing (Debian's package prometheus)"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
promtool check rules "$stack/rx47-alerts.yml"
(cd "$stack" && promtool test rules rx47-alerts.test.yml)
python3 - "$stack/rx47-dashboard.json" "$work/dashboard-rules.yml" <<'PY'
import json, sys
dashboard = json.load(open(sys.argv[1]))
queries = [t["expr"] for p in dashboard["panels"] for t in p.get("targets", [])]
queries += [v["query"] for v in dashboard["templating"]["list"] if v["query"].startswith("label_values") is False]
assert queries, "the dashboard has no query"
with open(sys.argv[2], "w") as out:
    out.write("groups:\n  - name: dashboard\n    rules:\n")
    for i, q in enumerate(queries):
        # Grafana's variables stand for a regular expression of folders.
        out.write("      - record: rx47:dashboard_%d\n        expr: %s\n" % (i, json.dumps(q.replace("$folder", ".*"))))
print("%d dashboard queries" % len(queries))
PY
promtool check rules "$work/dashboard-rules.yml"
