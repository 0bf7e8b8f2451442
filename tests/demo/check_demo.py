#!/usr/bin/env python3
"""Checks of the demo build, run by CTest with the native package tool:

  check_demo.py package --packtool PACKTOOL --exe QuorvanSetup.exe
      the appended package verifies and holds every entry that the install and uninstall flows name, a pack folder
      of several hundred files with real picture headers (the user-font textures font01b at 832x896 and
      520x560), the layout file as the program reads it, and a helper library for the executable's own processor
  check_demo.py artwork --packtool PACKTOOL --exe QuorvanSetup.exe --artwork DIR
      the skin pictures are the format the program loads, keyed by exact magenta outside a disc, and light up
      exactly the areas that the packaged layout file places
"""

import argparse
import os
import re
import struct
import subprocess
import sys
import tempfile

# The working controls' records as the layout source states them; the package's copy is read here on its own.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "payload", "demo"))
from winpos import CREDIT_LIMIT, TEXT_LIMIT, WORKING_CONTROLS  # noqa: E402

FAILURES = []


def expect(condition, message):
    if not condition:
        FAILURES.append(message)
    return condition


def finish(what):
    for message in FAILURES:
        print("FAIL: " + message)
    if FAILURES:
        sys.exit(1)
    print("%s: all checks passed" % what)


def name_table(packtool):
    """The entries that the flows look up by name, as "packtool names" prints them from the installer's own table:
    (entry, target, role) as GBK bytes ("\\" separators)."""
    result = run([packtool, "names"])
    expect(result.returncode == 0, "packtool names exited with %d" % result.returncode)
    rows = [tuple(line.split(b"\t")) for line in result.stdout.splitlines() if line and not line.startswith(b"#")]
    expect(rows and all(len(row) == 3 for row in rows), "packtool names printed lines that are not three fields")
    return [row for row in rows if len(row) == 3]


RECORD = re.compile(rb'^(\w+), *(-?\d+), *(-?\d+), *(-?\d+), *(-?\d+), *"([^"]*)", *"([^"]*)"$')


def run(command):
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def list_entries(packtool, exe):
    result = run([packtool, "list", exe])
    expect(result.returncode == 0, "packtool list %s exited with %d: %s" % (exe, result.returncode,
                                                                           result.stderr.decode(errors="replace")))
    return [line.split(b"\t")[0] for line in result.stdout.splitlines() if line]


def extract(packtool, exe, folder, names=()):
    result = run([packtool, "extract", exe, folder] + list(names))
    expect(result.returncode == 0, "packtool extract exited with %d: %s" % (result.returncode,
                                                                           result.stderr.decode(errors="replace")))


def layout_records(data):
    """The records of our layout file, one per line, as (command, rect, first, second) with texts as GBK bytes."""
    records = []
    for line in data.split(b"\r\n"):
        match = RECORD.match(line)
        if match:
            rect = tuple(int(match.group(i)) for i in range(2, 6))
            records.append((match.group(1).decode("ascii"), rect, match.group(6), match.group(7)))
    return records


def pe_machine(data):
    """(machine, characteristics) of a PE file, or None."""
    if data[:2] != b"MZ" or len(data) < 64:
        return None
    offset = struct.unpack_from("<I", data, 0x3C)[0]
    if data[offset:offset + 4] != b"PE\0\0":
        return None
    machine, _, _, _, _, _, characteristics = struct.unpack_from("<HHIIIHH", data, offset + 4)
    return machine, characteristics


