#!/usr/bin/env python3
"""Draws the installer's own artwork into a folder:

  window1.bmp   the main window's picture: a disc on magenta (255, 0, 255), with the buttons, the status slot and the
                credits and link areas drawn where the layout file places them
  window2.bmp   the same picture with every control area lit (shown under the mouse)
  hand.cur      32 x 32 monochrome pointing hand, hot spot at column 6, row 1
  app.ico       the program's icon (16, 24, 32 and 48 pixels, 32 bits with alpha)

  make_artwork.py --layout payload/demo/winpos.txt --out DIR [--png]

Both pictures are 450 x 450, 24 bits per pixel, bottom-up, uncompressed (BITMAPINFOHEADER). Magenta lies exactly on
the pixels outside the disc and nowhere inside, so that the window outline made from it is the disc. Text is rendered
by ImageMagick's convert with the WenQuanYi font; everything else is drawn here.
"""

import argparse
import math
import os
import random
import struct
import subprocess
import sys

SIZE = 450
CENTRE = (SIZE - 1) / 2.0  # distances are measured between pixel centres
INSIDE_PIXELS = 154484  # the disc: 450 * 450 - 48016 magenta pixels, rows 3 to 446
KEY = (255, 0, 255)
FONT = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"

RING_OUTER = 220.6  # dark edge beyond this
RING_INNER = 212.6  # gold ring between the two
SEED = 20050310

GOLD = (214, 172, 92)
GOLD_LIGHT = (252, 228, 160)
GOLD_DARK = (128, 88, 36)
PARCHMENT = (242, 230, 200)
INK = (52, 20, 12)
EDGE = (34, 14, 8)

BUTTON_LABELS = {"install": "安装", "uninstall": "卸载", "setting": "设置", "close": "关闭", "minimize": "最小化"}
LINK_LABELS = ["汉化主页", "交流论坛", "补丁下载", "错误报告", "友情链接"]


def clamp01(value):
    return 0.0 if value < 0.0 else 1.0 if value > 1.0 else value


