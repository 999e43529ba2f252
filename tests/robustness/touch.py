#!/usr/bin/python3
"""What the real Linux program touches: one full run under strace -f.

    touch.py --program PATH

The run: window shown, a home-page click, a sign-up click answered No, a
close request. It is made three times:

- on the end-to-end tests' desktop (no session bus, no accessibility bridge):
  every socket must be a local one to the X server, no file may be opened for
  writing or created, no thread may be started before the first address is
  opened (after that only the toolkit's own, for opening addresses and for
  the box; none carries the program's name), no timer at all;
- on a desktop with a session bus (a private bus daemon that starts no
  services), as on a user's desktop: the same figures are printed, and the
  bus connections and the messages on the bus listed; only "no network
  socket" and "no file written" are asserted there, since what the toolkit
  says on the bus is its own. The accessibility bridge stays off in all three
  runs: on a bus without the accessibility service it prints a warning of
  its own, and with the service it starts the accessibility bus daemons,
  which a test cannot own;
- on a desktop without a session bus address at all: the same figures, and
  what GLib runs to find a bus (a stand-in dbus-launch, first on PATH, that
  records its arguments and fails, so that no real bus daemon is started).

The counts are per phase of the run and cover the program's own process (its
threads included); the browser started for an address is a child process and
is listed separately."""

import argparse
import os
import re
import subprocess
import sys
import tempfile
import time

from harness import HOME_PAGE_POINT, SIGN_UP_POINT, RobustDesktop, check, figure, run_case

TRACED = ("socket,connect,bind,open,openat,openat2,creat,mkdir,mkdirat,unlink,unlinkat,"
          "rename,renameat,renameat2,truncate,clone,clone3,fork,vfork,execve,"
          "timerfd_create,timer_create,setitimer,alarm,prctl")
WRITE_FLAGS = re.compile(r"O_WRONLY|O_RDWR|O_CREAT|O_TRUNC|O_APPEND")
LINE = re.compile(r"^(\d+)\s+(\d+\.\d+)\s+(.*)$")
PHASES = ["start", "home page", "box", "close"]



def read_trace(path):
    """The trace's calls as (pid, time, text), unfinished calls joined."""
    pending, calls = {}, []
    with open(path, errors="replace") as f:
        for raw in f:
            m = LINE.match(raw.rstrip("\n"))
            if not m:
                continue
            pid, when, text = int(m.group(1)), float(m.group(2)), m.group(3)
            if text.endswith("<unfinished ...>"):
                pending[pid] = (when, text[: -len("<unfinished ...>")])
                continue
            resumed = re.match(r"<\.\.\. \w+ resumed>(.*)$", text)
            if resumed and pid in pending:
                when, start = pending.pop(pid)
                text = start + resumed.group(1)
            calls.append((pid, when, text))
    return calls


class Accounting:
    def __init__(self, calls, program_pid, boundaries):
        self.program = {program_pid}   # the program's threads
        self.children = set()          # processes it started (and theirs)
        self.boundaries = boundaries
        self.by_phase = {p: {"sockets": [], "connects": [], "file writes": [], "threads": 0,
                             "timers": [], "children": 0} for p in PHASES}
        self.executed = []
        self.thread_phase, self.thread_name = {}, {}
        for pid, when, text in calls:
            self.account(pid, when, text)

    def started_threads(self, phase):
        """The names the threads started in `phase` gave themselves."""
        return [self.thread_name.get(tid, "unnamed") for tid, p in self.thread_phase.items()
                if p == phase]

    def phase(self, when):
        for name, end in zip(PHASES, self.boundaries + [float("inf")]):
            if when < end:
                return name
        return PHASES[-1]

    def account(self, pid, when, text):
        name = text.split("(", 1)[0]
        result = re.search(r"= (-?\d+)", text.rsplit(")", 1)[-1]) if ")" in text else None
        value = int(result.group(1)) if result else -1
        if pid in self.children:
            if name in ("clone", "clone3", "fork", "vfork") and value > 0:
                self.children.add(value)
            if name == "execve" and value == 0:
                self.executed.append(re.match(r'execve\("([^"]*)"', text).group(1))
            return
        if pid not in self.program:
            return
        counts = self.by_phase[self.phase(when)]
        if name in ("clone", "clone3", "fork", "vfork"):
            if value <= 0:
                return
            if "CLONE_THREAD" in text:
                self.program.add(value)
                self.thread_phase[value] = self.phase(when)
                counts["threads"] += 1
            else:
                self.children.add(value)
                counts["children"] += 1
        elif name == "prctl" and "PR_SET_NAME" in text:
            named = re.search(r'PR_SET_NAME, "([^"]*)"', text)
            if named:
                self.thread_name[pid] = named.group(1)
        elif name == "socket" and value >= 0:
            counts["sockets"].append(text.split(")", 1)[0] + ")")
        elif name == "connect":
            target = re.search(r'sun_path=(@?"[^"]*")', text) or re.search(r"sa_family=(\w+)", text)
            counts["connects"].append("%s -> %s" % (target.group(1) if target else text,
                                                    "ok" if value == 0 else text.rsplit("= ", 1)[-1]))
        elif name in ("timerfd_create", "timer_create", "setitimer", "alarm"):
            counts["timers"].append(text)
        elif name in ("open", "openat", "openat2", "creat"):
            path = re.search(r'"([^"]*)"', text)
            path = path.group(1) if path else "?"
            writing = name == "creat" or WRITE_FLAGS.search(text)
            if writing and value >= 0 and not (path.startswith("/dev/") or
                                               path.startswith("/proc/")):
                counts["file writes"].append(text)
        elif name in ("mkdir", "mkdirat", "unlink", "unlinkat", "rename", "renameat",
                      "renameat2", "truncate") and value == 0:
            counts["file writes"].append(text)

    def total(self, key):
        return sum(len(c[key]) if isinstance(c[key], list) else c[key]
                   for c in self.by_phase.values())


