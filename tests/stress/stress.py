#!/usr/bin/env python3
"""Stress run of orvamy-gif on a running X display (see ./run).

Phases, each on a fresh copy of the program:
  presses  N random F7/F8 presses and Record/Stop clicks, 0-150 ms apart,
           F8-then-F7 within one interval among them, half at rate 1 and half
           at rate 5; message boxes are dismissed (OK clicked) as they come.
  boxes    odd texts into every box, each followed by a short recording.
  folders  a read-only program folder, a full 64 KiB tmpfs, the folder
           deleted during a recording, SIGTERM during a recording.

Recordings are counted by the spool files they create (inotify on every
folder a spool file may go to, one per inode), saved GIFs by the files, messages by the
program's log. Overlaps come from each GIF's start (its spool file's creation,
matched by inode) and the span of its frames."""

import argparse
import ctypes
import os
import random
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e", "linux"))
import e2e  # noqa: E402
from e2e import (HEIGHT_EDIT, MESSAGE_TITLE, RECORD, STOP, TITLE, WIDTH_EDIT,  # noqa: E402
                 Program, gif_info, move, out, run)

RATE_EDIT = (160, 16, 32, 24)
OPACITY_BOX = (160, 46, 48, 20)
BOXES = {"width": (WIDTH_EDIT, "350"), "height": (HEIGHT_EDIT, "250"), "rate": (RATE_EDIT, "5"),
         "opacity": (OPACITY_BOX, "15%")}
FUZZ = [("empty", ""), ("minus", "-"), ("zero", "0"), ("negative", "-5"),
        ("huge", "99999999999999999999"), ("full-width", "\uff19\uff19"),
        ("10 kB of digits", "7" * 10240), ("3.5", "3.5"), ("1e3", "1e3")]

SAVED_PREFIX = "文件保存成功"
FAILED_PREFIX = "文件保存失败"
REFUSED_PREFIX = "无法录制"
ELSEWHERE = "程序目录无法写入，文件已保存到："
SPOOL = re.compile(r"orvamy.*\.part$")
PROBE = re.compile(r"\.probe\.part$")  # the program's same-volume check, not a recording
TROUBLE = re.compile(r"Sanitizer|terminate called|Segmentation|Aborted|core dumped|runtime error")


# ---------------------------------------------------------------- watching

class SpoolWatch:
    """Every spool file created in the watched folders: (time, path, inode)."""
    IN_CREATE, IN_MOVED_TO = 0x100, 0x80

    def __init__(self):
        self.libc = ctypes.CDLL(None, use_errno=True)
        self.fd = self.libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
        if self.fd < 0:
            raise OSError(ctypes.get_errno(), "inotify_init1")
        self.dirs = {}
        self.events = []
        self.lock = threading.Lock()
        self.stopping = False
        self.thread = threading.Thread(target=self.loop, daemon=True)
        self.thread.start()

    def add(self, directory):
        wd = self.libc.inotify_add_watch(self.fd, directory.encode(), self.IN_CREATE | self.IN_MOVED_TO)
        if wd >= 0:
            self.dirs[wd] = directory

    def loop(self):
        while not self.stopping:
            ready, _, _ = select.select([self.fd], [], [], 0.2)
            if not ready:
                continue
            try:
                data = os.read(self.fd, 65536)
            except BlockingIOError:
                continue
            at = time.time()
            pos = 0
            while pos + 16 <= len(data):
                wd, _, _, length = struct.unpack_from("iIII", data, pos)
                name = data[pos + 16:pos + 16 + length].rstrip(b"\0").decode("utf-8", "replace")
                pos += 16 + length
                if not SPOOL.search(name) or PROBE.search(name) or wd not in self.dirs:
                    continue
                path = os.path.join(self.dirs[wd], name)
                try:
                    st = os.stat(path)
                    inode = (st.st_dev, st.st_ino)
                except OSError:
                    inode = None
                with self.lock:
                    self.events.append((at, path, inode))

    def since(self, t0):
        time.sleep(0.3)  # let the reader catch up
        with self.lock:
            return [e for e in self.events if e[0] >= t0]


