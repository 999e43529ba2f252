#!/usr/bin/python3
"""Reads the native program with readelf and checks Debian's hardening:

- a position-independent executable (ELF type DYN with an interpreter);
- full RELRO: a GNU_RELRO segment and every symbol bound at start (BIND_NOW);
- the stack protector (__stack_chk_fail is called);
- fortified library calls (_FORTIFY_SOURCE: some __*_chk function is called);
- a stack that is not executable.

  check_elf_hardening.py PROGRAM          Exit 0 pass, 1 fail.
"""

import re
import subprocess
import sys


def readelf(*args):
    return subprocess.run(["readelf", "-W", *args], check=True, stdout=subprocess.PIPE,
                          text=True, env={"LC_ALL": "C", "PATH": "/usr/bin:/bin"}).stdout


def main(argv):
    if len(argv) != 2:
        print(__doc__)
        return 2
    program = argv[1]
    header = readelf("-h", program)
    segments = readelf("-l", program)
    dynamic = readelf("-d", program)
    symbols = readelf("--dyn-syms", program)
    called = set(re.findall(r"\bUND\s+([^\s@]+)", symbols))
    fortified = sorted(name for name in called if re.fullmatch(r"__\w+_chk", name)
                       and name != "__stack_chk_fail")
    flags = " ".join(line for line in dynamic.splitlines() if "(FLAGS" in line)
    stack = re.search(r"GNU_STACK\s+.*\s(R?W?E?)\s+0x[0-9a-f]+$", segments, re.MULTILINE)
    checks = [
        ("position-independent executable",
         re.search(r"Type:\s+DYN\b", header) is not None and "INTERP" in segments),
        ("RELRO segment", "GNU_RELRO" in segments),
        ("bound at start (BIND_NOW)", re.search(r"\bBIND_NOW\b|\bNOW\b", flags) is not None),
        ("stack protector", "__stack_chk_fail" in called),
        ("fortified calls", bool(fortified)),
        ("no executable stack", stack is not None and "E" not in stack.group(1)),
    ]
    failed = [name for name, passed in checks if not passed]
    for name, passed in checks:
        print(f"{'ok  ' if passed else 'FAIL'} {name}")
    print(f"fortified: {', '.join(fortified) or 'none'}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
