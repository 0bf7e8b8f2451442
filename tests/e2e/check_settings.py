#!/usr/bin/env python3
"""Checks what the settings dialog left behind, for the end-to-end settings walk.

  check_settings.py save --save FILE --original FILE --backup FILE --name1-codes N --name2-codes N
      the save differs from the original only in its two name fields (N positions of each hold their slot codes,
      the rest 00 00), has the original's length, and the backup holds the original
  check_settings.py texture --tga FILE --source PNG --glyph N --fillers K,K... [--picture PNG]
      the TGA has the right header and size; every pixel outside the eight custom-name cells (columns 5 to 12 of
      row 2) is the source's; the cells of real characters hold ink, the filler cells none. --picture writes the
      texture as a PNG, over black, for a person to look at
"""

import argparse
import struct
import sys
import zlib

NAME1_OFFSET, NAME2_OFFSET = 1724, 1788
SLOT_CODES = bytes.fromhex("87408742874487468749874B87518753")
COLUMNS, ROWS, FIRST_COLUMN, ROW, CELLS = 26, 28, 5, 2, 8


def fail(message):
    sys.exit("check_settings: " + message)


def expected_fields(used1, used2):
    fields = bytearray(16)
    for k in range(8):
        if k < used1 or 4 <= k < 4 + used2:
            fields[2 * k:2 * k + 2] = SLOT_CODES[2 * k:2 * k + 2]
    return bytes(fields)


def check_save(args):
    save = open(args.save, "rb").read()
    original = open(args.original, "rb").read()
    if len(save) != len(original):
        fail("the save is %d bytes long, it was %d" % (len(save), len(original)))
    fields = expected_fields(args.name1_codes, args.name2_codes)
    wanted = bytearray(original)
    wanted[NAME1_OFFSET:NAME1_OFFSET + 8] = fields[:8]
    wanted[NAME2_OFFSET:NAME2_OFFSET + 8] = fields[8:]
    if save != bytes(wanted):
        changed = [i for i in range(len(save)) if save[i] != wanted[i]]
        fail("the save differs from what was expected at %d bytes, first at %d" % (len(changed), changed[0]))
    if open(args.backup, "rb").read() != original:
        fail("the backup beside the save is not the original save")
    print("save: %d bytes as before; %s at %d, %s at %d; nothing else changed; backup holds the original" %
          (len(save), fields[:8].hex(" "), NAME1_OFFSET, fields[8:].hex(" "), NAME2_OFFSET))


def read_png_rgba(path):
    """The pixels of an 8-bit RGBA PNG whose rows are all unfiltered (as the demo pack writes them)."""
    data = open(path, "rb").read()
    at, idat, width, height = 8, b"", 0, 0
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            if (depth, colour) != (8, 6):
                fail("%s is not 8-bit RGBA" % path)
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    raw = zlib.decompress(idat)
    stride = width * 4 + 1
    rows = []
    for y in range(height):
        row = raw[y * stride:(y + 1) * stride]
        if row[0] != 0:
            fail("%s has a filtered row" % path)
        rows.append(row[1:])
    return width, height, rows


def write_png(path, width, height, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    raw = b"".join(b"\0" + row for row in rows)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b""))


def check_texture(args):
    glyph = args.glyph
    width, height = COLUMNS * glyph, ROWS * glyph
    tga = open(args.tga, "rb").read()
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, width, height, 32, 0x28)
    if tga[:18] != header:
        fail("%s: header %s, expected %s" % (args.tga, tga[:18].hex(" "), header.hex(" ")))
    if len(tga) != 18 + width * height * 4 + 26 or not tga.endswith(b"TRUEVISION-XFILE.\0"):
        fail("%s: %d bytes, not a %dx%d 32-bit TGA with its footer" % (args.tga, len(tga), width, height))
    source_width, source_height, source = read_png_rgba(args.source)
    if (source_width, source_height) != (width, height):
        fail("the source is %dx%d" % (source_width, source_height))
    fillers = {int(k) for k in args.fillers.split(",") if k}
    top = ROW * glyph
    pixels = [tga[18 + y * width * 4:18 + (y + 1) * width * 4] for y in range(height)]
    for y in range(height):
        # BGRA in the TGA, RGBA in the PNG
        tga_row, png_row = pixels[y], source[y]
        in_row = top <= y < top + glyph
        for x in range(width):
            if in_row and FIRST_COLUMN * glyph <= x < (FIRST_COLUMN + CELLS) * glyph:
                continue
            b, g, r, a = tga_row[4 * x:4 * x + 4]
            if (r, g, b, a) != tuple(png_row[4 * x:4 * x + 4]):
                fail("pixel %d,%d is not the source's" % (x, y))
    inks = []
    for k in range(CELLS):
        left = (FIRST_COLUMN + k) * glyph
        ink = max(pixels[y][4 * x + 3] for y in range(top, top + glyph) for x in range(left, left + glyph))
        inks.append(ink)
        if k in fillers and ink != 0:
            fail("filler cell %d holds ink" % k)
        if k not in fillers and ink < 200:
            fail("the cell of character %d holds no glyph (most ink %d)" % (k, ink))
    print("texture %s: %dx%d, header right, every pixel outside the eight cells is the source's; most ink per cell %s"
          % (args.tga.split("/")[-1], width, height, inks))
    if args.picture:
        rows = []
        for row in pixels:
            out = bytearray(width * 3)
            for x in range(width):
                b, g, r = row[4 * x:4 * x + 3]  # a glyph's colour is its coverage already: white over black
                out[3 * x:3 * x + 3] = bytes((r, g, b))
            rows.append(bytes(out))
        write_png(args.picture, width, height, rows)
        print("picture of the texture: %s" % args.picture)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="what", required=True)
    save = sub.add_parser("save")
    for option in ("--save", "--original", "--backup"):
        save.add_argument(option, required=True)
    for option in ("--name1-codes", "--name2-codes"):
        save.add_argument(option, type=int, required=True)
    texture = sub.add_parser("texture")
    for option in ("--tga", "--source"):
        texture.add_argument(option, required=True)
    texture.add_argument("--glyph", type=int, required=True)
    texture.add_argument("--fillers", default="")
    texture.add_argument("--picture")
    args = parser.parse_args()
    check_save(args) if args.what == "save" else check_texture(args)


if __name__ == "__main__":
    main()
