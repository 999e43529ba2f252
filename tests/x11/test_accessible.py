#!/usr/bin/python3
"""The program as assistive technology sees it, on a private Xvfb with a
private session bus and at-spi2-core's accessibility bus, read with pyatspi
(the library screen readers are built on):

  test_accessible.py --program PATH

The application "Avendrel" is found on the bus; its window, its description
and its three objects are read with their roles, names, states and extents;
hit tests find the hotspots; the link's and the button's actions do what
clicks do (one address and one tone each, the box on sign-up, No leaves the
window, nothing acts while the box is open, Yes ends with status 0).
Exit 0 pass, 1 fail, 77 skip (at-spi2-core or pyatspi missing)."""

import argparse
import os
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "robustness"))

from harness import (HOME_PAGE_ADDRESS, SIGN_UP_ADDRESS, SKIP, WINDOW_LEFT,  # noqa: E402
                     WINDOW_TOP, RobustDesktop, TestFailure, check, wait_for)
from test_program import TONE_FRAMES  # noqa: E402

LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
DESCRIPTION = ("Thank you for downloading Avendrel! Manage your bookings on the go with the free "
               "Avendrel phone apps. Online booking, open around the clock. Automatic e-mail and "
               "text reminders. Your calendar on every device. Award-winning: Best Booking App "
               "2027. Free for 30 days \u2013 every feature included.")
# role name, object name, description, window rectangle, action, localized action
CHILDREN = [
    ("image", "Thank you for downloading Avendrel!", "", (0, 92, 800, 493), None, None),
    ("push button", "Start free trial. Sign up now \u2013 no credit card required",
     "A browser window will open on book.avendrel.com", (440, 398, 337, 86), "click", "Press"),
    ("link", "www.avendrel.com", "", (602, 555, 193, 23), "jump", "Jump"),
]


