#!/usr/bin/python3
"""A panel's StatusNotifierWatcher for the tests, run inside dbus-run-session.

Usage: StatusNotifierWatcher.py FOLDER [--no-watcher]

Writes FOLDER/address (the session bus) once ready. Every registration and
every status change of the item is appended to FOLDER/events; after each, the
item's properties and its menu (read through the dbusmenu protocol) are
written to FOLDER/item:
    item <bus name> <object path>
    property <name> <value>
    menu <dbusmenu id> <type> <visible 0|1> <label>
With --no-watcher the bus has no watcher at all.
"""
import os
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

WATCHER = "org.kde.StatusNotifierWatcher"
ITEM = "org.kde.StatusNotifierItem"
MENU = "com.canonical.dbusmenu"

folder = sys.argv[1]


def write_atomic(name, text):
    path = os.path.join(folder, name)
    with open(path + ".tmp", "w", encoding="utf-8") as f:
        f.write(text)
    os.rename(path + ".tmp", path)


def append_event(line):
    with open(os.path.join(folder, "events"), "a", encoding="utf-8") as f:
        f.write(line + "\n")


class Watcher(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/StatusNotifierWatcher")
        self.bus = bus
        self.items = []
        self.watched = set()

    @dbus.service.method(WATCHER, in_signature="s", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender=None):
        path = service if service.startswith("/") else "/StatusNotifierItem"
        name = sender if service.startswith("/") else service
        self.items.append(name + path)
        append_event("registered %s %s" % (name, path))
        if (name, path) not in self.watched:
            self.watched.add((name, path))
            self.bus.add_signal_receiver(
                lambda status: self.changed(name, path, "status " + status),
                signal_name="NewStatus", dbus_interface=ITEM, bus_name=name, path=path)
        self.StatusNotifierItemRegistered(name + path)
        # Read once the registration call has been answered.
        GLib.idle_add(self.snapshot, name, path)

    @dbus.service.method(WATCHER, in_signature="s")
    def RegisterStatusNotifierHost(self, service):
        pass

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemRegistered(self, service):
        pass

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, prop):
        return self.GetAll(interface)[prop]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return {
            "RegisteredStatusNotifierItems": dbus.Array(self.items, signature="s"),
            "IsStatusNotifierHostRegistered": dbus.Boolean(True),
            "ProtocolVersion": dbus.Int32(0),
        }

    def changed(self, name, path, event):
        append_event(event)
        GLib.idle_add(self.snapshot, name, path)

    def snapshot(self, name, path, tries=50):
        lines = ["item %s %s" % (name, path)]
        menu_read = False
        try:
            item = self.bus.get_object(name, path, introspect=False)
            props = item.GetAll(ITEM, dbus_interface=dbus.PROPERTIES_IFACE)
            for key in sorted(props):
                lines.append("property %s %s" % (key, props[key]))
            menu = self.bus.get_object(name, props["Menu"], introspect=False)
            _, layout = menu.GetLayout(0, -1, dbus.Array([], signature="s"), dbus_interface=MENU)
            for child in layout[2]:
                menu_read = True
                cid, cprops = int(child[0]), child[1]
                lines.append("menu %d %s %d %s" % (cid, cprops.get("type", "standard"),
                                                   int(bool(cprops.get("visible", True))),
                                                   cprops.get("label", "")))
        except dbus.DBusException as e:
            lines.append("error %s" % e.get_dbus_name())
        write_atomic("item", "\n".join(lines) + "\n")
        # The menu is exported a moment after the item registers: look again until it is there.
        if not menu_read and tries > 0:
            GLib.timeout_add(100, self.snapshot, name, path, tries - 1)
        return False


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    if "--no-watcher" not in sys.argv:
        watcher = Watcher(bus)  # noqa: F841 (kept alive by the loop)
        bus.request_name(WATCHER, dbus.bus.NAME_FLAG_DO_NOT_QUEUE)
    write_atomic("address", os.environ["DBUS_SESSION_BUS_ADDRESS"])
    GLib.MainLoop().run()


main()
