#!/usr/bin/env python3
"""Checks the shipped Windows files of a build's dist folder as Explorer, Windows and a crash report see them.

  check_shipped.py --dist DIR --objdump OBJDUMP --windres WINDRES --work DIR

- QuorvanSetup-image.exe and SavePatch.qvx carry a version resource whose texts read as the Chinese they were
  written as (the resource script's code page), under language 0804 and code page 1200;
- the program's manifest asks for administrator rights, names the supported Windows versions, and names no Common
  Controls 6 dependency (the classic controls are what the skinning paints over);
- the three Windows files hold no debug sections and no symbol table, and their .gnu_debuglink names a file in
  symbols/ whose CRC matches;
- the three Windows files import only KnownDLLs (release/known-dlls.txt): any other DLL would be looked for beside
  the program before the system folder;
- the program and the helper library import no narrow (A) system function that carries text
  (release/check_text_imports.py).
Prints every difference and exits 1 when there is one.
"""

import argparse
import os
import re
import struct
import subprocess
import sys
import zlib

VERSION_TEXTS = {
    "QuorvanSetup-image.exe": {
        "CompanyName": "Quorvan 汉化组",
        "FileDescription": "《真.三国无双3》简体中文汉化包 安装程序",
        "LegalCopyright": "版权所有 (C) Quorvan 汉化组",
        "OriginalFilename": "QuorvanSetup.exe",
        "ProductName": "《真.三国无双3》简体中文汉化包",
    },
    "SavePatch.qvx": {
        "CompanyName": "Quorvan 汉化组",
        "FileDescription": "《真.三国无双3》简体中文汉化包 资源安装库",
        "OriginalFilename": "SavePatch.qvx",
        "ProductName": "《真.三国无双3》简体中文汉化包",
    },
}
SUPPORTED_OS = 5  # Vista, 7, 8, 8.1, 10 and 11
SHIPPED_WINDOWS_FILES = ("QuorvanSetup-image.exe", "SavePatch.qvx", "packtool.exe")
RELEASE_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "release")
KNOWN_DLLS_FILE = os.path.join(RELEASE_DIR, "known-dlls.txt")
TEXT_CHECKED_FILES = ("QuorvanSetup-image.exe", "SavePatch.qvx")

FAILURES = []


def expect(condition, message):
    if not condition:
        FAILURES.append(message)
    return condition


def run(*command):
    return subprocess.run(command, check=True, stdout=subprocess.PIPE).stdout.decode("latin-1")


def rc_text(literal):
    """The text of a windres -O rc string literal: "..." or L"..." with \\x escapes."""
    wide = literal.startswith("L")
    body = literal[2:-1] if wide else literal[1:-1]
    pattern = r"\\x([0-9a-fA-F]{1,4})" if wide else r"\\x([0-9a-fA-F]{1,2})"
    return re.sub(pattern, lambda m: chr(int(m.group(1), 16)), body)


def version_resource(windres, path):
    dump = run(windres, "-i", path, "-O", "rc")
    values = {m.group(1): rc_text(m.group(2)) for m in re.finditer(r'VALUE "(\w+)", (L?"[^"]*")', dump)}
    blocks = re.findall(r'BLOCK "([0-9a-fA-F]{8})"', dump)
    translation = re.search(r'VALUE "Translation", (0x[0-9a-f]+), (\d+)', dump)
    return values, blocks, translation


def manifest_of(windres, path):
    dump = run(windres, "-i", path, "-O", "rc")
    match = re.search(r"1 24 /\* RT_MANIFEST \*/\s*BEGIN(.*?)END", dump, re.S)
    if not match:
        return None
    words = re.findall(r"0x([0-9a-f]+)L", match.group(1))
    data = b"".join(struct.pack("<I", int(w, 16)) for w in words)
    return data.rstrip(b"\0").decode("utf-8", errors="replace")


def check_version(windres, dist, name):
    values, blocks, translation = version_resource(windres, os.path.join(dist, name))
    expect(blocks == ["080404b0"], "%s: string blocks %r, expected 080404b0" % (name, blocks))
    expect(translation is not None and translation.groups() == ("0x804", "1200"),
           "%s: translation %s, expected 0x804 1200" % (name, translation and translation.groups()))
    for key, text in VERSION_TEXTS[name].items():
        expect(values.get(key) == text, "%s: %s is %r, expected %r" % (name, key, values.get(key), text))
    expect(values.get("FileVersion") == values.get("ProductVersion") and
           re.fullmatch(r"\d+\.\d+\.\d+\.\d+", values.get("FileVersion") or ""),
           "%s: versions %r / %r" % (name, values.get("FileVersion"), values.get("ProductVersion")))