def status(pid, field):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith(field + ":"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


# ---------------------------------------------------------------- the program

def boxes(prog):
    r = run("xdotool", "search", "--all", "--pid", str(prog.proc.pid), "--name",
            "^" + re.escape(MESSAGE_TITLE) + "$", check=False)
    return r.stdout.decode().split()


def click_ok(box):
    r = run("xdotool", "getwindowgeometry", "--shell", box, check=False)
    try:
        g = dict(line.split("=") for line in r.stdout.decode().split())
        x, y = int(g["X"]) + int(g["WIDTH"]) - 50, int(g["Y"]) + int(g["HEIGHT"]) - 25
    except (KeyError, ValueError):
        return  # closed meanwhile
    run("xdotool", "mousemove", str(x), str(y), "click", "1", check=False)


def dismiss_all(prog, settle=0.0):
    """Clicks OK on every open box; returns how many were open. With settle,
    keeps going until no box has shown for that long."""
    seen = 0
    quiet_since = time.monotonic()
    stuck = {}
    while True:
        ids = boxes(prog)
        if ids:
            seen += len(ids)
            quiet_since = time.monotonic()
            for box in ids:
                stuck[box] = stuck.get(box, 0) + 1
                if stuck[box] > 3:  # a click that missed: the keyboard then
                    # No --sync: a box that closes meanwhile would keep xdotool waiting.
                    run("xdotool", "windowactivate", box, check=False)
                    run("xdotool", "key", "--window", box, "Return", check=False)
                else:
                    click_ok(box)
            time.sleep(0.05)
        elif time.monotonic() - quiet_since >= settle:
            return seen
        else:
            time.sleep(0.05)
        if prog.proc.poll() is not None:
            return seen


def log_messages(prog):
    text = open(prog.log_path, "rb").read().decode("utf-8", "replace")
    return re.findall(r"orvamy-gif: message: (.*)", text)


def paste_into(prog, control, text):
    prog.click(control)
    run("xdotool", "key", "ctrl+a", "BackSpace")
    if text:
        holder = subprocess.Popen(["xclip", "-selection", "clipboard", "-i"], stdin=subprocess.PIPE,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        holder.communicate(text.encode("utf-8"))
        time.sleep(0.05)
        run("xdotool", "key", "ctrl+v")
    run("xdotool", "key", "Tab")


def wait_idle(prog, timeout):
    """Dismisses boxes until the caption is the title with no box open for a
    second. False when that does not happen in time (a hang)."""
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if prog.proc.poll() is not None:
            return True  # gone: counted as a crash, not a hang
        dismiss_all(prog, settle=1.0)
        if prog.caption() == TITLE and not boxes(prog):
            return True
        time.sleep(0.2)
    return False


def close(prog, hangs):
    """Closes with Esc as a user does; a process that does not end in 10 s is a hang."""
    if prog.proc.poll() is None:
        dismiss_all(prog)
        run("xdotool", "windowactivate", "--sync", prog.window, check=False)
        run("xdotool", "key", "Escape", check=False)
        try:
            prog.proc.wait(10)
        except subprocess.TimeoutExpired:
            hangs.append("%s did not exit after Esc" % prog.folder)
            prog.proc.kill()
            prog.proc.wait()
    if not prog.log.closed:
        prog.log.close()
    return prog.proc.returncode


# ---------------------------------------------------------------- the run

class Stress:
    def __init__(self, args):
        self.args = args
        self.work = args.work
        self.rng = random.Random(args.seed)
        self.tmp = os.path.join(self.work, "tmp")
        self.home = os.path.join(self.work, "home")
        self.pictures = os.path.join(self.home, "Pictures")
        for d in (self.tmp, self.pictures):
            os.makedirs(d, exist_ok=True)
        os.chmod(self.tmp, 0o1777)
        self.env = {"HOME": self.home, "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
                    "TMPDIR": self.tmp}
        self.watch = SpoolWatch()
        for d in (self.tmp, self.home, self.pictures):
            self.watch.add(d)
        picture = os.path.join(self.work, "picture.ppm")
        e2e.make_test_picture(picture)
        run("display", "-window", "root", picture, check=False)
        self.counter = 0
        self.programs = []
        self.crashes, self.hangs, self.faults, self.notes = [], [], [], []
        self.started = self.saved = 0
        self.quiet_saves = 0  # saved on SIGTERM as F8 would, with no message box
        self.messages = {"saved": 0, "failed": 0, "refused": 0, "other": 0}
        self.overlaps = 0
        self.broken = []
        self.max_threads = 0
        self.rss = None

    def end_leftover_programs(self, phase):
        """A phase the script itself failed in may leave its program running,
        holding F7/F8 from the next one: end it."""
        for prog in self.programs:
            if prog.proc.poll() is None:
                self.faults.append("%s: the script left its program running" % phase)
                close(prog, self.hangs)

    def start(self, as_user=None, folder=None):
        self.counter += 1
        folder = folder or os.path.join(self.work, "run%d" % self.counter)
        os.makedirs(folder, exist_ok=True)
        self.watch.add(folder)
        prog = Program(self.args.program, folder, env=self.env, as_user=as_user)
        prog.log_path = os.path.normpath(prog.log_path)  # the folder may be deleted
        self.programs.append(prog)
        return prog

    def save_folders(self, prog):
        return [prog.folder, self.pictures, self.home]

    def gifs_in(self, folders):
        found = set()
        for d in folders:
            try:
                found |= {os.path.join(d, f) for f in os.listdir(d) if f.endswith(".gif")}
            except OSError:
                pass
        return found

    def count(self, prog, t0, gifs_before, what, one_recording=False):
        """Adds what a program did since t0 to the totals; returns the new GIFs.
        A recording's spool file is counted once: the program may link it into
        the target folder for a moment (to see whether they share a volume), and
        after a failed write it moves to a new file (one_recording: a case that
        starts exactly one)."""
        spools = self.watch.since(t0)
        new = sorted(self.gifs_in(self.save_folders(prog)) - gifs_before)
        inodes = {e[2] for e in spools if e[2]}
        self.started += min(len(inodes), 1) if one_recording else len(inodes)
        self.saved += len(new)
        for m in log_messages(prog):
            kind = ("saved" if m.startswith(SAVED_PREFIX) else "failed" if m.startswith(FAILED_PREFIX)
                    else "refused" if m.startswith(REFUSED_PREFIX) else "other")
            self.messages[kind] += 1
        log = open(prog.log_path, "rb").read().decode("utf-8", "replace")
        if TROUBLE.search(log):
            self.crashes.append("%s: %s" % (what, TROUBLE.search(log).group(0)))
        self.overlaps += self.count_overlaps(new, spools)
        return new

    def count_overlaps(self, gifs, spools):
        by_inode = {e[2]: e[0] for e in spools if e[2]}
        spans = []
        for path in gifs:
            try:
                _, _, delays = gif_info(path)
            except Exception as e:  # noqa: BLE001
                self.broken.append("%s: %s" % (os.path.basename(path), e))
                continue
            st = os.stat(path)
            span = sum(delays[:-1]) / 100.0  # first to last frame: a lower bound of the recording
            start = by_inode.get((st.st_dev, st.st_ino))
            if start is None:
                start = st.st_mtime - sum(delays) / 100.0
            spans.append((start, start + span))
        spans.sort()
        overlaps = 0
        for i, (_, end) in enumerate(spans):
            overlaps += sum(1 for s, _ in spans[i + 1:] if s < end - 0.05)
        return overlaps

    def ended(self, prog, rc, what, expected_rc=0):
        if rc != expected_rc:
            self.crashes.append("%s: exit code %s" % (what, rc))

    def sample(self, prog):
        threads = status(prog.proc.pid, "Threads")
        if threads:
            self.max_threads = max(self.max_threads, threads)

    # --- presses

    def presses(self):
        prog = self.start()
        t0 = time.time()
        before = self.gifs_in(self.save_folders(prog))
        # One recording first, so that what a first recording sets up once is in "before".
        run("xdotool", "key", "F7")
        time.sleep(0.5)
        run("xdotool", "key", "F8")
        if not wait_idle(prog, 15):
            self.hangs.append("presses: the first recording did not end")
        rss_before = status(prog.proc.pid, "VmRSS")
        n = self.args.presses
        actions = ["F7", "F8", "record", "stop", "F8-F7"]
        done = 0
        for rate in (1, 5):
            dismiss_all(prog)
            paste_into(prog, RATE_EDIT, str(rate))
            interval = 1.0 / rate
            for _ in range(n // 2 if rate == 1 else n - n // 2):
                if prog.proc.poll() is not None:
                    break
                action = self.rng.choice(actions)
                if action == "F7":
                    run("xdotool", "key", "F7")
                elif action == "F8":
                    run("xdotool", "key", "F8")
                elif action in ("record", "stop"):
                    dismiss_all(prog)  # a box may cover the button
                    prog.click(RECORD if action == "record" else STOP)
                else:
                    run("xdotool", "key", "F8")
                    time.sleep(self.rng.uniform(0, min(0.15, interval)))
                    run("xdotool", "key", "F7")
                done += 1
                time.sleep(self.rng.uniform(0, 0.15))
                dismiss_all(prog)
                self.sample(prog)
        run("xdotool", "key", "F8")
        if prog.proc.poll() is None and not wait_idle(prog, 30):
            self.hangs.append("presses: still recording or a box still open 30 s after the last F8")
        rss_after = status(prog.proc.pid, "VmRSS")
        self.rss = (rss_before, rss_after)
        if prog.proc.poll() is not None:
            self.crashes.append("presses: the program ended by itself (%s)" % prog.proc.returncode)
        rc = close(prog, self.hangs)
        self.ended(prog, rc, "presses")
        self.count(prog, t0, before, "presses")
        self.notes.append("presses: %d actions done" % done)

    # --- box fuzzing

    def fuzz(self):
        prog = self.start()
        t0 = time.time()
        before = self.gifs_in(self.save_folders(prog))
        answered = 0
        for box_name, (control, default) in BOXES.items():
            outcomes = []
            for value_name, value in FUZZ:
                if prog.proc.poll() is not None:
                    break
                paste_into(prog, control, value)
                shown = len(prog.messages())
                run("xdotool", "key", "F7")
                time.sleep(0.4)
                run("xdotool", "key", "F8")
                end = time.monotonic() + 15
                while len(prog.messages()) == shown and time.monotonic() < end and prog.proc.poll() is None:
                    time.sleep(0.05)
                if len(prog.messages()) == shown:
                    self.faults.append("boxes: %s = %s gave no answer" % (box_name, value_name))
                    outcomes.append("%s: none" % value_name)
                else:
                    answered += 1
                    m = prog.messages()[-1]
                    outcomes.append("%s: %s" % (value_name, "saved" if m.startswith(SAVED_PREFIX) else
                                                "refused (%s)" % m.rsplit("：", 1)[-1]
                                                if m.startswith(REFUSED_PREFIX) else m[:20]))
                if not wait_idle(prog, 15):
                    self.hangs.append("boxes: %s = %s" % (box_name, value_name))
                paste_into(prog, control, default)
            self.notes.append("boxes: %s: %s" % (box_name, ", ".join(outcomes)))
        if prog.proc.poll() is not None:
            self.crashes.append("boxes: the program ended by itself (%s)" % prog.proc.returncode)
        rc = close(prog, self.hangs)
        self.ended(prog, rc, "boxes")
        self.count(prog, t0, before, "boxes")
        self.notes.append("boxes: %d of %d entries answered" % (answered, len(BOXES) * len(FUZZ)))

    # --- folders

    def short_recording(self, prog, during=None, hold=0.6):
        run("xdotool", "key", "F7")
        time.sleep(hold)
        if during:
            during()
            time.sleep(hold)
        shown = len(prog.messages())
        run("xdotool", "key", "F8")
        end = time.monotonic() + 15
        while len(prog.messages()) == shown and time.monotonic() < end:
            time.sleep(0.05)
        return prog.messages()[shown:]

    def expect_fallback(self, case, prog, t0, before, messages):
        new = self.count(prog, t0, before, case, one_recording=True)
        in_pictures = [g for g in new if os.path.dirname(g) == self.pictures]
        ok = (len(new) == 1 and in_pictures and messages and messages[-1].startswith(SAVED_PREFIX)
              and ELSEWHERE in messages[-1] and in_pictures[0] in messages[-1])
        if not ok:
            self.faults.append("%s: new GIFs %s, messages %s" % (case, [os.path.relpath(g, self.work) for g in new],
                                                                 messages))
        self.notes.append("%s: %s" % (case, "saved in the fallback folder, told so" if ok else "FAULT"))

    def read_only(self):
        if os.geteuid() == 0:
            # root writes anywhere: the program runs as nobody instead.
            for d, _, _ in os.walk(self.home):
                os.chown(d, 65534, 65534)
            prog = self.start(as_user=65534)
        else:
            prog = self.start()
            os.chmod(prog.folder, 0o555)
        t0 = time.time()
        before = self.gifs_in(self.save_folders(prog))
        messages = self.short_recording(prog)
        wait_idle(prog, 10) or self.hangs.append("read-only folder")
        rc = close(prog, self.hangs)
        os.chmod(prog.folder, 0o755)
        self.ended(prog, rc, "read-only folder")
        self.expect_fallback("read-only folder", prog, t0, before, messages)

    def full_disk(self):
        if os.geteuid() != 0:
            self.notes.append("full 64 KiB tmpfs: skipped (mounting needs root)")
            return
        prog = self.start()
        # The program's folder is a path: a full tmpfs mounted over it now takes every write there.
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k,mode=0777", "tmpfs", prog.folder], check=True)
        try:
            subprocess.run(["dd", "if=/dev/zero", "of=" + os.path.join(prog.folder, "filler"), "bs=4k"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            t0 = time.time()
            before = self.gifs_in(self.save_folders(prog))
            messages = self.short_recording(prog, hold=1.0)
            wait_idle(prog, 10) or self.hangs.append("full tmpfs")
            rc = close(prog, self.hangs)
            self.ended(prog, rc, "full tmpfs")
            self.expect_fallback("full 64 KiB tmpfs", prog, t0, before, messages)
            left = [f for f in os.listdir(prog.folder) if f != "filler"]
            if left:
                self.faults.append("full tmpfs: left %s" % left)
        finally:
            subprocess.run(["umount", "-l", prog.folder], check=False)

    def deleted_folder(self):
        prog = self.start()
        t0 = time.time()
        before = self.gifs_in(self.save_folders(prog))
        messages = self.short_recording(prog, during=lambda: shutil.rmtree(prog.folder))
        wait_idle(prog, 10) or self.hangs.append("deleted folder")
        rc = close(prog, self.hangs)
        self.ended(prog, rc, "deleted folder")
        self.expect_fallback("folder deleted during a recording", prog, t0, before, messages)

    def sigterm(self):
        folder = os.path.join(self.work, "sigterm")
        prog = self.start(folder=folder)
        t0 = time.time()
        before = self.gifs_in(self.save_folders(prog))
        run("xdotool", "key", "F7")
        time.sleep(1.0)
        prog.proc.send_signal(signal.SIGTERM)
        try:
            prog.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.hangs.append("SIGTERM: still running 10 s later")
            prog.proc.kill()
            prog.proc.wait()
        prog.log.close()
        new = self.count(prog, t0, before, "SIGTERM", one_recording=True)
        rc = prog.proc.returncode
        spools = self.spool_files()
        verdict = "saved" if len(new) == 1 else "LOST"
        self.quiet_saves += len(new)
        if len(new) != 1:
            self.faults.append("SIGTERM: the recording was lost (exit %s, %d spool files left)" % (rc, len(spools)))
        # The next start of the program removes what a killed one left.
        again = self.start(folder=folder)
        time.sleep(0.5)
        rc2 = close(again, self.hangs)
        self.ended(again, rc2, "restart after SIGTERM")
        self.notes.append("SIGTERM during a recording: exit %s, recording %s, %d spool files left, %d after a restart"
                          % (rc, verdict, len(spools), len(self.spool_files())))

    def spool_files(self):
        found = []
        for d, _, files in os.walk(self.work):
            found += [os.path.join(d, f) for f in files if SPOOL.search(f) or f.endswith(".part")]
        return found

    # --- report

    def report(self, seconds):
        leftovers = self.spool_files()
        msg_total = sum(self.messages.values())
        rss = self.rss or (None, None)
        mb = lambda k: "%.1f MB" % (k / 1024.0) if k else "?"
        rows = [
            ("crashes", len(self.crashes), "0"),
            ("hangs", len(self.hangs), "0"),
            ("recordings started (spool files)", self.started, "= GIFs saved"),
            ("GIFs saved", self.saved, "= started"),
            ("  of them undecodable", len(self.broken), "0"),
            ("messages", "%d (saved %d, failed %d, size refused %d, other %d)" % (
                msg_total, self.messages["saved"], self.messages["failed"], self.messages["refused"],
                self.messages["other"]), "saved + %d quiet (SIGTERM) = GIFs" % self.quiet_saves),
            ("overlapping recordings (pairs)", self.overlaps, "0"),
            ("most threads at once", self.max_threads, "-"),
            ("leftover files", len(leftovers), "0"),
            ("RSS before / after presses", "%s / %s" % (mb(rss[0]), mb(rss[1])), "flat"),
        ]
        print()
        print("stress: %d presses (seed %d), %d s" % (self.args.presses, self.args.seed, seconds))
        for name, value, target in rows:
            print("  %-36s %-50s target %s" % (name, value, target))
        for label, items in (("crash", self.crashes), ("hang", self.hangs), ("fault", self.faults),
                             ("undecodable", self.broken), ("leftover", leftovers), ("note", self.notes)):
            for item in items:
                print("  %s: %s" % (label, item))
        grown = rss[0] and rss[1] and rss[1] > rss[0] * 1.2 + 4096
        ok = not (self.crashes or self.hangs or self.faults or self.broken or leftovers or self.overlaps
                  or grown) and self.started == self.saved == self.messages["saved"] + self.quiet_saves
        print("all targets met" if ok else "targets missed")
        return 0 if ok else 1


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--presses", type=int, default=1000)
    parser.add_argument("--seed", type=int, default=int(time.time()) % 100000)
    for phase in ("presses", "boxes", "folders"):
        parser.add_argument("--skip-" + phase, action="store_true")
    args = parser.parse_args()
    stress = Stress(args)
    began = time.monotonic()
    phases = []
    if not args.skip_presses:
        phases.append(stress.presses)
    if not args.skip_boxes:
        phases.append(stress.fuzz)
    if not args.skip_folders:
        phases += [stress.read_only, stress.full_disk, stress.deleted_folder, stress.sigterm]
    for phase in phases:
        t = time.monotonic()
        try:
            phase()
        except Exception as e:  # noqa: BLE001
            import traceback
            traceback.print_exc()
            stress.faults.append("%s: the script failed: %s" % (phase.__name__, e))
        stress.end_leftover_programs(phase.__name__)
        print("phase %-15s %.0f s" % (phase.__name__, time.monotonic() - t), flush=True)
    stress.watch.stopping = True
    return stress.report(int(time.monotonic() - began))


if __name__ == "__main__":
    sys.exit(main())
