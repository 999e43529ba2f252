#!/usr/bin/python3
"""The program as assistive technology sees it, with the desktop's own parts
started as a desktop session starts them: a private Xvfb (-noreset), an
ordinary session bus with service activation (the script runs itself under
dbus-run-session), at-spi2-core's bus launcher on it, accessibility switched
on through org.a11y.Status, and pyatspi (the library screen readers are built
on) as the client:

  test_accessible.py [--case CASE] --program PATH

Cases:
  x11                 the launcher sees DISPLAY only and announces its bus on
                      the root window; accessibility on (IsEnabled) before the
                      program starts
  wayland             the launcher's environment (and the program's) has
                      WAYLAND_DISPLAY, so it announces nothing on the root
                      window; switched on as a screen reader does
                      (ScreenReaderEnabled)
  no_session_bus      as x11, but the program has no session bus: it finds
                      the bus the launcher announced on the root window
  switched_on_later   the program starts with no launcher and uses its box: no
                      accessibility bus is started for it and nothing more is
                      loaded; then the launcher starts, accessibility is
                      switched on and the window must follow; switched off and
                      on again, nothing breaks
  idle                no CPU time and no system call over 10 s, with
                      accessibility off and then on

In x11, wayland and switched_on_later: the application "Avendrel", its window,
its description and its three objects are read with roles, names, states and
extents; a listening client is told of the window (create) once it is on the
bus; hit tests find the hotspots; the window's activate event arrives when
it takes the focus and its deactivate event when the box takes it; both
hotspots report their enabled state changing as the box opens and closes; the
link's and the button's actions do what clicks do (one address and one tone
each, the box on sign-up, No leaves the window, nothing acts while the box is
open, Yes ends with status 0). Exit 0 pass, 1 fail."""

import argparse
import os
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "robustness"))

from harness import (HOME_PAGE_ADDRESS, HOME_PAGE_POINT, SIGN_UP_ADDRESS,  # noqa: E402
                     SIGN_UP_POINT, WINDOW_LEFT, WINDOW_TOP, RobustDesktop, TestFailure, check,
                     figure, wait_for)
from test_program import TONE_FRAMES  # noqa: E402

LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
A11Y_BUS = "org.a11y.Bus"
SESSION_MARK = "AVENDREL_ACCESSIBLE_SESSION"
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
HOTSPOTS = ("push button", "link")
EVENTS = ("window:create", "window:activate", "window:deactivate", "object:state-changed:enabled")


# --- the session bus -------------------------------------------------------

class Session:
    """The session bus that dbus-run-session started for this script."""

    def __init__(self):
        from gi.repository import Gio, GLib
        self.Gio, self.GLib = Gio, GLib
        self.address = os.environ["DBUS_SESSION_BUS_ADDRESS"]
        self.bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)

    def call(self, name, path, interface, method, args, reply, auto_start=False):
        flags = self.Gio.DBusCallFlags.NONE if auto_start else self.Gio.DBusCallFlags.NO_AUTO_START
        return self.bus.call_sync(name, path, interface, method, args,
                                  self.GLib.VariantType(reply) if reply else None, flags, 10000,
                                  None).unpack()

    def has_owner(self, name):
        return self.call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                         "NameHasOwner", self.GLib.Variant("(s)", (name,)), "(b)")[0]

    def switch(self, prop, on):
        """Switches accessibility through org.a11y.Status, as a desktop's
        settings or a screen reader does."""
        self.call(A11Y_BUS, "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
                  self.GLib.Variant("(ssv)", ("org.a11y.Status", prop, self.GLib.Variant("b", on))),
                  None)

    def status(self):
        return self.call(A11Y_BUS, "/org/a11y/bus", "org.freedesktop.DBus.Properties", "GetAll",
                         self.GLib.Variant("(s)", ("org.a11y.Status",)), "(a{sv})")[0]


