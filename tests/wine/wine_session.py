#!/usr/bin/python3
"""Runs Windows programs under Wine on a private Xvfb screen for the tests.

A Screen is one Xvfb with its own display number; a Prefix is a Wine prefix
of one kind (64-bit or 32-bit) made for one test run, with the window
manager's waits removed and a recording browser registered; a Session joins
a screen and a prefix and starts programs, finds their windows, reads the
screen and the cursor, and drives the mouse and keyboard with xdotool.
Everything started is ended by close(), also on failure.
"""

import ctypes
import os
import select
import shutil
import signal
import struct
import subprocess
import tempfile
import time

from Xlib import X, display as xdisplay

WINESERVER = "/usr/lib/wine/wineserver"
HERE = os.path.dirname(os.path.abspath(__file__))
BROWSER_SOURCE = os.path.join(HERE, "recording_browser.sh")
SKIP = 77  # CTest's SKIP_RETURN_CODE for these tests

# The Wine loader of each Windows architecture (by the PE header's machine
# field): wine64 for 64-bit programs; for 32-bit ones the classic 32-bit
# loader of Debian's wine32:i386, which runs them in a 32-bit prefix as on a
# 32-bit Windows, and in a 64-bit one as on a 64-bit Windows (SysWOW64).
MACHINE_I386, MACHINE_AMD64 = 0x14C, 0x8664
LOADERS = {MACHINE_AMD64: "/usr/lib/wine/wine64", MACHINE_I386: "/usr/lib/wine/wine"}
# The loader that makes a prefix of each kind (WINEARCH).
PREFIX_LOADERS = {"win64": LOADERS[MACHINE_AMD64], "win32": LOADERS[MACHINE_I386]}


def pe_machine(path):
    """The machine field of a PE file's header, or None if it is not one."""
    try:
        with open(path, "rb") as file:
            head = file.read(4096)
    except OSError:
        return None
    if len(head) < 64 or head[:2] != b"MZ":
        return None
    offset = struct.unpack_from("<I", head, 0x3C)[0]
    if offset + 6 > len(head) or head[offset:offset + 4] != b"PE\0\0":
        return None
    return struct.unpack_from("<H", head, offset + 4)[0]


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

    START_TIMEOUT = 60  # seconds for Xvfb to say its display number

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
        deadline = time.monotonic() + self.START_TIMEOUT
        with os.fdopen(read_end, "rb", buffering=0) as pipe:
            while not number.endswith(b"\n"):
                left = deadline - time.monotonic()
                if left <= 0 or not select.select([pipe], [], [], left)[0]:
                    self._stop()
                    raise RuntimeError(f"Xvfb gave no display number in {self.START_TIMEOUT} s")
                chunk = pipe.read(1)
                if not chunk:
                    self._stop()
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
        self._stop()

    def _stop(self):
        self.process.terminate()
        try:
            self.process.wait(5)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


