#!/usr/bin/python3
"""What the real Linux program costs when nobody uses it.

    idle.py --program PATH [--seconds S]

Left alone for S (10) s once its window is shown, the program must use no CPU
time (utime + stime from /proc/PID/stat, in clock ticks, unchanged), wake no
thread (voluntary and involuntary context switches of every thread
unchanged), and make no system call (strace attached for S s to every
thread: nothing but the call it was blocked in when strace attached, which
strace shows being resumed, and the detach). The same figures are then taken
again after both hotspots have been used (a home-page click and a sign-up
answered No), when the toolkit's threads exist. Prints the figures."""

import argparse
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

from harness import (HOME_PAGE_POINT, SIGN_UP_POINT, RobustDesktop, check, figure, run_case,
                     wait_for)


def counters(pid):
    """(CPU ticks of the process, context switches of all its threads, threads)."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    ticks = int(fields[11]) + int(fields[12])
    switches = 0
    tasks = os.listdir("/proc/%d/task" % pid)
    for tid in tasks:
        with open("/proc/%d/task/%s/status" % (pid, tid)) as f:
            for line in f:
                if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                    switches += int(line.split()[1])
    return ticks, switches, len(tasks)


SYSCALL_NAMES = {"0": "read", "7": "poll", "202": "futex", "232": "epoll_wait", "271": "ppoll"}


def blocked_in(pid):
    """Where each thread sleeps, from /proc (strace, attaching, only guesses
    the name of the call it interrupts)."""
    found = []
    for tid in sorted(os.listdir("/proc/%d/task" % pid), key=int):
        with open("/proc/%d/task/%s/comm" % (pid, tid)) as f:
            name = f.read().strip()
        with open("/proc/%d/task/%s/syscall" % (pid, tid)) as f:
            fields = f.read().split()
        call = SYSCALL_NAMES.get(fields[0], "call " + fields[0])
        if call == "poll":
            timeout = int(fields[3], 16)
            call += " on %d fds, timeout %s" % (int(fields[2], 16),
                                               "none" if timeout == 0xFFFFFFFF else timeout)
        found.append("%s: %s" % (name, call))
    return found


def tracer_of(pid):
    """The tracer of each of the program's threads, by thread id (0: none)."""
    found = {}
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/status" % (pid, tid)) as f:
                found[tid] = next(int(line.split()[1]) for line in f
                                  if line.startswith("TracerPid:"))
        except (FileNotFoundError, StopIteration):
            pass
    return found


def traced_calls(pid, seconds, work):
    """The system calls made while strace is attached for `seconds` s, without
    those that only show where each thread was blocked when it attached.
    A trace that strace could not take (no permission to attach, strace
    failing) fails the test: an empty trace proves nothing by itself."""
    trace = os.path.join(work, "idle-%d-%d.txt" % (pid, time.monotonic_ns()))
    errors = os.path.join(work, "strace-errors-%d.txt" % time.monotonic_ns())
    with open(errors, "wb") as err:
        tracer = subprocess.Popen(["strace", "-f", "-qq", "-p", str(pid), "-o", trace],
                                  stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                  stderr=err)

    def strace_said():
        with open(errors, errors="replace") as f:
            return f.read().strip()
    try:
        # The idle time counts only once strace traces every thread.
        def attached():
            check(tracer.poll() is None, "strace ended before attaching (status %s): %s"
                  % (tracer.returncode, strace_said()))
            tracers = tracer_of(pid)
            return tracers and all(t == tracer.pid for t in tracers.values())
        wait_for("strace to attach to every thread of %d" % pid, attached, 30)
        time.sleep(seconds)
        still_attached = set(tracer_of(pid).values()) == {tracer.pid}
    finally:
        tracer.terminate()
        try:
            tracer.wait(10)
        except subprocess.TimeoutExpired:
            tracer.kill()
            tracer.wait()
    check(still_attached, "strace was no longer attached at the end of the idle time: %s"
          % strace_said())
    check(tracer.returncode in (0, -signal.SIGTERM),
          "strace ended with status %s: %s" % (tracer.returncode, strace_said()))
    check(strace_said() == "", "strace reported: %s" % strace_said())
    seen, calls, attach = set(), [], []
    with open(trace, errors="replace") as f:
        for line in f:
            line = line.rstrip("\n")
            m = re.match(r"^(\d+)\s+(.*)$", line)
            tid, text = (int(m.group(1)), m.group(2)) if m else (None, line)
            first = tid not in seen
            seen.add(tid)
            # Attaching interrupts the blocking call; the kernel restarts it.
            if first and (text.startswith("restart_syscall(<... resuming interrupted") or
                          text.endswith("<unfinished ...>") or "resumed>" in text):
                attach.append(line)
                continue
            if "<detached ...>" in text or text.startswith("+++") or not text:
                attach.append(line)
                continue
            calls.append(line)
    return calls, attach


def measure(pid, seconds, work, key):
    before = counters(pid)
    time.sleep(seconds)
    after = counters(pid)
    ticks, switches = after[0] - before[0], after[1] - before[1]
    figure("idle.%s.seconds" % key, seconds)
    figure("idle.%s.threads" % key, after[2])
    figure("idle.%s.cpu_ticks" % key, ticks, "(utime+stime, %d per s)"
           % os.sysconf("SC_CLK_TCK"))
    figure("idle.%s.context_switches" % key, switches)
    for where in blocked_in(pid):
        figure("idle.%s.blocked_in" % key, where)
    calls, attach = traced_calls(pid, seconds, work)
    figure("idle.%s.system_calls" % key, len(calls))
    for line in attach:
        figure("idle.%s.shown_by_attaching" % key, line)
    for line in calls[:20]:
        figure("idle.%s.system_call" % key, line)
    return ticks, switches, calls


def idle(args, work):
    with RobustDesktop(args.program) as d:
        process = d.start()
        window = d.wait_program_window()
        time.sleep(1.0)
        ticks, switches, calls = measure(process.pid, args.seconds, work, "shown")
        check(ticks == 0, "%d CPU ticks while idle" % ticks)
        check(switches == 0, "%d context switches while idle" % switches)
        check(not calls, "%d system calls while idle" % len(calls))

        d.click(*HOME_PAGE_POINT)
        d.wait_opened(1)
        d.click(*SIGN_UP_POINT)
        d.answer(False)
        d.wait_opened(2)
        time.sleep(1.0)
        ticks, switches, calls = measure(process.pid, args.seconds, work, "after_use")
        check(ticks == 0, "after use: %d CPU ticks while idle" % ticks)
        check(not calls, "after use: %d system calls while idle" % len(calls))
        d.check_going_on("after the idle time")
        d.send_close_request(window)
        d.check_quiet_end("close request")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--seconds", type=float, default=10.0)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="avendrel-idle-") as work:
        ok = run_case("idle", idle, args, work)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