def check_layout(data):
    expect(b"\n" not in data.replace(b"\r\n", b""), "winpos.txt has a line end that is not CR LF")
    try:
        data.decode("gbk")
    except UnicodeDecodeError as error:
        expect(False, "winpos.txt is not GBK text: %s" % error)
    lines = data.split(b"\r\n")
    expect(lines[0].startswith(b"#") and lines[1] == b"", "winpos.txt does not start with a comment and a blank line")
    records = layout_records(data)
    record_lines = [line for line in lines if line and not line.startswith(b"#")]
    expect(len(record_lines) == len(records), "winpos.txt has lines that are not one whole record each")
    expect(len(records) == 22, "winpos.txt holds %d records, expected 22" % len(records))
    expect(any(line.startswith(b"#minimize") for line in lines), "winpos.txt lacks the commented-out minimize")
    commands = [r[0] for r in records]
    expect(commands[:17] == ["msgbox"] * 12 + ["iejump"] * 5, "records 0 to 16 are not 12 msgbox and 5 iejump")
    for record, (command, rect, first) in zip(records[17:], WORKING_CONTROLS):
        expect(record == (command, rect, first.encode(), b""),
               "expected %s at %r with %r, found %r" % (command, rect, first, record))
    for index, (command, rect, first, second) in enumerate(records):
        limit = CREDIT_LIMIT if command == "msgbox" else TEXT_LIMIT
        expect(len(first) <= limit and len(second) <= limit, "record %d has a text longer than %d bytes" % (
            index, limit))
        if command == "msgbox":
            expect(first and second, "credits record %d lacks its text or caption" % index)
        if command == "iejump":
            expect(first.startswith(b"http://") and second == b"", "link record %d: %r" % (index, first))
    expect(any(b"\\r\\n" in r[2] for r in records), "no credits text spans lines")
    return records


USER_FONT_SIZES = {"high": (832, 896), "low": (520, 560)}


