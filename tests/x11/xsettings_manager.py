#!/usr/bin/python3
"""A stand-in for a desktop's settings manager: publishes Net/DoubleClickTime
(milliseconds, the first argument) and Net/DoubleClickDistance (5) through
XSETTINGS on the display in DISPLAY, prints "ready", and keeps them published
until it is ended."""

import struct
import sys
import time

from Xlib import X, display as xdisplay


def setting(name, value):
    encoded = name.encode()
    padding = b"\0" * ((4 - len(encoded) % 4) % 4)
    return struct.pack("<BxH", 0, len(encoded)) + encoded + padding + struct.pack("<Ii", 0, value)


def main():
    d = xdisplay.Display()
    screen = d.screen()
    owner = screen.root.create_window(-10, -10, 1, 1, 0, screen.root_depth)
    settings = [setting("Net/DoubleClickTime", int(sys.argv[1])),
                setting("Net/DoubleClickDistance", 5)]
    data = struct.pack("<BxxxII", 0, 1, len(settings)) + b"".join(settings)
    atom = d.intern_atom("_XSETTINGS_SETTINGS")
    owner.change_property(atom, atom, 8, data)
    owner.set_selection_owner(d.intern_atom("_XSETTINGS_S%d" % d.get_default_screen()),
                              X.CurrentTime)
    d.sync()
    print("ready", flush=True)
    while True:
        time.sleep(3600)


if __name__ == "__main__":
    main()