class Prefix:
    """A Wine prefix of one kind ("win64" or "win32") in a temporary folder,
    prepared once per test run."""

    def __init__(self, path, winearch="win64"):
        self.path = path
        self.winearch = winearch
        self.browser_log = os.path.join(path, "browser.log")

    @staticmethod
    def create(winearch="win64"):
        wine = PREFIX_LOADERS[winearch]
        path = tempfile.mkdtemp(prefix=f"avendrel-wine-{winearch}-")
        prefix = Prefix(path, winearch)
        shutil.copy(BROWSER_SOURCE, os.path.join(path, "recording_browser.sh"))
        screen = Screen(1024, 768)
        try:
            env = prefix.environment(screen.name)
            subprocess.run([wine, "wineboot", "-i"], env=env, check=True, timeout=240,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            settings = [
                # Without a window manager Wine waits 2 s whenever it hides or
                # destroys a window unless its windows are unmanaged.
                ["HKCU\\Software\\Wine\\X11 Driver", "Managed", "N"],
                ["HKCU\\Software\\Wine\\WineBrowser", "Browsers",
                 os.path.join(path, "recording_browser.sh")],
            ]
            for key, value, data in settings:
                subprocess.run([wine, "reg", "add", key, "/v", value, "/d", data, "/f"], env=env,
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
        env.update(WINEPREFIX=self.path, WINEARCH=self.winearch, WINEDEBUG="-all",
                   DISPLAY=display_name, WINEDLLOVERRIDES="mscoree,mshtml=")
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
    """A screen and a prefix, with the programs started on them by the Wine
    loader `wine_loader` (the one of the architecture under test, which also
    runs the helper programs built beside it; by default the one that made
    the prefix)."""

    def __init__(self, prefix, width=1281, height=1022, wine_loader=None):
        self.prefix = prefix
        self.wine_loader = wine_loader or PREFIX_LOADERS[prefix.winearch]
        self.screen = Screen(width, height)
        self.env = prefix.environment(self.screen.name)
        self.programs = []
        self.clear_browser_log()

    # --- programs -------------------------------------------------------
    def start(self, exe, *args, debug=None, stderr=subprocess.DEVNULL, cwd=None):
        """Starts a program; `stderr` may be a file to collect its standard error,
        `debug` a WINEDEBUG setting whose trace goes there, `cwd` its folder."""
        env = dict(self.env, WINEDEBUG=debug) if debug else self.env
        popen = subprocess.Popen([self.wine_loader, exe, *args], env=env, cwd=cwd,
                                 stdout=subprocess.DEVNULL, stderr=stderr,
                                 preexec_fn=_die_with_parent)
        program = Program(self, popen)
        self.programs.append(program)
        return program

    def wine(self, *args, timeout=60):
        return subprocess.run([self.wine_loader, *args], env=self.env, timeout=timeout,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              preexec_fn=_die_with_parent).returncode

    def output(self, *args, timeout=60, check=True, cwd=None):
        """Runs a Windows console program to its end (in folder `cwd`) and
        returns its output."""
        return subprocess.run([self.wine_loader, *args], env=self.env, timeout=timeout,
                              cwd=cwd, check=check, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              encoding="utf-8", errors="replace",
                              preexec_fn=_die_with_parent).stdout

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
        return _cursor(self.screen.name)[0]

    def cursor(self):
        """(name, image) of the X cursor now shown: the name is "" for a cursor
        drawn by its client, the image (width, height, x hot spot, y hot spot,
        ARGB words) tells any two shapes apart."""
        return _cursor(self.screen.name)

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

    def wait_opened(self, count, limit=240):
        """Waits until at least `count` addresses are recorded, or `limit`
        seconds have passed (each open starts processes of Wine's, which a busy
        machine makes slow). Returns the addresses recorded."""
        deadline = time.monotonic() + limit
        opened = self.opened()
        while len(opened) < count and time.monotonic() < deadline:
            time.sleep(0.1)
            opened = self.opened()
        return opened


class _CursorImage(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short),
                ("width", ctypes.c_ushort), ("height", ctypes.c_ushort),
                ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                ("cursor_serial", ctypes.c_ulong), ("pixels", ctypes.c_void_p),
                ("atom", ctypes.c_ulong), ("name", ctypes.c_char_p)]


def _cursor(display_name):
    # python-xlib lacks the XFixes request that reads the cursor; libXfixes has it.
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
            return None, None
        cursor = image.contents
        name = (cursor.name or b"").decode()
        # Xlib hands the pixels over as longs, one 32-bit ARGB word in each.
        words = ctypes.cast(cursor.pixels, ctypes.POINTER(ctypes.c_ulong))
        pixels = tuple(words[i] & 0xFFFFFFFF for i in range(cursor.width * cursor.height))
        shape = (cursor.width, cursor.height, cursor.xhot, cursor.yhot, pixels)
        x11.XFree(image)
        return name, shape
    finally:
        x11.XCloseDisplay(handle)