def start_launcher(d, session, wayland):
    """at-spi2-core's launcher as a session starts it. In a Wayland session its
    environment has WAYLAND_DISPLAY, and it writes nothing on the root window."""
    env = d.environment(DBUS_SESSION_BUS_ADDRESS=session.address, GSETTINGS_BACKEND="memory")
    del env["NO_AT_BRIDGE"]
    if wayland:
        env["WAYLAND_DISPLAY"] = "wayland-avendrel"
    launcher = subprocess.Popen([LAUNCHER], env=env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    d.launcher = launcher
    wait_for("the launcher on the session bus", lambda: session.has_owner(A11Y_BUS), 30, 0.05)
    return launcher


def stop_launcher(d):
    launcher = getattr(d, "launcher", None)
    if launcher is None or launcher.poll() is not None:
        return
    # The launcher ends the accessibility bus it started when it is asked to end.
    launcher.send_signal(signal.SIGTERM)
    try:
        launcher.wait(10)
    except subprocess.TimeoutExpired:
        launcher.kill()
        launcher.wait()


def root_announcement(d):
    atom = d.x.intern_atom("AT_SPI_BUS", True)
    if not atom:
        return None
    prop = d.x.screen().root.get_full_property(atom, 0)
    return prop.value if prop is not None else None


def program_environment(d, session):
    env = d.environment(DBUS_SESSION_BUS_ADDRESS=session.address)
    del env["NO_AT_BRIDGE"]
    return env


def loaded(d, name):
    return any(library.startswith(name) for library in d.loaded_libraries())


# --- the client ------------------------------------------------------------

def import_pyatspi():
    """pyatspi, once the launcher runs: importing it asks for the bus, which
    would start the launcher through the session bus."""
    os.environ["DISPLAY"] = os.environ.get("AVENDREL_TEST_DISPLAY", "")
    os.environ.pop("NO_AT_BRIDGE", None)
    try:
        import pyatspi
    except ImportError:
        raise TestFailure("python3-pyatspi, which the test command installs, is missing")
    return pyatspi


def find_application(pyatspi, name, timeout=30):
    def find():
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name == name:
                return app
        return None
    return wait_for("the application %r on the accessibility bus" % name, find, timeout, 0.02)


class Listener:
    """pyatspi listeners for the events screen readers announce; each event is
    kept as (type, source role, source name, detail1)."""

    def __init__(self, pyatspi):
        from gi.repository import GLib
        self.context = GLib.MainContext.default()
        self.pyatspi = pyatspi
        self.seen = []
        pyatspi.Registry.registerEventListener(self.on_event, *EVENTS)

    def on_event(self, event):
        try:
            self.seen.append((event.type, event.source.getRoleName(), event.source.name,
                              event.detail1))
        except Exception as error:  # the source may be gone
            self.seen.append((event.type, None, str(error), event.detail1))

    def pump(self):
        while self.context.iteration(False):
            pass

    def wait(self, what, predicate, timeout=30):
        def ready():
            self.pump()
            return predicate(self.seen)
        try:
            return wait_for(what, ready, timeout, 0.02)
        except TestFailure:
            raise TestFailure("%s; events seen: %r" % (what, self.seen))

    def mark(self):
        self.pump()
        return len(self.seen)

    def since(self, mark):
        return self.seen[mark:]

    def close(self):
        self.pyatspi.Registry.deregisterEventListener(self.on_event, *EVENTS)


def frame_event(kind):
    return lambda events: any(e[0] == kind and e[1] == "frame" and e[2] == "Avendrel"
                              for e in events)


def hotspots_enabled(value, mark):
    def seen(events):
        states = {e[1] for e in events[mark:] if e[0] == "object:state-changed:enabled"
                  and e[3] == value}
        return all(role in states for role in HOTSPOTS)
    return seen


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


def wait_addresses(d, expected, what):
    """The recorded addresses once they are `expected` (never fewer, never more)."""
    def arrived():
        opened = d.opened()
        check(opened == expected[:len(opened)], "%s: %r" % (what, opened))
        return len(opened) == len(expected)
    wait_for("%s: %r" % (what, expected), arrived, 30)


def focus(d, window):
    d.xdotool("windowfocus", "--sync", str(window.id))


def check_events_and_actions(d, pyatspi, app, window, listener, opened_before, tones_before):
    """Events, hit tests and actions, from an enabled window on the bus to Yes."""
    frame = check_tree(pyatspi, app, enabled=True)
    # A call answered by the program: the bridge has then heard of the listeners
    # registered before it, as the bus delivers in order.
    extents(pyatspi, frame)
    if d.x.get_input_focus().focus == window:
        d.xdotool("windowfocus", "--sync", str(d.x.screen().root.id))
        listener.wait("the window's deactivate event", frame_event("window:deactivate"))
    mark = listener.mark()
    focus(d, window)
    listener.wait("the window's activate event as it takes the focus",
                  lambda events: frame_event("window:activate")(events[mark:]))
    check(frame.getState().contains(pyatspi.STATE_ACTIVE), "the focused window is not active")

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
    wait_addresses(d, opened_before + [HOME_PAGE_ADDRESS], "after the link's action")
    check(tones(d) == tones_before + 1, "%d tones after the link's action" % tones(d))

    mark = listener.mark()
    check(button.queryAction().doAction(0), "the button's action was refused")
    d.wait_box(20)
    listener.wait("both hotspots disabled as the box opens", hotspots_enabled(0, mark))
    listener.wait("the window's deactivate event as the box takes the focus",
                  lambda events: frame_event("window:deactivate")(events[mark:]))
    check(d.opened() == opened_before + [HOME_PAGE_ADDRESS], "the sign-up page opened before the answer")
    check_tree(pyatspi, app, enabled=False)
    # The bridge answers every action request with true before performing it;
    # what counts is that nothing happens, which the answer below shows: the
    # addresses after it are exactly the sign-up page's.
    link.queryAction().doAction(0)
    extents(pyatspi, frame)

    mark = listener.mark()
    d.answer(yes=False)
    listener.wait("both hotspots enabled as the box closes", hotspots_enabled(1, mark))
    wait_addresses(d, opened_before + [HOME_PAGE_ADDRESS, SIGN_UP_ADDRESS], "after No")
    check(tones(d) == tones_before + 2, "under the box: %d tones" % tones(d))
    check(d.running(), "the program ended after No")
    check_tree(pyatspi, app, enabled=True)
    changes = [e for e in listener.seen if e[0] == "object:state-changed:enabled" and e[1] in HOTSPOTS]
    check(all(e[2] in (CHILDREN[1][1], CHILDREN[2][1]) for e in changes),
          "state changes from unknown objects: %r" % changes)

    check(button.queryAction().doAction(0), "the second button action was refused")
    d.answer(yes=True)
    status = d.wait_end(30)
    check(status == 0, "status %s after Yes" % status)
    wait_addresses(d, opened_before + [HOME_PAGE_ADDRESS, SIGN_UP_ADDRESS, SIGN_UP_ADDRESS],
                   "after Yes")
    check(tones(d) == tones_before + 3, "%d tones after three actions" % tones(d))


def check_quiet(d):
    # NOTE: GTK, started for the box while the bridge serves a client, warns
    # about emission hooks it cannot add for that client's events; nothing
    # else may be printed.
    printed = [line for line in d.output().splitlines()
               if line.strip() and "g_signal_add_emission_hook" not in line]
    check(printed == [], "the program printed %r" % d.output())


# --- the cases -------------------------------------------------------------

def switched_on_at_start(d, session, wayland, program_env=None):
    start_launcher(d, session, wayland)
    session.switch("ScreenReaderEnabled" if wayland else "IsEnabled", True)
    pyatspi = import_pyatspi()
    listener = Listener(pyatspi)
    env = program_env or program_environment(d, session)
    if wayland:
        # As in a Wayland session, where the program runs through Xwayland.
        env["WAYLAND_DISPLAY"] = "wayland-avendrel"
    d.start(env=env)
    window = d.wait_program_window(30)
    app = find_application(pyatspi, "Avendrel")
    # A screen reader that listened before the window appeared is told of it.
    listener.wait("the window's create event", frame_event("window:create"))
    announced = root_announcement(d)
    if wayland:
        check(announced is None, "a Wayland session's launcher announced %r on the root window"
              % announced)
    else:
        check(announced, "the launcher announced nothing on the root window")
    check_events_and_actions(d, pyatspi, app, window, listener, [], 0)
    listener.close()
    check_quiet(d)


def x11(d, session):
    switched_on_at_start(d, session, wayland=False)


def wayland(d, session):
    switched_on_at_start(d, session, wayland=True)


def no_session_bus(d, session):
    """The program alone has no session bus: the launcher's announcement on
    the root window is what it finds."""
    env = program_environment(d, session)
    env["DBUS_SESSION_BUS_ADDRESS"] = "disabled:"
    env["XDG_RUNTIME_DIR"] = os.path.join(d.home, "no-runtime")
    switched_on_at_start(d, session, wayland=False, program_env=env)


def switched_on_later(d, session):
    d.start(env=program_environment(d, session))
    window = d.wait_program_window(30)
    check(not loaded(d, "libatk-bridge"), "the bridge was loaded with accessibility off")
    # The box once, before there is any accessibility bus: the toolkit that
    # shows it (and brings the bridge's library with it) must not start one.
    d.click(*HOME_PAGE_POINT)
    wait_addresses(d, [HOME_PAGE_ADDRESS], "the home page")
    d.click(*SIGN_UP_POINT)
    d.answer(yes=False)
    wait_addresses(d, [HOME_PAGE_ADDRESS, SIGN_UP_ADDRESS], "the sign-up page")
    check(not session.has_owner(A11Y_BUS), "an accessibility bus was started for the program")

    start_launcher(d, session, wayland=False)
    check(session.status() == {"IsEnabled": False, "ScreenReaderEnabled": False},
          "the launcher starts with accessibility %r" % session.status())
    pyatspi = import_pyatspi()
    listener = Listener(pyatspi)
    switched = time.monotonic()
    session.switch("IsEnabled", True)
    app = find_application(pyatspi, "Avendrel")
    figure("accessible.on_the_bus_after_switching_on", "%.3f" % (time.monotonic() - switched), "s")
    listener.wait("the window's create event once on the bus", frame_event("window:create"))

    # Switched off, the window stays and answers; a click still acts.
    session.switch("IsEnabled", False)
    check(session.status()["IsEnabled"] is False, "accessibility did not switch off")
    d.click(*HOME_PAGE_POINT)
    wait_addresses(d, [HOME_PAGE_ADDRESS, SIGN_UP_ADDRESS, HOME_PAGE_ADDRESS],
                   "a click with accessibility switched off")
    check_tree(pyatspi, app, enabled=True)
    session.switch("IsEnabled", True)
    check(find_application(pyatspi, "Avendrel") is not None, "gone after switching on again")

    check_events_and_actions(d, pyatspi, app, window, listener,
                             [HOME_PAGE_ADDRESS, SIGN_UP_ADDRESS, HOME_PAGE_ADDRESS], 3)
    listener.close()
    check_quiet(d)


def idle(d, session, seconds=10.0):
    from idle import blocked_in, counters, traced_calls

    def quiet(key):
        pid = d.process.pid
        # NOTE: the bridge arms a one-shot timer of its own when it starts
        # (about 15 s); the program is idle once it sleeps without a timeout.
        wait_for("the program to sleep without a timeout",
                 lambda: all(where.endswith("timeout none") for where in blocked_in(pid)), 60, 0.1)
        before = counters(pid)
        time.sleep(seconds)
        after = counters(pid)
        with tempfile.TemporaryDirectory(prefix="avendrel-idle-") as work:
            calls, _ = traced_calls(pid, seconds, work)
        ticks = after[0] - before[0]
        figure("idle.%s.cpu_ticks" % key, ticks, "over %g s" % seconds)
        figure("idle.%s.threads" % key, after[2])
        figure("idle.%s.system_calls" % key, len(calls), "over %g s" % seconds)
        for line in calls[:20]:
            figure("idle.%s.system_call" % key, line)
        check(ticks == 0, "%s: %d CPU ticks while idle" % (key, ticks))
        check(not calls, "%s: %d system calls while idle" % (key, len(calls)))

    start_launcher(d, session, wayland=False)
    d.start(env=program_environment(d, session))
    d.wait_program_window(30)
    # Once the program has asked for the switch and been told it is off.
    pyatspi = import_pyatspi()
    quiet("accessibility_off")
    check(not loaded(d, "libatk-bridge"), "the bridge was loaded with accessibility off")
    session.switch("IsEnabled", True)
    app = find_application(pyatspi, "Avendrel")
    check_tree(pyatspi, app, enabled=True)
    quiet("accessibility_on")
    d.send_close_request(d.wait_program_window(30))
    check(d.wait_end(30) == 0, "the program did not end with status 0 on a close request")


CASES = {"x11": x11, "wayland": wayland, "no_session_bus": no_session_bus,
         "switched_on_later": switched_on_later, "idle": idle}


def run(args):
    check(os.path.exists(LAUNCHER), "%s, which the test command installs, is missing" % LAUNCHER)
    with RobustDesktop(args.program, sound="file") as d:
        os.environ["AVENDREL_TEST_DISPLAY"] = d.display_name
        session = Session()
        try:
            CASES[args.case](d, session)
        finally:
            stop_launcher(d)
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--case", choices=sorted(CASES), default="x11")
    parser.add_argument("--program", required=True)
    args = parser.parse_args()
    if os.environ.get(SESSION_MARK) != args.case:
        # An ordinary session bus of its own, with service activation, ended
        # with this script.
        os.environ[SESSION_MARK] = args.case
        os.execvp("dbus-run-session", ["dbus-run-session", "--", "/usr/bin/python3",
                                       os.path.abspath(__file__), *sys.argv[1:]])
    try:
        status = run(args)
    except TestFailure as failure:
        print("FAIL accessible %s: %s" % (args.case, failure))
        return 1
    print("PASS accessible %s" % args.case)
    return status


if __name__ == "__main__":
    sys.exit(main())
