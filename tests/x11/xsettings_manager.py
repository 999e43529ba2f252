#!/usr/bin/python3
"""A stand-in for a desktop's settings manager: publishes Net/DoubleClickTime
(milliseconds, the first argument) and Net/DoubleClickDistance (5) through
XSETTINGS on the display in DISPLAY, announces itself to the root window as
managers do, prints "ready", and keeps the settings published until it is
ended. On SIGUSR1 it publishes the second argument as the time instead and
prints "changed"."""

import signal
import struct
import sys
import time

from Xlib import X, display as xdisplay
from Xlib.protocol import event


def setting(name, value):
    encoded = name.encode()
    padding = b"\0" * ((4 - len(encoded) % 4) % 4)
    return struct.pack("<BxH", 0, len(encoded)) + encoded + padding + struct.pack("<Ii", 0, value)


def publish(d, owner, serial, double_click_time):
    settings = [setting("Net/DoubleClickTime", double_click_time),
                setting("Net/DoubleClickDistance", 5)]
    data = struct.pack("<BxxxII", 0, serial, len(settings)) + b"".join(settings)
    atom = d.intern_atom("_XSETTINGS_SETTINGS")
    owner.change_property(atom, atom, 8, data)
    d.sync()


def main():
    d = xdisplay.Display()
    screen = d.screen()
    owner = screen.root.create_window(-10, -10, 1, 1, 0, screen.root_depth)
    publish(d, owner, 1, int(sys.argv[1]))
    selection = d.intern_atom("_XSETTINGS_S%d" % d.get_default_screen())
    owner.set_selection_owner(selection, X.CurrentTime)
    announce = event.ClientMessage(window=screen.root, client_type=d.intern_atom("MANAGER"),
                                   data=(32, [X.CurrentTime, selection, owner.id, 0, 0]))
    screen.root.send_event(announce, event_mask=X.StructureNotifyMask)
    d.sync()
    changes = []
    signal.signal(signal.SIGUSR1, lambda *unused: changes.append(True))
    print("ready", flush=True)
    while True:
        if changes and len(sys.argv) > 2:
            changes.clear()
            publish(d, owner, 2, int(sys.argv[2]))
            print("changed", flush=True)
        time.sleep(0.05)


if __name__ == "__main__":
    main()
