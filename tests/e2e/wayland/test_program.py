#!/usr/bin/python3
"""The real orvamy-gif on headless Mutter (run by session.sh inside the
session, as the unprivileged user).

The probe (wayland_capture_probe --show) fills both monitors with a picture of
few colours whose every 16 x 16 cell has its own colour, moves the pointer for
us and takes screenshots through its own screen cast. The program runs
natively on Wayland beside it; it is driven as a user would: the command line
(--start/--stop), F7/F8 pressed through the test portal's GlobalShortcuts, F7
bound to `orvamy-gif --toggle` in a headless sway beside Mutter, and SIGTERM. Each frame of each GIF is compared, pixel by pixel, with the picture
around the pointer of its moment.

    test_program.py WORK follow   the desktop shares the pointer position
    test_program.py WORK fixed    it does not: a fixed rectangle, and a note

Prints one line per check; exit 0 when all pass.
"""

import functools
import glob
import os
import shutil
import signal
import subprocess
import sys
import time

import dbus

WORK = sys.argv[1]
MODE = sys.argv[2]
LOGS = os.path.join(WORK, "logs")
SHOTS = os.path.join(WORK, "screenshots")

# The monitors as arrange_monitors.py lays them out: logical rectangle, scale.
MONITORS = [((0, 0, 1280, 720), 2), ((1280, 0, 800, 600), 1)]
RECT_W, RECT_H = 350, 250  # the program's initial width and height boxes
DWELL = 1.0  # seconds at each point: five frames at the initial 5 per second

MESSAGE = "orvamy-gif: message: "
SAVED = "文件保存成功！"
FIXED_NOTE = "本桌面不提供鼠标位置，录制区域固定在屏幕中央，不会跟随鼠标。"
SHARING_ENDED = "桌面结束了屏幕共享，本程序无法再录制；已录下的部分照常保存。要再次录制，请重新打开本程序。"


def log(text):
    print("wayland e2e: " + text, flush=True)


def wait_for(what, predicate, timeout=30.0):
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.05)


# ---------------------------------------------------------------- the picture

PALETTE = [bytes((r * 51, g * 51, b * 51)) for r in range(6) for g in range(6) for b in range(6)
           if not (b >= 4 and r <= 1 and g <= 1) and (r, g, b) != (0, 0, 0)]


