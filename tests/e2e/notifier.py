"""Stands in for the desktop's notification service (the session bus's
org.freedesktop.Notifications): writes down each notification it is sent,
one JSON object a line, and, asked through its own method Activate(id),
invokes the notification's default action as a click on it would.

    /usr/bin/python3 notifier.py RECORD_FILE
"""

import json
import sys

from gi.repository import Gio, GLib

NAME = "org.freedesktop.Notifications"
PATH = "/org/freedesktop/Notifications"
INTERFACES = f"""<node><interface name="{NAME}">
  <method name="Notify"><arg type="s"/><arg type="u"/><arg type="s"/><arg type="s"/>
    <arg type="s"/><arg type="as"/><arg type="a{{sv}}"/><arg type="i"/>
    <arg type="u" direction="out"/></method>
  <method name="CloseNotification"><arg type="u"/></method>
  <method name="GetCapabilities"><arg type="as" direction="out"/></method>
  <signal name="ActionInvoked"><arg type="u"/><arg type="s"/></signal>
</interface><interface name="org.tarvo.TestNotifier">
  <method name="Activate"><arg type="u"/></method>
</interface></node>"""


def main(record):
    sent = []

    def call(connection, _sender, _path, interface, method, parameters, invocation):
        if method == "Notify":
            app, _replaces, icon, summary, body, actions, hints, _timeout = parameters.unpack()
            sent.append(1)
            with open(record, "a", encoding="utf-8") as f:
                f.write(json.dumps({"id": len(sent), "app": app, "icon": icon, "summary": summary,
                                    "body": body, "actions": actions,
                                    "desktop-entry": hints.get("desktop-entry", "")}) + "\n")
            invocation.return_value(GLib.Variant("(u)", (len(sent),)))
        elif method == "GetCapabilities":
            invocation.return_value(GLib.Variant("(as)", (["actions", "body"],)))
        elif method == "Activate":
            (number,) = parameters.unpack()
            connection.emit_signal(None, PATH, NAME, "ActionInvoked",
                                   GLib.Variant("(us)", (number, "default")))
            invocation.return_value(None)
        else:  # CloseNotification
            invocation.return_value(None)

    def acquired(connection, _name):
        for interface in Gio.DBusNodeInfo.new_for_xml(INTERFACES).interfaces:
            connection.register_object(PATH, interface, call, None, None)

    Gio.bus_own_name(Gio.BusType.SESSION, NAME, Gio.BusNameOwnerFlags.NONE, acquired,
                     lambda *_: print("notifier ready", flush=True), lambda *_: sys.exit(1))
    GLib.MainLoop().run()


if __name__ == "__main__":
    main(sys.argv[1])
