#!/usr/bin/python3
"""Memory errors, leaks and undefined behaviour of the real Linux program.

    memory.py {valgrind|sanitizers} {session|close} --program PATH
              [--suppressions FILE] [--exit-check LIB]

session: a home-page click, a sign-up answered No, a sign-up answered Yes
         (the program ends there, status 0);
close:   a close request from the desktop (status 0).

valgrind runs the program under memcheck with the suppressions file;
sanitizers runs the AddressSanitizer + UndefinedBehaviorSanitizer build with
the LeakSanitizer suppressions file and the library that runs the leak check
when the program ends through _exit. Both report into files of their own, so
the program's own output must still be empty. Prints the figures; fails on
any error, on anything definitely or indirectly lost, on a status other than 0."""

import argparse
import glob
import os
import re
import sys
import time

from harness import (HOME_PAGE_ADDRESS, HOME_PAGE_POINT, SIGN_UP_ADDRESS, SIGN_UP_POINT,
                     RobustDesktop, check, figure, run_case)


class Within:
    """One deadline for a whole scenario: valgrind makes each step slow on a
    loaded machine, and every step's wait is what is left of the scenario's
    time, so that all of them together end before the test's own time-out."""

    def __init__(self, seconds):
        self.end = time.monotonic() + seconds
        self.seconds = seconds

    def left(self):
        left = self.end - time.monotonic()
        check(left > 0, "the scenario took more than %g s" % self.seconds)
        return left


def drive(d, scenario, within):
    window = d.wait_program_window(timeout=within.left())
    if scenario == "session":
        d.click(*HOME_PAGE_POINT)
        d.wait_opened(1, within.left())
        d.click(*SIGN_UP_POINT)
        d.answer(False, within.left())
        d.wait_opened(2, within.left())
        d.check_going_on("after No")
        d.click(*SIGN_UP_POINT)
        d.answer(True, within.left())
        status = d.wait_end(within.left())
        expected = [HOME_PAGE_ADDRESS, SIGN_UP_ADDRESS, SIGN_UP_ADDRESS]
    else:
        d.send_close_request(window)
        status = d.wait_end(within.left())
        expected = []
    check(d.wait_opened(len(expected), within.left()) == expected,
          "opened %s, expected %s" % (d.opened(), expected))
    return status


def valgrind(args):
    log = os.path.join(args.work, "memcheck.log")
    tool = ["valgrind", "--tool=memcheck", "--log-file=" + log, "--leak-check=full",
            "--show-leak-kinds=definite,indirect", "--errors-for-leak-kinds=definite,indirect",
            "--suppressions=" + args.suppressions, "--num-callers=50",
            "--child-silent-after-fork=yes", "--error-exitcode=99", "-s"]
    with RobustDesktop(args.program, tool) as d:
        d.start()
        status = drive(d, args.scenario, Within(args.within))
        output = d.output()
    with open(log) as f:
        report = f.read()

    def number(pattern):
        match = re.search(pattern, report)
        return int(match.group(1).replace(",", "")) if match else 0
    errors = number(r"ERROR SUMMARY: ([\d,]+) errors")
    definite = number(r"definitely lost: ([\d,]+) bytes")
    indirect = number(r"indirectly lost: ([\d,]+) bytes")
    possible = number(r"possibly lost: ([\d,]+) bytes")
    suppressed_leaks = number(r"(?m)^==\d+==\s+suppressed: ([\d,]+) bytes")
    figure("memcheck.%s.errors" % args.scenario, errors)
    figure("memcheck.%s.definitely_lost" % args.scenario, definite, "bytes")
    figure("memcheck.%s.indirectly_lost" % args.scenario, indirect, "bytes")
    figure("memcheck.%s.possibly_lost" % args.scenario, possible, "bytes (not counted: "
           "system libraries' pointers into their own blocks)")
    figure("memcheck.%s.suppressed_leaks" % args.scenario, suppressed_leaks, "bytes")
    for line in re.findall(r"used_suppression:\s+(\d+)\s+(\S+)", report):
        figure("memcheck.%s.suppression.%s" % (args.scenario, line[1]), line[0], "uses")
    check("ERROR SUMMARY" in report, "valgrind wrote no summary: %s" % report[-2000:])
    problems = errors or definite or indirect
    if problems or status != 0:
        print(report[-20000:])
    check(status == 0, "status %s (99: valgrind found errors)" % status)
    check(not problems, "%d errors, %d bytes definitely and %d indirectly lost"
          % (errors, definite, indirect))
    check(output == "", "the program printed %r" % output)


