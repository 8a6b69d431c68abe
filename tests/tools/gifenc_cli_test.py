#!/usr/bin/env python3
"""orvamy-gifenc's command line, run as a user would run it.

Usage: gifenc_cli_test.py PATH/TO/orvamy-gifenc

Each case writes a few small BMP files, runs the tool in a fresh folder and
checks the exit code, what it printed, and whether a GIF was left behind: a job
with a frame that cannot be read must name that file and write nothing.
"""

import os
import struct
import subprocess
import sys
import tempfile


def bmp(w, h, bits=24, colour=(40, 120, 200), truncate=0):
    """An uncompressed bottom-up BMP file image; `truncate` bytes cut off its end."""
    row = (w * bits // 8 + 3) & ~3
    size = 54 + row * h
    data = b"BM" + struct.pack("<IHHI", size, 0, 0, 54)
    data += struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, 0, row * h, 2835, 2835, 0, 0)
    pixel = bytes(reversed(colour)) + (b"\0" if bits == 32 else b"")
    for _ in range(h):
        line = pixel * w if bits in (24, 32) else b"\x01" * (w * bits // 8)
        data += line + b"\0" * (row - len(line))
    return data[:len(data) - truncate] if truncate else data


def eight_bit(w, h):
    """A palette BMP (8 bits per pixel): valid, but not a depth the builder reads."""
    return bmp(w, h, bits=8)


def compressed(w, h):
    data = bytearray(bmp(w, h))
    data[30:34] = struct.pack("<I", 1)  # BI_RLE8
    return bytes(data)


# name: (files to write, arguments after the tool, exit code, what must be printed
#        (stream, text), what must NOT be printed, whether out.gif must exist)
CASES = {
    "help lists every option": (
        {}, ["--help"], 0,
        [("out", s) for s in ("-d DELAY", "-o FILE", "--help", "--version", "usage:")], [], False),
    "short help": ({}, ["-h"], 0, [("out", "usage:")], [], False),
    "version": ({}, ["--version"], 0, [("out", "orvamy-gifenc ")], [], False),
    "unknown option": ({}, ["--fast", "-o", "out.gif", "a.bmp"], 2,
                       [("err", "unknown option --fast"), ("err", "usage:")], [], False),
    "bad delay": ({}, ["-d", "x1", "-o", "out.gif", "a.bmp"], 2,
                  [("err", "bad delay 'x1'")], [], False),
    "no output named": ({"a.bmp": bmp(8, 6)}, ["a.bmp"], 2, [("err", "no output file")], [], False),
    "no frames": ({}, ["-o", "out.gif"], 2, [("err", "no frames given")], [], False),
    "missing frame": (
        {"a.bmp": bmp(8, 6)}, ["-o", "out.gif", "a.bmp", "gone.bmp"], 1,
        [("err", "cannot read frame gone.bmp")], [], False),
    "a folder as a frame": (
        {"a.bmp": bmp(8, 6), "dir/x.bmp": bmp(8, 6)}, ["-o", "out.gif", "a.bmp", "dir"], 1,
        [("err", "cannot read frame dir")], [], False),
    "truncated pixels": (
        {"a.bmp": bmp(8, 6), "b.bmp": bmp(8, 6, truncate=10)}, ["-o", "out.gif", "a.bmp", "b.bmp"],
        1, [("err", "b.bmp is truncated")], [], False),
    "truncated headers": (
        {"a.bmp": bmp(8, 6)[:30]}, ["-o", "out.gif", "a.bmp"], 1,
        [("err", "a.bmp is truncated")], [], False),
    "empty file": ({"a.bmp": b""}, ["-o", "out.gif", "a.bmp"], 1,
                   [("err", "a.bmp is not a BMP image")], [], False),
    "not a BMP": ({"a.bmp": b"GIF89a" + b"\0" * 80}, ["-o", "out.gif", "a.bmp"], 1,
                  [("err", "a.bmp is not a BMP image")], [], False),
    "8-bit BMP": (
        {"a.bmp": bmp(8, 6), "b.bmp": eight_bit(8, 6)}, ["-o", "out.gif", "a.bmp", "b.bmp"], 1,
        [("err", "b.bmp is a 8-bit BMP image")], [], False),
    "compressed BMP": ({"a.bmp": compressed(8, 6)}, ["-o", "out.gif", "a.bmp"], 1,
                       [("err", "a.bmp is a compressed BMP image")], [], False),
    "24- and 32-bit frames": (
        {"a.bmp": bmp(8, 6), "b.bmp": bmp(8, 6, bits=32, colour=(200, 30, 30))},
        ["-d", "10", "-o", "out.gif", "a.bmp", "b.bmp"], 0, [("out", "out.gif")],
        [("err", "")], True),
    "other sizes: one warning naming the first": (
        {"a.bmp": bmp(16, 8), "b.bmp": bmp(16, 8, colour=(9, 9, 9)),
         "small.bmp": bmp(10, 5, colour=(250, 0, 0)), "big.bmp": bmp(20, 12, colour=(0, 250, 0))},
        ["-o", "out.gif", "a.bmp", "b.bmp", "small.bmp", "big.bmp"], 0,
        [("err", "warning: small.bmp is 10x5, not 16x8 like the first frame"),
         ("out", "out.gif")], [("err", "big.bmp")], True),
    "an existing file is kept": (
        {"a.bmp": bmp(8, 6), "out.gif": b"keep me"}, ["-o", "out.gif", "a.bmp"], 0,
        [("out", "out-2.gif")], [], True),
}


def gif_size(path):
    with open(path, "rb") as f:
        head = f.read(10)
    if head[:6] not in (b"GIF87a", b"GIF89a"):
        return None
    return struct.unpack("<HH", head[6:10])


def run_case(tool, name, case):
    files, args, code, wanted, unwanted, gif_expected = case
    problems = []
    with tempfile.TemporaryDirectory(prefix="gifenc-cli-") as folder:
        for path, data in files.items():
            full = os.path.join(folder, path)
            os.makedirs(os.path.dirname(full), exist_ok=True)
            with open(full, "wb") as f:
                f.write(data)
        before = set(os.listdir(folder))
        r = subprocess.run([tool, *args], cwd=folder, capture_output=True, text=True, timeout=60,
                           stdin=subprocess.DEVNULL)
        printed = {"out": r.stdout, "err": r.stderr}
        if r.returncode != code:
            problems.append(f"exit code {r.returncode}, expected {code}")
        for stream, text in wanted:
            if text not in printed[stream]:
                problems.append(f"std{stream} lacks {text!r}")
        for stream, text in unwanted:
            if (text == "" and printed[stream]) or (text and text in printed[stream]):
                problems.append(f"std{stream} should not show {text or 'anything'!r}")
        new = set(os.listdir(folder)) - before
        if gif_expected:
            written = r.stdout.strip().splitlines()[-1] if r.stdout.strip() else ""
            if not written or not os.path.exists(os.path.join(folder, written)):
                problems.append(f"no GIF written (printed {written!r})")
            elif name.startswith("other sizes") and gif_size(os.path.join(folder, written)) != (16, 8):
                problems.append(f"GIF size {gif_size(os.path.join(folder, written))}, expected the "
                                "first frame's 16x8")
            if "out.gif" in files and open(os.path.join(folder, "out.gif"), "rb").read() != b"keep me":
                problems.append("the existing out.gif was changed")
        elif new:
            problems.append(f"left behind: {sorted(new)}")
        if problems:
            problems.append(f"stdout: {r.stdout!r}\n    stderr: {r.stderr!r}")
    return problems


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    tool = os.path.abspath(sys.argv[1])
    failed = 0
    for name, case in CASES.items():
        problems = run_case(tool, name, case)
        if problems:
            failed += 1
            print(f"FAIL {name}:\n  " + "\n  ".join(problems))
    print(f"{len(CASES) - failed} of {len(CASES)} cases passed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
