#!/usr/bin/python3
"""Time from start to the window being shown, under Wine on Xvfb:
Avendrel.exe beside a minimal layered-window program, measured side by side.

  startup.py AVENDREL_EXE MINIMAL_EXE [RUNS]

One prefix and one screen serve every run, with the Wine server kept running
so that each run measures the program and not the start of Wine itself. After
one untimed run of each, the two programs alternate; a run's time is from
starting the process to the X server mapping its 800 x 677 window. Prints each
program's median and the ratio of the medians.
"""

import os
import select
import statistics
import subprocess
import sys
import time

from Xlib import X

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "tests", "wine"))
from wine_session import WINESERVER, Prefix, Session  # noqa: E402


def time_to_window(session, exe, timeout=60):
    """Seconds from starting exe to the mapping of its 800 x 677 window."""
    x = session.screen.x
    while x.pending_events():
        x.next_event()
    started = time.monotonic()
    program = session.start(exe)
    shown = None
    while shown is None and time.monotonic() - started < timeout:
        if not x.pending_events():
            select.select([x.fileno()], [], [], 0.05)
        while x.pending_events():
            event = x.next_event()
            if event.type == X.MapNotify:
                geometry = event.window.get_geometry()
                if (geometry.width, geometry.height) == (800, 677):
                    shown = time.monotonic() - started
                    break
    session.wine("taskkill", "/IM", os.path.basename(exe))
    if program.status(30) is None:
        program.stop()
    if shown is None:
        raise RuntimeError(f"{exe} showed no window within {timeout} s")
    return shown


def main(argv):
    if len(argv) not in (3, 4):
        print(__doc__)
        return 2
    avendrel, minimal = argv[1], argv[2]
    runs = int(argv[3]) if len(argv) == 4 else 11
    prefix = Prefix.create()
    session = server = None
    try:
        session = Session(prefix, 1920, 1080)
        server = subprocess.Popen([WINESERVER, "-p", "-f"], env=session.env,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        session.screen.root.change_attributes(event_mask=X.SubstructureNotifyMask)
        session.screen.x.sync()
        times = {avendrel: [], minimal: []}
        for exe in (avendrel, minimal):
            time_to_window(session, exe)  # untimed: loads the prefix's files and services
        for _ in range(runs):
            for exe in (avendrel, minimal):
                times[exe].append(time_to_window(session, exe))
        for exe, values in times.items():
            print(f"{os.path.basename(exe)}: "
                  f"median {statistics.median(values) * 1000:.0f} ms over {len(values)} runs "
                  f"(min {min(values) * 1000:.0f}, max {max(values) * 1000:.0f})")
        ratio = statistics.median(times[avendrel]) / statistics.median(times[minimal])
        print(f"ratio Avendrel / minimal: {ratio:.2f}")
    finally:
        # NOTE: the server must end through wineserver -k, which ends its
        # clients too; a signal to the server alone leaves them hanging.
        if session:
            session.close()
        prefix.remove()
        if server:
            server.wait(30)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
