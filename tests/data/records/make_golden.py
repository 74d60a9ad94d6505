#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The RX47 monitor developers
# SPDX-License-Identifier: GPL-3.0-or-later

"""Writes the golden record files that records_test compares byte by byte.

They are made with Python's own cp932 codec, independently of the program's iconv path.
Run from this folder: python3 make_golden.py
"""
H1 = "日付,時刻,検出数,空間平均,,直近平均,,直近最大,,直近最小"
H2 = ",,,CPM,μSv/h,CPM,μSv/h,CPM,μSv/h,CPM,μSv/h"
L1 = "2026-05-31,23:59:00,5432,24,0.200,25,0.208,30,0.250,20,0.166"
L2 = "2026-06-01,00:00:01,5440,24,0.200,23,0.191,30,0.250,20,0.166"


def write(name, lines):
    with open(name, "wb") as f:
        f.write("".join(line + "\r\n" for line in lines).encode("cp932"))


write("master record.csv", [H1, H2, L1, L2])
write("2026-05-31.csv", [H1, H2, L1])
write("2026-06-01.csv", [H1, H2, L2])
write("empty-captions.csv", [H1, H2, "2026-05-07,09:30:00,,,,,,,,,"])
