#!/usr/bin/python3
"""The robustness tests' desktop: the Linux end-to-end tests' Desktop
(tests/x11/desktop.py: a private Xvfb, home, recording browser and sound file)
with what these tests vary on top of it:

- the program may run under a tool (valgrind, strace) given as a command prefix;
- the registered browser may record, fail (exit 3), hang (sleep until the test
  ends it), or be missing altogether;
- the sound device may be the tone file, ALSA's null device, or missing;
- many clicks in one xdotool run, answering the box, and handing back the
  program's output while it still runs.

Every process started here is ended by its id when the desktop is closed."""

import os
import select
import signal
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "x11"))

import desktop as x11_desktop  # noqa: E402
from desktop import (HOME_PAGE_ADDRESS, OPEN_TIMEOUT, SETTLE_SECONDS, SIGN_UP_ADDRESS,  # noqa: E402,F401
                     WINDOW_LEFT, WINDOW_TOP, TestFailure, check, wait_for)
from test_program import HOME_PAGE_POINT, SIGN_UP_POINT  # noqa: E402,F401

# No entry of these tests treats a status as a skip: a test that cannot check
# what it is for fails. (Kept for scripts that still name it.)
SKIP = 77

# Two points of the home-page hotspot (window x 602-793, y 555-577) farther
# apart than a double-click's distance, so that quick clicks alternating
# between them never pair into double-clicks.
HOME_PAGE_LEFT = (610, 560)
HOME_PAGE_RIGHT = (785, 572)

BROWSERS = {
    "record": None,  # the end-to-end tests' recorder, unchanged
    "fail": 'printf "%s\\n" "$*" >> "{log}"\nexit 3\n',
    "hang": 'printf "%s\\n" "$*" >> "{log}"\necho $$ >> "{pids}"\nexec sleep 100000\n',
}

SOUNDS = {
    # The end-to-end tests' device, which writes each tone to the tone file;
    # here that file is a pipe that the test keeps reading, so that it collects
    # every tone played, not only the last one.
    "file": None,
    "null": "pcm.!default {{ type null }}\n",
    # A card that no machine has: opening the default device fails.
    "none": "pcm.!default {{ type hw card 29 }}\nctl.!default {{ type hw card 29 }}\n",
}


BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path={socket}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""