def thread_names(pid):
    names = []
    for tid in sorted(os.listdir("/proc/%d/task" % pid), key=int):
        try:
            with open("/proc/%d/task/%s/comm" % (pid, tid)) as f:
                names.append(f.read().strip())
        except FileNotFoundError:
            pass
    return names


def traced_run(program, work, variant):
    trace = os.path.join(work, "trace-%s.txt" % variant.replace(" ", "-"))
    tool = ["strace", "-f", "-qq", "-ttt", "-yy", "-s", "256", "-e", "trace=" + TRACED,
            "-o", trace]
    with RobustDesktop(program, tool, sound="null") as d:
        env = d.environment()
        if variant == "session bus":
            env["DBUS_SESSION_BUS_ADDRESS"] = d.start_session_bus()
            monitor = subprocess.Popen(
                ["dbus-monitor", "--address", env["DBUS_SESSION_BUS_ADDRESS"], "--profile"],
                stdin=subprocess.DEVNULL, stdout=open(bus_log(work), "w"),
                stderr=subprocess.DEVNULL)
            d.processes.append(monitor)
            time.sleep(0.3)
        if variant == "no bus address":
            fake = os.path.join(work, "fake-bin")
            os.makedirs(fake, exist_ok=True)
            with open(os.path.join(fake, "dbus-launch"), "w") as f:
                f.write('#!/bin/sh\necho "$*" >> "%s"\nexit 1\n' % dbus_launch_log(work))
            os.chmod(os.path.join(fake, "dbus-launch"), 0o755)
            del env["DBUS_SESSION_BUS_ADDRESS"]
            env["PATH"] = fake + ":" + env["PATH"]
        d.start(env=env)
        window = d.wait_program_window()
        pid = d.property(window, "_NET_WM_PID")[0]
        time.sleep(0.5)
        names = {"start": thread_names(pid)}
        boundaries = [time.time()]
        d.click(*HOME_PAGE_POINT)
        d.wait_opened(1)
        time.sleep(0.3)
        names["home page"] = thread_names(pid)
        boundaries.append(time.time())
        d.click(*SIGN_UP_POINT)
        d.wait_box()
        names["box open"] = thread_names(pid)
        d.answer(False)
        d.wait_opened(2)
        time.sleep(0.3)
        names["box"] = thread_names(pid)
        boundaries.append(time.time())
        d.send_close_request(window)
        status = d.wait_end(30)
        output = d.output()
    check(status == 0, "%s: status %s, output %r" % (variant, status, output))
    check(output == "", "%s: the program printed %r" % (variant, output))
    return Accounting(read_trace(trace), pid, boundaries), names


def bus_log(work):
    return os.path.join(work, "bus-messages.txt")


def bus_messages(work):
    """The messages on the private bus other than the monitor's own and the
    bus daemon's replies, as (kind, destination, path, interface, member)."""
    found = []
    with open(bus_log(work)) as f:
        for line in f:
            fields = line.split("\t")
            if not fields or fields[0] not in ("mc", "sig"):
                continue
            # type, time, serial, sender, destination, path, interface, member
            if len(fields) >= 8:
                kind, sender, destination, path, interface, member = (
                    fields[0], fields[3], fields[4], fields[5], fields[6], fields[7].strip())
                if member in ("BecomeMonitor",) or sender == "org.freedesktop.DBus":
                    continue
                found.append("%s %s -> %s %s %s.%s" % (kind, sender, destination, path,
                                                       interface, member))
    return found