def check_pictures(folder, names):
    counts = {}
    for name in names:
        text = name.decode("gbk")
        if not text.startswith("quorvan\\"):
            continue
        extension = os.path.splitext(text)[1]
        counts[extension] = counts.get(extension, 0) + 1
        with open(os.path.join(folder, *text.split("\\")), "rb") as f:
            head = f.read(64)
            size = f.seek(0, 2)
        if extension == ".png":
            expect(head[:8] == b"\x89PNG\r\n\x1a\n" and head[12:16] == b"IHDR", "%s is not a PNG" % text)
            quality = text.split("\\")[-2]
            if text.lower().endswith("\\font01b.png") and quality in USER_FONT_SIZES:
                # the user-font texture that the settings dialog renders into: exactly the glyph grid's size
                expect(struct.unpack_from(">II", head, 16) == USER_FONT_SIZES[quality],
                       "%s is %dx%d, expected %dx%d" % ((text,) + struct.unpack_from(">II", head, 16) +
                                                        USER_FONT_SIZES[quality]))
        elif extension == ".bmp":
            expect(head[:2] == b"BM" and struct.unpack_from("<I", head, 2)[0] == size and
                   struct.unpack_from("<I", head, 14)[0] == 40, "%s is not a BMP" % text)
        elif extension == ".tga":
            width, height, bits = struct.unpack_from("<HHB", head, 12)
            expect(head[2] == 2 and size >= 18 + width * height * bits // 8, "%s is not a TGA" % text)
    total = sum(counts.values())
    expect(total >= 300, "the pack folder holds %d files, expected several hundred" % total)
    expect(all(counts.get(e, 0) >= 10 for e in (".png", ".bmp", ".tga")), "the pack folder lacks picture kinds: %r" %
           counts)


def package(args):
    result = run([args.packtool, "verify", args.exe])
    expect(result.returncode == 0, "packtool verify failed: %s%s" % (result.stdout.decode(errors="replace"),
                                                                     result.stderr.decode(errors="replace")))
    names = list_entries(args.packtool, args.exe)
    present = set(names)
    # package names compare without regard to ASCII case
    table = name_table(args.packtool)
    for entry, _, role in table:
        if role == b"folder":
            expect(any(name.startswith(entry.lower() + b"\\") for name in names), "the package has no %s folder"
                   % entry.decode("gbk"))
        else:
            expect(entry.lower() in present, "the package lacks %s" % entry.decode("gbk"))
    roles = {role: entry.lower().decode("gbk") for entry, _, role in table}
    if not names:
        finish("package")

    with tempfile.TemporaryDirectory() as folder:
        extract(args.packtool, args.exe, folder)
        layout_path = os.path.join(folder, roles.get(b"layout", "winpos.txt"))
        if os.path.exists(layout_path):
            with open(layout_path, "rb") as f:
                check_layout(f.read())
        check_pictures(folder, names)
        with open(args.exe, "rb") as f:
            program = pe_machine(f.read(4096))
        library_path = os.path.join(folder, roles.get(b"library", "savepatch.qvx"))
        if os.path.exists(library_path):
            with open(library_path, "rb") as f:
                library = pe_machine(f.read())
            expect(library is not None and library[1] & 0x2000, "SavePatch.qvx is not a Windows library")
            expect(program is not None and library is not None and library[0] == program[0],
                   "SavePatch.qvx is built for machine %r, the program for %r" % (library, program))
    finish("package")


def read_bmp(path):
    """(width, height, rows) of a 24-bit bottom-up BMP; rows top-down as lists of (r, g, b)."""
    with open(path, "rb") as f:
        data = f.read()
    expect(data[:2] == b"BM" and struct.unpack_from("<I", data, 2)[0] == len(data), "%s: bad file header" % path)
    size, width, height, planes, bits, compression = struct.unpack_from("<IiiHHI", data, 14)
    expect((size, width, height, planes, bits, compression) == (40, 450, 450, 1, 24, 0),
           "%s: expected a 450 x 450 bottom-up 24-bit BI_RGB picture with a BITMAPINFOHEADER, found %r" % (
               path, (size, width, height, planes, bits, compression)))
    offset = struct.unpack_from("<I", data, 10)[0]
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(abs(height)):
        start = offset + (height - 1 - y) * stride
        row = data[start:start + width * 3]
        rows.append([(row[3 * x + 2], row[3 * x + 1], row[3 * x]) for x in range(width)])
    return width, abs(height), rows


def artwork(args):
    with tempfile.TemporaryDirectory() as folder:
        extract(args.packtool, args.exe, folder, ["winpos.txt"])
        with open(os.path.join(folder, "winpos.txt"), "rb") as f:
            records = layout_records(f.read())
    expect(len(records) == 22, "the packaged layout holds %d records" % len(records))
    width, height, normal = read_bmp(os.path.join(args.artwork, "window1.bmp"))
    _, _, lit = read_bmp(os.path.join(args.artwork, "window2.bmp"))
    if FAILURES:
        finish("artwork")

    key = (255, 0, 255)
    outline_runs = []
    for y in range(height):
        keyed = [p == key for p in normal[y]]
        expect(keyed == [p == key for p in lit[y]], "row %d: the two pictures are keyed differently" % y)
        runs = [x for x in range(width) if not keyed[x] and (x == 0 or keyed[x - 1])]
        expect(len(runs) <= 1, "row %d: the outline is not a disc (%d runs)" % (y, len(runs)))
        if runs:
            end = runs[0] + keyed[runs[0]:].index(True) if True in keyed[runs[0]:] else width
            outline_runs.append((runs[0], end))
            # A disc is symmetric: the run leaves as much room on the right as on the left.
            expect(abs(runs[0] - (width - end)) <= 1, "row %d: the run %d..%d is off centre" % (y, runs[0], end))
        for x in range(width):
            r, g, b = normal[y][x]
            if not keyed[x]:
                near = abs(r - 255) + g + abs(b - 255)
                expect(near > 60, "pixel (%d, %d) %r is nearly the key colour" % (x, y, normal[y][x]))
    expect(400 <= len(outline_runs) <= 450, "the disc spans %d rows" % len(outline_runs))

    inside_area = [[False] * width for _ in range(height)]
    for index, (command, (left, top, right, bottom), _, _) in enumerate(records):
        changed = 0
        for y in range(top, bottom):
            for x in range(left, right):
                inside_area[y][x] = True
                expect(normal[y][x] != key, "record %d (%s): pixel (%d, %d) is outside the outline" % (
                    index, command, x, y))
                changed += normal[y][x] != lit[y][x]
        area = (right - left) * (bottom - top)
        if command == "text":
            expect(changed == 0, "the status label lights up")
        else:
            expect(changed >= area // 5, "record %d (%s): only %d of %d pixels light up" % (index, command, changed,
                                                                                       area))
    different = sum(1 for y in range(height) for x in range(width)
                    if not inside_area[y][x] and normal[y][x] != lit[y][x])
    expect(different == 0, "%d pixels outside the control areas differ between the pictures" % different)
    finish("artwork")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("check", choices=["package", "artwork"])
    parser.add_argument("--packtool", required=True)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--artwork")
    args = parser.parse_args()
    if args.check == "package":
        package(args)
    else:
        if not args.artwork:
            parser.error("artwork needs --artwork")
        artwork(args)


if __name__ == "__main__":
    main()
