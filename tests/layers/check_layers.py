#!/usr/bin/python3
"""Checks that the source folders include only downwards:

  app -> ui -> framework -> platform

platform/ is the bottom: it includes nothing of the folders above it, and the
framework includes nothing of the program (app/, ui/). Every quoted include
and every file a resource script names counts. Exit 0 pass, 1 fail.
"""

import os
import re
import sys

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
# The folders each layer may reach, itself included.
ALLOWED = {
    "platform": {"platform"},
    "framework": {"framework", "platform"},
}
TOP_FOLDERS = {"app", "ui", "framework", "platform", "resources", "tests", "bench", "tools"}
# `#include "dir/file"` in C++ and resource scripts, and file names in resource statements.
REFERENCE = re.compile(r'^\s*#\s*include\s*"([^"]+)"|^\s*\w+\s+\w+\s+"([^"]+)"', re.MULTILINE)


def references(path):
    with open(path, encoding="utf-8") as file:
        text = file.read()
    for match in REFERENCE.finditer(text):
        name = match.group(1) or match.group(2)
        line = text.count("\n", 0, match.start()) + 1
        yield line, name


def main():
    failures = []
    checked = 0
    for layer, allowed in ALLOWED.items():
        folder = os.path.join(SOURCE, layer)
        for directory, _, files in os.walk(folder):
            for name in sorted(files):
                if not name.endswith((".cpp", ".h", ".rc")):
                    continue
                path = os.path.join(directory, name)
                checked += 1
                for line, included in references(path):
                    top = included.split("/", 1)[0]
                    if "/" in included and top in TOP_FOLDERS and top not in allowed:
                        failures.append(f"{os.path.relpath(path, SOURCE)}:{line}: "
                                        f"{layer}/ reaches {top}/ ({included})")
    for failure in failures:
        print("FAIL:", failure)
    print(f"{checked} files checked, {len(failures)} upward references")
    return 1 if failures or checked == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
