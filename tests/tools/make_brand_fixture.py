#!/usr/bin/env python3
"""Inputs for the "packtool brand" tests: pictures, icons and cursors, and one resource script per set.

  make_brand_fixture.py --out DIR

DIR/<set>/ receives window1.bmp, window2.bmp, app.ico, hand.cur (where the set has its own), resources.rc and,
except for "ours", brand.args: the packtool brand options (one a line) that turn an image built from ours.rc into
one whose resources are those of <set>.rc. Sets:

  ours   the image before branding: pictures, icon, cursor, a dialog, a version resource and a manifest
  big    larger pictures (the resources grow), a three-image icon, another cursor, every version text set
  small  7 x 5 pictures (the resources shrink; rows padded to 4 bytes), no icon or cursor, two texts set
"""
import argparse
import os
import struct

LANGUAGE = "LANGUAGE LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED"


def bmp(width, height, seed):
    """A 24-bit bottom-up BMP file with a pattern of its own."""
    row = (width * 3 + 3) & ~3
    pixels = bytearray()
    for y in range(height):
        line = bytearray()
        for x in range(width):
            line += bytes(((x * 7 + seed) & 255, (y * 5 + seed * 3) & 255, (x ^ y ^ seed) & 255))
        pixels += line + bytes(row - len(line))
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + len(header) + len(pixels), 0, 0, 54) + header + bytes(pixels)


