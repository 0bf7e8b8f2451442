#!/usr/bin/env python3
"""The maintainer walk's own pictures, and the checks of what a branded installer shows.

  maintainer.py pictures --normal WINDOW1.bmp --hot WINDOW2.bmp --out DIR
      writes DIR/mine-normal.bmp and DIR/mine-hot.bmp: the given pictures with every pixel inside the outline in
      other colours (red, green and blue turned round), so that a window showing ours is told from one showing
      the maintainer's; the magenta outside the outline stays, so the window keeps its shape
  maintainer.py version --windres WINDRES --exe FILE NAME=VALUE...
      the version resource of FILE holds each NAME with VALUE (UTF-8), and "FILEVERSION a,b,c,d" when FileVersion
      is given as a.b.c.d
  maintainer.py window --shot SHOT.png --expect PICTURE.bmp --other PICTURE.bmp
      the screenshot of the main window (its whole client area) shows PICTURE inside the outline: at least 90 per
      cent of those pixels match it, and fewer than half match the other picture. Prints the figures.
  maintainer.py guide-block --guide GUIDE.md --containing TEXT
      prints the first shell block of the guide that holds TEXT, so that a walk types the guide's own commands

Pictures are 24-bit uncompressed BMP files, as the program loads them.
"""

import argparse
import os
import re
import struct
import subprocess
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_shipped import rc_text  # noqa: E402

KEY = (255, 0, 255)
TOLERANCE = 12  # per channel: the screen's copy of a picture may be off by a little


class Bmp:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.raw = bytearray(f.read())
        if self.raw[:2] != b"BM":
            raise SystemExit("%s is not a BMP file" % path)
        self.offset = struct.unpack_from("<I", self.raw, 10)[0]
        self.width, height = struct.unpack_from("<ii", self.raw, 18)
        bits, compression = struct.unpack_from("<HI", self.raw, 28)
        if bits != 24 or compression != 0:
            raise SystemExit("%s is not a 24-bit uncompressed BMP" % path)
        self.bottom_up = height > 0
        self.height = abs(height)
        self.stride = (self.width * 3 + 3) & ~3

    def at(self, x, y):
        row = self.height - 1 - y if self.bottom_up else y
        i = self.offset + row * self.stride + x * 3
        b, g, r = self.raw[i : i + 3]
        return (r, g, b)

    def put(self, x, y, rgb):
        row = self.height - 1 - y if self.bottom_up else y
        i = self.offset + row * self.stride + x * 3
        self.raw[i : i + 3] = bytes((rgb[2], rgb[1], rgb[0]))


def recoloured(rgb):
    if rgb == KEY:
        return rgb
    r, g, b = rgb
    out = (b, r, g)
    return (out[0], 1, out[2]) if out == KEY else out  # never the outline's colour inside


def make_pictures(args):
    os.makedirs(args.out, exist_ok=True)
    for source, name in ((args.normal, "mine-normal.bmp"), (args.hot, "mine-hot.bmp")):
        bmp = Bmp(source)
        for y in range(bmp.height):
            for x in range(bmp.width):
                bmp.put(x, y, recoloured(bmp.at(x, y)))
        with open(os.path.join(args.out, name), "wb") as f:
            f.write(bmp.raw)
        print("   %s: %d x %d, from %s with other colours" % (name, bmp.width, bmp.height, os.path.basename(source)))


def check_version(args):
    dump = subprocess.run([args.windres, "-i", args.exe, "-O", "rc"], check=True,
                          stdout=subprocess.PIPE).stdout.decode("latin-1")
    values = {m.group(1): rc_text(m.group(2)) for m in re.finditer(r'VALUE "(\w+)", (L?"[^"]*")', dump)}
    failures = []
    for item in args.values:
        name, value = item.split("=", 1)
        if values.get(name) != value:
            failures.append("%s is \"%s\", expected \"%s\"" % (name, values.get(name), value))
        if name == "FileVersion" and re.fullmatch(r"\d+\.\d+\.\d+\.\d+", value):
            fixed = r"\bFILEVERSION\s+" + r",\s*".join(value.split("."))
            if not re.search(fixed, dump):
                failures.append("the fixed version is not %s" % value)
    for failure in failures:
        print("FAIL: %s: %s" % (args.exe, failure))
    if failures:
        sys.exit(1)
    print("   version resource: %s" % ", ".join(args.values))


def read_ppm(png):
    data = subprocess.run(["convert", png, "-depth", "8", "ppm:-"], check=True, stdout=subprocess.PIPE).stdout
    fields = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", data)
    if not fields:
        raise SystemExit("convert did not give a PPM picture of %s" % png)
    width, height = int(fields.group(1)), int(fields.group(2))
    return width, height, data[fields.end() :]


def close(a, b):
    return all(abs(x - y) <= TOLERANCE for x, y in zip(a, b))


def check_window(args):
    expect, other = Bmp(args.expect), Bmp(args.other)
    width, height, pixels = read_ppm(args.shot)
    if (width, height) != (expect.width, expect.height):
        print("FAIL: the window is %d x %d, the picture %d x %d" % (width, height, expect.width, expect.height))
        sys.exit(1)
    inside = matching = like_other = 0
    for y in range(height):
        for x in range(width):
            wanted = expect.at(x, y)
            if wanted == KEY:
                continue
            i = (y * width + x) * 3
            shown = tuple(pixels[i : i + 3])
            inside += 1
            matching += close(shown, wanted)
            like_other += close(shown, other.at(x, y))
    share, other_share = matching / inside, like_other / inside
    print("   the window shows %s: %d of %d pixels inside the outline match it (%.1f %%), %.1f %% match %s"
          % (os.path.basename(args.expect), matching, inside, 100 * share, 100 * other_share,
             os.path.basename(args.other)))
    if share < 0.9 or other_share >= 0.5:
        sys.exit(1)


def print_guide_block(args):
    with open(args.guide, encoding="utf-8") as f:
        blocks = re.findall(r"^```sh\n(.*?)^```$", f.read(), re.S | re.M)
    for block in blocks:
        if args.containing in block:
            sys.stdout.write(block)
            return
    raise SystemExit("%s has no shell block with \"%s\"" % (args.guide, args.containing))


# Each command: what it runs and the options it requires.
COMMANDS = {
    "pictures": (make_pictures, ("--normal", "--hot", "--out")),
    "version": (check_version, ("--windres", "--exe")),
    "window": (check_window, ("--shot", "--expect", "--other")),
    "guide-block": (print_guide_block, ("--guide", "--containing")),
}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    commands = parser.add_subparsers(dest="command", required=True)
    for name, (_, required) in COMMANDS.items():
        command = commands.add_parser(name)
        for option in required:
            command.add_argument(option, required=True)
        if name == "version":
            command.add_argument("values", nargs="+")
    args = parser.parse_args()
    COMMANDS[args.command][0](args)


if __name__ == "__main__":
    main()
