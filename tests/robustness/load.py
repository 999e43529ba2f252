#!/usr/bin/python3
"""Load on the real Linux program through the real desktop path.

    load.py --program PATH [--clicks N]

N (200) xdotool clicks on the home-page hotspot must give exactly N addresses
at the registered browser and N tones, with the program's descriptors,
threads and child processes the same after the last click as after the first
few; clicks on the main window while the confirmation box is open must give
nothing, and the box's answer is still honoured (No: the sign-up page, the
window stays and takes clicks again; Yes: the sign-up page, then status 0).
The N clicks are made again on a desktop with a session bus, where opening an
address also talks to the bus. Prints the figures."""

import argparse
import os
import subprocess
import sys
import time

from harness import (HOME_PAGE_ADDRESS, HOME_PAGE_LEFT, HOME_PAGE_POINT, HOME_PAGE_RIGHT,
                     SETTLE_SECONDS, SIGN_UP_ADDRESS, SIGN_UP_POINT, RobustDesktop, check, figure,
                     run_case)
from test_program import TONE_FRAMES, check_tone

# Points of the main window outside the box (which is centred on the window):
# both hotspots' far corners and the picture.
POINTS_BESIDE_THE_BOX = [HOME_PAGE_LEFT, HOME_PAGE_RIGHT, (770, 480), (100, 150)]


WARM_UP = 10  # clicks after which the desktop's libraries are loaded and set up


def resources(pid):
    """(open descriptors, threads, resident kB, child processes) of the program."""
    with open("/proc/%d/status" % pid) as f:
        rss = int(next(line for line in f if line.startswith("VmRSS")).split()[1])
    children = subprocess.run(["ps", "--ppid", str(pid), "-o", "pid=,stat=,comm="],
                              capture_output=True, text=True).stdout.split("\n")
    return (len(os.listdir("/proc/%d/fd" % pid)), len(os.listdir("/proc/%d/task" % pid)), rss,
            [c for c in children if c.strip()])


def many_clicks(d, process, args, key):
    """The N clicks on the home-page hotspot, with their figures and checks."""
    points = [HOME_PAGE_LEFT, HOME_PAGE_RIGHT]
    started = time.monotonic()
    d.click_many(points, WARM_UP)
    d.wait_opened(WARM_UP)
    fds_before, threads_before, rss_before, _ = resources(process.pid)
    d.click_many(points, args.clicks - WARM_UP)
    clicked = time.monotonic()
    opened = d.wait_opened(args.clicks, timeout=120)
    done = time.monotonic()
    figure("%s.clicks_sent" % key, args.clicks)
    figure("%s.addresses_recorded" % key, len(opened))
    figure("%s.clicking_time" % key, "%.2f" % (clicked - started), "s")
    figure("%s.all_recorded_after" % key, "%.2f" % (done - started),
           "s (including %g s for any extra one)" % SETTLE_SECONDS)
    check(len(opened) == args.clicks,
          "%d clicks gave %d addresses" % (args.clicks, len(opened)))
    check(set(opened) == {HOME_PAGE_ADDRESS}, "unexpected addresses %s" % set(opened))
    fds_after, threads_after, rss_after, children = resources(process.pid)
    figure("%s.open_descriptors" % key, "%d after %d clicks, %d after %d"
           % (fds_before, WARM_UP, fds_after, args.clicks))
    figure("%s.threads" % key, "%d after %d clicks, %d after %d"
           % (threads_before, WARM_UP, threads_after, args.clicks))
    figure("%s.resident_memory" % key, "%d kB after %d clicks, %d kB after %d"
           % (rss_before, WARM_UP, rss_after, args.clicks))
    figure("%s.child_processes_left" % key, len(children))
    check(fds_after == fds_before, "descriptors grew from %d to %d" % (fds_before, fds_after))
    # The toolkit's idle pool threads may end meanwhile; none may be added.
    check(threads_after <= threads_before,
          "threads grew from %d to %d" % (threads_before, threads_after))
    check(not children, "child processes left behind: %s" % children)
    figure("%s.tones_played" % key, len(d.tone_samples()) // TONE_FRAMES)
    check_tone(d.tone_samples(), args.clicks)


def load(args):
    with RobustDesktop(args.program, sound="file") as d:
        process = d.start()
        d.wait_program_window()
        many_clicks(d, process, args, "load")
        d.check_going_on("after the clicks")

        # While the box is open, clicks on the main window do nothing.
        for answer in (False, True):
            before = len(d.opened())
            d.click(*SIGN_UP_POINT)
            d.wait_box()
            d.click_many(POINTS_BESIDE_THE_BOX, 40, pause=0.03)
            during = len(d.wait_opened(before)) - before
            figure("load.box_open.%s.clicks_sent" % ("yes" if answer else "no"), 40)
            figure("load.box_open.%s.addresses_recorded" % ("yes" if answer else "no"), during)
            check(during == 0, "clicks while the box was open opened %d addresses" % during)
            check(len(d.tone_samples()) == TONE_FRAMES * (before + 1),
                  "clicks while the box was open sounded the tone")
            check(d.top_level_named("Confirm") is not None, "the clicks closed the box")
            d.answer(answer)
            after = d.wait_opened(before + 1)[before:]
            check(after == [SIGN_UP_ADDRESS], "after the answer: %s" % after)
            if not answer:
                d.check_going_on("after No")
                d.click(*HOME_PAGE_POINT)
                check(d.wait_opened(before + 2)[before:] == [SIGN_UP_ADDRESS, HOME_PAGE_ADDRESS],
                      "the window does not take clicks again after No: %s"
                      % d.opened()[before:])
        d.check_quiet_end("Yes after the load")
        figure("load.total_addresses", len(d.opened()), "(%d + sign-up, home, sign-up)"
               % args.clicks)


def load_with_session_bus(args):
    with RobustDesktop(args.program, sound="file") as d:
        process = d.start(DBUS_SESSION_BUS_ADDRESS=d.start_session_bus())
        window = d.wait_program_window()
        many_clicks(d, process, args, "load.session_bus")
        d.send_close_request(window)
        d.check_quiet_end("close request")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--clicks", type=int, default=200)
    args = parser.parse_args()
    ok = [run_case("load", load, args),
          run_case("load with a session bus", load_with_session_bus, args)]
    return 0 if all(ok) else 1


if __name__ == "__main__":
    sys.exit(main())
