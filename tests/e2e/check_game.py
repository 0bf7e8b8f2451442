#!/usr/bin/env python3
"""Checks a game folder after the installer's window has installed or uninstalled the pack, byte for byte.

  check_game.py installed --package DIR --original DIR --game DIR [--names FILE]
      DIR of --package is the package as "packtool extract" writes it. The game folder must hold exactly: the
      original game's files, every pack-folder entry under its lower-case name, the fixed copies over them (and
      over some of the game's files), the configuration program and the helper library, and the helper library's
      index quorvan/resource.lst of the pack folder as the unpacking left it (the install record among it), and the
      install record
      quorvan/install.rec (its header, its entry count and its checksum are checked). The copies, their targets and the
      replaced files are the installer's own table as "packtool names" prints it: FILE, or names.txt beside the
      original game folder (the demo pack's folder keeps it there), or else the output of the package tool of the
      build folder above the original game folder.
  check_game.py uninstalled --original DIR --game DIR
      The game folder holds exactly the original game's files and folders again, with their original bytes.

Paths are compared as bytes (file names are UTF-8 on this side of Wine, GBK inside the package and the index).
Prints every difference and exits 1 when there is one.
"""

import argparse
import hashlib
import os
import subprocess
import sys

PACK = b"quorvan"
INDEX = b"quorvan/resource.lst"
RECORD = b"quorvan/install.rec"

FAILURES = []


def names_of_build(inside):
    """"packtool names" of the build folder that holds the folder inside: the first folder above it with the
    native package tool (a cross build's host-tools/tools/packtool, or a host build's tools/packtool)."""
    folder = os.path.dirname(os.path.abspath(inside))
    while True:
        for tool in (os.path.join(folder, "host-tools", "tools", "packtool"), os.path.join(folder, "tools", "packtool")):
            if os.path.isfile(tool) and os.access(tool, os.X_OK):
                result = subprocess.run([tool, "names"], stdout=subprocess.PIPE)
                if result.returncode != 0:
                    sys.exit("check_game: %s names exited with %d" % (tool, result.returncode))
                return tool + " names", result.stdout
        parent = os.path.dirname(folder)
        if parent == folder:
            sys.exit("check_game: no names.txt beside %s and no package tool in a folder above it; give --names"
                     % inside)
        folder = parent


def name_table(args):
    """The installer's own table as "packtool names" printed it: (entry, target, role) with "/" separators, GBK
    decoded. It is read from --names, or from names.txt beside the original game folder (the demo pack's folder,
    where make_payload.py keeps it), or else asked of the package tool of the build folder that holds it."""
    path = args.names or os.path.join(os.path.dirname(os.path.abspath(args.original)), "names.txt")
    if args.names or os.path.isfile(path):
        try:
            data = read(path)
        except OSError as error:
            sys.exit("check_game: no name table (packtool names): %s" % error)
    else:
        path, data = names_of_build(args.original)
    rows = []
    for line in data.decode("gbk").splitlines():
        if line and not line.startswith("#"):
            fields = line.split("\t")
            if len(fields) != 3:
                sys.exit("check_game: %s: %r is not ENTRY<TAB>TARGET<TAB>ROLE" % (path, line))
            rows.append(tuple(field.replace("\\", "/") for field in fields))
    return rows



def expect(condition, message):
    if not condition:
        FAILURES.append(message)
    return condition


def finish(what):
    for message in FAILURES[:40]:
        print("FAIL: " + message)
    if len(FAILURES) > 40:
        print("FAIL: ... and %d more" % (len(FAILURES) - 40))
    if FAILURES:
        sys.exit(1)
    print("%s: all checks passed" % what)


def shown(path):
    return path.decode("utf-8", "replace")


def tree(root):
    """Every file (relative path -> absolute path) and every folder (relative paths) under root, as bytes."""
    root = os.fsencode(root)
    files, folders = {}, set()
    for folder, subfolders, names in os.walk(root):
        relative = os.path.relpath(folder, root)
        prefix = b"" if relative == b"." else relative + b"/"
        for name in subfolders:
            folders.add(prefix + name)
        for name in names:
            files[prefix + name] = os.path.join(folder, name)
    return files, folders


def read(path):
    with open(path, "rb") as f:
        return f.read()


def compare_files(expected, game):
    """expected: relative path -> bytes. Reports missing, differing and unexpected files of the game folder."""
    actual, _ = tree(game)
    for path in sorted(expected):
        if expect(path in actual, "%s is missing" % shown(path)):
            data = read(actual[path])
            expect(data == expected[path], "%s differs from what was expected (%d bytes, expected %d)"
                   % (shown(path), len(data), len(expected[path])))
    for path in sorted(set(actual) - set(expected)):
        expect(False, "%s should not be there" % shown(path))
    return actual


