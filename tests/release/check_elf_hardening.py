#!/usr/bin/python3
"""Reads the native program with readelf and checks Debian's hardening:

- a position-independent executable (ELF type DYN with an interpreter);
- full RELRO: a GNU_RELRO segment and every symbol bound at start (BIND_NOW);
- the stack protector (__stack_chk_fail is called);
- fortified library calls (from _FORTIFY_SOURCE: some __*_chk function is
  called; the level asked for is not recorded in the program);
- a stack that is not executable;
- the code-generation options, read back from the options GCC records in each
  compilation unit's debug information (DW_AT_producer): every unit of the
  program compiled with -fstack-protector-strong, -fstack-clash-protection
  and (on x86) -fcf-protection. A program without that record fails: the
  options cannot be read back from it.

  check_elf_hardening.py PROGRAM          Exit 0 pass, 1 fail.
"""

import re
import subprocess
import sys


def readelf(*args):
    return subprocess.run(["readelf", "-W", *args], check=True, stdout=subprocess.PIPE,
                          text=True, env={"LC_ALL": "C", "PATH": "/usr/bin:/bin"}).stdout


# The options every compilation unit must have been compiled with.
RECORDED_OPTIONS = [
    ("stack protector, strong (-fstack-protector-strong)", r"-fstack-protector-strong\b"),
    ("stack clash protection (-fstack-clash-protection)", r"-fstack-clash-protection\b"),
    ("control-flow protection (-fcf-protection)", r"-fcf-protection(=full)?(\s|$)"),
]


def producers(program):
    """The compiler and options recorded for each compilation unit."""
    info = readelf("--debug-dump=info", "--dwarf-depth=1", program)
    return [m.group(1).strip().lstrip(": ") for m in
            re.finditer(r"DW_AT_producer\s*:\s*(?:\([^)]*\)\s*)*(?:\(offset: 0x[0-9a-f]+\):\s*)?(.*)$",
                        info, re.MULTILINE)]


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
    units = producers(program)
    checks.append(("compilation units' options recorded", bool(units)))
    x86 = re.search(r"Machine:\s+(Advanced Micro Devices X86-64|Intel 80386)", header) is not None
    for name, pattern in RECORDED_OPTIONS:
        if "cf-protection" in pattern and not x86:
            continue
        without = [u for u in units if not re.search(pattern, u)]
        checks.append((f"{name} in all {len(units)} compilation units", bool(units) and not without))
        for unit in without[:3]:
            print(f"without {name}: {unit}")
    failed = [name for name, passed in checks if not passed]
    for name, passed in checks:
        print(f"{'ok  ' if passed else 'FAIL'} {name}")
    print(f"fortified: {', '.join(fortified) or 'none'}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
