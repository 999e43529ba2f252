#!/usr/bin/python3
"""Makes every process a test starts die with the test (see
end_processes_with_this_test). Imported by the tests that start processes."""

import ctypes
import os
import signal
import time

PR_SET_PDEATHSIG = 1
_bound_to_test = False


def _end_by_signal(number, _frame):
    # Unwinds the test (closing its desktops) and exits; the watchdog then
    # ends whatever is left.
    raise SystemExit(128 + number)


def processes_in_group(group):
    """The ids of the processes of process group `group`."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        if int(fields[2]) == group:  # state, ppid, pgrp
            found.append(int(entry))
    return found


def end_processes_with_this_test():
    """Makes every process this test starts, and their children, die with
    the test, however the test ends: normally, by an exception, by SIGTERM,
    SIGINT or SIGHUP, or by SIGKILL (as CTest ends a test past its TIMEOUT).

    The test becomes the leader of its own process group, which everything
    it starts inherits. A watchdog process in that group waits on a pipe
    that only the test holds open; when the test is gone, for whatever
    reason, the pipe ends and the watchdog kills the whole group, itself
    last. The test itself gets SIGTERM when its parent (CTest) dies, and
    SIGTERM unwinds it like an exception. Called once per process, by the
    first Desktop of the end-to-end tests, and by any test that starts
    processes."""
    global _bound_to_test
    if _bound_to_test:
        return
    _bound_to_test = True
    if os.getpgrp() != os.getpid():
        os.setpgid(0, 0)
    group = os.getpgrp()
    # Run by hand in a shell's pipeline, the group also holds the pipeline's
    # other commands: those are left alone.
    others = set(processes_in_group(group)) - {os.getpid()}
    read_end, write_end = os.pipe()
    watchdog = os.fork()
    if watchdog == 0:
        try:
            os.close(write_end)
            for number in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
                signal.signal(number, signal.SIG_IGN)
            while os.read(read_end, 1):
                pass
        finally:
            if not others:
                # The whole group at once, this watchdog with it.
                os.killpg(group, signal.SIGKILL)
            # Repeated, so that a process forked meanwhile is ended too.
            for _ in range(20):
                left = set(processes_in_group(group)) - others - {os.getpid()}
                if not left:
                    break
                for pid in left:
                    try:
                        os.kill(pid, signal.SIGKILL)
                    except OSError:
                        pass
                time.sleep(0.05)
            os._exit(0)
    os.close(read_end)
    # Kept open (and not inherited) until this process is gone.
    end_processes_with_this_test.pipe = write_end
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(PR_SET_PDEATHSIG, signal.SIGTERM)
    for number in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(number, _end_by_signal)
