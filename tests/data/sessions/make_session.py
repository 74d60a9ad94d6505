#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The RX47 monitor developers
# SPDX-License-Identifier: GPL-3.0-or-later

"""Writes counter-session.txt: what an RX47 counter on COM1 sent over nine minutes, as the replay
test feeds it to the program. Run it again only to change the session; then regenerate the golden
files as the replay test says.

The counter answers the start-up "show" at once, sends a reading every two seconds and a status
report after each minute's "show"; at 09:32 the line brings noise and a stray negative reading; from
09:33:20 the counter hangs (nothing at all, the port stays open); at 09:36:45 it is back, and soon
after a source is held to it: readings far above the alarm level of 100.
"""
import random

START = (9 * 3600 + 30 * 60 + 10) * 1000  # 09:30:10 in milliseconds of the day
END = START + 9 * 60 * 1000

def at(hh, mm, ss, ms=0):
    return (hh * 3600 + mm * 60 + ss) * 1000 + ms - START

def escape(text):
    out = []
    for ch in text:
        if ch == "\r": out.append("\\r")
        elif ch == "\n": out.append("\\n")
        elif ch == "\\": out.append("\\\\")
        elif 32 <= ord(ch) < 127: out.append(ch)
        else: out.append("\\x%02x" % ord(ch))
    return "".join(out)

rng = random.Random(47)
events = []
total = 5432
hung = (at(9, 33, 20), at(9, 36, 45))
def alive(t): return not (hung[0] <= t < hung[1])

# The answer to the start-up "show".
events.append((300, "gms:120\r\natc:100\r\nttc:%d\r\n" % total))
# A report after each minute's "show" (the program asks in the first second of the minute).
for minute in range(31, 40):
    t = at(9, minute, 0, 700)
    if 0 < t < END - START and alive(t):
        total += 25
        events.append((t, "gms:120\r\natc:100\r\nttc:%d\r\n" % total))
# A reading every two seconds.
t = 1200
while t < END - START:
    if alive(t):
        spike = at(9, 37, 20) <= t < at(9, 37, 40)
        value = rng.randint(150, 180) if spike else max(1, int(rng.gauss(25, 5)))
        events.append((t, "%d\r\n" % value))
    t += 2000
# Noise on the line.
events.append((at(9, 32, 15, 100), "\x01\xb0\xff\r\r\n-5\r\n"))
events.append((at(9, 32, 41, 300), "0\r\n"))

events.sort()
with open("counter-session.txt", "w", encoding="ascii") as out:
    out.write("# What an RX47 counter on COM1 sent, from the program's start at 2026-05-07 09:30:10.\n")
    out.write("# Each line: milliseconds since the start, then the bytes (C escapes). Made by make_session.py.\n")
    for t, text in events:
        out.write("%d %s\n" % (t, escape(text)))
