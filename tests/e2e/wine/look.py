#!/usr/bin/env python3
"""Screenshot checks of the Wine suite (see tests/e2e/pictures.py).

look.py form SHOT MAIN_TXT       the main window's texts, from win_query's report
look.py box SHOT WINDOW_NAME TEXT  the box is not covered, has the focus and shows TEXT
look.py shot SHOT                only save a screenshot
Prints each fault and exits 1 when there is one."""

import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import pictures  # noqa: E402

# Wine's dialog font, "MS Shell Dlg" 8 pt, is 11 px at 96 dpi.
PIXEL_SIZE = 11


def client_origin(report):
    lines = open(report, encoding="utf-8").read().splitlines()
    m = re.match(r"window (-?\d+) (-?\d+) (-?\d+) (-?\d+) ", lines[0])
    left, top, right, bottom = map(int, m.groups())
    c = [re.match(r"client (\d+) (\d+)$", l) for l in lines]
    cw, ch = map(int, next(x for x in c if x).groups())
    border = (right - left - cw) // 2
    return left + border, bottom - border - ch


def find_window(name):
    r = subprocess.run(["xdotool", "search", "--name", "^%s$" % re.escape(name)],
                       capture_output=True, timeout=15)
    ids = r.stdout.decode().split()
    return ids[0] if ids else None


def first_line(shot, client):
    """The band of rows holding the first line of ink in client (the box's
    text, above its OK button), a row of space around it."""
    left, top, w, h = client
    counts = {}
    for _, y in shot.ink((left + 3, top, w - 6, h)):
        counts[y] = counts.get(y, 0) + 1
    rows = sorted(y for y, n in counts.items() if n >= 3)  # not a frame's edge
    if not rows:
        return client
    end = rows[0]
    for y in rows[1:]:
        if y > end + 2:
            break
        end = y
    return left, rows[0] - 1, w, end - rows[0] + 3


def wait(predicate, timeout=20):
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() > end:
            return value
        time.sleep(0.2)


def main():
    what, shot_path = sys.argv[1], sys.argv[2]
    faults = []
    if what == "form":
        shot = pictures.screenshot(shot_path)
        faults = pictures.form_faults(shot, client_origin(sys.argv[3]), PIXEL_SIZE)
    elif what == "box":
        box = wait(lambda: find_window(sys.argv[3]))
        if not box:
            faults = ["no window %r" % sys.argv[3]]
        else:
            if not wait(lambda: not pictures.covering_windows(box)):
                faults.append("%r is covered by %s" % (sys.argv[3], pictures.covering_windows(box)))
            if not wait(lambda: pictures.active_window() == int(box)):
                faults.append("%r does not have the focus" % sys.argv[3])
            time.sleep(0.3)
            shot = pictures.screenshot(shot_path)
            info = subprocess.run(["xwininfo", "-id", box], capture_output=True, timeout=15).stdout.decode()
            get = lambda k: int(re.search(k + r":\s+(-?\d+)", info).group(1))
            client = (get("Absolute upper-left X"), get("Absolute upper-left Y"), get("Width"),
                      get("Height"))
            faults += pictures.text_faults(shot, first_line(shot, client), sys.argv[4], PIXEL_SIZE)
    else:
        pictures.screenshot(shot_path)
    for f in faults:
        print("  " + f)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
