#!/usr/bin/python3
"""End-to-end test of the click tone with a sound device that does not answer,
on a virtual display.

    test_tone_device.py --program PATH

The default ALSA device is the file plugin writing into a FIFO that nobody
reads: opening it for the tone blocks for ever, as a hung sound server would.
The clicks must still go on: the box appears and is answered, the pages
open, the program goes on and ends on a close request with status 0, having
printed nothing. The time from a click to the box appearing is printed as a
figure beside the same time with a device that plays the tone (medians of a
few clicks, measured in one run); it is not what the test decides on."""

import argparse
import os
import statistics
import sys
import time

from desktop import HOME_PAGE_ADDRESS, SIGN_UP_ADDRESS, Desktop, TestFailure, check
from test_program import HOME_PAGE_POINT, SIGN_UP_POINT, check_quiet_exit, check_tone

ROUNDS = 3
# Two points of the sign-up button far enough apart that clicks alternating
# between them are never taken for a double-click.
SIGN_UP_POINTS = (SIGN_UP_POINT, (700, 440))


def figure(name, value):
    print("FIGURE %s = %s" % (name, value))


def click_to_box_times(d):
    """Sign-up clicks answered No: the time from each click to its box, in ms."""
    times = []
    for round_number in range(ROUNDS):
        d.move(*SIGN_UP_POINTS[round_number % 2])
        clicked = time.monotonic()
        d.xdotool("click", 1)
        d.wait_box()
        # wait_box waits a little once the box has the keyboard; not counted.
        times.append((d.box_seen - clicked) * 1000)
        d.xdotool("key", "alt+n")
        d.wait_box_gone()
        d.wait_opened(round_number + 1)
    return times


class TimedDesktop(Desktop):
    """Notes when the box is first seen on the screen."""

    box_seen = None

    def top_level_named(self, name, width=None, height=None):
        window = super().top_level_named(name, width, height)
        if window is not None and name == "Confirm" and self.box_seen is None:
            self.box_seen = time.monotonic()
        return window

    def wait_box_gone(self, timeout=10):
        super().wait_box_gone(timeout)
        self.box_seen = None


def run(program, silent_device):
    with TimedDesktop(program) as d:
        if silent_device:
            fifo = os.path.join(d.home, "nobody-reads")
            os.mkfifo(fifo)
            with open(os.path.join(d.home, ".asoundrc"), "w") as f:
                f.write('pcm.!default {\n  type file\n  slave.pcm "null"\n  file "%s"\n'
                        '  format "raw"\n}\n' % fifo)
        d.start_program()
        window = d.wait_program_window()
        times = click_to_box_times(d)
        check(d.opened() == [SIGN_UP_ADDRESS] * ROUNDS, "opened %s" % d.opened())
        d.click(*HOME_PAGE_POINT)  # far from where the last click was
        check(d.wait_opened(ROUNDS + 1)[-1] == HOME_PAGE_ADDRESS, "opened %s" % d.opened())
        check(d.running(), "the program ended")
        d.send_close_request(window)
        check_quiet_exit(d, "close request")
        if not silent_device:
            # Each tone rewrites the file: the last one is there, whole.
            check_tone(d.tone_samples(), 1)
        return times


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    args = parser.parse_args()
    try:
        playing = run(args.program, silent_device=False)
        silent = run(args.program, silent_device=True)
    except TestFailure as failure:
        print("FAILED tone_device_not_answering: %s" % failure)
        return 1
    figure("tone.click_to_box_ms.playing_device.median", "%.0f" % statistics.median(playing))
    figure("tone.click_to_box_ms.silent_device.median", "%.0f" % statistics.median(silent))
    figure("tone.click_to_box.silent_to_playing_ratio",
           "%.2f" % (statistics.median(silent) / statistics.median(playing)))
    print("passed tone_device_not_answering")
    return 0


if __name__ == "__main__":
    sys.exit(main())
