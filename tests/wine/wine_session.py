#!/usr/bin/python3
"""Runs Windows programs under Wine on a private Xvfb screen for the tests.

A Screen is one Xvfb with its own display number; a Prefix is a Wine prefix
made for one test run, with the window manager's waits removed and a recording
browser registered; a Session joins the two and starts programs, finds their
windows, reads the screen and the cursor, and drives the mouse and keyboard
with xdotool. Everything started is ended by close(), also on failure.
"""

import ctypes
import os
import shutil
import signal
import subprocess
import tempfile
import time

from Xlib import X, display as xdisplay

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
HERE = os.path.dirname(os.path.abspath(__file__))
BROWSER_SOURCE = os.path.join(HERE, "recording_browser.sh")
SKIP = 77  # CTest's SKIP_RETURN_CODE for these tests


def _die_with_parent():
    # The child gets SIGTERM should the test itself be killed (a CTest timeout).
    ctypes.CDLL("libc.so.6").prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def wait_for(predicate, timeout, interval=0.05):
    """Polls predicate until it returns a true value or timeout seconds pass."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            return value
        time.sleep(interval)


class Screen:
    """One Xvfb server of the given size on a display number it picks itself."""

    def __init__(self, width, height):
        self.width, self.height = width, height
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{width}x{height}x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            preexec_fn=_die_with_parent)
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    raise RuntimeError("Xvfb did not start")
                number += chunk
        self.name = ":" + number.decode().strip()
        self.x = xdisplay.Display(self.name)
        self.root = self.x.screen().root

    def close(self):
        try:
            self.x.close()
        except Exception:
            pass
        self.process.terminate()
        try:
            self.process.wait(5)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


class Prefix:
    """A Wine prefix in a temporary folder, prepared once per test run."""

    def __init__(self, path):
        self.path = path
        self.browser_log = os.path.join(path, "browser.log")

    @staticmethod
    def create():
        path = tempfile.mkdtemp(prefix="avendrel-wine-")
        prefix = Prefix(path)
        shutil.copy(BROWSER_SOURCE, os.path.join(path, "recording_browser.sh"))
        screen = Screen(1024, 768)
        try:
            env = prefix.environment(screen.name)
            subprocess.run([WINE, "wineboot", "-i"], env=env, check=True, timeout=240,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            settings = [
                # Without a window manager Wine waits 2 s whenever it hides or
                # destroys a window unless its windows are unmanaged.
                ["HKCU\\Software\\Wine\\X11 Driver", "Managed", "N"],
                ["HKCU\\Software\\Wine\\WineBrowser", "Browsers",
                 os.path.join(path, "recording_browser.sh")],
            ]
            for key, value, data in settings:
                subprocess.run([WINE, "reg", "add", key, "/v", value, "/d", data, "/f"], env=env,
                               check=True, timeout=60, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
            # A normal exit of the server writes the registry to the prefix.
            subprocess.run([WINESERVER, "-w"], env=env, timeout=60)
        except BaseException:
            prefix.remove()
            raise
        finally:
            screen.close()
        return prefix

    def environment(self, display_name):
        env = dict(os.environ)
        env.update(WINEPREFIX=self.path, WINEDEBUG="-all", DISPLAY=display_name,
                   WINEDLLOVERRIDES="mscoree,mshtml=")
        env.pop("WAYLAND_DISPLAY", None)
        return env

    def kill_server(self):
        subprocess.run([WINESERVER, "-k"], env=dict(os.environ, WINEPREFIX=self.path),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)

    def remove(self):
        self.kill_server()
        shutil.rmtree(self.path, ignore_errors=True)


class Program:
    """One Windows process started under Wine."""

    def __init__(self, session, popen):
        self.session = session
        self.popen = popen

    def status(self, timeout):
        """The exit status, or None if it is still running after timeout seconds."""
        try:
            return self.popen.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def running(self):
        return self.popen.poll() is None

    def stop(self):
        if self.popen.poll() is None:
            self.popen.kill()
            self.popen.wait()


class Session:
    """A screen and a prefix, with the programs started on them."""

    def __init__(self, prefix, width=1281, height=1022):
        self.prefix = prefix
        self.screen = Screen(width, height)
        self.env = prefix.environment(self.screen.name)
        self.programs = []
        self.clear_browser_log()

    # --- programs -------------------------------------------------------
    def start(self, exe, *args, debug=None, stderr=subprocess.DEVNULL):
        """Starts a program; `stderr` may be a file to collect its standard error,
        and `debug` a WINEDEBUG setting whose trace goes there."""
        env = dict(self.env, WINEDEBUG=debug) if debug else self.env
        popen = subprocess.Popen([WINE, exe, *args], env=env, stdout=subprocess.DEVNULL,
                                 stderr=stderr, preexec_fn=_die_with_parent)
        program = Program(self, popen)
        self.programs.append(program)
        return program

    def wine(self, *args, timeout=60):
        return subprocess.run([WINE, *args], env=self.env, timeout=timeout,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode

    def output(self, *args, timeout=60, check=True):
        """Runs a Windows console program to its end and returns its output."""
        return subprocess.run([WINE, *args], env=self.env, timeout=timeout, check=check,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              encoding="utf-8", errors="replace").stdout

    def close(self):
        for program in self.programs:
            program.stop()
        self.prefix.kill_server()
        self.screen.close()

    # --- windows --------------------------------------------------------
    def windows(self):
        """(id, name, x, y, width, height, viewable) of every top-level X window."""
        found = []
        for window in self.screen.root.query_tree().children:
            try:
                name = window.get_wm_name() or ""
                geometry = window.get_geometry()
                viewable = window.get_attributes().map_state == X.IsViewable
            except Exception:
                continue  # gone while we looked
            if isinstance(name, bytes):
                name = name.decode("latin-1")
            found.append((window.id, name, geometry.x, geometry.y, geometry.width,
                          geometry.height, viewable))
        return found

    def find_window(self, name, width=None, height=None):
        for window in self.windows():
            if window[1] == name and window[6] and (width is None or window[4] == width) and (
                    height is None or window[5] == height):
                return window
        return None

    def wait_window(self, name, timeout, width=None, height=None):
        return wait_for(lambda: self.find_window(name, width, height), timeout)

    def wait_no_window(self, name, timeout):
        return wait_for(lambda: self.find_window(name) is None, timeout)

    def property(self, window_id, name, kind=X.AnyPropertyType):
        """The value of an X property of a window (a list or bytes), or None."""
        x = self.screen.x
        window = x.create_resource_object("window", window_id)
        reply = window.get_full_property(x.intern_atom(name), kind)
        return None if reply is None else reply.value

    def send_delete_window(self, window_id):
        """Asks the window to close the way a window manager does."""
        x = self.screen.x
        window = x.create_resource_object("window", window_id)
        protocols = x.intern_atom("WM_PROTOCOLS")
        delete = x.intern_atom("WM_DELETE_WINDOW")
        from Xlib.protocol import event
        message = event.ClientMessage(window=window, client_type=protocols,
                                      data=(32, [delete, X.CurrentTime, 0, 0, 0]))
        window.send_event(message, event_mask=X.NoEventMask)
        x.flush()

    # --- pixels and cursor ---------------------------------------------
    def grab(self, left, top, width, height):
        """The screen's pixels in the rectangle as rows of (r, g, b)."""
        image = self.screen.root.get_image(left, top, width, height, X.ZPixmap, 0xFFFFFFFF)
        data = image.data
        rows = []
        for y in range(height):
            row = data[y * width * 4:(y + 1) * width * 4]
            rows.append([(row[i + 2], row[i + 1], row[i]) for i in range(0, len(row), 4)])
        return rows

    def cursor_name(self):
        """The name of the X cursor now shown, e.g. "hand2" or "left_ptr"."""
        return _cursor_name(self.screen.name)

    # --- input ----------------------------------------------------------
    def xdotool(self, *args):
        subprocess.run(["xdotool", *[str(a) for a in args]], env=self.env, check=True,
                       timeout=30)

    def move(self, x, y):
        self.xdotool("mousemove", x, y)

    def click(self, x, y, button=1):
        self.xdotool("mousemove", x, y, "click", button)

    def key(self, name):
        self.xdotool("key", name)

    # --- the recording browser ------------------------------------------
    def clear_browser_log(self):
        with open(self.prefix.browser_log, "w"):
            pass

    def opened(self):
        with open(self.prefix.browser_log) as log:
            return [line.strip() for line in log if line.strip()]

    def wait_opened(self, count, quiet=20, limit=240):
        """Waits until `count` addresses are recorded, for as long as new ones
        keep coming: each open starts processes of Wine's, which a busy machine
        makes slow, so it gives up only after `quiet` seconds without a new
        address (or `limit` seconds in all). Returns the addresses recorded."""
        started = last_change = time.monotonic()
        opened = self.opened()
        while len(opened) < count:
            now = time.monotonic()
            if now - last_change >= quiet or now - started >= limit:
                break
            time.sleep(0.1)
            seen, opened = len(opened), self.opened()
            if len(opened) != seen:
                last_change = time.monotonic()
        return opened


