#!/usr/bin/python3
"""The real Linux program started and run in a hostile environment: it never
hangs, crashes or opens the sign-up page without an answer, and says so in one
line wherever it cannot do what it is for.

    hostile.py CASE --program PATH [--sanitized-program PATH --suppressions FILE]

standard_files: started with standard error closed, and with all three
    standard files closed, while the toolkit writes a warning to standard error
    (a locale that is not installed, a GTK module that is not there): the box
    is shown and answered, a close request ends the program with status 0.
display_names: a screen number the display does not have (-1, -2, -1000000):
    one line naming the display and status 1, in the plain and the sanitizer
    build, without a sanitizer report.
server_lost: the X server ends with nothing loaded yet, after a box, and
    while the box is open: status 1 and one line that says so.
opener: no handler in the desktop's MIME settings: the address goes to
    xdg-open, which finds the browser through BROWSER; with xdg-open failing
    or missing, nothing opens, nothing is printed and the program goes on.
no_shared_data: XDG_DATA_DIRS names an empty folder (no icon theme, no MIME
    database): the box is shown without its icon and answered."""

import argparse
import glob
import os
import subprocess
import sys
import tempfile
import time

from harness import (HOME_PAGE_ADDRESS, HOME_PAGE_POINT, SIGN_UP_ADDRESS, SIGN_UP_POINT,
                     OPEN_TIMEOUT, RobustDesktop, TestFailure, check, figure, run_case, wait_for)

H, S = HOME_PAGE_ADDRESS, SIGN_UP_ADDRESS

# Warnings that GTK writes to standard error when it starts.
TOOLKIT_WARNINGS = {"LANG": "xx_YY.UTF-8", "LC_ALL": "xx_YY.UTF-8",
                    "GTK_MODULES": "avendrel-no-such-module"}

ENDING_TIMEOUT = 30  # generous: the machine is shared and loaded


def one_line(output, *words):
    lines = output.splitlines()
    check(len(lines) == 1 and lines[0].startswith("Avendrel: ") and
          all(w in lines[0] for w in words), "expected one line with %s, got %r" % (words, output))
    return lines[0]


def case_standard_files(args):
    for redirections in ("2>&-", "<&- >&- 2>&-"):
        with RobustDesktop(args.program) as d:
            d.start(redirections=redirections, **TOOLKIT_WARNINGS)
            window = d.wait_program_window()
            d.click(*SIGN_UP_POINT)
            d.answer(False)
            d.wait_opened(1)
            check(d.running(), "%s: the program ended after No (status %s)"
                  % (redirections, d.process.returncode))
            d.send_close_request(window)
            started = time.monotonic()
            status = d.wait_end(ENDING_TIMEOUT)
            check(status == 0, "%s: close request gave status %s" % (redirections, status))
            figure("hostile.standard_files.%s.close_took" % redirections.replace(" ", ""),
                   "%.2f" % (time.monotonic() - started), "s")
            check(d.wait_opened(1) == [S], "%s: opened %s" % (redirections, d.opened()))


def run_with_display(program, display, env_extra=None, timeout=ENDING_TIMEOUT):
    env = {"PATH": "/usr/bin:/bin", "HOME": "/tmp", "DISPLAY": display}
    env.update(env_extra or {})
    try:
        return subprocess.run([program], env=env, capture_output=True, text=True,
                              timeout=timeout, stdin=subprocess.DEVNULL)
    except subprocess.TimeoutExpired:
        raise TestFailure("DISPLAY=%s: the program did not end" % display)


def case_display_names(args):
    programs = [(args.program, {})]
    # The test command builds the sanitizer build: without it the case fails.
    check(args.sanitized_program and os.path.exists(args.sanitized_program),
          "no sanitizer build at %s (build the linux-sanitize preset, or pass "
          "-DAVENDREL_SANITIZE_DIR=...)" % args.sanitized_program)
    work = tempfile.mkdtemp(prefix="avendrel-hostile-")
    programs.append((args.sanitized_program, {
        "ASAN_OPTIONS": "log_path=%s/asan:detect_leaks=1:exitcode=98" % work,
        "LSAN_OPTIONS": "suppressions=%s:exitcode=97" % args.suppressions,
        "UBSAN_OPTIONS": "log_path=%s/asan:print_stacktrace=1:halt_on_error=1:exitcode=96"
                         % work}))
    with RobustDesktop(args.program) as d:
        for program, env in programs:
            for screen in ("-1", "-2", "-1000000"):
                display = "%s.%s" % (d.display_name, screen)
                result = run_with_display(program, display, env)
                what = "%s with DISPLAY=%s" % (os.path.relpath(program), display)
                check(result.returncode == 1, "%s: status %s, stderr %r"
                      % (what, result.returncode, result.stderr[-2000:]))
                one_line(result.stderr, '"%s"' % display, "screen " + screen)
                check(result.stdout == "", "%s: printed %r" % (what, result.stdout))
            if env:
                reports = "".join(open(p).read() for p in glob.glob(work + "/asan*"))
                check(reports == "", "sanitizer reports: %s" % reports[-4000:])
                figure("hostile.display_names.sanitizer_reports", 0)


