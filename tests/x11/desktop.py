#!/usr/bin/python3
"""A virtual desktop for the end-to-end tests: an Xvfb display of its own, the
program started on it with a private home (a recording handler for web
addresses, a sound device that writes to a file), and the tools to look at the
screen, move and click the mouse, type, and ask windows to close.

Every process started here is ended when the Desktop is closed, and every
process a test starts dies with the test, however it ends (see
end_processes_with_this_test)."""

import os
import select
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))

from process_group import end_processes_with_this_test  # noqa: E402
from PIL import Image
from Xlib import X, Xatom, display as xdisplay
from Xlib.ext import shape
from Xlib.protocol import event as xevent

SCREEN_WIDTH = 1280
SCREEN_HEIGHT = 1024
# Centred as the program centres it: (1280 - 800) / 2 and (1024 - 677) / 2 = 173.5,
# which rounds to the even neighbour.
WINDOW_LEFT = 240
WINDOW_TOP = 174
WINDOW_WIDTH = 800
WINDOW_HEIGHT = 677
ARTWORK_TOP = 92

SIGN_UP_ADDRESS = "http://book.avendrel.com/signup"
HOME_PAGE_ADDRESS = "http://www.avendrel.com/"

BENEATH_COLOUR = (255, 0, 255)


# How long the program may take to hand over an address that it was asked to
# open (a busy machine makes the desktop's launch slow), and how long no
# further one may arrive after the expected ones.
OPEN_TIMEOUT = 60
SETTLE_SECONDS = 2.0


class TestFailure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise TestFailure(message)


def run_case(cases, args):
    """Runs the case `args.case` of `cases` with `args`; prints "passed" or
    "FAILED" with the reason and returns the exit status."""
    try:
        cases[args.case](args)
    except TestFailure as failure:
        print("FAILED %s: %s" % (args.case, failure))
        return 1
    print("passed %s" % args.case)
    return 0