class _CursorImage(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short),
                ("width", ctypes.c_ushort), ("height", ctypes.c_ushort),
                ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                ("cursor_serial", ctypes.c_ulong), ("pixels", ctypes.c_void_p),
                ("atom", ctypes.c_ulong), ("name", ctypes.c_char_p)]


def _cursor_name(display_name):
    # python-xlib lacks the XFixes request that names the cursor; libXfixes has it.
    x11 = ctypes.CDLL("libX11.so.6")
    xfixes = ctypes.CDLL("libXfixes.so.3")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    x11.XFree.argtypes = [ctypes.c_void_p]
    xfixes.XFixesQueryVersion.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int),
                                          ctypes.POINTER(ctypes.c_int)]
    xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(_CursorImage)
    xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
    handle = x11.XOpenDisplay(display_name.encode())
    if not handle:
        raise RuntimeError("cannot open " + display_name)
    try:
        major, minor = ctypes.c_int(4), ctypes.c_int(0)
        xfixes.XFixesQueryVersion(handle, ctypes.byref(major), ctypes.byref(minor))
        image = xfixes.XFixesGetCursorImage(handle)
        if not image:
            return None
        name = (image.contents.name or b"").decode()
        x11.XFree(image)
        return name
    finally:
        x11.XCloseDisplay(handle)
