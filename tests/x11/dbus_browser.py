#!/usr/bin/python3
"""A web browser stand-in that the session bus starts on demand, as desktops
start browsers whose desktop entry says DBusActivatable=true.

    dbus_browser.py --name BUS_NAME --log FILE [--stay] [--hold FILE]

It takes BUS_NAME on the session bus and serves org.freedesktop.Application
at the object path made from it. Every call is appended to the log as one
line, "<pid> <method> <argument>...", before it is answered: Open writes one
line per address. After answering an Open it leaves the bus and ends, so
that the next address needs a new activation, unless --stay is given. With
--hold, an Open is recorded at once but answered only once FILE exists (a
browser that takes its time), and never if FILE never appears.

It ends with its bus, too: GIO's session connection ends the process when
the bus goes away."""

import argparse
import os
import sys

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

INTERFACE = """
<node>
  <interface name="org.freedesktop.Application">
    <method name="Activate">
      <arg type="a{sv}" name="platform_data" direction="in"/>
    </method>
    <method name="Open">
      <arg type="as" name="uris" direction="in"/>
      <arg type="a{sv}" name="platform_data" direction="in"/>
    </method>
    <method name="ActivateAction">
      <arg type="s" name="action_name" direction="in"/>
      <arg type="av" name="parameter" direction="in"/>
      <arg type="a{sv}" name="platform_data" direction="in"/>
    </method>
  </interface>
</node>
"""


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--name", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--stay", action="store_true")
    parser.add_argument("--hold")
    args = parser.parse_args()

    loop = GLib.MainLoop()
    path = "/" + args.name.replace(".", "/").replace("-", "_")
    interface = Gio.DBusNodeInfo.new_for_xml(INTERFACE).interfaces[0]

    def record(*words):
        with open(args.log, "a") as f:
            f.write(" ".join([str(os.getpid()), *words]) + "\n")

    def answer_when_released(invocation, then_quit):
        def poll():
            if args.hold and not os.path.exists(args.hold):
                return True
            invocation.return_value(None)
            if then_quit:
                connection.flush_sync(None)
                loop.quit()
            return False
        if poll():
            GLib.timeout_add(20, poll)

    def on_call(connection_, sender, object_path, interface_name, method, parameters,
                invocation):
        if method == "Open":
            uris, _ = parameters.unpack()
            for uri in uris:
                record("Open", uri)
            answer_when_released(invocation, not args.stay)
        else:
            record(method)
            invocation.return_value(None)

    connection = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    connection.register_object(path, interface, on_call, None, None)

    def lost(*_):
        record("NameLost")
        loop.quit()

    Gio.bus_own_name_on_connection(connection, args.name, Gio.BusNameOwnerFlags.NONE,
                                   None, lost)
    loop.run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