def sanitizers(args):
    # The test command builds the sanitizer build: without it the test fails.
    check(os.path.exists(args.program),
          "no sanitizer build at %s (build the linux-sanitize preset, or pass "
          "-DAVENDREL_SANITIZE_DIR=...)" % args.program)
    log_prefix = os.path.join(args.work, "sanitizer")
    checked = os.path.join(args.work, "leak-check-done")
    env_extra = {
        "ASAN_OPTIONS": "log_path=%s:detect_leaks=1:fast_unwind_on_malloc=0:"
                        "verify_asan_link_order=0:abort_on_error=0:exitcode=98" % log_prefix,
        "LSAN_OPTIONS": "suppressions=%s:print_suppressions=1:exitcode=97" % args.suppressions,
        "UBSAN_OPTIONS": "log_path=%s:print_stacktrace=1:halt_on_error=1:exitcode=96"
                         % log_prefix,
        "LD_PRELOAD": args.exit_check,
        "AVENDREL_LEAK_CHECK_DONE": checked,
    }
    with RobustDesktop(args.program) as d:
        d.start(**env_extra)
        status = drive(d, args.scenario, Within(args.within))
        output = d.output()
    report = ""
    for path in sorted(glob.glob(log_prefix + ".*")):
        with open(path) as f:
            report += f.read()
    asan = len(re.findall(r"ERROR: AddressSanitizer", report))
    ubsan = len(re.findall(r"runtime error:", report))
    leaks = re.search(r"SUMMARY: AddressSanitizer: (\d+) byte\(s\) leaked in (\d+)", report)
    figure("sanitizers.%s.address_errors" % args.scenario, asan)
    figure("sanitizers.%s.undefined_behaviour" % args.scenario, ubsan)
    figure("sanitizers.%s.leaked" % args.scenario, leaks.group(1) if leaks else 0, "bytes")
    for count, size, name in re.findall(r"^\s+(\d+)\s+(\d+)\s+(\S+)$", report, re.M):
        figure("sanitizers.%s.suppression.%s" % (args.scenario, name), "%s blocks" % count,
               "(%s bytes)" % size)
    figure("sanitizers.%s.leak_check_ran" % args.scenario, os.path.exists(checked))
    if report and (asan or ubsan or leaks):
        print(report[-20000:])
    check(not (asan or ubsan or leaks), "sanitizer reports (above)")
    check(status == 0, "status %s (98: address error, 97: leak, 96: undefined behaviour)"
          % status)
    check(os.path.exists(checked), "the leak check did not run when the program ended")
    check(output == "", "the program printed %r" % output)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tool", choices=["valgrind", "sanitizers"])
    parser.add_argument("scenario", choices=["session", "close"])
    parser.add_argument("--program", required=True)
    parser.add_argument("--suppressions", required=True)
    parser.add_argument("--exit-check")
    parser.add_argument("--within", type=float, default=150,
                        help="seconds for the whole scenario, under the test's time-out")
    args = parser.parse_args()
    import tempfile
    with tempfile.TemporaryDirectory(prefix="avendrel-memory-") as work:
        args.work = work
        function = valgrind if args.tool == "valgrind" else sanitizers
        ok = run_case("%s %s" % (args.tool, args.scenario), function, args)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