def wait_for(what, predicate, timeout=10.0, step=0.02):
    """Polls `predicate` until it returns something true; fails after `timeout`."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise TestFailure("timed out waiting for " + what)
        time.sleep(step)


def read_line(process, timeout=20):
    """The next line `process` writes to its standard output (a pipe), as
    bytes without the line end; fails after `timeout` s or at its end."""
    deadline = time.monotonic() + timeout
    line = b""
    fd = process.stdout.fileno()
    while not line.endswith(b"\n"):
        left = deadline - time.monotonic()
        check(left > 0, "no line from %s within %g s (so far %r)" % (process.args, timeout, line))
        ready, _, _ = select.select([fd], [], [], left)
        if ready:
            byte = os.read(fd, 1)
            check(byte != b"", "%s ended its output after %r" % (process.args, line))
            line += byte
    return line.strip()


class Desktop:
    def __init__(self, program, tools=None, screen=(SCREEN_WIDTH, SCREEN_HEIGHT), xvfb_args=(),
                 depth=24):
        end_processes_with_this_test()
        self.program = program
        self.xvfb_args = list(xvfb_args)
        self.screen_size = screen
        self.depth = depth
        self.tools = tools or {}
        self.home = tempfile.mkdtemp(prefix="avendrel-x11-")
        self.processes = []
        self.program_process = None
        self.xvfb = None
        self.display_name = None
        self.x = None

    # --- setting up -------------------------------------------------------

    def __enter__(self):
        self.start_xvfb()
        self.prepare_home()
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def start_xvfb(self):
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0",
             "%dx%dx%d" % (*self.screen_size, self.depth), "-nolisten", "tcp", "-noreset",
             *self.xvfb_args],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        number = b""
        deadline = time.monotonic() + 20
        while not number.endswith(b"\n"):
            left = deadline - time.monotonic()
            check(left > 0 and self.xvfb.poll() is None, "Xvfb did not start within 20 s")
            # Read only what is there, so that the deadline holds.
            ready, _, _ = select.select([read_fd], [], [], min(left, 0.5))
            if not ready:
                continue
            chunk = os.read(read_fd, 16)
            if not chunk:
                raise TestFailure("Xvfb did not report its display")
            number += chunk
        os.close(read_fd)
        self.display_name = ":" + number.decode().strip()
        self.x = xdisplay.Display(self.display_name)

    def prepare_home(self):
        """A home whose default handler for http records what it is given and
        whose default sound device writes what is played to tone.raw."""
        h = self.home
        os.makedirs(os.path.join(h, "data", "applications"))
        os.makedirs(os.path.join(h, "config"))
        recorder = os.path.join(h, "recorder.sh")
        with open(recorder, "w") as f:
            f.write('#!/bin/sh\nprintf "%%s\\n" "$*" >> "%s"\n' % self.opened_log)
        os.chmod(recorder, 0o755)
        with open(os.path.join(h, "data", "applications", "avendrel-recorder.desktop"), "w") as f:
            f.write("[Desktop Entry]\nType=Application\nName=Recorder\nExec=%s %%u\n"
                    "MimeType=x-scheme-handler/http;\nNoDisplay=true\n" % recorder)
        with open(os.path.join(h, "config", "mimeapps.list"), "w") as f:
            f.write("[Default Applications]\nx-scheme-handler/http=avendrel-recorder.desktop\n")
        with open(os.path.join(h, ".asoundrc"), "w") as f:
            f.write('pcm.!default {\n  type file\n  slave.pcm "null"\n  file "%s"\n'
                    '  format "raw"\n}\n' % self.tone_file)

    @property
    def opened_log(self):
        return os.path.join(self.home, "opened.log")

    @property
    def tone_file(self):
        return os.path.join(self.home, "tone.raw")

    def environment(self, **extra):
        env = {
            "PATH": "/usr/bin:/bin",
            "HOME": self.home,
            "DISPLAY": self.display_name,
            "XDG_DATA_HOME": os.path.join(self.home, "data"),
            "XDG_CONFIG_HOME": os.path.join(self.home, "config"),
            "XDG_DATA_DIRS": "/usr/share",
            "XDG_RUNTIME_DIR": self.home,
            "XCURSOR_THEME": "Adwaita",
            "LANG": "C.UTF-8",
            # No session bus and no accessibility bus on a test display.
            "DBUS_SESSION_BUS_ADDRESS": "disabled:",
            "NO_AT_BRIDGE": "1",
        }
        env.update(extra)
        return env

    # --- the program --------------------------------------------------------

    def start_program(self, args=(), env=None, program=None):
        self.program_process = subprocess.Popen(
            [program or self.program, *args], env=env or self.environment(),
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, stdin=subprocess.DEVNULL)
        self.processes.append(self.program_process)
        return self.program_process

    def window_rectangle(self, window):
        geometry = window.get_geometry()
        origin = window.translate_coords(self.x.screen().root, 0, 0)
        return (-origin.x, -origin.y, geometry.width, geometry.height)

    def loaded_libraries(self):
        """The shared objects the program has loaded so far."""
        with open("/proc/%d/maps" % self.program_process.pid) as f:
            return {os.path.basename(line.split()[-1]) for line in f if ".so" in line}

    def wait_program_window(self, timeout=15):
        """The program's window once it is on the screen."""
        def find():
            check(self.program_process.poll() is None,
                  "the program ended early with status %s" % self.program_process.returncode)
            window = self.top_level_named("Avendrel", 800, 677)
            if window and window.get_attributes().map_state == X.IsViewable:
                return window
            return None
        window = wait_for("the program's window", find, timeout)
        self.x.sync()
        return window

    def wait_exit(self, timeout=10):
        try:
            status = self.program_process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise TestFailure("the program did not end")
        try:
            out, err = self.program_process.communicate(timeout=10)
        except subprocess.TimeoutExpired:
            raise TestFailure("the program's output stayed open after it ended (a child "
                              "process holds it)")
        return status, out.decode(errors="replace"), err.decode(errors="replace")

    def running(self):
        return self.program_process.poll() is None

    def program_output(self):
        """What the program printed, once it has ended."""
        return self.wait_exit()

    # --- windows ------------------------------------------------------------

    def top_levels(self):
        return self.x.screen().root.query_tree().children

    def top_level_named(self, name, width=None, height=None):
        for window in self.top_levels():
            try:
                if window.get_wm_name() != name:
                    continue
                geometry = window.get_geometry()
                if width and (geometry.width != width or geometry.height != height):
                    continue
                if window.get_attributes().map_state != X.IsViewable:
                    continue
                return window
            except Exception:
                continue
        return None

    def wait_box(self, timeout=20):
        """The confirmation box once it is on the screen and has the keyboard."""
        box = wait_for("the confirmation box",
                       lambda: self.top_level_named("Confirm"), timeout)
        wait_for("the box to take the keyboard",
                 lambda: self.x.get_input_focus().focus in self.window_and_children(box), 10)
        time.sleep(0.2)
        return box

    def window_and_children(self, window):
        found = [window]
        try:
            for child in window.query_tree().children:
                found.extend(self.window_and_children(child))
        except Exception:
            pass
        return found

    def wait_box_gone(self, timeout=10):
        wait_for("the box to close", lambda: self.top_level_named("Confirm") is None, timeout)

    def beneath_window(self):
        """A window covering the whole screen in one colour, mapped below the
        program's, which records the presses it receives."""
        screen = self.x.screen()
        colormap = screen.default_colormap
        pixel = colormap.alloc_color(*(c * 257 for c in BENEATH_COLOUR)).pixel
        window = screen.root.create_window(
            0, 0, SCREEN_WIDTH, SCREEN_HEIGHT, 0, screen.root_depth, X.InputOutput,
            X.CopyFromParent, background_pixel=pixel,
            event_mask=X.ButtonPressMask | X.ButtonReleaseMask)
        window.set_wm_name("beneath")
        window.map()
        self.x.sync()
        return window

    def presses_received(self, window):
        """The root positions of the presses `window` has received since the last call."""
        self.x.sync()
        presses = []
        while self.x.pending_events():
            e = self.x.next_event()
            if e.type == X.ButtonPress and e.window.id == window.id:
                presses.append((e.root_x, e.root_y, e.detail))
        return presses

    def send_close_request(self, window):
        protocols = self.x.intern_atom("WM_PROTOCOLS")
        delete = self.x.intern_atom("WM_DELETE_WINDOW")
        message = xevent.ClientMessage(window=window, client_type=protocols,
                                       data=(32, [delete, X.CurrentTime, 0, 0, 0]))
        window.send_event(message, event_mask=0)
        self.x.sync()

    def input_rectangles(self, window):
        return sorted((r.x, r.y, r.width, r.height)
                      for r in window.shape_get_rectangles(shape.SK.Input).rectangles)

    def bounding_rectangles(self, window):
        return sorted((r.x, r.y, r.width, r.height)
                      for r in window.shape_get_rectangles(shape.SK.Bounding).rectangles)

    def property(self, window, name, kind=X.AnyPropertyType):
        reply = window.get_full_property(self.x.intern_atom(name), kind)
        return reply.value if reply else None

    # --- the screen, the mouse and the keyboard -----------------------------

    def screenshot(self):
        root = self.x.screen().root
        raw = root.get_image(0, 0, SCREEN_WIDTH, SCREEN_HEIGHT, X.ZPixmap, 0xFFFFFFFF)
        return Image.frombytes("RGB", (SCREEN_WIDTH, SCREEN_HEIGHT), raw.data, "raw", "BGRX")

    def window_area_colours(self):
        """The screen under the window, on a screen of any depth and visual: a
        function from window coordinates to (r, g, b), each 0-255, and the
        size of one step of each channel on this visual (1 on 24 bits)."""
        screen = self.x.screen()
        depth = screen.root_depth
        visual = next(v for d in screen.allowed_depths for v in d.visuals
                      if v.visual_id == screen.root_visual)
        bpp = next(f.bits_per_pixel for f in self.x.display.info.pixmap_formats
                   if f.depth == depth)
        check(bpp in (8, 16, 32), "no reader for %d bits per pixel" % bpp)
        raw = screen.root.get_image(WINDOW_LEFT, WINDOW_TOP, WINDOW_WIDTH, WINDOW_HEIGHT,
                                    X.ZPixmap, 0xFFFFFFFF).data
        size = bpp // 8
        stride = len(raw) // WINDOW_HEIGHT
        order = "little" if self.x.display.info.image_byte_order == 0 else "big"
        if visual.visual_class in (X.TrueColor, X.DirectColor):
            channels = []
            for mask in (visual.red_mask, visual.green_mask, visual.blue_mask):
                shift = (mask & -mask).bit_length() - 1
                channels.append((mask, shift, mask >> shift))
            cache = {}

            def colour(value):
                rgb = cache.get(value)
                if rgb is None:
                    rgb = tuple(round(((value & m) >> sh) * 255 / top) for m, sh, top in channels)
                    cache[value] = rgb
                return rgb
            steps = tuple(255 / top for _, _, top in channels)
        else:
            cells = screen.default_colormap.query_colors(list(range(visual.colormap_entries)))
            table = [(c.red >> 8, c.green >> 8, c.blue >> 8) for c in cells]

            def colour(value):
                return table[value]
            steps = None

        def at(x, y):
            offset = y * stride + x * size
            return colour(int.from_bytes(raw[offset:offset + size], order))
        return at, steps

    def window_area_image(self):
        """The screen under the window as an RGB picture, on a screen of any depth."""
        at, _ = self.window_area_colours()
        image = Image.new("RGB", (WINDOW_WIDTH, WINDOW_HEIGHT))
        image.putdata([at(x, y) for y in range(WINDOW_HEIGHT) for x in range(WINDOW_WIDTH)])
        return image

    def xdotool(self, *args):
        subprocess.run(["xdotool", *map(str, args)], env=self.environment(), check=True,
                       timeout=20, stdout=subprocess.DEVNULL)

    def move(self, window_x, window_y):
        self.xdotool("mousemove", WINDOW_LEFT + window_x, WINDOW_TOP + window_y)

    def click(self, window_x, window_y, button=1):
        self.move(window_x, window_y)
        self.xdotool("click", button)

    def double_click(self, window_x, window_y):
        """Two left clicks as one xdotool run with the four button events
        back to back and no pause: a busy machine cannot spread them apart
        as it can spread two clicks with a sleep between them."""
        self.move(window_x, window_y)
        self.xdotool("mousedown", 1, "mouseup", 1, "mousedown", 1, "mouseup", 1)

    def cursor_name(self):
        return self.cursor()[0]

    def cursor(self):
        """The name of the cursor shown now ("" for none) and its image's size and checksum."""
        result = subprocess.run([self.tools["cursor_name"]], env=self.environment(),
                                capture_output=True, text=True, timeout=10, check=True)
        name, image = (result.stdout.split("\n") + [""])[:2]
        return name.strip(), image.strip()

    # --- what the program did ------------------------------------------------

    def opened(self):
        try:
            with open(self.opened_log) as f:
                return f.read().split()
        except FileNotFoundError:
            return []

    def wait_opened(self, count, timeout=OPEN_TIMEOUT, settle=SETTLE_SECONDS):
        """The opened addresses, once `count` of them have arrived (failing
        after `timeout` s) and then `settle` s have passed in which any extra
        one would have arrived too. The caller compares the whole list, so
        that an extra address fails the test."""
        check(settle >= SETTLE_SECONDS, "a settle time under %g s" % SETTLE_SECONDS)
        deadline = time.monotonic() + timeout
        while len(self.opened()) < count:
            check(time.monotonic() < deadline, "%d addresses opened within %g s, not %d: %s"
                  % (len(self.opened()), timeout, count, self.opened()))
            time.sleep(0.05)
        time.sleep(settle)
        return self.opened()

    def tone_samples(self):
        try:
            with open(self.tone_file, "rb") as f:
                data = f.read()
        except FileNotFoundError:
            return []
        return [int.from_bytes(data[i:i + 2], "little", signed=True)
                for i in range(0, len(data) - 1, 2)]

    # --- ending -------------------------------------------------------------

    def close(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.kill()
            try:
                process.communicate(timeout=5)
            except Exception:
                pass
        if self.x:
            try:
                self.x.close()
            except Exception:
                pass
        if self.xvfb and self.xvfb.poll() is None:
            self.xvfb.send_signal(signal.SIGTERM)
            try:
                self.xvfb.wait(5)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
                self.xvfb.wait()
        subprocess.run(["rm", "-rf", self.home])


def artwork_expectation(artwork_path):
    """The window's expected RGB at each window pixel, or None where the artwork
    is transparent (and what lies beneath shows)."""
    artwork = Image.open(artwork_path).convert("RGBA")
    return artwork