def few_colours(x, y):
    """The probe's FewColoursAt: the colour at physical pixel (x, y) counted
    from the monitor's logical origin."""
    return PALETTE[(x // 16 * 7 + y // 16 * 31 + ((x // 4 + y // 4) % 2) * 100) % len(PALETTE)]


def monitor_of(point):
    """The index in MONITORS of the monitor showing `point`."""
    for index, ((left, top, width, height), _) in enumerate(MONITORS):
        if left <= point[0] < left + width and top <= point[1] < top + height:
            return index
    raise AssertionError("no monitor shows %s" % (point,))


@functools.lru_cache(maxsize=None)
def monitor_row(monitor, y):
    """Row y of the picture on a monitor (an index into MONITORS), physical
    pixels, RGB bytes."""
    (left, top, width, _), scale = MONITORS[monitor]
    return b"".join(few_colours(left + x, top + y) for x in range(width * scale))


def expected_rows(point):
    """The rectangle the program must record around `point`: the physical
    pixels of the monitor under it, centred on the physical pixel under the
    pointer, black off that monitor. One bytes object per row (RGB)."""
    monitor = monitor_of(point)
    (left, top, width, height), scale = MONITORS[monitor]
    x0 = (point[0] - left) * scale - RECT_W // 2
    y0 = (point[1] - top) * scale - RECT_H // 2
    before, after = max(0, -x0), max(0, x0 + RECT_W - width * scale)
    rows = []
    for y in range(y0, y0 + RECT_H):
        if not 0 <= y < height * scale:
            rows.append(bytes(RECT_W * 3))
            continue
        inside = monitor_row(monitor, y)[max(0, x0) * 3:(x0 + RECT_W - after) * 3]
        rows.append(bytes(before * 3) + inside + bytes(after * 3))
    return rows


def bluish(pixel):
    return pixel[2] >= 200 and pixel[0] <= 60 and pixel[1] <= 60


def frame_fault(frame, rows):
    """None when the frame is the expected picture with the blue marker at
    its middle, else the first difference."""
    cx, cy = RECT_W // 2, RECT_H // 2
    stride = RECT_W * 3
    blue = 0
    for y in range(RECT_H):
        got_row = frame[y * stride:(y + 1) * stride]
        if got_row == rows[y]:
            continue
        for x in range(RECT_W):
            got = got_row[x * 3:x * 3 + 3]
            want = rows[y][x * 3:x * 3 + 3]
            if got == want:
                continue
            if bluish(got) and abs(x - cx) <= 8 and abs(y - cy) <= 8:
                blue += 1
                continue
            return "pixel (%d,%d) is %s, expected %s" % (x, y, tuple(got), tuple(want))
    return None if blue >= 5 else "no marker at the middle"


def gif_frames(path):
    data = subprocess.run(["convert", path, "-coalesce", "-depth", "8", "rgb:-"],
                          capture_output=True, check=True, timeout=60).stdout
    size = RECT_W * RECT_H * 3
    assert len(data) % size == 0 and data, "%s: %d bytes of frames" % (path, len(data))
    return [data[i:i + size] for i in range(0, len(data), size)]


def check_gif(path, path_points, before, nudged):
    """Every frame shows the picture centred on one of the points (or, for
    the points in `nudged`, on the pixel the probe nudged the pointer to), the
    points in order, each in at least one frame. The first frames may show
    any of `before`, the last places the pointer visited before the start:
    the program's stream learns of moves on its own, after the probe's, and
    on a loaded machine it may still be a few moves behind."""
    frames = gif_frames(path)

    def looks(p):
        return [expected_rows(p)] + ([expected_rows((p[0] - 1 if p[0] else 1, p[1]))]
                                     if p in nudged else [])

    # A frame at the first point counts for that point, even where the
    # pointer had been there before.
    before = [p for p in before if p != path_points[0]]
    points = [before[-1] if before else path_points[0]] + path_points
    expected = [sum((looks(p) for p in before), []) or looks(path_points[0])] + \
        [looks(p) for p in path_points]
    at, seen = 0, [0] * len(points)
    for number, frame in enumerate(frames):
        for index in range(at, len(points)):
            if any(frame_fault(frame, rows) is None for rows in expected[index]):
                at = index
                seen[index] += 1
                break
        else:
            raise AssertionError("%s: frame %d of %d shows none of the points from %s on: %s" % (
                os.path.basename(path), number, len(frames), points[at],
                frame_fault(frame, expected[at][0])))
    missing = [p for p, count in zip(path_points, seen[1:]) if count == 0]
    assert not missing, "%s: no frame centred on %s (frames per point: %s)" % (
        os.path.basename(path), missing, seen)
    return len(frames)


def read_ppm(path):
    data = open(path, "rb").read()
    fields = data.split(maxsplit=4)
    assert fields[0] == b"P6" and fields[3] == b"255", "%s is not an 8-bit PPM" % path
    return int(fields[1]), int(fields[2]), fields[4]


# ---------------------------------------------------------------- the probe

class Probe:
    """wayland_capture_probe --show: the picture, the pointer, screenshots."""

    def __init__(self):
        self.log = open(os.path.join(LOGS, "probe-show-%s.stderr" % MODE), "wb")
        self.proc = subprocess.Popen(
            [os.path.join(WORK, "wayland_capture_probe"), "--show"], stdin=subprocess.PIPE,
            stdout=subprocess.PIPE, stderr=self.log, env=dict(os.environ, QT_QPA_PLATFORM="wayland"))
        self.where = None  # the pointer, once moved through point()
        self.visited = []  # every place point() moved it to, in order
        self.nudged = set()  # points reached by way of the pixel to their left
        line = self.proc.stdout.readline().decode()
        assert line.strip() == "probe: showing", "the probe did not show its picture: %r" % line

    def ask(self, command):
        self.proc.stdin.write(command.encode() + b"\n")
        self.proc.stdin.flush()
        return self.proc.stdout.readline().decode().strip()

    def point(self, x, y):
        answer = self.ask("point %d %d" % (x, y))
        at = "probe: at %d %d" % (x, y)
        assert answer in (at, at + " nudged"), "pointer to (%d,%d): %s" % (x, y, answer)
        if answer.endswith("nudged"):
            self.nudged.add((x, y))
        self.where = (x, y)
        self.visited.append((x, y))

    def shoot(self, middle, width, height, path):
        """The rectangle around `middle` on the monitor under the pointer."""
        answer = self.ask("shoot %d %d %d %d %s" % (middle[0], middle[1], width, height, path))
        assert answer == "probe: shot " + path, answer

    def close(self):
        self.proc.stdin.close()
        self.proc.wait(20)
        self.log.close()


# ---------------------------------------------------------------- the program

class Program:
    def __init__(self):
        self.folder = os.path.join(WORK, "program-" + MODE)
        self.tmp = os.path.join(self.folder, "tmp")
        os.makedirs(self.tmp)
        self.exe = os.path.join(self.folder, "orvamy-gif")
        shutil.copy2(os.path.join(WORK, "orvamy-gif"), self.exe)
        self.env = dict(os.environ, QT_QPA_PLATFORM="wayland", TMPDIR=self.tmp)
        self.log_path = os.path.join(LOGS, "program-%s.stderr" % MODE)
        self.log = open(self.log_path, "wb")
        self.proc = subprocess.Popen([self.exe], stdout=self.log, stderr=self.log, env=self.env)

    def command(self, word):
        """orvamy-gif --WORD: (exit status, what it printed)."""
        done = subprocess.run([self.exe, "--" + word], capture_output=True, env=self.env, timeout=30)
        return done.returncode, done.stdout.decode().strip()

    def answers(self):
        """Whether the command socket answers: --stop, harmless while idle."""
        assert self.proc.poll() is None, "the program ended (status %s)" % self.proc.returncode
        return self.command("stop") == (0, "idle")

    def messages(self):
        text = open(self.log_path, "rb").read().decode("utf-8", "replace")
        return [line[len(MESSAGE):] for line in text.splitlines() if line.startswith(MESSAGE)]

    def gifs(self):
        return sorted(f for f in os.listdir(self.folder) if f.endswith(".gif"))

    def recording(self):
        """A spool file exists while a recording runs (in TMPDIR: same volume)."""
        return glob.glob(os.path.join(self.tmp, ".orvamy-*.gif.part"))

    def spool_size(self):
        """Bytes the running recording has written so far (0 when none runs)."""
        sizes = []
        for path in self.recording():
            try:
                sizes.append(os.path.getsize(path))
            except OSError:
                pass
        return max(sizes, default=0)

    def await_gif(self, before, saved_before):
        """The new GIF and the outcome message after a stop."""
        new = wait_for("a new GIF", lambda: sorted(set(self.gifs()) - before), 60)
        assert len(new) == 1, new
        wait_for("the outcome message", lambda: len(
            [m for m in self.messages() if m.startswith(SAVED)]) > saved_before, 30)
        return os.path.join(self.folder, new[0])

    def end(self):
        """SIGTERM ends the program with status 0."""
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(30)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
                raise AssertionError("the program did not end on SIGTERM")
        self.log.close()
        assert self.proc.returncode == 0, "exit status %d after SIGTERM" % self.proc.returncode


def press_shortcut(shortcut):
    """Presses a shortcut bound through the test portal; how many sessions got it."""
    portal = dbus.SessionBus().get_object("org.freedesktop.impl.portal.desktop.orvamytest",
                                          "/org/freedesktop/portal/desktop")
    return int(portal.PressShortcut(shortcut, dbus_interface="org.orvamy.TestPortal"))


def obstacle(probe, monitor, name):
    """The bounding box (logical, desktop coordinates) of what differs from
    the picture on a monitor (an index into MONITORS): windows over it; None
    where it shows the picture only. The screenshot is kept as
    screenshots/NAME.ppm (see keep_png)."""
    (left, top, width, height), scale = MONITORS[monitor]
    middle = (left + width // 2, top + height // 2)
    probe.point(*middle)
    shot = os.path.join(SHOTS, name + ".ppm")
    probe.shoot(middle, width * scale, height * scale, shot)
    w, h, data = read_ppm(shot)
    assert (w, h) == (width * scale, height * scale), (w, h)
    xs, ys = [], []
    for y in range(h):
        want = monitor_row(monitor, y)
        got = data[y * w * 3:(y + 1) * w * 3]
        if got == want:
            continue
        columns = [x for x in range(w) if got[x * 3:x * 3 + 3] != want[x * 3:x * 3 + 3]]
        xs += [columns[0], columns[-1]]
        ys.append(y)
    if not ys:
        return None
    return (left + min(xs) // scale, top + ys[0] // scale,
            (max(xs) - min(xs)) // scale + 1, (ys[-1] - ys[0]) // scale + 1)


def keep_png(name):
    """screenshots/NAME.ppm as NAME.png, the form kept after the test."""
    shot = os.path.join(SHOTS, name + ".ppm")
    subprocess.run(["convert", shot, os.path.join(SHOTS, name + ".png")], check=True, timeout=30)
    os.remove(shot)


def obstacles(probe, name):
    """Both monitors' obstacles (see obstacle), Nones left out."""
    boxes = [obstacle(probe, monitor, "%s-monitor-%d" % (name, monitor + 1))
             for monitor in range(len(MONITORS))]
    return [box for box in boxes if box is not None]


def clear_of(boxes, point):
    """Whether the rectangle recorded around `point` keeps off every box."""
    scale = MONITORS[monitor_of(point)][1]
    half_w, half_h = RECT_W / scale / 2 + 2, RECT_H / scale / 2 + 2
    return all(point[0] + half_w < bx or point[0] - half_w > bx + bw or
               point[1] + half_h < by or point[1] - half_h > by + bh
               for bx, by, bw, bh in boxes)


def start_program(probe):
    """Starts the program; waits for its command socket and for its window
    on the screen cast. Mutter, not we, places the window (headless Mutter 43
    puts it near the top left of the first monitor; its boxes open over it):
    the boxes of what covers the picture, for the paths to keep off."""
    program = Program()
    wait_for("the command socket", program.answers, 60)
    log("ok: the program runs natively on Wayland and answers on its command socket")
    shown = []

    def window_drawn():
        boxes = obstacles(probe, "window-" + MODE)
        # The same box twice in a row: drawn, not still appearing.
        shown.append(boxes)
        return len(shown) >= 2 and shown[-1] == shown[-2] and any(
            w >= 150 and h >= 150 for _, _, w, h in boxes)

    wait_for("the program's window on the screen", window_drawn, 60)
    boxes = shown[-1]
    # The window by itself, to look at: the disabled boxes, the Chinese texts.
    x, y, w, h = next(box for box in boxes if box[2] >= 150 and box[3] >= 150)
    monitor = monitor_of((x, y))
    for number in range(len(MONITORS)):
        keep_png("window-%s-monitor-%d" % (MODE, number + 1))
    (left, top, _, _), scale = MONITORS[monitor]
    png = os.path.join(SHOTS, "window-%s.png" % MODE)
    subprocess.run(["convert", os.path.join(SHOTS, "window-%s-monitor-%d.png" % (MODE, monitor + 1)),
                    "-crop", "%dx%d+%d+%d" % (w * scale, h * scale, (x - left) * scale, (y - top) * scale),
                    "+repage", png], check=True, timeout=30)
    log("ok: the program's window is on the screen at %s (%s)" % (boxes, os.path.basename(png)))
    return program, boxes


def record_path(program, probe, points, start, stop):
    """Starts, visits each point, stops; the new GIF's path and where the
    pointer was before."""
    pointer_before = probe.visited[-3:]
    before = set(program.gifs())
    saved_before = len([m for m in program.messages() if m.startswith(SAVED)])
    probe.point(*points[0])
    start()
    wait_for("the recording to start", program.recording, 30)
    time.sleep(DWELL)
    for point in points[1:]:
        # The spool file grows only when a picture different from the last
        # one reaches the encoder: once it has grown after the move, the
        # program has taken a frame since the pointer left the last point.
        # On a loaded machine this waits as long as it takes, then dwells.
        written = program.spool_size()
        probe.point(*point)
        wait_for("a frame after the move to %s" % (point,), lambda: program.spool_size() > written, 60)
        time.sleep(DWELL)
    stop()
    return program.await_gif(before, saved_before), pointer_before


def follow():
    probe = Probe()
    program, boxes = start_program(probe)
    try:
        # Corners, edges and both sides of the seam of both monitors; on the
        # second only where the rectangle keeps off the program's window.
        path = [(640, 360), (0, 0), (1279, 0), (1279, 360), (640, 719), (1280, 300), (2079, 0),
                (2079, 599), (1280, 599), (1280, 0), (1680, 0), (1279, 719), (0, 719)]
        path = [p for p in path if clear_of(boxes, p)]
        assert sum(p[0] >= 1280 for p in path) >= 3, "the window leaves too little of the second monitor"

        def command(word, answer):
            def send():
                status = program.command(word)
                assert status == (0, answer), "--%s answered %s" % (word, status)
            return send

        gif, before = record_path(program, probe, path, command("start", "recording"),
                                  command("stop", "idle"))
        frames = check_gif(gif, path, before, probe.nudged)
        log("ok: --start/--stop: %s, %d frames, each centred on the pointer of its moment at %s" % (
            os.path.basename(gif), frames, path))

        # The outcome box stays open (modal for its recording only) while F7
        # and F8 come through the GlobalShortcuts portal; the next path keeps
        # off it.
        shown = wait_for("the outcome box on the screen", lambda: [
            box for box in obstacles(probe, "outcome-" + MODE) if box not in boxes], 30)
        for number in range(len(MONITORS)):
            keep_png("outcome-%s-monitor-%d" % (MODE, number + 1))
        log("ok: the outcome box is on the screen at %s" % shown)
        candidates = [(320, 180), (960, 540), (1100, 120), (160, 600), (960, 180), (320, 540)]
        shortcut_path = [p for p in candidates if clear_of(boxes + shown, p)][:2]
        assert len(shortcut_path) == 2, "the boxes leave no room: %s" % (boxes + shown)

        def press(shortcut):
            def send():
                assert press_shortcut(shortcut) >= 1, "no session bound the shortcuts"
            return send

        gif, before = record_path(program, probe, shortcut_path, press("start"), press("stop"))
        frames = check_gif(gif, shortcut_path, before, probe.nudged)
        log("ok: F7/F8 through the portal: %s, %d frames centred on the pointer at %s" % (
            os.path.basename(gif), frames, shortcut_path))
        assert program.command("stop") == (0, "idle")
        toggle_from_sway(program, probe)
        sharing_ended_by_the_desktop(program)
    finally:
        program.end()
        probe.close()
    log("ok: SIGTERM ends the program with status 0")


def sharing_ended_by_the_desktop(program):
    """The desktop stops the program's screen cast during a recording (the
    newest session: the probe's began first): what was recorded is saved,
    the user is told, and a later start only repeats why."""
    portal = dbus.SessionBus().get_object("org.freedesktop.impl.portal.desktop.orvamytest",
                                          "/org/freedesktop/portal/desktop")
    before = set(program.gifs())
    saved_before = len([m for m in program.messages() if m.startswith(SAVED)])
    assert program.command("start") == (0, "recording")
    wait_for("the recording to start", program.recording, 30)
    time.sleep(DWELL)  # a few frames
    assert portal.EndNewestScreenCast(dbus_interface="org.orvamy.TestPortal"), "no screen cast ran"
    told = wait_for("the program to say the sharing ended",
                    lambda: program.messages().count(SHARING_ENDED), 30)
    gif = program.await_gif(before, saved_before)
    assert gif_frames(gif), "the GIF saved after the sharing ended has no frames"
    status = program.command("start")
    assert status == (4, "unavailable"), "--start after the sharing ended gave %s" % (status,)
    wait_for("the reason repeated on the next start",
             lambda: program.messages().count(SHARING_ENDED) > told, 30)
    assert not program.recording(), "a recording runs without a screen"
    log("ok: the desktop ended the sharing: %s saved, the user told, a later start only repeats why"
        % os.path.basename(gif))


def toggle_from_sway(program, probe):
    """A compositor that binds keys to commands: headless sway beside Mutter
    with F7 bound to `orvamy-gif --toggle`, the key typed into sway (wtype);
    the toggle reaches the program on Mutter through its command socket."""
    if not (shutil.which("sway") and shutil.which("wtype")):
        log("skipped: sway or wtype is not installed (bash scripts/setup installs them)")
        return
    runtime = os.environ["XDG_RUNTIME_DIR"]
    config = os.path.join(WORK, "sway-config")
    with open(config, "w") as f:
        f.write("bindsym F7 exec %s --toggle\n" % program.exe)
    before = set(os.listdir(runtime))
    env = {k: v for k, v in os.environ.items() if k != "WAYLAND_DISPLAY"}
    env.update(WLR_BACKENDS="headless", WLR_RENDERER="pixman", WLR_LIBINPUT_NO_DEVICES="1")
    sway_log = open(os.path.join(LOGS, "sway.log"), "wb")
    sway = subprocess.Popen(["sway", "-c", config], stdout=sway_log, stderr=sway_log, env=env)
    try:
        display = wait_for("sway's Wayland socket", lambda: [
            name for name in set(os.listdir(runtime)) - before
            if name.startswith("wayland-") and not name.endswith(".lock")], 30)[0]

        def type_f7():
            subprocess.run(["wtype", "-k", "F7"], check=True, timeout=30,
                           env=dict(os.environ, WAYLAND_DISPLAY=display))

        # The outcome boxes opened so far may cover any part of the screen:
        # the rectangle keeps off whatever covers the picture now.
        (left, top, width, height), _ = MONITORS[1]
        boxes = obstacles(probe, "toggle-" + MODE)
        candidates = [(left + width // 2, top + height // 2), (left + 180, top + 130),
                      (left + width - 180, top + 130), (left + 180, top + height - 130),
                      (left + width - 180, top + height - 130)]
        clear = [p for p in candidates if clear_of(boxes, p)]
        assert clear, "the boxes %s leave no room on the second monitor" % boxes
        middle = clear[0]
        gif, before_point = record_path(program, probe, [middle], type_f7, type_f7)
        frames = check_gif(gif, [middle], before_point, probe.nudged)
        log("ok: F7 bound in sway to orvamy-gif --toggle, pressed twice: %s, %d frames at %s" % (
            os.path.basename(gif), frames, middle))
    finally:
        sway.terminate()
        sway.wait(20)
        sway_log.close()


def fixed():
    probe = Probe()
    program, _ = start_program(probe)
    try:
        wait_for("the fixed-rectangle note", lambda: FIXED_NOTE in program.messages(), 30)
        log("ok: the program says: " + FIXED_NOTE)
        # The pointer is drawn into the picture here: keep it in a corner,
        # away from the rectangle at the middle of the primary monitor, and
        # wait until the screen cast shows it gone from there.
        (left, top, width, height), _ = MONITORS[0]
        middle = (left + width // 2, top + height // 2)
        probe.point(5, 5)
        shot = os.path.join(SHOTS, "middle.ppm")

        def middle_clear():
            probe.shoot(middle, RECT_W, RECT_H, shot)
            return read_ppm(shot)[2] == b"".join(expected_rows(middle))

        wait_for("the picture alone at the middle of the primary monitor", middle_clear, 30)
        os.remove(shot)

        def command(word):
            return lambda: program.command(word)

        gif, _ = record_path(program, probe, [(5, 5)], command("start"), command("stop"))
        frames = gif_frames(gif)
        rows = expected_rows(middle)
        for number, frame in enumerate(frames):
            fault = frame_fault(frame, rows)
            assert fault is None, "frame %d of %d: %s" % (number, len(frames), fault)
        log("ok: %s: all %d frames show the middle of the primary monitor %s" % (
            os.path.basename(gif), len(frames), middle))
    finally:
        program.end()
        probe.close()


if __name__ == "__main__":
    os.makedirs(SHOTS, exist_ok=True)
    try:
        {"follow": follow, "fixed": fixed}[MODE]()
    except (AssertionError, subprocess.SubprocessError, dbus.DBusException) as failure:
        log("FAILED: the program (%s): %s" % (MODE, failure))
        sys.exit(1)
