#!/usr/bin/python3
# A stand-in for systemd-logind, for tests on machines that have none: the part
# of org.freedesktop.login1 that Ostrel uses, behind the same D-Bus interface.
# It owns org.freedesktop.login1 on the bus DBUS_SYSTEM_BUS_ADDRESS names and
# serves one session, "1":
#   Manager (/org/freedesktop/login1): GetSession(s) for "1", "auto" and "self",
#     GetSessionByPID(u) for any process; other ids fail with NoSuchSession.
#   Session (/org/freedesktop/login1/session/_31): the properties Id, Active and
#     LockedHint (org.freedesktop.DBus.Properties Get/GetAll, PropertiesChanged
#     when LockedHint changes) and SetLockedHint(b), as a screen locker calls
#     it. (Ostrel does not use logind's Lock and Unlock requests, which are
#     meant for the locker; they are left out.)
# Prints "ready" on standard output once the name is owned.
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

BUS_NAME = 'org.freedesktop.login1'
MANAGER_PATH = '/org/freedesktop/login1'
SESSION_PATH = '/org/freedesktop/login1/session/_31'
MANAGER = 'org.freedesktop.login1.Manager'
SESSION = 'org.freedesktop.login1.Session'
PROPERTIES = 'org.freedesktop.DBus.Properties'


class NoSuchSession(dbus.DBusException):
    _dbus_error_name = 'org.freedesktop.login1.NoSuchSession'


class UnknownProperty(dbus.DBusException):
    _dbus_error_name = 'org.freedesktop.DBus.Error.UnknownProperty'


class Session(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, SESSION_PATH)
        self.locked = False

    def properties(self):
        return {'Id': dbus.String('1'), 'Active': dbus.Boolean(True), 'LockedHint': dbus.Boolean(self.locked)}

    @dbus.service.method(PROPERTIES, in_signature='ss', out_signature='v')
    def Get(self, interface, name):
        props = self.properties() if interface == SESSION else {}
        if name not in props:
            raise UnknownProperty('no property %s.%s' % (interface, name))
        return props[name]

    @dbus.service.method(PROPERTIES, in_signature='s', out_signature='a{sv}')
    def GetAll(self, interface):
        return self.properties() if interface == SESSION else {}

    @dbus.service.signal(PROPERTIES, signature='sa{sv}as')
    def PropertiesChanged(self, interface, changed, invalidated):
        pass

    @dbus.service.method(SESSION, in_signature='b', out_signature='')
    def SetLockedHint(self, locked):
        if bool(locked) == self.locked:
            return
        self.locked = bool(locked)
        self.PropertiesChanged(SESSION, {'LockedHint': dbus.Boolean(self.locked)}, dbus.Array([], signature='s'))


class Manager(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, MANAGER_PATH)

    @dbus.service.method(MANAGER, in_signature='s', out_signature='o')
    def GetSession(self, session_id):
        if session_id not in ('1', 'auto', 'self'):
            raise NoSuchSession('No session \'%s\' known' % session_id)
        return dbus.ObjectPath(SESSION_PATH)

    @dbus.service.method(MANAGER, in_signature='u', out_signature='o')
    def GetSessionByPID(self, pid):
        return dbus.ObjectPath(SESSION_PATH)


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SystemBus()
    objects = [Manager(bus), Session(bus)]
    name = dbus.service.BusName(BUS_NAME, bus, do_not_queue=True)
    print('ready', flush=True)
    GLib.MainLoop().run()
    del objects, name


if __name__ == '__main__':
    sys.exit(main())