def start_accessibility_bus(d, env):
    """at-spi2-core's launcher with accessibility switched on; it announces the
    bus on the root window."""
    launcher = subprocess.Popen([LAUNCHER, "--launch-immediately", "--a11y=1"], env=env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
    root = d.x.screen().root
    atom = d.x.intern_atom("AT_SPI_BUS")
    wait_for("the accessibility bus on the root window",
             lambda: root.get_full_property(atom, 0) is not None, 30)
    return launcher


def find_application(pyatspi, name, timeout=30):
    def find():
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name == name:
                return app
        return None
    return wait_for("the application %r on the accessibility bus" % name, find, timeout, 0.1)


def extents(pyatspi, accessible):
    box = accessible.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return (box.x, box.y, box.width, box.height)


def screen_rectangle(rectangle):
    x, y, w, h = rectangle
    return (WINDOW_LEFT + x, WINDOW_TOP + y, w, h)


def check_tree(pyatspi, app, enabled):
    check(app.getRoleName() == "application", "the application's role is %r" % app.getRoleName())
    check(app.childCount == 1, "the application has %d children" % app.childCount)
    frame = app.getChildAtIndex(0)
    check((frame.getRoleName(), frame.name, frame.description) == ("frame", "Avendrel", DESCRIPTION),
          "the window reads %r" % ((frame.getRoleName(), frame.name, frame.description),))
    check(extents(pyatspi, frame) == screen_rectangle((0, 0, 800, 677)),
          "the window's extents are %r" % (extents(pyatspi, frame),))
    check(frame.childCount == len(CHILDREN), "the window has %d children" % frame.childCount)
    for i, (role, name, description, rectangle, action, localized) in enumerate(CHILDREN):
        child = frame.getChildAtIndex(i)
        read = (child.getRoleName(), child.name, child.description)
        check(read == (role, name, description), "child %d reads %r" % (i, read))
        check(child.parent == frame and child.getIndexInParent() == i,
              "child %d does not know its place" % i)
        check(extents(pyatspi, child) == screen_rectangle(rectangle),
              "%s: extents %r, expected %r" % (role, extents(pyatspi, child),
                                                screen_rectangle(rectangle)))
        states = child.getState()
        for state in (pyatspi.STATE_VISIBLE, pyatspi.STATE_SHOWING):
            check(states.contains(state), "%s is not %s" % (role, state))
        for state in (pyatspi.STATE_ENABLED, pyatspi.STATE_SENSITIVE):
            check(states.contains(state) == enabled,
                  "%s: %s is %s while the window is %s" % (role, state, states.contains(state),
                                                           "enabled" if enabled else "disabled"))
        if action:
            actions = child.queryAction()
            read = (actions.nActions, actions.getName(0), actions.getLocalizedName(0))
            check(read == (1, action, localized), "%s: actions %r" % (role, read))
    return frame


def tones(d):
    samples = d.tone_samples()
    check(len(samples) % TONE_FRAMES == 0, "a partial tone of %d frames" % len(samples))
    return len(samples) // TONE_FRAMES


def run(args):
    # The test command installs both the launcher and pyatspi: a missing one fails.
    check(os.path.exists(LAUNCHER), "%s is not installed" % LAUNCHER)
    with RobustDesktop(args.program, sound="file") as d:
        env = d.environment(DBUS_SESSION_BUS_ADDRESS=d.start_session_bus())
        del env["NO_AT_BRIDGE"]
        launcher = start_accessibility_bus(d, env)
        try:
            os.environ.update(DISPLAY=env["DISPLAY"],
                              DBUS_SESSION_BUS_ADDRESS=env["DBUS_SESSION_BUS_ADDRESS"])
            os.environ.pop("NO_AT_BRIDGE", None)
            try:
                import pyatspi
            except ImportError as error:
                raise TestFailure("python3-pyatspi cannot be imported: %s" % error)
            d.start(env=env)
            d.wait_program_window(30)
            app = find_application(pyatspi, "Avendrel")
            frame = check_tree(pyatspi, app, enabled=True)

            component = frame.queryComponent()
            for point, name in [((608, 440), CHILDREN[1][1]), ((700, 566), CHILDREN[2][1]),
                                ((150, 250), CHILDREN[0][1]), ((400, 40), None)]:
                found = component.getAccessibleAtPoint(WINDOW_LEFT + point[0], WINDOW_TOP + point[1],
                                                       pyatspi.DESKTOP_COORDS)
                check((found.name if found else None) == name,
                      "at window %r: %r" % (point, found.name if found else None))

            button, link = frame.getChildAtIndex(1), frame.getChildAtIndex(2)
            check(frame.getChildAtIndex(0).queryAction().nActions == 0, "the picture has an action")
            check(link.queryAction().doAction(0), "the link's action was refused")
            check(d.wait_opened(1) == [HOME_PAGE_ADDRESS], "after the link's action: %r" % d.opened())
            check(tones(d) == 1, "%d tones after the link's action" % tones(d))

            check(button.queryAction().doAction(0), "the button's action was refused")
            d.wait_box(20)
            check(d.opened() == [HOME_PAGE_ADDRESS], "the sign-up page opened before the answer")
            check_tree(pyatspi, app, enabled=False)
            # The bridge answers every action request with true before performing
            # it; what counts is that nothing happens.
            link.queryAction().doAction(0)
            time.sleep(0.7)
            check(d.opened() == [HOME_PAGE_ADDRESS] and tones(d) == 2,
                  "under the box: %r, %d tones" % (d.opened(), tones(d)))

            d.answer(yes=False)
            check(d.wait_opened(2) == [HOME_PAGE_ADDRESS, SIGN_UP_ADDRESS], "after No: %r" % d.opened())
            check(d.running(), "the program ended after No")
            check_tree(pyatspi, app, enabled=True)

            check(button.queryAction().doAction(0), "the second button action was refused")
            d.answer(yes=True)
            status = d.wait_end(30)
            check(status == 0, "status %s after Yes" % status)
            check(d.wait_opened(3) == [HOME_PAGE_ADDRESS, SIGN_UP_ADDRESS, SIGN_UP_ADDRESS],
                  "after Yes: %r" % d.opened())
            check(tones(d) == 3, "%d tones after three actions" % tones(d))
            # NOTE: GTK, started for the box while the bridge serves a client,
            # warns about emission hooks it cannot add for that client's events;
            # nothing else may be printed.
            printed = [line for line in d.output().splitlines()
                       if line.strip() and "g_signal_add_emission_hook" not in line]
            check(printed == [], "the program printed %r" % d.output())
        finally:
            # The launcher ends the accessibility bus it started when it is asked to end.
            launcher.send_signal(signal.SIGTERM)
            try:
                launcher.wait(10)
            except subprocess.TimeoutExpired:
                launcher.kill()
                launcher.wait()
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    args = parser.parse_args()
    try:
        status = run(args)
    except TestFailure as failure:
        print("FAIL accessible: %s" % failure)
        return 1
    if status == 0:
        print("PASS accessible")
    return status


if __name__ == "__main__":
    sys.exit(main())
