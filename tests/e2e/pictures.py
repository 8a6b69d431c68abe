"""What the user sees, checked from screenshots (both end-to-end suites).

A screenshot of the whole screen is saved as a PNG artefact and read back as
RGB. Texts are checked against the same string rendered with the CJK font of
the tests (WenQuanYi Micro Hei): the control's text area must hold about as
much ink, as wide, starting where the text starts, and no more hollow boxes
("tofu", the mark of a missing glyph) than the reference shows. Windows are
checked through the window manager's stacking order."""

import os
import re
import subprocess

CJK_FONT = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"


def _run(*cmd, timeout=60):
    return subprocess.run(cmd, capture_output=True, timeout=timeout, check=True).stdout


def _read_ppm(data):
    m = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", data)
    w, h = int(m.group(1)), int(m.group(2))
    return Picture(w, h, data[m.end():m.end() + w * h * 3])


class Picture:
    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, rgb

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return self.rgb[i], self.rgb[i + 1], self.rgb[i + 2]

    def background(self, rect):
        counts = {}
        for x, y in _points(rect, self):
            c = self.at(x, y)
            counts[c] = counts.get(c, 0) + 1
        return max(counts, key=counts.get) if counts else (255, 255, 255)

    def ink(self, rect, background=None):
        """The set of (x, y) in rect clearly darker than the background."""
        bg = background or self.background(rect)
        level = sum(bg) / 3
        return {(x, y) for x, y in _points(rect, self) if level - sum(self.at(x, y)) / 3 > 70}


def _points(rect, pic):
    left, top, w, h = rect
    for y in range(max(0, top), min(pic.height, top + h)):
        for x in range(max(0, left), min(pic.width, left + w)):
            yield x, y


def screenshot(path):
    """Saves the whole screen as a PNG at path and returns it as a Picture."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    _run("import", "-window", "root", path)
    return _read_ppm(_run("convert", path, "-depth", "8", "ppm:-"))


def crop_to(path, picture_path, rect):
    """Saves rect of a saved screenshot as its own PNG, for a reader of the artefacts."""
    left, top, w, h = rect
    _run("convert", picture_path, "-crop", "%dx%d+%d+%d" % (w, h, left, top), "+repage", path)


_references = {}


def reference(text, pixel_size):
    """The text rendered black on white with the CJK font at pixel_size."""
    key = (text, pixel_size)
    if key not in _references:
        data = _run("convert", "-background", "white", "-fill", "black", "-font", CJK_FONT,
                    "-density", "72", "-pointsize", str(pixel_size), "label:" + text,
                    "-depth", "8", "ppm:-")
        _references[key] = _read_ppm(data)
    return _references[key]


def hollow_boxes(ink, min_height):
    """Connected ink shapes that are empty rectangles at least min_height tall:
    the boxes drawn for glyphs a font lacks."""
    seen, boxes = set(), 0
    for start in ink:
        if start in seen:
            continue
        shape, todo = [], [start]
        seen.add(start)
        while todo:
            x, y = todo.pop()
            shape.append((x, y))
            for dx in (-1, 0, 1):
                for dy in (-1, 0, 1):
                    p = (x + dx, y + dy)
                    if p in ink and p not in seen:
                        seen.add(p)
                        todo.append(p)
        xs = [p[0] for p in shape]
        ys = [p[1] for p in shape]
        x0, x1, y0, y1 = min(xs), max(xs), min(ys), max(ys)
        # Narrow boxes are parts of glyphs (the 口 of 和), not missing glyphs.
        if y1 - y0 + 1 < min_height or x1 - x0 + 1 < 0.55 * (y1 - y0 + 1):
            continue
        edge = {p for p in shape if p[0] in (x0, x1) or p[1] in (y0, y1)}
        perimeter = 2 * (x1 - x0 + 1) + 2 * (y1 - y0 + 1) - 4
        inside = [p for p in shape if x0 + 1 < p[0] < x1 - 1 and y0 + 1 < p[1] < y1 - 1]
        if len(edge) >= 0.85 * perimeter and len(inside) <= 2:
            boxes += 1
    return boxes


def text_faults(shot, rect, text, pixel_size, starts_at=None):
    """What is wrong with text as shown in rect (screen coordinates) of shot:
    an empty list when its glyphs are drawn whole. starts_at: the x where the
    text's ink must begin (within 3 px), for texts at a known place."""
    ref = reference(text, pixel_size)
    ref_ink = ref.ink((0, 0, ref.width, ref.height), (255, 255, 255))
    ink = shot.ink(rect)
    faults = []
    if not ink:
        return ["%r: no text drawn in %s" % (text, rect)]
    xs = [p[0] for p in ink]
    ref_xs = [p[0] for p in ref_ink]
    width, ref_width = max(xs) - min(xs) + 1, max(ref_xs) - min(ref_xs) + 1
    if width < 0.8 * ref_width:
        faults.append("%r: text %d px wide, the font draws it %d px wide" % (text, width, ref_width))
    if len(ink) < 0.35 * len(ref_ink) or len(ink) > 3 * len(ref_ink):
        faults.append("%r: %d ink pixels, the font draws %d" % (text, len(ink), len(ref_ink)))
    # 口 is an empty box itself; crisp hinting draws it as one, antialiasing may not.
    allowed = max(hollow_boxes(ref_ink, int(pixel_size * 0.6)), text.count("口"))
    tofu = hollow_boxes(ink, int(pixel_size * 0.6))
    if tofu > allowed:
        faults.append("%r: %d empty boxes where glyphs belong" % (text, tofu - allowed))
    if starts_at is not None and abs(min(xs) - starts_at) > 3:
        faults.append("%r: text begins at x=%d, not at %d (covered?)" % (text, min(xs), starts_at))
    return faults