class RobustDesktop(x11_desktop.Desktop):
    def __init__(self, binary, tool=(), browser="record", sound="null"):
        tool = list(tool)
        self.tone_pipe = None
        super().__init__(tool[0] if tool else binary)
        self.arguments = tool[1:] + [binary] if tool else []
        self.browser = browser
        self.sound = sound
        self.process = None

    def prepare_home(self):
        super().prepare_home()
        h = self.home
        if self.browser is None:
            os.unlink(os.path.join(h, "config", "mimeapps.list"))
            os.unlink(os.path.join(h, "data", "applications", "avendrel-recorder.desktop"))
        elif BROWSERS[self.browser]:
            with open(os.path.join(h, "recorder.sh"), "w") as f:
                f.write("#!/bin/sh\n" + BROWSERS[self.browser].format(
                    log=self.opened_log, pids=self.handler_pids_file))
        if SOUNDS[self.sound]:
            with open(os.path.join(h, ".asoundrc"), "w") as f:
                f.write(SOUNDS[self.sound].format(tone=self.tone_file))
        else:
            self.collect_tones()

    def collect_tones(self):
        os.mkfifo(self.tone_file)
        # Open for reading and writing: the pipe never reports an end between tones.
        self.tone_pipe = os.open(self.tone_file, os.O_RDWR | os.O_NONBLOCK)
        self.tone_bytes = bytearray()
        self.tone_lock = threading.Lock()
        self.tone_stop = threading.Event()
        self.tone_reader = threading.Thread(target=self.read_tones, args=(self.tone_pipe,),
                                            daemon=True)
        self.tone_reader.start()

    def read_tones(self, pipe):
        while not self.tone_stop.is_set():
            ready, _, _ = select.select([pipe], [], [], 0.05)
            if ready:
                try:
                    data = os.read(pipe, 65536)
                except BlockingIOError:
                    continue
                with self.tone_lock:
                    self.tone_bytes += data

    def tone_samples(self):
        if self.tone_pipe is None:
            return super().tone_samples()
        time.sleep(0.1)  # what is in the pipe now has been read
        with self.tone_lock:
            data = bytes(self.tone_bytes)
        return [int.from_bytes(data[i:i + 2], "little", signed=True)
                for i in range(0, len(data) - 1, 2)]

    def start_session_bus(self):
        """A private session bus, as a user's desktop has one, that starts no
        services (so nothing is started that the test does not own); returns
        its address. It is ended with the desktop."""
        socket_path = os.path.join(self.home, "session-bus")
        config = os.path.join(self.home, "session-bus.conf")
        with open(config, "w") as f:
            f.write(BUS_CONFIG.format(socket=socket_path))
        bus = subprocess.Popen(["dbus-daemon", "--config-file=" + config, "--nofork"],
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
        self.processes.append(bus)
        wait_for("the session bus", lambda: os.path.exists(socket_path), 10)
        return "unix:path=" + socket_path

    @property
    def handler_pids_file(self):
        return os.path.join(self.home, "handler.pids")

    def start(self, env=None, redirections=None, **extra_env):
        """Starts the program (under its tool, if any) with output going to files,
        so that it can be read while the program runs. `redirections` are a
        shell's, applied as the program starts (e.g. "2>&-" to start it with
        standard error closed)."""
        self.out_path = os.path.join(self.home, "program.out")
        self.err_path = os.path.join(self.home, "program.err")
        command = [self.program, *self.arguments]
        if redirections is not None:
            command = ["/bin/sh", "-c", 'exec "$@" ' + redirections, "sh", *command]
        with open(self.out_path, "wb") as out, open(self.err_path, "wb") as err:
            self.process = subprocess.Popen(
                command, env=env or self.environment(**extra_env),
                stdin=subprocess.DEVNULL, stdout=out, stderr=err)
        self.program_process = self.process
        self.processes.append(self.process)
        return self.process

    def output(self):
        """Everything the program printed so far."""
        text = ""
        for path in (self.out_path, self.err_path):
            with open(path, "rb") as f:
                text += f.read().decode(errors="replace")
        return text

    def wait_end(self, timeout=30):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise TestFailure("the program did not end within %g s" % timeout)

    def check_quiet_end(self, what, timeout=30):
        status = self.wait_end(timeout)
        check(status == 0, "%s: status %s, output %r" % (what, status, self.output()))
        check(self.output() == "", "%s: the program printed %r" % (what, self.output()))

    def check_going_on(self, what):
        check(self.running(), "%s: the program ended (status %s), output %r"
              % (what, self.process.returncode, self.output()))
        check(self.output() == "", "%s: the program printed %r" % (what, self.output()))

    # --- driving ---------------------------------------------------------

    def click_many(self, points, count, pause=0.02):
        """`count` left clicks, cycling through `points` (window coordinates),
        in one xdotool run."""
        args = []
        for i in range(count):
            x, y = points[i % len(points)]
            args += ["mousemove", WINDOW_LEFT + x, WINDOW_TOP + y, "click", "--delay", "1", "1",
                     "sleep", "%.3f" % pause]
        subprocess.run(["xdotool", *map(str, args)], env=self.environment(), check=True,
                       timeout=600, stdout=subprocess.DEVNULL)

    def answer(self, yes, timeout=20):
        """Answers the open box from the keyboard (Alt+Y or Alt+N), all
        within `timeout` s."""
        deadline = time.monotonic() + timeout
        self.wait_box(timeout)
        self.xdotool("key", "alt+y" if yes else "alt+n")
        self.wait_box_gone(max(deadline - time.monotonic(), 0.1))

    def close(self):
        try:
            with open(self.handler_pids_file) as f:
                pids = [int(line) for line in f if line.strip().isdigit()]
        except FileNotFoundError:
            pids = []
        for pid in pids:
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        super().close()
        if self.tone_pipe is not None:
            self.tone_stop.set()
            self.tone_reader.join(5)
            os.close(self.tone_pipe)
            self.tone_pipe = None


def run_case(name, function, *args):
    """Runs one case; prints PASS/FAIL with the reason; returns True on success."""
    try:
        function(*args)
    except TestFailure as failure:
        print("FAIL %s: %s" % (name, failure), flush=True)
        return False
    print("PASS %s" % name, flush=True)
    return True


def figure(name, value, unit=""):
    """Prints one measured figure in a form that is easy to find in the log."""
    print("FIGURE %s = %s%s" % (name, value, (" " + unit) if unit else ""), flush=True)