def check_manifest(windres, dist):
    manifest = manifest_of(windres, os.path.join(dist, "QuorvanSetup-image.exe"))
    if not expect(manifest is not None, "QuorvanSetup-image.exe has no manifest (resource 1 of type 24)"):
        return
    expect('<requestedExecutionLevel level="requireAdministrator" uiAccess="false"/>' in manifest,
           "the manifest does not ask for administrator rights")
    expect(len(re.findall(r"<supportedOS Id=", manifest)) == SUPPORTED_OS,
           "the manifest names %d supported Windows versions, expected %d" %
           (len(re.findall(r"<supportedOS Id=", manifest)), SUPPORTED_OS))
    expect("Common-Controls" not in manifest and "<dependency" not in manifest,
           "the manifest names a dependency: the controls would lose the classic look the skinning paints over")


def check_stripped(objdump, dist, work, name):
    path = os.path.join(dist, name)
    headers = run(objdump, "-h", path)
    debug = sorted(set(re.findall(r"\s(\.debug_\w+)\s", headers)))
    expect(not debug, "%s still holds %s" % (name, " ".join(debug)))
    expect("no symbols" in run(objdump, "-t", path), "%s still holds a symbol table" % name)
    # The section: the .debug file's name, NUL, padding to 4 bytes, the file's CRC-32 (little-endian).
    objcopy = re.sub(r"objdump$", "objcopy", objdump)
    section = os.path.join(work, name + ".debuglink")
    subprocess.run([objcopy, "--dump-section", ".gnu_debuglink=" + section, path, os.devnull], check=False,
                   stderr=subprocess.DEVNULL)
    raw = b""
    if os.path.exists(section):
        with open(section, "rb") as f:
            raw = f.read()
        os.remove(section)
    target = raw.partition(b"\0")[0]
    if not expect(target, "%s has no .gnu_debuglink" % name):
        return
    debug_file = os.path.join(dist, "symbols", target.decode())
    if not expect(os.path.isfile(debug_file), "%s links to %s, which symbols/ lacks" % (name, target.decode())):
        return
    crc = struct.unpack("<I", raw[-4:])[0]
    with open(debug_file, "rb") as f:
        actual = zlib.crc32(f.read()) & 0xFFFFFFFF
    expect(crc == actual, "%s: debug link CRC %08x, the file's is %08x" % (name, crc, actual))
    expect(".debug_info" in run(objdump, "-h", debug_file), "%s holds no .debug_info" % debug_file)


def known_dlls():
    with open(KNOWN_DLLS_FILE, encoding="utf-8") as f:
        return {line.strip().lower() for line in f if line.strip() and not line.startswith("#")}


def imported_dlls(objdump, path):
    """Every DLL of the import table and of the delay-import table, as objdump -p names them."""
    return re.findall(r"DLL Name: (\S+)", run(objdump, "-p", path))


def check_imports(objdump, dist, name, allowed):
    imports = imported_dlls(objdump, os.path.join(dist, name))
    expect(imports, "%s: objdump shows no imports at all" % name)
    for dll in imports:
        expect(dll.lower() in allowed,
               "%s imports %s, which is not a KnownDLL: the loader would look for it beside the program first"
               % (name, dll))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--dist", required=True)
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--windres", required=True)
    parser.add_argument("--nm", required=True)
    parser.add_argument("--work", required=True, help="a folder for the sections read out of the files")
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    for name in VERSION_TEXTS:
        check_version(args.windres, args.dist, name)
    check_manifest(args.windres, args.dist)
    allowed = known_dlls()
    for name in SHIPPED_WINDOWS_FILES:
        check_stripped(args.objdump, args.dist, args.work, name)
        check_imports(args.objdump, args.dist, name, allowed)
    # Imported here, not at the top: maintainer.py takes rc_text from this file where release/ is not there (the
    # 32-bit guest has only the files its walks name).
    sys.path.insert(0, RELEASE_DIR)
    import check_text_imports

    for name in TEXT_CHECKED_FILES:
        for refused in check_text_imports.refused_imports(args.objdump, args.nm, os.path.join(args.dist, name)):
            expect(False, "%s imports %s, which converts text with the system's code page" % (name, refused))
    for failure in FAILURES:
        print("FAIL: %s" % failure)
    if FAILURES:
        sys.exit(1)
    print("version resources, manifest, stripped files, debug links and imports as expected")


if __name__ == "__main__":
    main()