def ink_box(shot, rect):
    ink = shot.ink(rect)
    if not ink:
        return None
    xs = [p[0] for p in ink]
    ys = [p[1] for p in ink]
    return min(xs), min(ys), max(xs) + 1, max(ys) + 1


def overlapping(boxes):
    """Pairs of names whose (x0, y0, x1, y1) boxes intersect."""
    names = [n for n in boxes if boxes[n]]
    pairs = []
    for i, a in enumerate(names):
        for b in names[i + 1:]:
            p, q = boxes[a], boxes[b]
            if p[0] < q[2] and q[0] < p[2] and p[1] < q[3] and q[1] < p[3]:
                pairs.append((a, b))
    return pairs


def _frame_rect(window):
    info = _run("xwininfo", "-frame", "-id", str(window), timeout=15).decode()
    get = lambda k: int(re.search(k + r":\s+(-?\d+)", info).group(1))
    return get("Absolute upper-left X"), get("Absolute upper-left Y"), get("Width"), get("Height")


def _viewable(window):
    try:
        return "IsViewable" in _run("xwininfo", "-id", str(window), timeout=15).decode()
    except subprocess.CalledProcessError:
        return False


def covering_windows(window):
    """The windows stacked above window (_NET_CLIENT_LIST_STACKING) that
    overlap its frame; empty when nothing hides any part of it."""
    text = _run("xprop", "-root", "_NET_CLIENT_LIST_STACKING", timeout=15).decode()
    order = [int(w, 16) for w in re.findall(r"0x[0-9a-f]+", text)]
    window = int(window)
    if window not in order:
        return ["%#x is not a managed window" % window]
    x, y, w, h = _frame_rect(window)
    above = []
    for other in order[order.index(window) + 1:]:
        if not _viewable(other):
            continue
        ox, oy, ow, oh = _frame_rect(other)
        if ox < x + w and x < ox + ow and oy < y + h and y < oy + oh:
            above.append("%#x at %s" % (other, (ox, oy, ow, oh)))
    return above


def active_window():
    text = _run("xprop", "-root", "_NET_ACTIVE_WINDOW", timeout=15).decode()
    m = re.search(r"0x[0-9a-f]+", text)
    return int(m.group(0), 16) if m else 0


# The texts of the main window: (text, area in client coordinates that holds
# that text and nothing else, whether the text starts at the area's left).
# Check boxes' texts begin after their box; edit boxes and buttons are taken
# inside their frames; the check boxes' areas end where the control beside
# them begins, so each area belongs to one control.
FORM_TEXTS = [
    ("宽：", (16, 16, 16, 24), True),
    ("高：", (72, 16, 16, 24), True),
    ("帧/s：", (128, 16, 32, 24), True),
    ("350", (43, 19, 26, 18), False),
    ("250", (99, 19, 26, 18), False),
    ("5", (163, 19, 26, 18), False),
    ("预览录制大小", (30, 48, 82, 16), False),
    ("透明度：", (112, 47, 48, 16), True),
    ("15%", (162, 48, 32, 16), False),
    ("绘制鼠标位置", (30, 80, 82, 16), False),
    ("窗口总在最前", (126, 80, 82, 16), False),
    ("录制（F7）", (19, 115, 66, 26), False),
    ("停止（F8）", (91, 115, 66, 26), False),
    ("关于", (163, 115, 34, 26), False),
    ("鼠标放入上框调整预览录制窗口大小", (16, 208, 200, 24), True),
]
# The left part of the check boxes' own boxes (left, top, width, height): drawn, not covered.
FORM_CHECK_MARKS = {"预览录制大小": (16, 48, 8, 16), "绘制鼠标位置": (16, 80, 8, 16),
                    "窗口总在最前": (112, 80, 8, 16)}


def form_faults(shot, origin, pixel_size):
    """Every fault of the main window's texts as shown in shot, the client
    area at origin (screen coordinates)."""
    ox, oy = origin
    faults, boxes = [], {}
    for text, (left, top, w, h), at_left in FORM_TEXTS:
        rect = (ox + left, oy + top, w, h)
        faults += text_faults(shot, rect, text, pixel_size, rect[0] if at_left else None)
        boxes[text] = ink_box(shot, rect)
    for a, b in overlapping(boxes):
        faults.append("the texts %r and %r overlap" % (a, b))
    for text, (left, top, w, h) in FORM_CHECK_MARKS.items():
        rect = (ox + left, oy + top, w, h)
        bg = shot.background((ox, oy, 200, 20))
        drawn = sum(1 for x, y in _points(rect, shot) if shot.at(x, y) != bg)
        if drawn < 12:
            faults.append("the box of %r is not drawn (%d pixels)" % (text, drawn))
    return faults
