#!/usr/bin/env python3
"""End-to-end tests of orvamy-gif on a running X display (see ./run).

Each test drives the real program with xdotool and checks what a user would
see or get: windows, files, GIF contents, the clipboard."""

import argparse
import base64
import datetime
import os
import re
import shutil
import socket
import signal
import subprocess
import sys
import time
import traceback

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import pictures  # noqa: E402  (tests/e2e/pictures.py, shared with the Wine suite)

SCREEN_W, SCREEN_H = 1280, 1024
BAND = 3  # the preview frame's band outside the capture rectangle

# Client-area rectangles of the controls (left, top, width, height).
RECORD = (16, 112, 72, 32)
STOP = (88, 112, 72, 32)
WIDTH_EDIT = (40, 16, 32, 24)
HEIGHT_EDIT = (96, 16, 32, 24)
PREVIEW_BOX = (16, 48, 104, 16)
MARKER_BOX = (16, 80, 104, 16)
ON_TOP_BOX = (112, 80, 96, 16)
GROUP = (16, 152, 184, 56)

TITLE = "Orvamy GIF录制"
MESSAGE_TITLE = "信息："
SAVED_COPIED = "文件保存成功！并复制到剪贴板，可以直接使用。"
SAVED_ELSEWHERE = "程序目录无法写入，文件已保存到："
BAD_SIZE = "无法录制：宽度和高度须在 1 到 32627 像素之间"
HOTKEYS_TAKEN = "热键 F7/F8 已被其他程序占用，按下它们不会录制或停止；窗口上的“录制”和“停止”按钮照常可用。"

# Places well away from the main window (centred) and the message box.
P1 = (250, 200)
P2 = (1000, 820)

# How far a frame's colour may stray from the screen's. The test picture has
# few colours, which the encoder keeps exactly.
COLOUR_TOLERANCE = 0


def close_to(a, b, tolerance=COLOUR_TOLERANCE):
    return all(abs(p - q) <= tolerance for p, q in zip(a, b))


def bluish(c):
    return c[2] >= 200 and c[0] <= 60 and c[1] <= 60


def run(*cmd, timeout=15, check=True, **kw):
    return subprocess.run(cmd, capture_output=True, timeout=timeout, check=check, **kw)


def move(x, y):
    run("xdotool", "mousemove", str(x), str(y))
    wait_for("the pointer", lambda: out("xdotool", "getmouselocation").startswith("x:%d y:%d " % (x, y)), 15)


def out(*cmd, **kw):
    return run(*cmd, **kw).stdout.decode("utf-8", "replace").strip()


def wait_for(what, predicate, timeout=30.0, step=0.05):
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(step)


# ---------------------------------------------------------------- pictures

