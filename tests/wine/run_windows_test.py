#!/usr/bin/python3
"""Runs a Windows GoogleTest executable under Wine, for CTest.

  run_windows_test.py PREFIX EXE [ARGUMENTS...]

The Wine follows EXE's architecture: a 64-bit program runs under wine64 in a
64-bit prefix, a 32-bit one under the classic 32-bit loader of Debian's
wine32:i386 (tools/install-wine32.sh) in a 32-bit prefix, as the end-to-end
tests run the two builds. PREFIX is made on first use (one process at a time,
under a lock), and made again when it is of the other kind. The program's
output passes through and its status is returned. A program that does not
run can still end with 0, so it must prove that it ran: it is asked for
GoogleTest's XML report (of the tests it ran, or of the list it printed), and
the run fails unless that report appears and names at least one test.

Everything is bounded: the whole run ends within BUDGET seconds (below the
time-out CTest gives each Windows test), and what it started ends with it.
"""

import ctypes
import fcntl
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ElementTree

import ia32_code
import wine_session

WINESERVER = wine_session.WINESERVER
SERVER_LINGER = 20  # seconds
ATTEMPTS = 3
# Below the time-out that CTest gives each Windows test (at least 300 s):
# the first run of a build also makes its prefix, in some 10 to 60 s.
BUDGET = 280
PREFIX_TIMEOUT = 200


class OutOfTime(Exception):
    pass


class Deadline:
    def __init__(self, seconds):
        self.end = time.monotonic() + seconds

    def limit(self, seconds):
        """The time-out of a step: `seconds`, or what is left if that is less."""
        left = self.end - time.monotonic()
        if left <= 1:
            raise OutOfTime()
        return min(seconds, left)


def _die_with_parent():
    ctypes.CDLL("libc.so.6").prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def environment(prefix, winearch):
    env = dict(os.environ)
    # No display: the core tests open no window. No Mono or Gecko prompts.
    env.update(WINEPREFIX=prefix, WINEARCH=winearch, WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=")
    for name in ("DISPLAY", "WAYLAND_DISPLAY"):
        env.pop(name, None)
    return env


def run(command, env, deadline, seconds, **options):
    """subprocess.run within the deadline; on a time-out the prefix's Wine
    server and every program of it are ended too."""
    try:
        return subprocess.run(command, env=env, timeout=deadline.limit(seconds),
                              preexec_fn=_die_with_parent, **options)
    except subprocess.TimeoutExpired:
        subprocess.run([WINESERVER, "-k"], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=30)
        raise OutOfTime()


def prefix_kind(prefix):
    """"win32" or "win64" as the prefix's registry says, or None."""
    try:
        with open(os.path.join(prefix, "system.reg"), errors="replace") as registry:
            for line in registry:
                if line.startswith("#arch="):
                    return line.strip()[len("#arch="):]
    except OSError:
        pass
    return None


def ensure_prefix(prefix, wine, winearch, deadline):
    os.makedirs(os.path.dirname(prefix) or ".", exist_ok=True)
    with open(prefix + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        kind = prefix_kind(prefix)
        if kind == winearch:
            return
        if os.path.exists(prefix):
            print(f"run_windows_test: {prefix} is {kind or 'incomplete'}; making a {winearch} "
                  "prefix in its place", file=sys.stderr)
            subprocess.run([WINESERVER, "-k"], env=environment(prefix, winearch),
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
            shutil.rmtree(prefix)
        env = environment(prefix, winearch)
        made = run([wine, "wineboot", "-i"], env, deadline, PREFIX_TIMEOUT,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # A normal exit of the server writes the registry to the prefix.
        run([WINESERVER, "-w"], env, deadline, 60)
        if made.returncode != 0 or prefix_kind(prefix) != winearch:
            sys.exit(f"run_windows_test: cannot make the {winearch} Wine prefix {prefix} with "
                     f"{wine} (wineboot status {made.returncode})")


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
    signal.signal(signal.SIGTERM, lambda number, frame: sys.exit(128 + number))
    if not os.path.isfile(exe):
        sys.exit(f"run_windows_test: {exe} does not exist")
    machine = wine_session.pe_machine(exe)
    if machine not in wine_session.LOADERS:
        sys.exit(f"run_windows_test: {exe} is not a Windows program for x86 or x64")
    wine = wine_session.LOADERS[machine]
    winearch = "win32" if machine == wine_session.MACHINE_I386 else "win64"
    if not os.path.exists(wine):
        sys.exit(f"run_windows_test: {wine} is not installed; "
                 + ("tools/install-wine32.sh installs the 32-bit Wine"
                    if winearch == "win32" else "tools/install-deps.sh installs Wine"))
    deadline = Deadline(BUDGET)
    try:
        ensure_prefix(prefix, wine, winearch, deadline)
        # Wine's server can be ending just as a run begins (it lingers a
        # while after its last client), and the run then fails at once
        # without running the program. A run that leaves no report is tried
        # again; one that never runs still fails.
        for attempt in range(1, ATTEMPTS + 1):
            status, count = run_once(prefix, wine, winearch, exe, arguments, deadline,
                                     last=attempt == ATTEMPTS)
            if count:
                return status
            if attempt < ATTEMPTS:
                print(f"run_windows_test: no report from {os.path.basename(exe)} "
                      f"(status {status}); running it again", file=sys.stderr)
    except OutOfTime:
        print(f"run_windows_test: {os.path.basename(exe)} did not finish under {wine} within "
              f"{BUDGET} s; it and its Wine server were ended", file=sys.stderr)
        return 1
    cause = ia32_code.refused() if winearch == "win32" else None
    print(f"run_windows_test: {os.path.basename(exe)} did not run under {wine} "
          f"(no report of any test appeared; status {status})" + (f"; {cause}" if cause else ""),
          file=sys.stderr)
    return 1


def run_once(prefix, wine, winearch, exe, arguments, deadline, last):
    """Runs the program once: (its status, the tests its report names or None).
    Its outputs are passed on when it left a report, or when this is the last try."""
    env = environment(prefix, winearch)
    # Starting Wine's server takes seconds; one that outlives each run by a
    # while serves the next test too, and then ends by itself. It is started
    # here, holding none of this runner's outputs: CTest reads them until the
    # last holder has gone.
    run([WINESERVER, "-p" + str(SERVER_LINGER)], env, deadline, 60, stdin=subprocess.DEVNULL,
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with tempfile.TemporaryDirectory(prefix="avendrel-wine-report-") as folder:
        report = os.path.join(folder, "report.xml")
        # Wine's drive Z: is the root of this machine's file system.
        windows_report = "Z:" + report.replace("/", "\\")
        # The program's outputs go to files, passed on once it has ended: the
        # services that Wine starts with a program inherit its outputs and
        # live as long as the server, and CTest would wait for them.
        with open(os.path.join(folder, "out"), "w+b") as out, \
                open(os.path.join(folder, "err"), "w+b") as err:
            try:
                status = run([wine, exe, *arguments, "--gtest_output=xml:" + windows_report],
                             env, deadline, BUDGET, stdin=subprocess.DEVNULL, stdout=out,
                             stderr=err).returncode
            except OutOfTime:
                pass_on(out, err)
                raise
            count = tests_in(report)
            if count or last:
                pass_on(out, err)
    return status, count


def pass_on(out, err):
    for source, target in ((out, sys.stdout), (err, sys.stderr)):
        source.seek(0)
        target.flush()
        target.buffer.write(source.read())
        target.flush()


if __name__ == "__main__":
    sys.exit(main())
