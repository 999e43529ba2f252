#!/usr/bin/python3
"""Start-up, peak memory and threads of two builds of the Linux program side
by side, in the sessions that accessibility changes: no session bus, a
session bus whose accessibility is off (at-spi2-core's launcher running), and
accessibility on (the window on the accessibility bus, read by pyatspi).

    dbus-run-session -- bench/linux/accessibility_benchmark.py BEFORE AFTER [ROUNDS]

BEFORE and AFTER are two builds of the program (e.g. main's and this tree's
build/linux/app/Avendrel). Both run on one Xvfb (-noreset), alternating which
goes first, ROUNDS (11) times per session kind. For each start it measures the
time from exec to the window being viewable, with accessibility on also to
the application being on the bus, then, once it is settled, the peak resident
memory (VmHWM) and the threads. Prints medians and AFTER/BEFORE ratios; the
figures move with the machine and are never a pass or a fail."""

import os
import signal
import statistics
import subprocess
import sys
import tempfile
import time

from Xlib import X, display as xdisplay

LAUNCHER = "/usr/libexec/at-spi-bus-launcher"


def wait_for(predicate, timeout, step=0.002):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    raise RuntimeError("timed out")


def viewable(x):
    for window in x.screen().root.query_tree().children:
        try:
            if window.get_wm_name() == "Avendrel" and \
                    window.get_attributes().map_state == X.IsViewable:
                return True
        except Exception:
            continue
    return False


def status_fields(pid):
    fields = {}
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            key, _, value = line.partition(":")
            fields[key] = value.strip()
    return int(fields["VmHWM"].split()[0]), int(fields["Threads"])


def on_bus(pyatspi):
    desktop = pyatspi.Registry.getDesktop(0)
    return any(desktop.getChildAtIndex(i) is not None and desktop.getChildAtIndex(i).name == "Avendrel"
               for i in range(desktop.childCount))


def one_start(program, env, x, pyatspi):
    started = time.monotonic()
    process = subprocess.Popen([program], env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        wait_for(lambda: viewable(x), 30)
        shown = (time.monotonic() - started) * 1000
        ready = None
        if pyatspi:
            wait_for(lambda: on_bus(pyatspi), 30, 0.005)
            ready = (time.monotonic() - started) * 1000
        time.sleep(1.0)  # settled: whatever it starts after showing has started
        kilobytes, threads = status_fields(process.pid)
    finally:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
    return shown, ready, kilobytes, threads


def main():
    if len(sys.argv) < 3 or "DBUS_SESSION_BUS_ADDRESS" not in os.environ:
        print(__doc__)
        return 2
    programs = {"before": os.path.abspath(sys.argv[1]), "after": os.path.abspath(sys.argv[2])}
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 11
    home = tempfile.mkdtemp(prefix="avendrel-bench-a11y-")
    read_fd, write_fd = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x1024x24",
                             "-nolisten", "tcp", "-noreset"], pass_fds=(write_fd,),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_fd)
    number = b""
    while not number.endswith(b"\n"):
        number += os.read(read_fd, 16)
    display_name = ":" + number.decode().strip()
    x = xdisplay.Display(display_name)
    base = {"PATH": "/usr/bin:/bin", "HOME": home, "DISPLAY": display_name, "LANG": "C.UTF-8",
            "XDG_RUNTIME_DIR": home}
    session = dict(base, DBUS_SESSION_BUS_ADDRESS=os.environ["DBUS_SESSION_BUS_ADDRESS"])
    launcher = None
    results = {}
    try:
        kinds = [("no session bus", dict(base, DBUS_SESSION_BUS_ADDRESS="disabled:"), False),
                 ("accessibility off", session, False),
                 ("accessibility on", session, True)]
        pyatspi = None
        for kind, env, on in kinds:
            if kind == "accessibility off":
                launcher = subprocess.Popen([LAUNCHER, "--launch-immediately"],
                                            env=dict(session, GSETTINGS_BACKEND="memory"),
                                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                time.sleep(1.0)
            if on:
                subprocess.run(["gdbus", "call", "--session", "-d", "org.a11y.Bus", "-o",
                                "/org/a11y/bus", "-m", "org.freedesktop.DBus.Properties.Set",
                                "org.a11y.Status", "IsEnabled", "<true>"], check=True,
                               stdout=subprocess.DEVNULL, env=dict(os.environ))
                os.environ["DISPLAY"] = display_name
                import pyatspi as module
                pyatspi = module
            for name in programs:  # one warm-up start each
                one_start(programs[name], env, x, pyatspi)
            for i in range(rounds):
                order = ["before", "after"] if i % 2 == 0 else ["after", "before"]
                for name in order:
                    results.setdefault((kind, name), []).append(one_start(programs[name], env, x, pyatspi))
    finally:
        if launcher:
            launcher.send_signal(signal.SIGTERM)
            launcher.wait(10)
        xvfb.terminate()
        xvfb.wait(10)
        subprocess.run(["rm", "-rf", home])

    print("%d rounds each, medians; ratio = after / before" % rounds)
    print("%-18s %-7s %12s %14s %12s %8s" % ("session", "build", "shown (ms)", "on bus (ms)",
                                             "peak (MB)", "threads"))
    for kind, _, on in kinds:
        figures = {}
        for name in ("before", "after"):
            rows = results[(kind, name)]
            shown = statistics.median(r[0] for r in rows)
            ready = statistics.median(r[1] for r in rows) if on else None
            peak = statistics.median(r[2] for r in rows) / 1024
            threads = statistics.median(r[3] for r in rows)
            figures[name] = (shown, ready, peak, threads)
            print("%-18s %-7s %12.1f %14s %12.2f %8d" % (kind, name, shown,
                                                        "%.1f" % ready if on else "-", peak, threads))
        b, a = figures["before"], figures["after"]
        print("%-18s %-7s %11.2fx %14s %11.2fx %8s" % (kind, "ratio", a[0] / b[0],
                                                      "%.2fx" % (a[1] / b[1]) if on else "-",
                                                      a[2] / b[2], "%d -> %d" % (b[3], a[3])))
    return 0


if __name__ == "__main__":
    sys.exit(main())