def dbus_launch_log(work):
    return os.path.join(work, "dbus-launch.log")


def report(variant, accounting, names):
    key = variant.replace(" ", "_")
    for phase in PHASES:
        counts = accounting.by_phase[phase]
        p = "%s.%s" % (key, phase.replace(" ", "_"))
        figure("syscalls.%s.sockets" % p, len(counts["sockets"]))
        for line in counts["connects"]:
            figure("syscalls.%s.connect" % p, line)
        figure("syscalls.%s.file_writes" % p, len(counts["file writes"]))
        for line in counts["file writes"]:
            figure("syscalls.%s.file_write" % p, line)
        figure("syscalls.%s.threads_started" % p, counts["threads"])
        if counts["threads"]:
            figure("syscalls.%s.threads_started_names" % p,
                   " ".join(accounting.started_threads(phase)))
        figure("syscalls.%s.timers" % p, len(counts["timers"]))
        figure("syscalls.%s.processes_started" % p, counts["children"])
        if phase in names:
            figure("syscalls.%s.threads_alive" % p, " ".join(names[phase]))
    figure("syscalls.%s.box_open.threads_alive" % key, " ".join(names["box open"]))
    figure("syscalls.%s.total.sockets" % key, accounting.total("sockets"))
    figure("syscalls.%s.total.file_writes" % key, accounting.total("file writes"))
    figure("syscalls.%s.total.threads_started" % key, accounting.total("threads"))
    figure("syscalls.%s.total.timers" % key, accounting.total("timers"))
    figure("syscalls.%s.children_executed" % key, " ".join(accounting.executed) or "none")


def all_sockets(accounting):
    return [s for c in accounting.by_phase.values() for s in c["sockets"]]


def all_connects(accounting):
    return [s for c in accounting.by_phase.values() for s in c["connects"]]


def case_test_desktop(program, work):
    accounting, names = traced_run(program, work, "test desktop")
    report("test desktop", accounting, names)
    sockets = all_sockets(accounting)
    check(sockets and all(s.startswith("socket(AF_UNIX") for s in sockets),
          "sockets other than local ones: %s" % sockets)
    x_server = re.compile(r'^@?"/tmp/\.X11-unix/X\d+" -> ok$')
    check(all(x_server.match(c) for c in all_connects(accounting)),
          "connections other than to the X server: %s" % all_connects(accounting))
    check(accounting.total("file writes") == 0, "files written")
    start = accounting.by_phase["start"]
    check(start["threads"] == 0 and len(start["sockets"]) == 1,
          "at start: %d threads, sockets %s" % (start["threads"], start["sockets"]))
    check(accounting.by_phase["close"]["threads"] == 0, "threads started at the close")
    # A thread of the program's own would carry its name; the toolkit names its own.
    for phase, alive in names.items():
        check(alive.count("Avendrel") == 1, "after %s, threads %s" % (phase, alive))
    check(accounting.total("timers") == 0, "timers started")


def case_session_bus(program, work):
    accounting, names = traced_run(program, work, "session bus")
    report("session bus", accounting, names)
    for message in bus_messages(work):
        figure("syscalls.session_bus.bus_message", message)
    sockets = all_sockets(accounting)
    check(all(s.startswith("socket(AF_UNIX") for s in sockets),
          "sockets other than local ones: %s" % sockets)
    check(accounting.total("file writes") == 0, "files written")


def case_no_bus_address(program, work):
    accounting, names = traced_run(program, work, "no bus address")
    report("no bus address", accounting, names)
    try:
        with open(dbus_launch_log(work)) as f:
            launches = f.read().splitlines()
    except FileNotFoundError:
        launches = []
    figure("syscalls.no_bus_address.dbus_launch_runs", len(launches))
    for line in launches:
        figure("syscalls.no_bus_address.dbus_launch", line)
    sockets = all_sockets(accounting)
    check(all(s.startswith("socket(AF_UNIX") for s in sockets),
          "sockets other than local ones: %s" % sockets)
    check(accounting.total("file writes") == 0, "files written")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="avendrel-touch-") as work:
        ok = [run_case(name, case, args.program, work)
              for name, case in (("test desktop", case_test_desktop),
                                 ("session bus", case_session_bus),
                                 ("no bus address", case_no_bus_address))]
    return 0 if all(ok) else 1


if __name__ == "__main__":
    sys.exit(main())