def make_test_picture(path):
    """A picture whose every 16 x 16 cell (checkered in 4 x 4 sub-cells) has
    its own colour out of about 210, none of them the marker blue or the
    canvas grey, so a shifted or wrong capture shows."""
    palette = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    palette = [c for c in palette if c not in ((0, 0, 255), (192, 192, 192), (0, 0, 0))]
    rows = []
    for y in range(SCREEN_H):
        row = bytearray()
        cy = y // 16
        for x in range(SCREEN_W):
            row += bytes(palette[(x // 16 * 7 + cy * 31 + ((x // 4 + y // 4) % 2) * 100) % len(palette)])
        rows.append(bytes(row))
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (SCREEN_W, SCREEN_H))
        f.write(b"".join(rows))
    return rows


def pixel(rows, x, y):
    if 0 <= x < SCREEN_W and 0 <= y < SCREEN_H:
        return tuple(rows[y][x * 3:x * 3 + 3])
    return (0, 0, 0)


def capture_rect(point, w, h):
    return (int(point[0] - w / 2), int(point[1] - h / 2), w, h)


def screen_pixels(x, y, w, h):
    data = run("import", "-window", "root", "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage",
               "-depth", "8", "rgb:-").stdout
    return data


# ---------------------------------------------------------------- GIF files

def gif_info(path):
    """(width, height, [delay of each frame]) read from the file's blocks."""
    data = open(path, "rb").read()
    assert data[:6] in (b"GIF89a", b"GIF87a"), "not a GIF"
    width = data[6] | data[7] << 8
    height = data[8] | data[9] << 8
    pos = 13
    if data[10] & 0x80:
        pos += 3 * (2 << (data[10] & 7))
    delays, pending = [], 0

    def skip_blocks(p):
        while data[p]:
            p += data[p] + 1
        return p + 1

    while True:
        kind = data[pos]
        if kind == 0x3B:
            break
        if kind == 0x21:
            if data[pos + 1] == 0xF9:
                pending = data[pos + 4] | data[pos + 5] << 8
            pos = skip_blocks(pos + 2)
        elif kind == 0x2C:
            flags = data[pos + 9]
            pos += 10
            if flags & 0x80:
                pos += 3 * (2 << (flags & 7))
            pos = skip_blocks(pos + 1)
            delays.append(pending)
            pending = 0
        else:
            raise AssertionError("bad block 0x%02x at %d" % (kind, pos))
    return width, height, delays


def gif_frames(path, w, h):
    data = run("convert", path, "-coalesce", "-depth", "8", "rgb:-", timeout=60).stdout
    size = w * h * 3
    return [data[i:i + size] for i in range(0, len(data), size)]


def frame_matches(frame, rows, rect, marker):
    """None when the frame shows the picture in rect (with the blue marker
    near its centre when `marker`), else a description of the first fault.
    A GIF may show a colour through its palette's nearest entry, but then
    always through the same one: each colour of the picture must come out as
    one colour close to it, so a shifted or wrong capture still shows."""
    left, top, w, h = rect
    cx, cy = int(w / 2), int(h / 2)
    blue = 0
    shown_as = {}
    for y in range(h):
        for x in range(w):
            got = tuple(frame[(y * w + x) * 3:(y * w + x) * 3 + 3])
            want = pixel(rows, left + x, top + y)
            if marker and bluish(got) and not bluish(want) and abs(x - cx) <= 8 and abs(y - cy) <= 8:
                blue += 1
                continue
            if not close_to(got, want) or shown_as.setdefault(want, got) != got:
                return "pixel (%d,%d) is %s, expected %s" % (x, y, got, want)
    if marker and blue < 5:
        return "no marker"
    return None


# ---------------------------------------------------------------- the program

class Program:
    def __init__(self, binary, folder, env=None, as_user=None):
        os.makedirs(folder, exist_ok=True)
        self.folder = folder
        self.exe = os.path.join(folder, "orvamy-gif")
        shutil.copy2(binary, self.exe)
        self.log_path = os.path.join(folder, "..", os.path.basename(folder) + ".log")
        self.log = open(self.log_path, "wb")
        cmd = [self.exe]
        if as_user is not None:
            cmd = ["setpriv", "--reuid=%d" % as_user, "--regid=%d" % as_user, "--clear-groups"] + cmd
        full_env = dict(os.environ)
        full_env.update(env or {})
        self.proc = subprocess.Popen(cmd, stdout=self.log, stderr=self.log, env=full_env)
        self.window = wait_for("the main window", lambda: self.find(TITLE))
        self.origin = self.client_origin(self.window)
        time.sleep(0.2)

    def find(self, name):
        r = run("xdotool", "search", "--all", "--pid", str(self.proc.pid), "--name",
                "^" + re.escape(name) + "$", check=False)
        ids = r.stdout.decode().split()
        return ids[0] if ids else None

    @staticmethod
    def client_origin(window):
        info = out("xwininfo", "-id", window)
        x = int(re.search(r"Absolute upper-left X:\s+(-?\d+)", info).group(1))
        y = int(re.search(r"Absolute upper-left Y:\s+(-?\d+)", info).group(1))
        return x, y

    def point(self, control):
        left, top, w, h = control
        return self.origin[0] + left + w // 2, self.origin[1] + top + h // 2

    def click(self, control):
        x, y = self.point(control)
        move(x, y)
        run("xdotool", "click", "1")

    def caption(self):
        return out("xdotool", "getwindowname", self.window)

    def frames_shown(self):
        """The frame counter in the caption, 0 when the caption is the title."""
        caption = self.caption()
        return int(caption[len("帧数："):]) if caption.startswith("帧数：") else 0

    def set_box(self, control, text):
        self.click(control)
        run("xdotool", "key", "ctrl+a", "BackSpace")
        run("xdotool", "type", text)
        run("xdotool", "key", "Tab")

    def wait_message(self, timeout=30):
        return wait_for("the message box", lambda: self.find(MESSAGE_TITLE), timeout)

    def dismiss(self, box):
        run("xdotool", "windowactivate", "--sync", box, check=False)
        # Click OK as a user does. A Return sent with "xdotool key --window"
        # sometimes reached the next box as well, which then closed at once.
        geo = out("xdotool", "getwindowgeometry", "--shell", box)
        g = dict(line.split("=") for line in geo.split())
        move(int(g["X"]) + int(g["WIDTH"]) - 50, int(g["Y"]) + int(g["HEIGHT"]) - 25)
        run("xdotool", "click", "1")
        try:
            wait_for("the box to close", lambda: self.find(MESSAGE_TITLE) is None, 10)
        except AssertionError:
            run("xdotool", "windowactivate", "--sync", box, check=False)
            run("xdotool", "key", "Return", check=False)
            wait_for("the box to close", lambda: self.find(MESSAGE_TITLE) is None, 15)
        wait_for("the title", lambda: self.caption() == TITLE, 15)

    def messages(self):
        self.log.flush()
        text = open(self.log_path, "rb").read().decode("utf-8", "replace")
        return re.findall(r"orvamy-gif: message: (.*)", text)

    def gifs(self):
        return sorted(f for f in os.listdir(self.folder) if f.endswith(".gif"))

    def close(self):
        if self.proc.poll() is None:
            run("xdotool", "windowactivate", "--sync", self.window, check=False)
            run("xdotool", "key", "Escape", check=False)
            try:
                self.proc.wait(30)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.log.close()
        return self.proc.returncode


# ---------------------------------------------------------------- tests

class Suite:
    def __init__(self, args):
        self.args = args
        self.work = args.work
        self.rows = make_test_picture(os.path.join(self.work, "picture.ppm"))
        run("display", "-window", "root", os.path.join(self.work, "picture.ppm"), check=False)
        self.counter = 0

    def start(self, **kw):
        self.counter += 1
        return Program(self.args.program, os.path.join(self.work, "run%d" % self.counter), **kw)

    def record(self, prog, positions, hold=1.0, start=None, stop=None):
        """Starts a recording, holds the pointer at each position in turn,
        stops it and returns (gif path, frame count shown, seconds from the
        start request to the stop request, both included: frames taken while
        the stop click is under way are counted too)."""
        before = set(prog.gifs())
        t0 = time.monotonic()
        (start or (lambda: prog.click(RECORD)))()
        for p in positions:
            move(*p)
            time.sleep(hold)
            # At least two frames taken since the pointer got there, by the
            # program's own count: a loaded machine only makes this slower.
            seen = prog.frames_shown()
            wait_for("frames at %s" % (p,), lambda: prog.frames_shown() >= seen + 2, 60)
        (stop or (lambda: prog.click(STOP)))()
        box = prog.wait_message(60)
        t1 = time.monotonic()
        count = prog.frames_shown()
        new = sorted(set(prog.gifs()) - before)
        assert len(new) == 1, "expected one new file, got %s" % new
        return os.path.join(prog.folder, new[0]), count, t1 - t0, box

    def check_frames(self, path, width, height, expect, marker):
        """expect: pointer positions that must each appear in order."""
        frames = gif_frames(path, width, height)
        at = 0
        for p in expect:
            rect = capture_rect(p, width, height)
            faults = []
            while at < len(frames):
                fault = frame_matches(frames[at], self.rows, rect, marker)
                at += 1
                if fault is None:
                    break
                faults.append(fault)
            else:
                raise AssertionError("no frame shows the picture around %s: %s" % (p, faults[:3]))

    # --- the main window and a recording

    def test_window_and_always_on_top(self):
        prog = self.start()
        try:
            assert prog.caption() == TITLE
            geo = out("xdotool", "getwindowgeometry", prog.window)
            assert "217x233" in geo, geo
            state = lambda: out("xprop", "-id", prog.window, "_NET_WM_STATE")
            assert "_NET_WM_STATE_ABOVE" in state(), state()
            prog.click(ON_TOP_BOX)
            wait_for("not on top", lambda: "_NET_WM_STATE_ABOVE" not in state(), 15)
            origin = prog.client_origin(prog.window)
            assert origin == prog.origin, "the window moved: %s -> %s" % (prog.origin, origin)
            prog.click(ON_TOP_BOX)
            wait_for("on top again", lambda: "_NET_WM_STATE_ABOVE" in state(), 15)
        finally:
            assert prog.close() == 0

    def test_recording_with_marker_and_clipboard(self):
        prog = self.start()
        try:
            path, count, elapsed, box = self.record(prog, [P1, P2])
            assert os.path.dirname(path) == prog.folder
            assert re.fullmatch(r"GIF\d{6,14}\.gif", os.path.basename(path)), path
            w, h, delays = gif_info(path)
            assert (w, h) == (350, 250), (w, h)
            # Whole intervals, except at the end: the last frame lasts until the
            # stop (the Stop click moves the pointer, so the last two can differ
            # from the pace by the click's timing).
            assert all(d % 20 == 0 and d > 0 for d in delays[:-2]), delays
            assert all(d >= 2 for d in delays), delays
            # The caption counted every frame the file holds, each 1/5 s but the last.
            assert abs(sum(delays) - 20 * count) <= 20, (sum(delays), count)
            assert len(delays) <= count, (len(delays), count)
            # Frames are paced by deadlines: a slow machine makes fewer, never
            # more than the time from the click to the box allows.
            assert 4 <= count <= elapsed * 5 + 1, "%d frames in %.2f s" % (count, elapsed)
            self.check_frames(path, 350, 250, [P1, P2], marker=True)
            targets = out("xclip", "-selection", "clipboard", "-t", "TARGETS", "-o").split()
            for t in ("image/gif", "text/html", "text/uri-list", "x-special/gnome-copied-files"):
                assert t in targets, targets
            gif = run("xclip", "-selection", "clipboard", "-t", "image/gif", "-o").stdout
            assert gif == open(path, "rb").read(), "clipboard image/gif differs from the file"
            # Served from the file when asked, not from a copy held in memory.
            original = open(path, "rb").read()
            with open(path, "ab") as f:
                f.write(b"\0" * 7)
            try:
                gif = run("xclip", "-selection", "clipboard", "-t", "image/gif", "-o").stdout
                assert gif == original + b"\0" * 7, "image/gif is not read from the file"
            finally:
                with open(path, "wb") as f:
                    f.write(original)
            html = out("xclip", "-selection", "clipboard", "-t", "text/html", "-o")
            src = re.search(r'<img src="data:image/gif;base64,([A-Za-z0-9+/=]+)"', html)
            assert src, html[:300]
            assert base64.b64decode(src.group(1)) == open(path, "rb").read(), \
                "the HTML's data: URL is not the file"
            assert prog.messages()[-1] == SAVED_COPIED, prog.messages()
            prog.dismiss(box)
        finally:
            assert prog.close() == 0

    def test_recording_without_marker_odd_size(self):
        prog = self.start()
        try:
            prog.click(MARKER_BOX)
            prog.set_box(WIDTH_EDIT, "301")
            prog.set_box(HEIGHT_EDIT, "151")
            path, count, _, box = self.record(prog, [P1], hold=0.8)
            w, h, delays = gif_info(path)
            assert (w, h) == (301, 151), (w, h)
            self.check_frames(path, 301, 151, [P1], marker=False)
            prog.dismiss(box)
        finally:
            assert prog.close() == 0

    def test_read_only_program_folder(self):
        home = os.path.join(self.work, "home")
        os.makedirs(os.path.join(home, "Pictures"), exist_ok=True)
        env = {"HOME": home, "XDG_CONFIG_HOME": os.path.join(home, ".config")}
        if os.geteuid() == 0:
            # root writes anywhere: run the program as nobody instead.
            for d, _, files in os.walk(home):
                os.chown(d, 65534, 65534)
            prog = self.start(env=env, as_user=65534)
        else:
            prog = self.start(env=env)
            os.chmod(prog.folder, 0o555)
        try:
            before = set(os.listdir(os.path.join(home, "Pictures")))
            prog.click(RECORD)
            time.sleep(0.6)
            prog.click(STOP)
            box = prog.wait_message()
            saved = sorted(set(os.listdir(os.path.join(home, "Pictures"))) - before)
            assert len(saved) == 1 and saved[0].endswith(".gif"), saved
            assert not prog.gifs(), prog.gifs()
            message = prog.messages()[-1]
            assert SAVED_ELSEWHERE in message and os.path.join(home, "Pictures", saved[0]) in message, message
            prog.dismiss(box)
        finally:
            os.chmod(prog.folder, 0o755)
            assert prog.close() == 0

    def test_size_that_cannot_be_recorded(self):
        prog = self.start()
        try:
            prog.set_box(WIDTH_EDIT, "0")
            prog.click(RECORD)
            box = prog.wait_message()
            assert prog.messages()[-1].startswith(BAD_SIZE), prog.messages()[-1]
            prog.dismiss(box)
            assert not prog.gifs(), prog.gifs()
        finally:
            assert prog.close() == 0

    def test_two_recordings_never_overwrite(self):
        prog = self.start()
        try:
            # Every name the next seconds could take is already there.
            now = datetime.datetime.now()
            dummies = {}
            for s in range(0, 20):
                t = now + datetime.timedelta(seconds=s)
                parts = [t.hour, t.minute, t.second]
                while parts and parts[-1] == 0:
                    parts.pop()
                stamp = "%d%d%d" % (t.year, t.month, t.day) + "".join(str(p) for p in parts)
                name = os.path.join(prog.folder, "GIF%s.gif" % stamp)
                with open(name, "wb") as f:
                    f.write(b"not to be overwritten")
                dummies[name] = True
            files = []
            for _ in range(2):
                before = set(prog.gifs())
                prog.click(RECORD)
                time.sleep(0.3)
                prog.click(STOP)
                box = prog.wait_message()
                files += sorted(set(prog.gifs()) - before)
                prog.dismiss(box)
            assert len(files) == 2 and all(re.search(r"-\d+\.gif$", f) for f in files), files
            for name in dummies:
                assert open(name, "rb").read() == b"not to be overwritten", name
            for f in files:
                gif_info(os.path.join(prog.folder, f))
        finally:
            assert prog.close() == 0

    def test_escape_during_recording(self):
        prog = self.start()
        before = set(os.listdir(prog.folder))
        prog.click(RECORD)
        wait_for("the frame counter", lambda: prog.caption().startswith("帧数："), 30)
        time.sleep(0.5)
        run("xdotool", "windowactivate", "--sync", prog.window, check=False)
        run("xdotool", "key", "Escape")
        prog.proc.wait(30)
        assert prog.close() == 0
        assert set(os.listdir(prog.folder)) == before, set(os.listdir(prog.folder)) - before
        assert not [f for f in os.listdir("/tmp") if f.startswith("orvamy") and f.endswith(".tmp")]

    def test_end_signals_during_recording_save_the_gif(self):
        # A log out or a service manager sends SIGTERM; a terminal SIGINT or
        # SIGHUP. Each saves the recording as F8 would, without a box, then exits.
        for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            prog = self.start()
            before = set(os.listdir(prog.folder))
            prog.click(RECORD)
            move(*P1)
            wait_for("the frame counter", lambda: prog.caption().startswith("帧数："), 3)
            time.sleep(0.6)
            prog.proc.send_signal(sig)
            prog.proc.wait(10)
            said = prog.messages()
            code = prog.close()
            assert code == 0, (sig, code)
            new = sorted(set(os.listdir(prog.folder)) - before)
            assert len(new) == 1 and new[0].endswith(".gif"), (sig, new)  # no .part left
            path = os.path.join(prog.folder, new[0])
            gif_info(path)
            self.check_frames(path, 350, 250, [P1], marker=True)
            assert said == [], (sig, said)

    def test_escape_while_outcome_box_is_open(self):
        prog = self.start()
        prog.click(RECORD)
        wait_for("the frame counter", lambda: prog.caption().startswith("帧数："), 30)
        prog.click(STOP)
        prog.wait_message()
        # The recorder thread waits for the box; closing must not wait for the user.
        run("xdotool", "windowactivate", "--sync", prog.window, check=False)
        run("xdotool", "key", "Escape")
        prog.proc.wait(30)
        assert prog.close() == 0
        assert len(prog.gifs()) == 1, prog.gifs()

    # --- what the user sees: boxes on top, every text drawn whole

    def shot(self, name):
        return pictures.screenshot(os.path.join(self.args.shots, name + ".png"))

    def assert_box_on_top(self, prog, box, name, text):
        """The box is focused, nothing covers it, and its text is drawn whole;
        its screenshot is kept as name.png."""
        wait_for("the box %s to get the focus" % name, lambda: pictures.active_window() == int(box), 15)
        wait_for("nothing to cover the box %s" % name, lambda: not pictures.covering_windows(box), 15)
        time.sleep(0.3)  # its first paint
        shot = self.shot(name)
        x, y = Program.client_origin(box)
        geo = out("xwininfo", "-id", box)
        w = int(re.search(r"Width:\s+(\d+)", geo).group(1))
        # The text's line, above the OK button.
        faults = pictures.text_faults(shot, (x, y, w, 40), text, 12)
        assert not faults, faults

    def test_boxes_open_above_the_main_window(self):
        prog = self.start()
        try:
            shot = self.shot("main-window")
            faults = pictures.form_faults(shot, prog.origin, 12)
            assert not faults, faults
            # The opacity field keeps its whole text once it has the focus.
            prog.click((162, 48, 30, 16))
            run("xdotool", "key", "End")
            time.sleep(0.3)
            shot = self.shot("opacity-focused")
            ox, oy = prog.origin
            faults = pictures.text_faults(shot, (ox + 162, oy + 48, 32, 16), "15%", 12, ox + 164)
            assert not faults, faults
            run("xdotool", "key", "Tab")

            prog.click(PREVIEW_BOX)
            move(*P1)
            self.assert_frame_around(prog, P1, 350, 250)
            self.shot("preview")
            prog.click(PREVIEW_BOX)

            prog.click((160, 112, 40, 32))  # 关于
            about = wait_for("the About box", lambda: prog.find("OrvamyGIF 跟随录制"), 15)
            self.assert_box_on_top(prog, about, "about-box", "没错！这就是和那些个不一样的GIF录制软件。")
            run("xdotool", "key", "Return")
            wait_for("the About box to close", lambda: prog.find("OrvamyGIF 跟随录制") is None, 15)

            path, _, _, box = self.record(prog, [P1], hold=0.3)
            self.assert_box_on_top(prog, box, "outcome-box", SAVED_COPIED)
            prog.dismiss(box)
        finally:
            assert prog.close() == 0

    def test_held_key_does_not_answer_boxes(self):
        """A Return held down from before a box opens (a key stuck after a
        Return sent to a box that closed on it) repeats into every new box;
        the box must wait for a key pressed while it is open."""
        prog = self.start()
        try:
            prog.click(RECORD)
            wait_for("the frame counter", lambda: prog.frames_shown() >= 1, 30)
            run("xdotool", "keydown", "Return")
            try:
                prog.click(STOP)
                box = prog.wait_message()
                # Auto-repeat sends the held key every 40 ms after 660 ms.
                time.sleep(2.0)
                assert prog.find(MESSAGE_TITLE) == box, "the box closed on a held key"
                assert len(prog.messages()) == 1, prog.messages()
            finally:
                run("xdotool", "keyup", "Return")
            # A key pressed while the box is open answers it.
            wait_for("the box to get the focus", lambda: pictures.active_window() == int(box), 15)
            run("xdotool", "key", "Return")
            wait_for("the box to close", lambda: prog.find(MESSAGE_TITLE) is None, 15)
            wait_for("the title", lambda: prog.caption() == TITLE, 15)
        finally:
            assert prog.close() == 0

    # --- hot keys, the preview frame and wheel sizing

    def other_window(self):
        """A window of another program, focused."""
        proc = subprocess.Popen(["xmessage", "-geometry", "+0-0", "another program"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        win = wait_for("the other window", lambda: run(
            "xdotool", "search", "--classname", "^xmessage$", check=False).stdout.decode().split())[0]
        run("xdotool", "windowactivate", "--sync", win, check=False)
        return proc, win

    def hotkey_recording(self, prog, win):
        run("xdotool", "windowactivate", "--sync", win, check=False)
        path, count, _, box = self.record(prog, [P1], hold=0.6,
                                          start=lambda: run("xdotool", "key", "F7"),
                                          stop=lambda: run("xdotool", "key", "F8"))
        assert count >= 2, count
        self.check_frames(path, 350, 250, [P1], marker=True)
        prog.dismiss(box)

    def test_hotkeys_while_another_window_has_focus(self):
        prog = self.start()
        other = None
        try:
            other, win = self.other_window()
            move(*P1)
            self.hotkey_recording(prog, win)
            run("xdotool", "key", "Num_Lock")
            try:
                assert re.search(r"Num Lock:\s+on", out("xset", "q")), "Num Lock did not turn on"
                self.hotkey_recording(prog, win)
            finally:
                run("xdotool", "key", "Num_Lock")
            files = prog.gifs()
            run("xdotool", "windowactivate", "--sync", win, check=False)
            run("xdotool", "key", "ctrl+F7")
            time.sleep(0.8)
            assert prog.caption() == TITLE, "Ctrl+F7 started a recording"
            assert prog.gifs() == files
        finally:
            if other:
                other.kill()
                other.wait()
            assert prog.close() == 0

    def test_hotkey_held_by_another_client(self):
        holder = subprocess.Popen([self.args.grab_key, "ffc4"], stdout=subprocess.PIPE)
        try:
            assert holder.stdout.readline().strip() == b"ready"
            prog = self.start()
            try:
                box = prog.wait_message()
                assert prog.messages() == [HOTKEYS_TAKEN], prog.messages()
                prog.dismiss(box)
                move(*P1)
                run("xdotool", "key", "F7")
                time.sleep(0.8)
                assert prog.caption() == TITLE, "F7 held by another client still started"
                path, _, _, box = self.record(prog, [P1], hold=0.5,
                                              stop=lambda: run("xdotool", "key", "F8"))
                prog.dismiss(box)
            finally:
                assert prog.close() == 0
        finally:
            holder.kill()
            holder.wait()

    def test_second_instance_is_told_once_and_its_buttons_work(self):
        first = self.start()
        try:
            second = self.start()
            try:
                box = second.wait_message()
                assert second.messages() == [HOTKEYS_TAKEN], second.messages()
                second.dismiss(box)
                time.sleep(0.5)
                assert second.find(MESSAGE_TITLE) is None and second.messages() == [HOTKEYS_TAKEN]
                path, _, _, box = self.record(second, [P1], hold=0.5)
                assert os.path.dirname(path) == second.folder
                second.dismiss(box)
            finally:
                assert second.close() == 0
            assert first.messages() == [], first.messages()
            # The first copy keeps its keys.
            path, _, _, box = self.record(first, [P1], hold=0.5,
                                          start=lambda: run("xdotool", "key", "F7"),
                                          stop=lambda: run("xdotool", "key", "F8"))
            first.dismiss(box)
        finally:
            assert first.close() == 0

    def command(self, prog, word, expect_code=0):
        r = run(prog.exe, "--" + word, check=False, timeout=20)
        assert r.returncode == expect_code, (word, r.returncode, r.stdout, r.stderr)
        return r.stdout.decode().strip(), r.stderr.decode()

    def test_commands_from_the_command_line(self):
        # Nothing runs yet: a clear refusal, not a hang.
        r = run(self.args.program, "--toggle", check=False, timeout=20)
        assert r.returncode == 1 and b"no running orvamy-gif" in r.stderr, (r.returncode, r.stderr)
        r = run(self.args.program, "--record", check=False, timeout=20)
        assert r.returncode == 2 and b"unknown option --record" in r.stderr, (r.returncode, r.stderr)
        prog = self.start()
        try:
            # --start and --stop as a desktop's key bindings send them.
            path, _, _, box = self.record(prog, [P1, P2], hold=0.5,
                                          start=lambda: self.command(prog, "start"),
                                          stop=lambda: self.command(prog, "stop"))
            self.check_frames(path, 350, 250, [P1, P2], marker=True)
            prog.dismiss(box)
            # A line that is no command, and a sender that says nothing, leave
            # the program answering.
            path_name = self.command_socket()
            silent = socket.socket(socket.AF_UNIX)
            silent.connect(path_name)
            junk = socket.socket(socket.AF_UNIX)
            junk.connect(path_name)
            junk.sendall(b"rm -rf /\n")
            assert junk.recv(100) == b"unknown\n"
            assert self.command(prog, "stop")[0] == "idle"
            silent.close()
            # One key bound to --toggle starts and stops.
            path, _, _, box = self.record(prog, [P1], hold=0.5,
                                          start=lambda: self.command(prog, "toggle"),
                                          stop=lambda: self.command(prog, "toggle"))
            prog.dismiss(box)
            # A second copy leaves the first one's socket alone: commands still
            # reach the first.
            second = self.start()
            try:
                box = second.wait_message()
                second.dismiss(box)
                assert self.command(prog, "start")[0] == "recording"
                wait_for("the first copy recording", lambda: prog.frames_shown() >= 1, 30)
                assert second.frames_shown() == 0
                assert self.command(prog, "stop")[0] == "idle"
                prog.dismiss(prog.wait_message(60))
            finally:
                assert second.close() == 0
            assert len(prog.gifs()) == 3, prog.gifs()
        finally:
            assert prog.close() == 0

    @staticmethod
    def command_socket():
        runtime = os.environ.get("XDG_RUNTIME_DIR")
        if runtime and os.path.isdir(runtime):
            return os.path.join(runtime, "orvamy-gif.socket")
        return "/tmp/orvamy-gif-%d.socket" % os.getuid()

    def test_window_destroyed_from_outside_ends_the_program(self):
        for recording in (False, True):
            prog = self.start()
            before = set(os.listdir(prog.folder))
            if recording:
                prog.click(RECORD)
                wait_for("the frame counter", lambda: prog.caption().startswith("帧数："), 3)
            run("xdotool", "windowclose", prog.window)
            try:
                prog.proc.wait(10)
            except subprocess.TimeoutExpired:
                raise AssertionError("still running without its window (recording=%s)" % recording)
            assert prog.close() == 0, prog.proc.returncode
            assert set(os.listdir(prog.folder)) == before, set(os.listdir(prog.folder)) - before

    def assert_frame_around(self, prog, point, w, h):
        """The preview band surrounds the capture rectangle around point, and
        the rectangle itself is left uncovered."""
        left, top, _, _ = capture_rect(point, w, h)
        def check():
            shot = screen_pixels(0, 0, SCREEN_W, SCREEN_H)
            at = lambda x, y: tuple(shot[(y * SCREEN_W + x) * 3:(y * SCREEN_W + x) * 3 + 3])
            ring, inner = [], []
            for x in range(left - BAND, left + w + BAND):
                for y in list(range(top - BAND, top)) + list(range(top + h, top + h + BAND)):
                    ring.append((x, y))
            for y in range(top, top + h):
                for x in list(range(left - BAND, left)) + list(range(left + w, left + w + BAND)):
                    ring.append((x, y))
            for x in range(left, left + w):
                inner += [(x, top), (x, top + h - 1)]
            for y in range(top, top + h):
                inner += [(left, y), (left + w - 1, y)]
            on = lambda p: 0 <= p[0] < SCREEN_W and 0 <= p[1] < SCREEN_H
            band_ok = all(at(*p) == (0, 0, 0) for p in ring if on(p))
            # The main window (always on top, with its frame) may cover part of the inside.
            ox, oy = prog.origin
            covered = lambda p: ox - 40 <= p[0] < ox + 217 + 40 and oy - 40 <= p[1] < oy + 233 + 40
            inside = [p for p in inner if on(p) and not covered(p)]
            shown = sum(at(*p) == pixel(self.rows, *p) for p in inside)
            return band_ok and shown >= 0.9 * len(inside)
        wait_for("the preview frame around %s, %dx%d" % (point, w, h), check, 20, 0.1)

    def test_preview_band_at_scale_factor_2(self):
        """Qt places windows in device-independent pixels; the capture
        rectangle is in the screen's own. At QT_SCALE_FACTOR=2 the band must
        still surround the rectangle (rounded outwards: an odd edge may leave a
        one-pixel gap) and leave it uncovered."""
        prog = self.start(env={"QT_SCALE_FACTOR": "2"})
        try:
            left, top, _, _ = PREVIEW_BOX
            move(prog.origin[0] + 2 * (left + 8), prog.origin[1] + 2 * (top + 8))
            run("xdotool", "click", "1")
            move(*P1)
            l, t, w, h = capture_rect(P1, 350, 250)
            mid_x, mid_y = l + w // 2, t + h // 2
            band = [(l - 2, mid_y), (l + w + 1, mid_y), (mid_x, t - 2), (mid_x, t + h + 1)]
            inside = [(l, mid_y), (l + w - 1, mid_y), (mid_x, t), (mid_x, t + h - 1)]
            def check():
                shot = screen_pixels(0, 0, SCREEN_W, SCREEN_H)
                at = lambda x, y: tuple(shot[(y * SCREEN_W + x) * 3:(y * SCREEN_W + x) * 3 + 3])
                return (all(at(*p) == (0, 0, 0) for p in band) and
                        all(at(*p) == pixel(self.rows, *p) for p in inside))
            wait_for("the band around %s at scale 2" % ((l, t, w, h),), check, 5, 0.1)
        finally:
            assert prog.close() == 0

    def test_preview_frame_and_wheel_sizing(self):
        prog = self.start()
        try:
            prog.click(PREVIEW_BOX)
            move(*P1)
            self.assert_frame_around(prog, P1, 350, 250)
            group = prog.point(GROUP)
            move(*group)
            self.assert_frame_around(prog, group, 350, 250)
            run("xdotool", "keydown", "ctrl", "click", "4", "keyup", "ctrl")
            self.assert_frame_around(prog, group, 350, 265)
            run("xdotool", "keydown", "alt", "click", "4", "keyup", "alt")
            self.assert_frame_around(prog, group, 365, 265)
            run("xdotool", "keydown", "ctrl", "click", "5", "click", "5", "keyup", "ctrl")
            self.assert_frame_around(prog, group, 365, 235)
            # Over an edit box the wheel changes nothing.
            edit = prog.point(WIDTH_EDIT)
            move(*edit)
            run("xdotool", "keydown", "ctrl", "click", "4", "keyup", "ctrl")
            run("xdotool", "keydown", "alt", "click", "4", "keyup", "alt")
            time.sleep(0.3)
            self.assert_frame_around(prog, edit, 365, 235)
            # A recording made with the preview on shows no trace of it.
            move(*P1)
            self.assert_frame_around(prog, P1, 365, 235)
            path, _, _, box = self.record(prog, [P1], hold=0.8,
                                          start=lambda: run("xdotool", "key", "F7"),
                                          stop=lambda: run("xdotool", "key", "F8"))
            assert gif_info(path)[:2] == (365, 235)
            self.check_frames(path, 365, 235, [P1], marker=True)
            prog.dismiss(box)
        finally:
            assert prog.close() == 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--grab-key", required=True)
    parser.add_argument("--shots", help="folder for the screenshots (default: WORK/shots)")
    parser.add_argument("only", nargs="*")
    args = parser.parse_args()
    args.shots = args.shots or os.path.join(args.work, "shots")
    suite = Suite(args)
    tests = [n for n in dir(suite) if n.startswith("test_")]
    tests.sort(key=lambda n: getattr(Suite, n).__code__.co_firstlineno)
    if args.only:
        tests = [t for t in tests if any(o in t for o in args.only)]
    failed = 0
    for name in tests:
        start = time.monotonic()
        try:
            getattr(suite, name)()
            print("ok   %-45s %.1fs" % (name, time.monotonic() - start), flush=True)
        except Exception:
            failed += 1
            print("FAIL %-45s %.1fs" % (name, time.monotonic() - start), flush=True)
            traceback.print_exc()
    print("%d of %d e2e tests failed" % (failed, len(tests)) if failed else "all %d e2e tests passed" % len(tests))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
