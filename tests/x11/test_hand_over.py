#!/usr/bin/python3
"""End-to-end tests of handing addresses to a browser that the desktop starts
through the session bus, on a virtual display.

    test_hand_over.py CASE --program PATH --browser dbus_browser.py

The session bus is started as a desktop session starts it (dbus-run-session:
the session configuration, services started on demand from the services
folders, among them $XDG_DATA_HOME/dbus-1/services). The default handler of
http in mimeapps.list is a desktop entry with DBusActivatable=true, so the
desktop hands addresses over with org.freedesktop.Application.Open on the
bus; the browser stand-in (dbus_browser.py) records what it receives and, but
in the "already running" case, leaves after each address so that every
address needs a new activation. Each case ends every process it starts."""

import argparse
import os
import statistics
import subprocess
import sys
import time

from desktop import HOME_PAGE_ADDRESS, SIGN_UP_ADDRESS, Desktop, check, run_case, wait_for
from test_program import HOME_PAGE_POINT, SIGN_UP_POINT, check_quiet_exit

BROWSER_NAME = "com.avendrel.TestBrowser"
BROWSER_PATH = "/com/avendrel/TestBrowser"
ROUNDS = 10
# Two points of the home-page hotspot, far enough apart that clicks that
# alternate between them never make a double-click, however fast they come.
HOME_PAGE_POINTS = (HOME_PAGE_POINT, (793, 577))

# Holds the session open: prints the bus address, then waits for its input to
# close. The test keeps that input; when the test ends, however it ends, the
# pipe closes, and dbus-run-session ends the bus and so the browser with it.
SESSION_HOLDER = ("import os, sys; print(os.environ['DBUS_SESSION_BUS_ADDRESS'], flush=True); "
                  "sys.stdin.read()")


def figure(name, value):
    print("FIGURE %s = %s" % (name, value))