def mix(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def rounded_rect_distance(px, py, left, top, right, bottom, radius):
    """Signed distance from a point to a rounded rectangle (negative inside)."""
    cx, cy = (left + right) / 2.0, (top + bottom) / 2.0
    hx, hy = (right - left) / 2.0 - radius, (bottom - top) / 2.0 - radius
    qx, qy = abs(px - cx) - hx, abs(py - cy) - hy
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius


class Canvas:
    """Floating-point RGBA pixels; painting blends with coverage as alpha."""

    def __init__(self, width, height, colour=(0, 0, 0), alpha=1.0):
        self.width, self.height = width, height
        count = width * height
        self.r = [float(colour[0])] * count
        self.g = [float(colour[1])] * count
        self.b = [float(colour[2])] * count
        self.a = [alpha] * count

    def copy(self):
        other = Canvas.__new__(Canvas)
        other.width, other.height = self.width, self.height
        other.r, other.g, other.b, other.a = self.r[:], self.g[:], self.b[:], self.a[:]
        return other

    def blend(self, index, colour, alpha):
        if alpha <= 0.0:
            return
        if alpha >= 1.0:
            self.r[index], self.g[index], self.b[index] = colour
            self.a[index] = 1.0
            return
        keep = 1.0 - alpha
        self.r[index] = self.r[index] * keep + colour[0] * alpha
        self.g[index] = self.g[index] * keep + colour[1] * alpha
        self.b[index] = self.b[index] * keep + colour[2] * alpha
        self.a[index] = self.a[index] * keep + alpha

    def fill(self, box, shader):
        """shader(x, y) gives (colour, alpha) for the pixel centre x + 0.5, y + 0.5 of every pixel in box."""
        left, top, right, bottom = (int(math.floor(box[0])), int(math.floor(box[1])), int(math.ceil(box[2])),
                                    int(math.ceil(box[3])))
        for y in range(max(top, 0), min(bottom, self.height)):
            row = y * self.width
            for x in range(max(left, 0), min(right, self.width)):
                colour, alpha = shader(x + 0.5, y + 0.5)
                self.blend(row + x, colour, alpha)

    def rounded_rect(self, box, radius, colour_at, alpha=1.0):
        left, top, right, bottom = box

        def shader(x, y):
            coverage = clamp01(0.5 - rounded_rect_distance(x, y, left, top, right, bottom, radius))
            return colour_at(x, y), coverage * alpha

        self.fill((left - 1, top - 1, right + 1, bottom + 1), shader)

    def rounded_frame(self, box, radius, width, colour, alpha=1.0):
        left, top, right, bottom = box

        def shader(x, y):
            distance = rounded_rect_distance(x, y, left, top, right, bottom, radius)
            coverage = clamp01(0.5 - distance) * clamp01(distance + width + 0.5)
            return colour, coverage * alpha

        self.fill((left - 1, top - 1, right + 1, bottom + 1), shader)

    def disc(self, cx, cy, radius, colour_at, alpha=1.0):
        def shader(x, y):
            coverage = clamp01(radius - math.hypot(x - cx, y - cy) + 0.5)
            return colour_at(x, y), coverage * alpha

        self.fill((cx - radius - 1, cy - radius - 1, cx + radius + 1, cy + radius + 1), shader)

    def text(self, mask, left, top, colour_at, alpha=1.0, clip=None):
        for my in range(mask.height):
            y = top + my
            if not 0 <= y < self.height or (clip and not clip[1] <= y < clip[3]):
                continue
            for mx in range(mask.width):
                coverage = mask.data[my * mask.width + mx]
                x = left + mx
                if coverage and 0 <= x < self.width and (not clip or clip[0] <= x < clip[2]):
                    self.blend(y * self.width + x, colour_at(x + 0.5, y + 0.5), coverage / 255.0 * alpha)

    def rgb_bytes(self):
        """Top-down RGB bytes, rounded and clamped."""
        out = bytearray(self.width * self.height * 3)
        for i in range(self.width * self.height):
            out[3 * i] = min(255, max(0, int(self.r[i] + 0.5)))
            out[3 * i + 1] = min(255, max(0, int(self.g[i] + 0.5)))
            out[3 * i + 2] = min(255, max(0, int(self.b[i] + 0.5)))
        return out


class Mask:
    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, data

    def ink_box(self):
        """Left, top, right, bottom (exclusive) of the pixels that carry ink."""
        xs = [i % self.width for i, v in enumerate(self.data) if v > 24]
        ys = [i // self.width for i, v in enumerate(self.data) if v > 24]
        if not xs:
            return 0, 0, self.width, self.height
        return min(xs), min(ys), max(xs) + 1, max(ys) + 1

    def grown(self, radius):
        """The mask widened by radius pixels in every direction (a round brush), for outlines and glows."""
        width, height = self.width + 2 * radius, self.height + 2 * radius
        out = bytearray(width * height)
        offsets = [(dx, dy) for dy in range(-radius, radius + 1) for dx in range(-radius, radius + 1)
                   if dx * dx + dy * dy <= radius * radius + radius]
        for my in range(self.height):
            for mx in range(self.width):
                value = self.data[my * self.width + mx]
                if not value:
                    continue
                for dx, dy in offsets:
                    index = (my + radius + dy) * width + mx + radius + dx
                    if out[index] < value:
                        out[index] = value
        return Mask(width, height, out)


def render_texts(requests):
    """Renders (text, pointsize, bold) requests with one convert run; returns a Mask per request."""
    command = ["convert", "-background", "black", "-fill", "white", "-font", FONT, "-depth", "8"]
    for text, pointsize, bold in requests:
        command += ["-pointsize", str(pointsize), "-stroke", "white" if bold else "none", "-strokewidth",
                    "0.7" if bold else "0", "label:" + text]
    command.append("pgm:-")
    data = subprocess.run(command, check=True, stdout=subprocess.PIPE).stdout
    masks, at = [], 0
    for _ in requests:
        fields = []
        while len(fields) < 4:
            while data[at:at + 1].isspace():
                at += 1
            end = at
            while not data[end:end + 1].isspace():
                end += 1
            fields.append(data[at:end])
            at = end
        at += 1  # the single white-space byte before the pixels
        if fields[0] != b"P5" or int(fields[3]) != 255:
            raise RuntimeError("unexpected output from convert: %r" % fields)
        width, height = int(fields[1]), int(fields[2])
        masks.append(Mask(width, height, data[at:at + width * height]))
        at += width * height
    return masks


def centred(mask, box):
    """Top-left position that centres the mask's ink in box."""
    ink = mask.ink_box()
    left = box[0] + ((box[2] - box[0]) - (ink[2] - ink[0])) / 2.0 - ink[0]
    top = box[1] + ((box[3] - box[1]) - (ink[3] - ink[1])) / 2.0 - ink[1]
    return int(round(left)), int(round(top))


def solid(colour):
    return lambda x, y: colour


def vertical(top_colour, bottom_colour, top, bottom):
    return lambda x, y: mix(top_colour, bottom_colour, clamp01((y - top) / float(bottom - top)))


# --- the disc ------------------------------------------------------------------------------------------------------


def disc_mask():
    """True for pixels inside the window: the INSIDE_PIXELS pixels nearest the centre (ties broken by position)."""
    order = sorted(range(SIZE * SIZE),
                   key=lambda i: ((i % SIZE - CENTRE) ** 2 + (i // SIZE - CENTRE) ** 2, i))
    inside = [False] * (SIZE * SIZE)
    for i in order[:INSIDE_PIXELS]:
        inside[i] = True
    return inside


def draw_background(canvas):
    noise = random.Random(SEED)
    centre_colour, edge_colour = (104, 26, 26), (30, 9, 10)
    for y in range(SIZE):
        for x in range(SIZE):
            i = y * SIZE + x
            d = math.hypot(x - CENTRE, y - CENTRE)
            glow = clamp01(math.hypot(x - CENTRE, y - 170.0) / 230.0) ** 1.4
            colour = mix(centre_colour, edge_colour, glow)
            grain = noise.uniform(-3.0, 3.0)
            canvas.r[i], canvas.g[i], canvas.b[i] = colour[0] + grain, colour[1] + grain * 0.6, colour[2] + grain * 0.6
            # The gold ring, lit from the upper left, with a dark rim outside it and a shadow line inside.
            if d > RING_INNER - 2.0:
                angle = math.atan2(y - CENTRE, x - CENTRE)
                light = 0.5 + 0.5 * math.cos(angle + 2.2)
                across = clamp01((d - RING_INNER) / (RING_OUTER - RING_INNER))
                bevel = math.sin(math.pi * across)
                gold = mix(GOLD_DARK, GOLD_LIGHT, clamp01(0.25 + 0.45 * light + 0.35 * bevel))
                ring = clamp01(d - RING_INNER + 0.5) * clamp01(RING_OUTER - d + 0.5)
                shadow = clamp01(1.0 - abs(d - (RING_INNER - 1.0)))
                canvas.blend(i, (10, 2, 2), shadow * 0.6)
                canvas.blend(i, gold, ring)
                canvas.blend(i, EDGE, clamp01(d - RING_OUTER + 0.5))
    # Two fine inner circles.
    for radius, alpha in ((204.0, 0.55), (200.0, 0.25)):
        def shader(x, y, radius=radius, alpha=alpha):
            return GOLD, clamp01(0.8 - abs(math.hypot(x - 0.5 - CENTRE, y - 0.5 - CENTRE) - radius)) * alpha

        canvas.fill((CENTRE - radius - 2, CENTRE - radius - 2, CENTRE + radius + 2, CENTRE + radius + 2), shader)


def draw_divider(canvas, y, left, right):
    def shader(x, yy):
        fade = clamp01(min(x - left, right - x) / 40.0)
        return GOLD, clamp01(0.9 - abs(yy - y)) * 0.6 * fade

    canvas.fill((left, y - 2, right, y + 2), shader)
    middle = (left + right) / 2.0

    def diamond(x, yy):
        return GOLD_LIGHT, clamp01(4.0 - (abs(x - middle) + abs(yy - y)) + 0.5)

    canvas.fill((middle - 6, y - 6, middle + 6, y + 6), diamond)


# --- controls ------------------------------------------------------------------------------------------------------


def draw_button(canvas, rect, label_mask, lit):
    left, top, right, bottom = rect
    body = (left + 2, top + 2, right - 2, bottom - 2)
    if lit:
        canvas.rounded_rect((left + 0.5, top + 0.5, right - 0.5, bottom - 0.5), 9, solid(GOLD_LIGHT), 0.35)
        fill = vertical((236, 92, 52), (158, 34, 22), body[1], body[3])
        border, text_colour = GOLD_LIGHT, (255, 250, 236)
    else:
        fill = vertical((176, 42, 32), (102, 16, 14), body[1], body[3])
        border, text_colour = GOLD, PARCHMENT
    canvas.rounded_rect(body, 7, fill)
    # A soft sheen on the upper half.
    sheen_box = (body[0] + 3, body[1] + 2, body[2] - 3, (body[1] + body[3]) / 2.0)
    canvas.rounded_rect(sheen_box, 5, solid((255, 255, 255)), 0.16 if lit else 0.09)
    canvas.rounded_frame(body, 7, 1.6, border)
    canvas.rounded_frame((body[0] + 2, body[1] + 2, body[2] - 2, body[3] - 2), 5, 0.8, (60, 10, 8), 0.5)
    x, y = centred(label_mask, body)
    canvas.text(label_mask, x + 1, y + 1, solid((40, 6, 4)), 0.8)
    canvas.text(label_mask, x, y, solid(text_colour))


def draw_plate(canvas, rect, label_mask, lit):
    left, top, right, bottom = rect
    body = (left + 1, top + 1, right - 1, bottom - 1)
    if lit:
        canvas.rounded_rect(body, 4, vertical(GOLD_LIGHT, GOLD, body[1], body[3]))
        canvas.rounded_frame(body, 4, 1.0, (255, 244, 200))
        text_colour = INK
    else:
        canvas.rounded_rect(body, 4, solid((0, 0, 0)), 0.28)
        canvas.rounded_frame(body, 4, 1.0, GOLD, 0.45)
        text_colour = PARCHMENT
    x, y = centred(label_mask, body)
    canvas.text(label_mask, x, y, solid(text_colour))


def draw_link(canvas, rect, label_mask, lit):
    left, top, right, bottom = rect
    body = (left + 1, top + 1, right - 1, bottom - 1)
    radius = (body[3] - body[1]) / 2.0
    if lit:
        canvas.rounded_rect(body, radius, vertical(GOLD_LIGHT, GOLD, body[1], body[3]))
        text_colour = INK
    else:
        canvas.rounded_rect(body, radius, solid(GOLD), 0.14)
        canvas.rounded_frame(body, radius, 1.0, GOLD, 0.75)
        text_colour = GOLD_LIGHT
    x, y = centred(label_mask, body)
    canvas.text(label_mask, x, y, solid(text_colour))


def draw_status_slot(canvas, rect):
    left, top, right, bottom = rect
    canvas.rounded_rect((left - 1, top - 1, right + 1, bottom + 1), 3, solid((20, 4, 4)), 0.7)
    canvas.rounded_rect((left, top, right, bottom), 2.5, vertical((214, 200, 170), PARCHMENT, top, top + 5))


def draw_seal(canvas, box, masks):
    """A square vermilion seal with four characters, worn at random like a real stamp."""
    wear = random.Random(SEED + 1)
    left, top, right, bottom = box
    canvas.rounded_rect(box, 6, lambda x, y: mix((206, 52, 36), (170, 30, 24), wear.random() * 0.5), 0.95)
    canvas.rounded_frame((left + 4, top + 4, right - 4, bottom - 4), 3, 1.2, (250, 226, 196), 0.85)
    half_w, half_h = (right - left) / 2.0, (bottom - top) / 2.0
    # Read top to bottom, right column first.
    cells = [(left + half_w, top), (left + half_w, top + half_h), (left, top), (left, top + half_h)]
    for mask, (cell_left, cell_top) in zip(masks, cells):
        cell = (cell_left + 3, cell_top + 3, cell_left + half_w - 3, cell_top + half_h - 3)
        x, y = centred(mask, cell)
        canvas.text(mask, x, y, solid((250, 230, 200)), 0.92)


def check_inside(records):
    for index, record in enumerate(records):
        left, top, right, bottom = record.rect
        for x, y in ((left, top), (right, top), (left, bottom), (right, bottom)):
            if math.hypot(x - 0.5 - CENTRE, y - 0.5 - CENTRE) > RING_INNER + 4:
                raise SystemExit("make_artwork: record %d (%s) reaches outside the disc" % (index, record.command))


def draw_skin(records):
    """Returns (normal, lit) canvases; lit differs from normal only inside the areas of the controls."""
    check_inside(records)
    links = [r for r in records if r.command == "iejump"]
    if len(links) != len(LINK_LABELS):
        raise SystemExit("make_artwork: %d link records, %d link labels" % (len(links), len(LINK_LABELS)))

    requests = [("真·三国无双3", 30, True), ("简 体 中 文 汉 化 包", 15, False), ("— 制作人员 —", 13, False),
                ("Quorvan 汉化组  荣誉出品", 13, False), ("版本 1.0  ·  仅供学习交流，请支持正版", 11, False)]
    requests += [(c, 22, True) for c in "简体汉化"]
    labels = []
    link_index = 0
    for record in records:
        if record.command == "msgbox":
            labels.append((record.second, 12, False))
        elif record.command == "iejump":
            labels.append((LINK_LABELS[link_index], 12, False))
            link_index += 1
        elif record.command == "text":
            labels.append(None)
        else:
            labels.append((BUTTON_LABELS.get(record.command, record.command), 16, True))
    masks = render_texts(requests + [label for label in labels if label])
    title, subtitle, credits_head, team, version = masks[:5]
    seal = masks[5:9]
    label_masks = iter(masks[9:])

    canvas = Canvas(SIZE, SIZE)
    draw_background(canvas)

    # Title: gold with a dark outline and a drop shadow.
    title_box = (60, 26, 390, 64)
    x, y = centred(title, title_box)
    outline = title.grown(2)
    canvas.text(outline, x - 2 + 2, y - 2 + 3, solid((0, 0, 0)), 0.45)
    canvas.text(outline, x - 2, y - 2, solid(INK), 0.95)
    canvas.text(title, x, y, vertical(GOLD_LIGHT, (196, 140, 54), y + 4, y + title.height - 6))
    x, y = centred(subtitle, (60, 64, 390, 82))
    canvas.text(subtitle, x, y, solid(PARCHMENT), 0.9)

    credits = [r for r in records if r.command == "msgbox"]
    if credits:
        head_box = (min(r.rect[0] for r in credits), min(r.rect[1] for r in credits) - 24,
                    max(r.rect[2] for r in credits), min(r.rect[1] for r in credits) - 4)
        x, y = centred(credits_head, head_box)
        canvas.text(credits_head, x, y, solid(GOLD))
    if links:
        top = min(r.rect[1] for r in links)
        draw_divider(canvas, top - 12, min(r.rect[0] for r in links) + 8, max(r.rect[2] for r in links) - 8)
        bottom = max(r.rect[3] for r in links)
        x, y = centred(team, (60, bottom + 12, 390, bottom + 30))
        canvas.text(team, x, y, solid(GOLD))
        x, y = centred(version, (60, bottom + 32, 390, bottom + 46))
        canvas.text(version, x, y, solid(PARCHMENT), 0.6)
        draw_divider(canvas, bottom + 60, CENTRE - 50, CENTRE + 50)
    draw_seal(canvas, (214, 182, 276, 244), seal)

    lit = canvas.copy()
    for record, label in zip(records, labels):
        mask = next(label_masks) if label else None
        if record.command == "text":
            draw_status_slot(canvas, record.rect)
            draw_status_slot(lit, record.rect)
        elif record.command == "msgbox":
            draw_plate(canvas, record.rect, mask, False)
            draw_plate(lit, record.rect, mask, True)
        elif record.command == "iejump":
            draw_link(canvas, record.rect, mask, False)
            draw_link(lit, record.rect, mask, True)
        else:
            draw_button(canvas, record.rect, mask, False)
            draw_button(lit, record.rect, mask, True)

    # Outside the control areas the lit picture is the normal one, pixel for pixel.
    in_area = [False] * (SIZE * SIZE)
    for record in records:
        left, top, right, bottom = record.rect
        for y in range(top, bottom):
            for x in range(left, right):
                in_area[y * SIZE + x] = True
    for i in range(SIZE * SIZE):
        if not in_area[i]:
            lit.r[i], lit.g[i], lit.b[i] = canvas.r[i], canvas.g[i], canvas.b[i]
    return canvas, lit


def keyed_rgb(canvas, inside):
    """RGB bytes with exact magenta outside the disc and never inside it."""
    rgb = canvas.rgb_bytes()
    for i in range(SIZE * SIZE):
        if not inside[i]:
            rgb[3 * i:3 * i + 3] = bytes(KEY)
        elif tuple(rgb[3 * i:3 * i + 3]) == KEY:
            rgb[3 * i + 2] = 254
    return rgb


# --- file formats --------------------------------------------------------------------------------------------------


def bmp24(width, height, rgb):
    """A bottom-up, uncompressed 24-bit BMP with a BITMAPINFOHEADER from top-down RGB bytes."""
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for y in range(height - 1, -1, -1):
        row = rgb[y * width * 3:(y + 1) * width * 3]
        bgr = bytearray(len(row))
        bgr[0::3], bgr[1::3], bgr[2::3] = row[2::3], row[1::3], row[0::3]
        pixels += bgr + bytes(stride - len(bgr))
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + bytes(pixels)


# The hand: X black, o white, anything else transparent. Hot spot: the middle of the fingertip.
HAND = [
    ".....XXX",
    "....XoooX",
    "....XoooX",
    "....XoooX",
    "....XoooX",
    "....XoooXXX",
    "....XoooXooXXX",
    "....XoooXooXooXX",
    "....XoooXooXooXoX",
    ".XX.XoooXooXooXooX",
    "XooXXoooooooooooooX",
    "XoooXoooooooooooooX",
    ".XooXoooooooooooooX",
    "..XoooooooooooooooX",
    "..XoooooooooooooooX",
    "...XooooooooooooooX",
    "...XoooooooooooooX",
    "....XooooooooooooX",
    "....XoooooooooooX",
    ".....XooooooooooX",
    ".....XooooooooooX",
    ".....XXXXXXXXXXXX",
]
HOT_SPOT = (6, 1)


def hand_cursor():
    """A .cur file holding one 32 x 32 monochrome image."""
    size = 32
    xor_rows, and_rows = [], []
    for y in range(size - 1, -1, -1):  # bottom-up
        line = HAND[y] if y < len(HAND) else ""
        xor_bits = and_bits = 0
        for x in range(size):
            ch = line[x] if x < len(line) else "."
            bit = 1 << (31 - x)
            if ch == "o":
                xor_bits |= bit  # white
            elif ch != "X":
                and_bits |= bit  # transparent
        xor_rows.append(struct.pack(">I", xor_bits))
        and_rows.append(struct.pack(">I", and_bits))
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 1, 0, 2 * size * 4, 0, 0, 2, 0)
    palette = struct.pack("<8B", 0, 0, 0, 0, 255, 255, 255, 0)
    image = info + palette + b"".join(xor_rows) + b"".join(and_rows)
    directory = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", size, size, 2, 0, HOT_SPOT[0], HOT_SPOT[1], len(image), 6 + 16)
    return directory + entry + image


def icon_image(size, glyph):
    """One icon picture: the skin's disc in small, with a gold character; 32-bit BGRA, bottom-up, with its mask."""
    scale = 4
    big = size * scale
    canvas = Canvas(big, big, (0, 0, 0), 0.0)
    centre = big / 2.0
    radius = big / 2.0 - scale * 0.5
    ring = big * 0.075 if size >= 32 else scale * 1.0
    canvas.disc(centre, centre, radius, solid(EDGE))
    canvas.disc(centre, centre, radius - scale * 0.6,
                lambda x, y: mix(GOLD_LIGHT, GOLD_DARK, clamp01((x + y) / (2.0 * big))))
    canvas.disc(centre, centre, radius - scale * 0.6 - ring,
                lambda x, y: mix((150, 34, 30), (60, 12, 12), clamp01(math.hypot(x - centre, y - centre * 0.8)
                                                                      / radius)))
    x, y = centred(glyph, (0, 0, big, big))
    canvas.text(glyph.grown(scale // 2), x - scale // 2, y - scale // 2, solid(INK), 0.8)
    canvas.text(glyph, x, y, vertical(GOLD_LIGHT, GOLD, y, y + glyph.height))

    pixels = bytearray()
    mask_rows = []
    mask_stride = ((size + 31) // 32) * 4
    for y in range(size - 1, -1, -1):
        bits = bytearray(mask_stride)
        for x in range(size):
            r = g = b = a = 0.0
            for sy in range(scale):
                for sx in range(scale):
                    i = (y * scale + sy) * big + x * scale + sx
                    weight = canvas.a[i]
                    r += canvas.r[i] * weight
                    g += canvas.g[i] * weight
                    b += canvas.b[i] * weight
                    a += weight
            if a > 0:
                r, g, b = r / a, g / a, b / a
            alpha = int(a / (scale * scale) * 255 + 0.5)
            pixels += bytes((int(b + 0.5), int(g + 0.5), int(r + 0.5), alpha))
            if alpha == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask_rows.append(bytes(bits))
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask_rows) * mask_stride,
                       0, 0, 0, 0)
    return info + bytes(pixels) + b"".join(mask_rows)


def app_icon():
    sizes = [16, 24, 32, 48]
    # Small icons get a larger character and a thinner ring, so that the character still reads.
    glyphs = render_texts([("汉", int(s * 4 * (0.56 if s >= 32 else 0.74)), True) for s in sizes])
    images = [icon_image(s, g) for s, g in zip(sizes, glyphs)]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for s, image in zip(sizes, images):
        entries += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return directory + entries + b"".join(images)


def write_file(path, data):
    with open(path + ".tmp", "wb") as out:
        out.write(data)
    os.replace(path + ".tmp", path)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--layout", required=True, help="the layout file (UTF-8 source of winpos.txt)")
    parser.add_argument("--out", required=True, help="folder for the pictures, the cursor and the icon")
    parser.add_argument("--png", action="store_true", help="also write PNG copies of the pictures for viewing")
    args = parser.parse_args()

    if not os.path.exists(FONT):
        raise SystemExit("make_artwork: the font %s is missing (Debian package fonts-wqy-microhei)" % FONT)
    sys.dont_write_bytecode = True  # keep the source tree free of __pycache__
    sys.path.insert(0, os.path.dirname(os.path.abspath(args.layout)))
    import winpos  # noqa: E402 (lives beside the layout file)

    try:
        _, records = winpos.load(args.layout)
    except ValueError as error:
        raise SystemExit("make_artwork: %s" % error)
    os.makedirs(args.out, exist_ok=True)

    inside = disc_mask()
    normal, lit = draw_skin(records)
    for name, canvas in (("window1", normal), ("window2", lit)):
        rgb = keyed_rgb(canvas, inside)
        write_file(os.path.join(args.out, name + ".bmp"), bmp24(SIZE, SIZE, rgb))
        if args.png:
            ppm = b"P6\n%d %d\n255\n" % (SIZE, SIZE) + bytes(rgb)
            subprocess.run(["convert", "ppm:-", os.path.join(args.out, name + ".png")], input=ppm, check=True)
    write_file(os.path.join(args.out, "hand.cur"), hand_cursor())
    write_file(os.path.join(args.out, "app.ico"), app_icon())


if __name__ == "__main__":
    main()
