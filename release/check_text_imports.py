#!/usr/bin/env python3
"""Fails when a shipped Windows file imports a narrow (A) function of the system that carries text.

  check_text_imports.py --objdump OBJDUMP --nm NM FILE...

The program's texts are GBK and reach the system only as UTF-16, converted with code page 936 (whatever the system's
own code page is): an A function would convert with the system's code page instead, and on a Japanese, Western or
UTF-8 system a Chinese path would name another file or none. For the system DLLs below, an import NAME ending in "A"
is refused when the DLL also exports NAME with "W" in its place (read from the cross toolchain's import library of
that DLL); so are the narrow path functions that have no W twin by that name. GetProcAddress and the like take
export names, never texts, and are allowed, as are the few that the statically linked runtime imports with
ASCII texts of its own (listed below). Prints every refused import and exits 1 when there is one.
"""

import argparse
import os
import re
import subprocess
import sys

TEXT_DLLS = ("kernel32", "user32", "gdi32", "advapi32", "shell32", "comdlg32")
# Narrow functions that take a path or a command line and have a wide counterpart under another name.
NARROW_WITHOUT_TWIN = {"WinExec", "OpenFile", "_lopen", "_lcreat", "LoadModule"}
# Narrow by nature and carrying no text of ours: export names.
ALLOWED_NARROW = {"GetProcAddress"}
# Imported by the runtime that every Windows file of ours links statically (the C runtime's start-up, winpthread's
# unnamed events and semaphores, libstdc++'s system error texts, debug output), never with a text of ours. The
# x86_64 build imports nothing else of the runtime's, so a call of ours to any other A function fails there.
RUNTIME_NARROW = {"CreateEventA", "CreateSemaphoreA", "FormatMessageA", "GetStartupInfoA", "OutputDebugStringA"}
# i686 only: libgcc looks for its DLL's frame registration by the DLL's ASCII name.
RUNTIME_NARROW_I386 = {"GetModuleHandleA", "LoadLibraryA"}


def run(*command):
    return subprocess.run(command, check=True, stdout=subprocess.PIPE).stdout.decode("latin-1")


def imports_by_dll(objdump, path):
    """{lower-case DLL name without .dll: [function names]} from the import table as objdump -p prints it."""
    imports = {}
    current = None
    for line in run(objdump, "-p", path).splitlines():
        dll = re.match(r"\s*DLL Name: (\S+)", line)
        if dll:
            current = imports.setdefault(re.sub(r"\.dll$", "", dll.group(1).lower()), [])
            continue
        entry = re.match(r"\s*[0-9a-fA-F]+\s+\d+\s+(\S+)\s*$", line)
        if entry and current is not None:
            current.append(entry.group(1))
    return imports


def exported_names(nm, dll):
    """The functions the cross toolchain's import library of dll names (undecorated)."""
    triple = os.path.basename(nm)[: -len("-nm")]
    library = os.path.join("/usr", triple, "lib", "lib%s.a" % dll)
    names = set()
    for symbol in re.findall(r"__imp_(\S+)", run(nm, "--defined-only", library)):
        names.add(symbol.lstrip("_").split("@")[0])
    return names


def is_i386(objdump, path):
    return "pei-i386" in run(objdump, "-f", path)


def refused_imports(objdump, nm, path):
    refused = []
    allowed = ALLOWED_NARROW | RUNTIME_NARROW | (RUNTIME_NARROW_I386 if is_i386(objdump, path) else set())
    for dll, functions in sorted(imports_by_dll(objdump, path).items()):
        if dll not in TEXT_DLLS:
            continue
        exported = exported_names(nm, dll)
        for name in functions:
            if name in allowed:
                continue
            if name in NARROW_WITHOUT_TWIN or (name.endswith("A") and name[:-1] + "W" in exported):
                refused.append("%s.dll!%s" % (dll, name))
    return refused


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--nm", required=True)
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()
    failed = False
    for path in args.files:
        for name in refused_imports(args.objdump, args.nm, path):
            print("FAIL: %s imports %s, which converts text with the system's code page" % (os.path.basename(path), name))
            failed = True
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