def icon_image(size, bits, seed):
    """One icon image as an .ico holds it: a BITMAPINFOHEADER of twice the height, the colours, the AND mask."""
    colour_row = (size * bits // 8 + 3) & ~3
    mask_row = ((size + 31) // 32) * 4
    colours = bytes((i * 13 + seed) & 255 for i in range(colour_row * size))
    mask = bytes((i * 3 + seed) & 255 for i in range(mask_row * size))
    palette = b""
    if bits == 1:
        palette = b"\x00\x00\x00\x00\xff\xff\xff\x00"
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, len(colours) + len(mask), 0, 0, 0, 0)
    return header + palette + colours + mask


def icon_file(kind, entries):
    """An .ico (kind 1) or .cur (kind 2): entries are (size, bits, a, b, seed); a and b are the directory's words."""
    images = [icon_image(size, bits, seed) for size, bits, _, _, seed in entries]
    out = struct.pack("<HHH", 0, kind, len(entries))
    offset = 6 + 16 * len(entries)
    for (size, bits, a, b, _), image in zip(entries, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 2 if bits == 1 else 0, 0, a, b, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def rc_quote(text):
    return '"' + text.replace('"', '""') + '"'


def resource_script(folder, pictures, icon, cursor, versions, fixed):
    """The set's resource script: its own files where it has them, ours otherwise."""
    strings = "\n".join("            VALUE %s, %s" % (rc_quote(k), rc_quote(v)) for k, v in versions)
    return f"""#pragma code_page(65001)
#include <windows.h>
{LANGUAGE}
WINDOW1.BMP BITMAP "{pictures}/window1.bmp"
WINDOW2.BMP BITMAP "{pictures}/window2.bmp"
102 CURSOR "{cursor}/hand.cur"
106 ICON "{icon}/app.ico"
101 DIALOGEX 0, 0, 100, 50
STYLE DS_SETFONT | WS_POPUP | WS_CAPTION
CAPTION "设置"
FONT 12, "宋体", 0, 0, 134
BEGIN
    DEFPUSHBUTTON "返回", IDOK, 20, 20, 50, 14
END
1 RT_MANIFEST "{folder}/../manifest.xml"
VS_VERSION_INFO VERSIONINFO
FILEVERSION {fixed[0]}
PRODUCTVERSION {fixed[1]}
FILEFLAGSMASK VS_FFI_FILEFLAGSMASK
FILEFLAGS 0
FILEOS VOS_NT_WINDOWS32
FILETYPE VFT_APP
FILESUBTYPE VFT2_UNKNOWN
BEGIN
    BLOCK "StringFileInfo"
    BEGIN
        BLOCK "080404b0"
        BEGIN
{strings}
        END
    END
    BLOCK "VarFileInfo"
    BEGIN
        VALUE "Translation", 0x0804, 1200
    END
END
"""


OUR_VERSIONS = [
    ("CompanyName", "Quorvan 汉化组"),
    ("FileDescription", "安装程序"),
    ("FileVersion", "1.0.0.0"),
    ("InternalName", "QuorvanSetup"),
    ("LegalCopyright", "版权所有 (C) Quorvan 汉化组"),
    ("OriginalFilename", "QuorvanSetup.exe"),
    ("ProductName", "《真.三国无双3》简体中文汉化包"),
    ("ProductVersion", "1.0.0.0"),
]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    out = os.path.abspath(parser.parse_args().out)
    sets = {
        "ours": dict(pictures=((120, 90, 1), (120, 90, 2)), icon=[(16, 32, 1, 32, 5), (32, 32, 1, 32, 6)],
                     cursor=[(32, 1, 6, 1, 7)], sets=[]),
        "big": dict(pictures=((300, 200, 3), (320, 210, 4)),
                    icon=[(16, 32, 1, 32, 8), (24, 8, 1, 8, 9), (48, 32, 1, 32, 10)], cursor=[(32, 1, 3, 4, 11)],
                    sets=[("ProductName", "另一个汉化包 “测试” 😀"), ("ProductVersion", "2.5.0.17"),
                          ("FileVersion", "65535.0.1.2"), ("FileDescription", "Another pack's setup"),
                          ("CompanyName", "The Maintainers"), ("LegalCopyright", "© 2026 somebody else")]),
        "small": dict(pictures=((7, 5, 12), (7, 5, 13)), icon=None, cursor=None,
                      sets=[("ProductName", ""), ("ProductVersion", "3.1 beta")]),
    }
    os.makedirs(out, exist_ok=True)
    with open(os.path.join(out, "manifest.xml"), "w", encoding="utf-8") as f:
        f.write('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                '<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0"/>\n')
    ours_dir = os.path.join(out, "ours")
    for name, contents in sets.items():
        folder = os.path.join(out, name)
        os.makedirs(folder, exist_ok=True)
        for index, (width, height, seed) in enumerate(contents["pictures"]):
            with open(os.path.join(folder, "window%d.bmp" % (index + 1)), "wb") as f:
                f.write(bmp(width, height, seed))
        if contents["icon"]:
            with open(os.path.join(folder, "app.ico"), "wb") as f:
                f.write(icon_file(1, contents["icon"]))
        if contents["cursor"]:
            with open(os.path.join(folder, "hand.cur"), "wb") as f:
                f.write(icon_file(2, contents["cursor"]))
        versions = [(k, dict(contents["sets"]).get(k, v)) for k, v in OUR_VERSIONS]
        values = dict(versions)

        def fixed(text):
            parts = text.split(".")
            if len(parts) == 4 and all(p.isdigit() for p in parts):
                return ", ".join(parts)
            return "1, 0, 0, 0"
        script = resource_script(folder, folder, folder if contents["icon"] else ours_dir,
                                 folder if contents["cursor"] else ours_dir, versions,
                                 (fixed(values["FileVersion"]), fixed(values["ProductVersion"])))
        with open(os.path.join(folder, "resources.rc"), "w", encoding="utf-8") as f:
            f.write(script)
        if name == "ours":
            continue
        args = ["--normal", os.path.join(folder, "window1.bmp"), "--hot", os.path.join(folder, "window2.bmp")]
        if contents["icon"]:
            args += ["--icon", os.path.join(folder, "app.ico")]
        if contents["cursor"]:
            args += ["--cursor", os.path.join(folder, "hand.cur")]
        for key, value in contents["sets"]:
            args += ["--set", "%s=%s" % (key, value)]
        with open(os.path.join(folder, "brand.args"), "w", encoding="utf-8") as f:
            f.write("\n".join(args) + "\n")


if __name__ == "__main__":
    main()
