#!/usr/bin/env python3
"""Holds the product folders to the README's "Which folder uses which": every #include "FOLDER/..." of a C++ file in
a product folder names that folder itself or one the README lets it use. A README entry ending in "/" allows the
whole folder, one ending in ".h" that header alone; the entry point's line lets its one file use what it wires.

  check_layering.py ROOT

Prints each include the README does not allow, with its file and line, and exits 1 when there is one.
"""

import os
import re
import sys

HEADING = "### Which folder uses which"
ENTRY = re.compile(r"\b([A-Za-z]\w*/(?:[\w.]+\.h)?)")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SOURCES = (".cpp", ".h", ".c", ".rc")


def read_rules(readme):
    """{folder: set of allowed "folder/" or "folder/file.h"} and {file: allowed} from the README's diagram."""
    with open(readme, encoding="utf-8") as f:
        text = f.read()
    start = text.index(HEADING)
    block = text[text.index("```", start) + 3:]
    block = block[block.index("\n") + 1:block.index("```")]
    folders, files = {}, {}
    current = None
    for line in block.splitlines():
        if not line.strip():
            continue
        if not line.startswith(" "):
            head, _, rest = line.partition(" ")
            if head.endswith("/"):
                current = folders.setdefault(head.rstrip("/"), set())
            else:  # a single file: "NAME.cpp  what it wires", its folder named in the text
                current = files.setdefault(head, set())
        else:
            rest = line
        # Descriptions in parentheses name folders too ("(the helper library's caller, ...)"): only what stands
        # outside them are rules.
        rest = re.sub(r"\([^)]*\)", "", rest)
        current.update(m.group(1) for m in ENTRY.finditer(rest))
    return folders, files


def allowed(include, own, rules):
    top = include.split("/", 1)[0]
    return top == own or (top + "/") in rules or include in rules


def main():
    root = sys.argv[1]
    folders, files = read_rules(os.path.join(root, "README.md"))
    if not folders:
        sys.exit("the README's \"%s\" names no folder" % HEADING)
    product = set(folders) | {rule.split("/", 1)[0] for rules in folders.values() for rule in rules}
    faults = checked = 0
    for folder in sorted(folders):
        for top, dirs, names in os.walk(os.path.join(root, folder)):
            dirs.sort()
            for name in sorted(names):
                if not name.endswith(SOURCES):
                    continue
                path = os.path.join(top, name)
                rules = folders[folder] | files.get(name, set())
                with open(path, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        match = INCLUDE.match(line)
                        if not match or "/" not in match.group(1):
                            continue
                        include = match.group(1)
                        if include.split("/", 1)[0] not in product:
                            continue
                        checked += 1
                        if not allowed(include, folder, rules):
                            faults += 1
                            print("%s:%d: %s may not include \"%s\" (README: %s uses %s)" % (
                                os.path.relpath(path, root), number, folder, include, folder,
                                ", ".join(sorted(rules)) or "nothing of ours"))
    print("%d includes between product folders checked against the README, %d not allowed" % (checked, faults))
    sys.exit(1 if faults else 0)


if __name__ == "__main__":
    main()