def lose_server(d):
    d.xvfb.kill()
    d.xvfb.wait()
    d.x = None  # its connection went with the server


def case_server_lost(args):
    for moment in ("nothing loaded", "after a box", "box open"):
        with RobustDesktop(args.program) as d:
            d.start()
            d.wait_program_window()
            if moment == "after a box":
                d.click(*SIGN_UP_POINT)
                d.answer(False)
                d.wait_opened(1)
            elif moment == "box open":
                d.click(*SIGN_UP_POINT)
                d.wait_box()
            display = d.display_name
            lose_server(d)
            status = d.wait_end(ENDING_TIMEOUT)
            check(status == 1, "%s: status %s, output %r" % (moment, status, d.output()))
            one_line(d.output(), "lost the connection", '"%s"' % display)
            if moment == "box open":
                check(d.opened() == [], "the page opened without an answer")


def opener_session(d, expected, what, retried=False, **env):
    d.start(**env)
    window = d.wait_program_window()
    d.click(*HOME_PAGE_POINT)
    time.sleep(0.5)  # not a double-click with the next press
    d.click(*SIGN_UP_POINT)
    d.answer(False)

    def distinct(opened):
        # xdg-open tries a browser that fails more than once.
        return [a for i, a in enumerate(opened) if i == 0 or opened[i - 1] != a] if retried \
            else opened
    wait_for("%d distinct addresses" % len(expected),
             lambda: len(distinct(d.opened())) >= len(expected), OPEN_TIMEOUT)
    got = distinct(d.wait_opened(len(d.opened())))
    check(got == expected, "%s: opened %s, expected %s" % (what, got, expected))
    d.check_going_on(what)
    d.send_close_request(window)
    d.check_quiet_end(what + ", close request")


def recorder(d):
    return os.path.join(d.home, "recorder.sh")


def case_opener(args):
    # Reachable only through xdg-open, which honours BROWSER.
    with RobustDesktop(args.program, browser=None) as d:
        opener_session(d, [H, S], "BROWSER through xdg-open", BROWSER=recorder(d))
        children = subprocess.run(["ps", "-o", "stat=", "--ppid", str(d.process.pid)],
                                  capture_output=True, text=True).stdout.split()
        check(not any(c.startswith("Z") for c in children), "zombies: %s" % children)
    # xdg-open runs, the browser it is given fails, and xdg-open complains.
    with RobustDesktop(args.program, browser="fail") as d:
        os.unlink(os.path.join(d.home, "config", "mimeapps.list"))
        os.unlink(os.path.join(d.home, "data", "applications", "avendrel-recorder.desktop"))
        opener_session(d, [H, S], "failing browser through xdg-open", retried=True,
                       BROWSER=recorder(d))
    # Neither a handler nor xdg-open.
    with RobustDesktop(args.program, browser=None) as d:
        opener_session(d, [], "no xdg-open", PATH=os.path.join(d.home, "empty-path"),
                       BROWSER=recorder(d))


def case_no_shared_data(args):
    widths = {}
    for data, answer in (("shared", True), ("empty", False), ("empty", True)):
        with RobustDesktop(args.program) as d:
            empty = os.path.join(d.home, "empty")
            os.makedirs(empty)
            d.start(**({"XDG_DATA_DIRS": empty} if data == "empty" else {}))
            window = d.wait_program_window()
            d.click(*SIGN_UP_POINT)
            widths[data] = d.wait_box().get_geometry().width
            d.answer(answer)
            d.wait_opened(1)
            what = "%s data, %s" % (data, "Yes" if answer else "No")
            if not answer:
                d.check_going_on(what)
                d.send_close_request(window)
            d.check_quiet_end(what)
            check(d.wait_opened(1) == [S], "%s: opened %s" % (what, d.opened()))
    figure("hostile.no_shared_data.box_width.with_icon", widths["shared"], "px")
    figure("hostile.no_shared_data.box_width.without_data", widths["empty"], "px")
    check(widths["empty"] < widths["shared"], "the box without shared data is as wide as "
          "the one with its icon: %s" % widths)


CASES = {name[len("case_"):]: fn for name, fn in globals().items() if name.startswith("case_")}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("case", choices=sorted(CASES))
    parser.add_argument("--program", required=True)
    parser.add_argument("--sanitized-program")
    parser.add_argument("--suppressions")
    args = parser.parse_args()
    return 0 if run_case(args.case, CASES[args.case], args) else 1


if __name__ == "__main__":
    sys.exit(main())
