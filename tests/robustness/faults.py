#!/usr/bin/python3
"""Faults around the real Linux program: it goes on, prints nothing and loses
nothing.

    faults.py --program PATH [--slow]

Each case runs on its own desktop. The default cases: no browser registered,
a browser that fails, one that hangs, no sound device, the box answered the
moment it has the keyboard, and a close request from the desktop while the
box is open (answered No, and answered Yes). --slow runs the case where the
box waits 20 s for its answer. Prints the figures."""

import argparse
import sys
import time

from harness import (HOME_PAGE_ADDRESS, HOME_PAGE_POINT, SIGN_UP_ADDRESS, SIGN_UP_POINT,
                     RobustDesktop, check, figure, run_case, wait_for)
from test_program import TONE_FRAMES, check_tone

H, S = HOME_PAGE_ADDRESS, SIGN_UP_ADDRESS


def cpu_ticks(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime + stime


def box_then(d, answer, wait=0.0, at_once=False):
    """Opens the box, leaves it open for `wait` s, answers it."""
    d.click(*SIGN_UP_POINT)
    if at_once:
        box = wait_for("the box", lambda: d.top_level_named("Confirm"), 20, step=0.005)
        wait_for("the box to take the keyboard",
                 lambda: d.x.get_input_focus().focus in d.window_and_children(box), 10, 0.005)
        d.xdotool("key", "alt+y" if answer else "alt+n")
        d.wait_box_gone()
        return
    d.wait_box()
    time.sleep(wait)
    d.answer(answer)


def session(d, recording, what, sounding=True):
    """home, home, sign-up (No), home, sign-up (Yes): the program goes on and
    prints nothing after each step, every click sounds its tone (on the
    desktop's tone file) and every address reaches the browser."""
    d.start()
    d.wait_program_window()
    steps = [("home", HOME_PAGE_POINT, H), ("home again", HOME_PAGE_POINT, H),
             ("sign-up, No", False, S), ("home after No", HOME_PAGE_POINT, H)]
    expected = []
    for name, action, address in steps:
        if action is False:
            box_then(d, False)
        else:
            d.click(*action)
            time.sleep(0.45)  # not a double-click with the previous press
        expected.append(address)
        if recording:
            d.wait_opened(len(expected))
        else:
            time.sleep(0.3)
        d.check_going_on("%s: %s" % (what, name))
    box_then(d, True)
    expected.append(S)
    d.check_quiet_end("%s: sign-up, Yes" % what)
    got = d.wait_opened(len(expected) if recording else 0)
    figure("faults.%s.addresses_recorded" % what.replace(" ", "_"), len(got))
    figure("faults.%s.tones_played" % what.replace(" ", "_"),
           len(d.tone_samples()) // TONE_FRAMES)
    check(got == (expected if recording else []), "%s: opened %s" % (what, got))
    if sounding:
        check_tone(d.tone_samples(), len(expected))


def case_no_browser(program):
    with RobustDesktop(program, browser=None, sound="file") as d:
        session(d, False, "no browser")


def case_failing_browser(program):
    with RobustDesktop(program, browser="fail", sound="file") as d:
        session(d, True, "failing browser")


def case_hanging_browser(program):
    with RobustDesktop(program, browser="hang", sound="file") as d:
        session(d, True, "hanging browser")


def case_no_sound_device(program):
    with RobustDesktop(program, sound="none") as d:
        session(d, True, "no sound device", sounding=False)


def case_answered_at_once(program):
    for answer in (False, True):
        with RobustDesktop(program) as d:
            d.start()
            d.wait_program_window()
            box_then(d, answer, at_once=True)
            d.wait_opened(1)
            if answer:
                d.check_quiet_end("answered Yes at once")
            else:
                d.check_going_on("answered No at once")
                d.click(*HOME_PAGE_POINT)
                d.wait_opened(2)
            check(d.wait_opened(1 if answer else 2) == ([S] if answer else [S, H]),
                  "opened %s" % d.opened())


def case_close_request_while_box_open(program):
    """The desktop asks the window to close while the box waits: the box stays
    and takes its answer first, the page is opened as the answer asks, then
    the close request is honoured (status 0)."""
    for answer in (False, True):
        with RobustDesktop(program) as d:
            d.start()
            window = d.wait_program_window()
            d.click(*SIGN_UP_POINT)
            d.wait_box()
            d.send_close_request(window)
            time.sleep(1.0)
            check(d.top_level_named("Confirm") is not None, "the close request closed the box")
            check(d.running(), "the close request ended the program before the answer")
            check(d.opened() == [], "the page opened before the answer")
            asked = time.monotonic()
            d.answer(answer)
            d.check_quiet_end("close request, then %s" % ("Yes" if answer else "No"))
            figure("faults.close_request_while_box_open.%s.ended_after_answer"
                   % ("yes" if answer else "no"), "%.2f" % (time.monotonic() - asked), "s")
            check(d.wait_opened(1) == [S], "opened %s" % d.opened())


def case_box_answered_after_a_long_wait(program, wait=20.0):
    with RobustDesktop(program) as d:
        process = d.start()
        d.wait_program_window()
        d.click(*SIGN_UP_POINT)
        d.wait_box()
        time.sleep(0.5)
        before = cpu_ticks(process.pid)
        time.sleep(wait)
        spent = cpu_ticks(process.pid) - before
        figure("faults.long_wait.seconds", wait)
        figure("faults.long_wait.cpu_ticks_while_box_open", spent)
        check(d.top_level_named("Confirm") is not None, "the box went away by itself")
        check(d.opened() == [], "the page opened before the answer")
        d.answer(False)
        d.wait_opened(1)
        d.check_going_on("No after %g s" % wait)
        d.click(*HOME_PAGE_POINT)
        d.wait_opened(2)
        d.click(*SIGN_UP_POINT)
        d.wait_box()
        time.sleep(wait)
        d.answer(True)
        d.check_quiet_end("Yes after %g s" % wait)
        check(d.wait_opened(3) == [S, H, S], "opened %s" % d.opened())


FAST = [case_no_browser, case_failing_browser, case_hanging_browser, case_no_sound_device,
        case_answered_at_once, case_close_request_while_box_open]
SLOW = [case_box_answered_after_a_long_wait]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--slow", action="store_true")
    args = parser.parse_args()
    results = [run_case(case.__name__[len("case_"):], case, args.program)
               for case in (SLOW if args.slow else FAST)]
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