def check_index(package_files, game):
    """resource.lst lists the pack folder as the unpacking left it, before the fixed copies."""
    path = os.path.join(os.fsencode(game), INDEX)
    if not expect(os.path.isfile(path), "the helper library wrote no %s" % shown(INDEX)):
        return
    listed = {}
    data = read(path)
    expect(data.endswith(b"\r\n"), "resource.lst does not end with CR LF")
    for line in data.split(b"\r\n")[:-1]:
        fields = line.split(b"\t")
        if not expect(len(fields) == 3, "resource.lst line %r has not three fields" % line):
            continue
        name = fields[0].decode("gbk").encode("utf-8").replace(b"\\", b"/")
        listed[PACK + b"/" + name] = (int(fields[1]), fields[2].decode("ascii"))
    for name in sorted(set(package_files) | set(listed)):
        if not expect(name in listed, "resource.lst leaves out %s" % shown(name)):
            continue
        if not expect(name in package_files, "resource.lst lists %s, which was never unpacked" % shown(name)):
            continue
        body = package_files[name]
        expect(listed[name] == (len(body), hashlib.md5(body).hexdigest()),
               "resource.lst has size and digest %s for %s, the unpacked file has %s"
               % (listed[name], shown(name), (len(body), hashlib.md5(body).hexdigest())))


def check_record(expected_count, game):
    """The install record: "QVRECORD", version 1, one entry per file written, its checksum at the end."""
    path = os.path.join(os.fsencode(game), RECORD)
    if not expect(os.path.isfile(path), "the install wrote no %s" % shown(RECORD)):
        return
    data = read(path)
    if not expect(len(data) >= 48 and data[:8] == b"QVRECORD", "%s is no install record" % shown(RECORD)):
        return
    expect(int.from_bytes(data[8:12], "little") == 1, "%s has version %d" % (shown(RECORD), data[8]))
    expect(hashlib.md5(data[:-32]).hexdigest().encode() == data[-32:], "%s fails its checksum" % shown(RECORD))
    count = int.from_bytes(data[12:16], "little")
    expect(count == expected_count, "%s names %d files, the install wrote %d" % (shown(RECORD), count, expected_count))


def installed(args):
    extracted, _ = tree(args.package)
    original, _ = tree(args.original)
    pack = {path: read(source) for path, source in extracted.items() if path.startswith(PACK + b"/")}
    expect(len(pack) > 100, "the package holds only %d pack-folder files" % len(pack))
    names = name_table(args)
    # Written on the user-interface thread before the unpacking starts, then FinishInstall's copies.
    first_files = [(entry.lower(), target) for entry, target, role in names if role in ("config", "library")]
    copy_table = [(entry.lower(), target) for entry, target, role in names if role == "copy"]
    # The game's files that the installation replaces.
    replaced = [target.encode() for _, target, role in names if role == "restore"]
    expect(len(copy_table) > 0 and len(first_files) == 2 and replaced, "the name table lacks copies or originals")

    expected = {path: read(source) for path, source in original.items()}
    expected.update(pack)
    for entry, target in first_files + copy_table:
        source = extracted.get(entry.encode())
        if expect(source is not None, "the package has no entry %s" % entry):
            expected[target.encode()] = read(source)
    # The test means something only if the copies and replacements change bytes.
    for path in replaced:
        expect(path not in original or expected[path] != read(original[path]),
               "the package leaves %s as it was" % shown(path))
    overwritten = [t for _, t in copy_table if t.encode() in pack and pack[t.encode()] != expected[t.encode()]]
    expect(overwritten, "no fixed copy differs from the pack-folder file it replaces")

    # The install record is in the pack folder before the helper library indexes it.
    record = os.path.join(os.fsencode(args.game), RECORD)
    indexed = dict(pack)
    if os.path.isfile(record):
        indexed[RECORD] = read(record)
    check_index(indexed, args.game)
    index = os.path.join(os.fsencode(args.game), INDEX)
    if os.path.isfile(index):
        expected[INDEX] = read(index)  # checked line by line above
    # Every file the install wrote: the pack folder, the two first files and the copies' targets, once each.
    written = {path.lower() for path in pack} | {target.encode().lstrip(b"/").lower() for _, target in
                                                  first_files + copy_table}
    check_record(len(written), args.game)
    if os.path.isfile(record):
        expected[RECORD] = read(record)  # checked above
    compare_files(expected, args.game)
    finish("installed game folder (%d files, %d from the pack folder, %d fixed copies over them)"
           % (len(expected), len(pack), len(overwritten)))


def uninstalled(args):
    original, original_folders = tree(args.original)
    compare_files({path: read(source) for path, source in original.items()}, args.game)
    _, folders = tree(args.game)
    for folder in sorted(folders - original_folders):
        expect(False, "folder %s is still there" % shown(folder))
    finish("uninstalled game folder (%d files, as the original game)" % len(original))


def main():
    parser = argparse.ArgumentParser()
    sub = parser.add_subparsers(dest="what", required=True)
    p = sub.add_parser("installed")
    p.add_argument("--package", required=True)
    p.add_argument("--original", required=True)
    p.add_argument("--game", required=True)
    p.add_argument("--names", help='what "packtool names" printed (default: names.txt beside --original)')
    p = sub.add_parser("uninstalled")
    p.add_argument("--original", required=True)
    p.add_argument("--game", required=True)
    args = parser.parse_args()
    installed(args) if args.what == "installed" else uninstalled(args)


if __name__ == "__main__":
    sys.dont_write_bytecode = True
    main()
