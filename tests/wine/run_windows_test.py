#!/usr/bin/python3
"""Runs a Windows GoogleTest executable under Wine, for CTest.

  run_windows_test.py PREFIX EXE [ARGUMENTS...]

PREFIX is the Wine prefix to run in; it is made on first use (one process at
a time, under a lock). The program's output passes through and its status is
returned. Wine runs a 32-bit program without its 32-bit libraries by doing
nothing and ending with 0, so the program must prove that it ran: it is asked
for GoogleTest's XML report (of the tests it ran, or of the list it printed),
and the run fails unless that report appears and names at least one test.
"""

import fcntl
import os
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

import ia32_code

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
SERVER_LINGER = 20  # seconds
ATTEMPTS = 3


def environment(prefix):
    env = dict(os.environ)
    # No display: the core tests open no window. No Mono or Gecko prompts.
    env.update(WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    for name in ("DISPLAY", "WAYLAND_DISPLAY"):
        env.pop(name, None)
    return env


def ensure_prefix(prefix):
    os.makedirs(os.path.dirname(prefix) or ".", exist_ok=True)
    with open(prefix + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if os.path.exists(os.path.join(prefix, "system.reg")):
            return
        env = environment(prefix)
        made = subprocess.run([WINE, "wineboot", "-i"], env=env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=500)
        # A normal exit of the server writes the registry to the prefix.
        subprocess.run([WINESERVER, "-w"], env=env, timeout=60)
        if made.returncode != 0 or not os.path.exists(os.path.join(prefix, "system.reg")):
            sys.exit(f"run_windows_test: cannot make the Wine prefix {prefix}")


def tests_in(report):
    """How many tests the XML report names (run or listed), or None."""
    try:
        root = ElementTree.parse(report).getroot()
    except (OSError, ElementTree.ParseError):
        return None
    return sum(1 for _ in root.iter("testcase"))


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    prefix, exe, arguments = os.path.abspath(sys.argv[1]), sys.argv[2], sys.argv[3:]
    if any(a.startswith("--gtest_output") for a in arguments):
        sys.exit("run_windows_test: the report is this runner's; give no --gtest_output")
    ensure_prefix(prefix)
    # Wine's server can be ending just as a run begins (it lingers a while
    # after its last client), and the run then fails at once without running
    # the program. A run that leaves no report is tried again; one that never
    # runs still fails.
    for attempt in range(1, ATTEMPTS + 1):
        status, count = run_once(prefix, exe, arguments, last=attempt == ATTEMPTS)
        if count:
            return status
        if attempt < ATTEMPTS:
            print(f"run_windows_test: no report from {os.path.basename(exe)} (status {status}); "
                  "running it again", file=sys.stderr)
    cause = (ia32_code.refused() or
             "a 32-bit program needs Wine's 32-bit libraries: tools/install-wine32.sh")
    print(f"run_windows_test: {os.path.basename(exe)} did not run under Wine "
          f"(no report of any test appeared; status {status}); {cause}", file=sys.stderr)
    return 1


def run_once(prefix, exe, arguments, last):
    """Runs the program once: (its status, the tests its report names or None).
    Its outputs are passed on when it left a report, or when this is the last try."""
    # Starting Wine's server takes seconds; one that outlives each run by a
    # while serves the next test too, and then ends by itself. It is started
    # here, holding none of this runner's outputs: CTest reads them until the
    # last holder has gone.
    subprocess.run([WINESERVER, "-p" + str(SERVER_LINGER)], env=environment(prefix), timeout=60,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    with tempfile.TemporaryDirectory(prefix="avendrel-wine-report-") as folder:
        report = os.path.join(folder, "report.xml")
        # Wine's drive Z: is the root of this machine's file system.
        windows_report = "Z:" + report.replace("/", "\\")
        # The program's outputs go to files, passed on once it has ended: the
        # services that Wine starts with a program inherit its outputs and
        # live as long as the server, and CTest would wait for them.
        with open(os.path.join(folder, "out"), "w+b") as out, \
                open(os.path.join(folder, "err"), "w+b") as err:
            status = subprocess.run([WINE, exe, *arguments, "--gtest_output=xml:" + windows_report],
                                    env=environment(prefix), stdin=subprocess.DEVNULL, stdout=out,
                                    stderr=err).returncode
            count = tests_in(report)
            if count or last:
                for source, target in ((out, sys.stdout), (err, sys.stderr)):
                    source.seek(0)
                    target.flush()
                    target.buffer.write(source.read())
                    target.flush()
    return status, count

if __name__ == "__main__":
    sys.exit(main())
