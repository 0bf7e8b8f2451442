#!/usr/bin/env python3
"""Pictures for the branded window test, and the comparison of the window on the screen with them.

  brand_pictures.py make --from WINDOW.bmp --out NEW.bmp --grow W,H
      NEW.bmp: the picture with every colour but the key colour (magenta) inverted, grown by W columns and H rows
      (right and bottom) of a solid orange, so that it differs visibly from ours and the window has another size.
  brand_pictures.py compare --picture NEW.bmp --old OLD.bmp --shot SHOT.ppm
      Counts the pixels outside the key colour that differ between the screenshot of the window (a binary PPM of
      the picture's size) and the picture, and those that differ from our old picture; prints both counts and the
      total, and exits 0 when at most one in fifty differs from the new picture.
"""
import argparse
import struct
import sys

KEY = (255, 0, 255)
GROWN = (255, 140, 0)


def read_bmp(path):
    data = open(path, "rb").read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    bits = struct.unpack_from("<H", data, 28)[0]
    assert data[:2] == b"BM" and bits == 24 and height > 0, path
    row = (width * 3 + 3) & ~3
    pixels = []
    for y in range(height):
        start = offset + (height - 1 - y) * row  # bottom-up
        line = data[start:start + width * 3]
        pixels.append([(line[3 * x + 2], line[3 * x + 1], line[3 * x]) for x in range(width)])
    return width, height, pixels


def write_bmp(path, width, height, pixels):
    row = (width * 3 + 3) & ~3
    body = bytearray()
    for y in range(height - 1, -1, -1):
        line = bytearray()
        for r, g, b in pixels[y]:
            line += bytes((b, g, r))
        body += line + bytes(row - len(line))
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 54 + len(body), 0, 0, 54) + header + bytes(body))


def read_ppm(path):
    data = open(path, "rb").read()
    fields = []
    at = 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        if data[at:at + 1] == b"#":
            at = data.index(b"\n", at)
            continue
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    at += 1
    assert fields[0] == b"P6" and fields[3] == b"255", path
    width, height = int(fields[1]), int(fields[2])
    pixels = [[tuple(data[at + 3 * (y * width + x):at + 3 * (y * width + x) + 3]) for x in range(width)]
              for y in range(height)]
    return width, height, pixels


def near(a, b):
    return all(abs(p - q) <= 12 for p, q in zip(a, b))


def make(args):
    width, height, pixels = read_bmp(args.source)
    grow_w, grow_h = (int(v) for v in args.grow.split(","))
    out = []
    for y in range(height + grow_h):
        line = []
        for x in range(width + grow_w):
            if y >= height or x >= width:
                line.append(GROWN)
            else:
                p = pixels[y][x]
                line.append(p if p == KEY else tuple(255 - c for c in p))
        out.append(line)
    write_bmp(args.out, width + grow_w, height + grow_h, out)


def compare(args):
    width, height, picture = read_bmp(args.picture)
    _, _, old = read_bmp(args.old)
    shot_w, shot_h, shot = read_ppm(args.shot)
    if (shot_w, shot_h) != (width, height):
        print("the shot is %d x %d, the picture %d x %d" % (shot_w, shot_h, width, height))
        return 1
    total = differ_new = differ_old = 0
    for y in range(height):
        for x in range(width):
            p = picture[y][x]
            if p == KEY:
                continue
            total += 1
            if not near(shot[y][x], p):
                differ_new += 1
            if y < len(old) and x < len(old[0]) and not near(shot[y][x], old[y][x]):
                differ_old += 1
    print("%d of %d pixels differ from the new picture, %d from the old one" % (differ_new, total, differ_old))
    return 0 if differ_new * 50 <= total else 1


def main():
    parser = argparse.ArgumentParser()
    sub = parser.add_subparsers(dest="command", required=True)
    m = sub.add_parser("make")
    m.add_argument("--from", dest="source", required=True)
    m.add_argument("--out", required=True)
    m.add_argument("--grow", default="0,0")
    c = sub.add_parser("compare")
    for option in ("--picture", "--old", "--shot"):
        c.add_argument(option, required=True)
    args = parser.parse_args()
    if args.command == "make":
        make(args)
        return 0
    return compare(args)


if __name__ == "__main__":
    sys.exit(main())