class BrowserDesktop(Desktop):
    """The tests' desktop with a session bus and a D-Bus-activated browser as
    the default handler of http."""

    def __init__(self, program, browser_script, stay=False, hold=False):
        super().__init__(program)
        self.browser_script = browser_script
        self.stay = stay
        self.hold = hold
        self.session = None
        self.bus_address = None

    def __enter__(self):
        super().__enter__()
        self.install_browser()
        self.start_session()
        return self

    def __exit__(self, *exc):
        if self.session:
            self.session.stdin.close()
            try:
                self.session.wait(10)
            except subprocess.TimeoutExpired:
                pass
        return super().__exit__(*exc)

    @property
    def browser_log(self):
        return os.path.join(self.home, "browser.log")

    @property
    def release_file(self):
        return os.path.join(self.home, "release")

    def install_browser(self):
        data = os.path.join(self.home, "data")
        command = ["/usr/bin/python3", self.browser_script, "--name", BROWSER_NAME,
                   "--log", self.browser_log]
        if self.stay:
            command.append("--stay")
        if self.hold:
            command += ["--hold", self.release_file]
        with open(os.path.join(data, "applications", BROWSER_NAME + ".desktop"), "w") as f:
            f.write("[Desktop Entry]\nType=Application\nName=Test Browser\n"
                    "Exec=%s %%U\nDBusActivatable=true\n"
                    "MimeType=x-scheme-handler/http;x-scheme-handler/https;\n"
                    % " ".join(command))
        services = os.path.join(data, "dbus-1", "services")
        os.makedirs(services)
        with open(os.path.join(services, BROWSER_NAME + ".service"), "w") as f:
            f.write("[D-BUS Service]\nName=%s\nExec=%s\n" % (BROWSER_NAME, " ".join(command)))
        with open(os.path.join(self.home, "config", "mimeapps.list"), "w") as f:
            f.write("[Default Applications]\nx-scheme-handler/http=%s.desktop\n" % BROWSER_NAME)

    def start_session(self):
        env = self.environment()
        del env["DBUS_SESSION_BUS_ADDRESS"]
        self.session = subprocess.Popen(
            ["dbus-run-session", "--", "/usr/bin/python3", "-c", SESSION_HOLDER],
            env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.bus_address = self.session.stdout.readline().decode().strip()
        check(self.bus_address.startswith("unix:"), "no session bus: %r" % self.bus_address)

    def program_environment(self):
        return self.environment(DBUS_SESSION_BUS_ADDRESS=self.bus_address)

    def bus_call(self, *args):
        return subprocess.run(
            ["gdbus", "call", "--session", *args], env=self.program_environment(),
            capture_output=True, text=True, timeout=30)

    def browser_running(self):
        result = self.bus_call("--dest", "org.freedesktop.DBus", "--object-path",
                               "/org/freedesktop/DBus", "--method",
                               "org.freedesktop.DBus.NameHasOwner", BROWSER_NAME)
        check(result.returncode == 0, "cannot ask the bus: %s" % result.stderr)
        return "true" in result.stdout

    def activate_browser(self):
        """Starts the browser through the bus, as a desktop starts it from its menu."""
        result = self.bus_call("--dest", BROWSER_NAME, "--object-path", BROWSER_PATH,
                               "--method", "org.freedesktop.Application.Activate", "{}")
        check(result.returncode == 0, "the browser did not start: %s" % result.stderr)

    def received(self):
        """(pid, address) of every Open the browser has received, in order."""
        try:
            with open(self.browser_log) as f:
                lines = [line.split() for line in f]
        except FileNotFoundError:
            return []
        return [(words[0], words[2]) for words in lines if len(words) == 3 and words[1] == "Open"]

    def wait_browser_gone(self):
        wait_for("the browser to leave the bus", lambda: not self.browser_running(), 30, 0.05)

    def wait_received(self, count):
        wait_for("%d addresses received" % count, lambda: len(self.received()) >= count, 30)
        return self.received()


def start_and_answer_yes(d):
    """Starts the program, clicks the sign-up button and answers the box Yes
    with Return; returns the time of the answer."""
    d.start_program(env=d.program_environment())
    d.wait_program_window()
    d.click(*SIGN_UP_POINT)
    d.wait_box()
    answered = time.monotonic()
    d.xdotool("key", "Return")
    return answered


def sign_up_yes(d):
    """One run of the program: sign-up answered Yes with Return. Returns the
    time from the answer to the program's end, in ms."""
    answered = start_and_answer_yes(d)
    check_quiet_exit(d, "sign-up answered Yes")
    return (time.monotonic() - answered) * 1000


def check_one_page_per_round(received, rounds, what, new_browser_each_time):
    pages = [address for _, address in received]
    figure("%s.pages_received" % what, "%d of %d" % (pages.count(SIGN_UP_ADDRESS), rounds))
    check(pages == [SIGN_UP_ADDRESS] * rounds,
          "%s: the browser received %s, not %d sign-up pages" % (what, pages, rounds))
    browsers = {pid for pid, _ in received}
    if new_browser_each_time:
        check(len(browsers) == rounds, "%s: %d browsers for %d pages" % (what, len(browsers), rounds))
    else:
        check(len(browsers) == 1, "%s: %d browsers served the pages" % (what, len(browsers)))


# --- cases ---------------------------------------------------------------------


def case_activated_sign_up_yes(args):
    """Sign-up answered Yes, with the browser not running: the bus must start
    it for the page. Every round delivers the page before the program ends
    with status 0."""
    with BrowserDesktop(args.program, args.browser) as d:
        times = []
        for round_number in range(ROUNDS):
            d.wait_browser_gone()
            times.append(sign_up_yes(d))
            # The program has ended: the browser must already have the page.
            check(len(d.received()) == round_number + 1,
                  "round %d: the program ended before the browser had the page (received %s)"
                  % (round_number + 1, d.received()))
        check_one_page_per_round(d.received(), ROUNDS, "activated_sign_up_yes", True)
        figure("activated_sign_up_yes.answer_to_end_ms.median", "%.0f" % statistics.median(times))


def case_activated_home_page(args):
    """Home page with the browser not running: one address per click, each
    by a new activation, and the program goes on; a click followed at once by
    a close request still delivers its address before the program ends."""
    clicks = 3
    with BrowserDesktop(args.program, args.browser) as d:
        d.start_program(env=d.program_environment())
        window = d.wait_program_window()
        for count in range(1, clicks + 1):
            d.wait_browser_gone()
            d.click(*HOME_PAGE_POINTS[count % 2])
            received = d.wait_received(count)
            check(d.running(), "the program ended after a home-page click")
        check([a for _, a in received] == [HOME_PAGE_ADDRESS] * clicks,
              "received %s" % received)
        check(len({pid for pid, _ in received}) == clicks, "not one activation per click")
        d.wait_browser_gone()
        d.click(*HOME_PAGE_POINTS[(clicks + 1) % 2])
        d.send_close_request(window)
        check_quiet_exit(d, "close request right after a click")
        check(len(d.received()) == clicks + 1 and d.received()[-1][1] == HOME_PAGE_ADDRESS,
              "the address of the last click was lost with the program: %s" % d.received())
        figure("activated_home_page.addresses_received", "%d of %d" % (len(d.received()), clicks + 1))


def case_running_browser(args):
    """The same with the browser already running (it stays): every sign-up
    page answered Yes and every home page reach the one running browser."""
    with BrowserDesktop(args.program, args.browser, stay=True) as d:
        d.activate_browser()
        check(d.browser_running(), "the browser is not running")
        times = []
        for round_number in range(ROUNDS):
            times.append(sign_up_yes(d))
            check(len(d.received()) == round_number + 1,
                  "round %d: the program ended before the browser had the page"
                  % (round_number + 1))
        check_one_page_per_round(d.received(), ROUNDS, "running_browser", False)
        figure("running_browser.answer_to_end_ms.median", "%.0f" % statistics.median(times))
        d.start_program(env=d.program_environment())
        window = d.wait_program_window()
        for count in range(1, 4):
            d.click(*HOME_PAGE_POINTS[count % 2])
            d.wait_received(ROUNDS + count)
        check(d.running(), "the program ended after a home-page click")
        d.send_close_request(window)
        check_quiet_exit(d, "close request")
        homes = [a for _, a in d.received()[ROUNDS:]]
        check(homes == [HOME_PAGE_ADDRESS] * 3, "home pages received %s" % homes)
        check(len({pid for pid, _ in d.received()}) == 1, "the running browser was not used")


def case_slow_browser(args):
    """A browser that takes its time to answer: the window goes away at once
    after Yes, the program prints nothing and waits for the answer, then ends
    with status 0. One that never answers: the program still ends, with
    status 0, once its wait is over."""
    with BrowserDesktop(args.program, args.browser, hold=True) as d:
        start_and_answer_yes(d)
        wait_for("the window to go", lambda: d.top_level_named("Avendrel") is None, 10)
        d.wait_received(1)
        check(d.running(), "the program did not wait for the browser's answer")
        with open(d.release_file, "w"):
            pass
        check_quiet_exit(d, "Yes answered slowly")
        check(d.received()[0][1] == SIGN_UP_ADDRESS, "received %s" % d.received())

        os.unlink(d.release_file)
        d.wait_browser_gone()
        answered = start_and_answer_yes(d)
        d.wait_received(2)
        status, out, err = d.wait_exit(60)
        figure("slow_browser.never_answered.answer_to_end_ms",
               "%.0f" % ((time.monotonic() - answered) * 1000))
        check(status == 0 and out == "" and err == "",
              "a browser that never answers: status %s, printed %r %r" % (status, out, err))


CASES = {name[len("case_"):]: fn for name, fn in globals().items() if name.startswith("case_")}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("case", choices=sorted(CASES))
    parser.add_argument("--program", required=True)
    parser.add_argument("--browser", required=True)
    args = parser.parse_args()
    return run_case(CASES, args)


if __name__ == "__main__":
    sys.exit(main())
