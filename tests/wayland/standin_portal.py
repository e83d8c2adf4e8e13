#!/usr/bin/python3
"""A stand-in for xdg-desktop-portal, behind the same D-Bus interface, for the
answers a real desktop cannot give headlessly: a declined BindShortcuts or
Start, RemoteDesktop version 2 with its restore tokens (token-1, token-2...),
and a user who takes a while to answer a dialog, then cancels it.

  standin_portal.py [--decline-bind] [--decline-start] [--remote-desktop-version N]
                    [--bind-response N] [--bind-binds-nothing] [--bind-delay MS]
                    [--start-delay MS]

--bind-response N     BindShortcuts answers N (xdg-desktop-portal-gnome 48.0
                      answers 2 for a bind that succeeded), after a
                      ShortcutsChanged with the bound list as GNOME sends it
--bind-binds-nothing  ...with no shortcuts in the results and no
                      ShortcutsChanged (GNOME's answer to a Cancel)
--bind-delay MS, --start-delay MS
                      answer BindShortcuts or Start only after MS milliseconds
                      (a dialog the user is looking at)

Prints "ready" once it owns org.freedesktop.portal.Desktop, then one JSON line
per call: {"call": NAME, "options": {...}}.
"""
import argparse
import json

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

PATH = "/org/freedesktop/portal/desktop"
GS = "org.freedesktop.portal.GlobalShortcuts"
RD = "org.freedesktop.portal.RemoteDesktop"

parser = argparse.ArgumentParser()
parser.add_argument("--decline-bind", action="store_true")
parser.add_argument("--decline-start", action="store_true")
parser.add_argument("--remote-desktop-version", type=int, default=1)
parser.add_argument("--bind-response", type=int)
parser.add_argument("--bind-binds-nothing", action="store_true")
parser.add_argument("--bind-delay", type=int, default=0)
parser.add_argument("--start-delay", type=int, default=0)
options = parser.parse_args()
dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()


class Request(dbus.service.Object):
    @dbus.service.signal("org.freedesktop.portal.Request", signature="ua{sv}")
    def Response(self, code, results):
        pass


class Session(dbus.service.Object):
    @dbus.service.method("org.freedesktop.portal.Session", in_signature="", out_signature="")
    def Close(self):
        self.remove_from_connection()


def caller_path(kind, sender, token):
    return "%s/%s/%s/%s" % (PATH, kind, sender[1:].replace(".", "_"), token)


class RemoteDesktop(dbus.service.Object):
    """The RemoteDesktop half and what both share; dbus-python tells the two
    CreateSession methods apart by interface only when they live in two classes."""

    def answer(self, call, opts, sender, code, results, delay=0, before=None):
        print(json.dumps({"call": call, "options": opts}), flush=True)
        request = Request(bus, caller_path("request", sender, opts["handle_token"]))

        def respond():  # after the method's reply, as a real portal does
            if before:
                before()
            request.Response(dbus.UInt32(code), dbus.Dictionary(results, signature="sv"))
            request.remove_from_connection()
            print(json.dumps({"call": call + ".Response", "options": {"code": code}}), flush=True)
            return False

        if delay:
            GLib.timeout_add(delay, respond)
        else:
            GLib.idle_add(respond)
        return dbus.ObjectPath(request.__dbus_object_path__)

    def create(self, call, opts, sender):
        session = Session(bus, caller_path("session", sender, opts["session_handle_token"]))
        return self.answer(call, opts, sender, 0, {"session_handle": session.__dbus_object_path__})

    @dbus.service.method(RD, in_signature="a{sv}", out_signature="o", sender_keyword="sender")
    def CreateSession(self, opts, sender):
        return self.create("RemoteDesktop.CreateSession", opts, sender)

    @dbus.service.method(RD, in_signature="oa{sv}", out_signature="o", sender_keyword="sender")
    def SelectDevices(self, session, opts, sender):
        return self.answer("SelectDevices", opts, sender, 0, {})

    @dbus.service.method(RD, in_signature="osa{sv}", out_signature="o", sender_keyword="sender")
    def Start(self, session, parent, opts, sender):
        self.tokens = getattr(self, "tokens", 0) + 1
        token = {"restore_token": "token-%d" % self.tokens} if options.remote_desktop_version >= 2 else {}
        return self.answer("Start", opts, sender, 1 if options.decline_start else 0, token, options.start_delay)

    @dbus.service.method(RD, in_signature="oa{sv}iu", out_signature="")
    def NotifyKeyboardKeycode(self, session, opts, keycode, state):
        print(json.dumps({"call": "NotifyKeyboardKeycode", "options": {"keycode": keycode}}), flush=True)


class Portal(RemoteDesktop):
    """GlobalShortcuts. ListShortcuts is left out: the answer to BindShortcuts
    then stands."""

    @dbus.service.method(GS, in_signature="a{sv}", out_signature="o", sender_keyword="sender")
    def CreateSession(self, opts, sender):
        return self.create("GlobalShortcuts.CreateSession", opts, sender)

    @dbus.service.method(GS, in_signature="oa(sa{sv})sa{sv}", out_signature="o", sender_keyword="sender")
    def BindShortcuts(self, session, shortcuts, parent, opts, sender):
        listed = dbus.Array([(i, {"trigger_description": p["preferred_trigger"]}) for i, p in shortcuts],
                            signature="(sa{sv})")
        opts["shortcuts"] = shortcuts
        code = 1 if options.decline_bind else 0
        if options.bind_response is not None:
            code = options.bind_response
        results = {} if options.bind_binds_nothing else {"shortcuts": listed}
        changed = None
        if options.bind_response is not None and not options.bind_binds_nothing:
            changed = lambda: self.ShortcutsChanged(session, listed)
        return self.answer("BindShortcuts", opts, sender, code, results, options.bind_delay, changed)

    @dbus.service.signal(GS, signature="oa(sa{sv})")
    def ShortcutsChanged(self, session, shortcuts):
        pass

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        version = options.remote_desktop_version if interface == RD else 1
        return {"version": dbus.UInt32(version), "AvailableDeviceTypes": dbus.UInt32(3)}[name]


Portal(bus, PATH)
bus.request_name("org.freedesktop.portal.Desktop")
print("ready", flush=True)
GLib.MainLoop().run()
