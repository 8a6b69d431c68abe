#!/usr/bin/python3
"""A desktop-portal back end for the Wayland end-to-end test.

The real xdg-desktop-portal front end calls it (ScreenCast, GlobalShortcuts)
as it would call the GNOME or KDE back end; it shows no dialog and drives
Mutter's own screen-cast and remote-desktop D-Bus API, as the GNOME back end
does. It also offers the test a way to move the pointer
(org.orvamy.TestPortal.MovePointer) through the remote-desktop session and to
press a bound shortcut (PressShortcut), and counts how often a dialog would
have been shown (a Start without restore data).

Environment: ORVAMY_TEST_CURSOR_MODES, the AvailableCursorModes to offer
(default 7: hidden, embedded, metadata); ORVAMY_TEST_START_RESPONSE, the
answer to Start (default 0; 1 is a dialog the user closed, 2 a refusal).
"""

import os
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

BUS_NAME = "org.freedesktop.impl.portal.desktop.orvamytest"
PORTAL_PATH = "/org/freedesktop/portal/desktop"
SCREEN_CAST = "org.freedesktop.impl.portal.ScreenCast"
SHORTCUTS = "org.freedesktop.impl.portal.GlobalShortcuts"
SESSION = "org.freedesktop.impl.portal.Session"
PROPERTIES = "org.freedesktop.DBus.Properties"
VENDOR = "orvamytest"

# Portal cursor modes (bit flags) -> Mutter's cursor-mode values.
MUTTER_CURSOR_MODE = {1: 0, 2: 1, 4: 2}


def log(text):
    print(f"test-portal: {text}", file=sys.stderr, flush=True)


class Session(dbus.service.Object):
    def __init__(self, bus, path, on_closed):
        super().__init__(bus, path)
        self.path = path
        self.on_closed = on_closed
        self.cursor_mode = 1
        self.persist_mode = 0
        self.restore_data = None
        self.remote_desktop = None
        self.streams = []  # (stream object path, node id, position, size, scale)

    @dbus.service.method(SESSION, in_signature="", out_signature="")
    def Close(self):
        log(f"session {self.path} closed")
        if self.remote_desktop is not None:
            try:
                self.remote_desktop.Stop(dbus_interface="org.gnome.Mutter.RemoteDesktop.Session")
            except dbus.DBusException as error:
                log(f"stopping the remote-desktop session: {error}")
        self.on_closed(self.path)
        self.remove_from_connection()

    @dbus.service.signal(SESSION, signature="")
    def Closed(self):
        pass


class ShortcutsPortal(dbus.service.Object):
    """org.freedesktop.impl.portal.GlobalShortcuts: binds whatever is asked,
    each to its preferred trigger, and activates on the test's PressShortcut.
    A base class of Portal because both interfaces have a CreateSession and
    dbus-python finds methods by their Python name."""

    def __init__(self, bus):
        super().__init__(bus, PORTAL_PATH)
        self.shortcut_sessions = {}

    @dbus.service.method(SHORTCUTS, in_signature="oosa{sv}", out_signature="ua{sv}")
    def CreateSession(self, handle, session_handle, app_id, options):
        self.shortcut_sessions[str(session_handle)] = Session(
            self.bus, session_handle, lambda path: self.shortcut_sessions.pop(str(path), None))
        log(f"shortcuts session {session_handle} created")
        return dbus.UInt32(0), dbus.Dictionary({}, signature="sv")

    @dbus.service.method(SHORTCUTS, in_signature="ooa(sa{sv})sa{sv}", out_signature="ua{sv}")
    def BindShortcuts(self, handle, session_handle, shortcuts, parent_window, options):
        bound = []
        for shortcut_id, properties in shortcuts:
            trigger = str(properties.get("preferred_trigger", ""))
            log(f"bind {shortcut_id} to {trigger}: {properties.get('description', '')}")
            bound.append(dbus.Struct((shortcut_id, dbus.Dictionary({
                "description": dbus.String(properties.get("description", "")),
                "trigger_description": dbus.String(trigger),
            }, signature="sv"))))
        return dbus.UInt32(0), dbus.Dictionary(
            {"shortcuts": dbus.Array(bound, signature="(sa{sv})")}, signature="sv")

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Activated(self, session_handle, shortcut_id, timestamp, options):
        pass

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Deactivated(self, session_handle, shortcut_id, timestamp, options):
        pass

    @dbus.service.method("org.orvamy.TestPortal", in_signature="s", out_signature="u")
    def PressShortcut(self, shortcut_id):
        """Presses and releases a bound shortcut in every session; how many got it."""
        for path in self.shortcut_sessions:
            empty = dbus.Dictionary({}, signature="sv")
            self.Activated(dbus.ObjectPath(path), shortcut_id, dbus.UInt64(1), empty)
            self.Deactivated(dbus.ObjectPath(path), shortcut_id, dbus.UInt64(2), empty)
        return dbus.UInt32(len(self.shortcut_sessions))


class Portal(ShortcutsPortal):
    def __init__(self, bus):
        super().__init__(bus)
        self.bus = bus
        self.sessions = {}
        self.dialogs_shown = 0
        self.cursor_modes = int(os.environ.get("ORVAMY_TEST_CURSOR_MODES", "7"))
        self.start_response = int(os.environ.get("ORVAMY_TEST_START_RESPONSE", "0"))

    # --- properties -----------------------------------------------------
    def properties(self):
        return {
            "AvailableSourceTypes": dbus.UInt32(1),
            "AvailableCursorModes": dbus.UInt32(self.cursor_modes),
            "version": dbus.UInt32(4),
        }

    @dbus.service.method(PROPERTIES, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if interface == SHORTCUTS:
            return {"version": dbus.UInt32(1)}[name]
        return self.properties()[name]

    @dbus.service.method(PROPERTIES, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        if interface == SHORTCUTS:
            return {"version": dbus.UInt32(1)}
        return self.properties() if interface == SCREEN_CAST else {}

    # --- screen cast ----------------------------------------------------
    @dbus.service.method(SCREEN_CAST, in_signature="oosa{sv}", out_signature="ua{sv}")
    def CreateSession(self, handle, session_handle, app_id, options):
        self.sessions[str(session_handle)] = Session(
            self.bus, session_handle, lambda path: self.sessions.pop(str(path), None))
        log(f"session {session_handle} created for '{app_id}'")
        return dbus.UInt32(0), dbus.Dictionary({}, signature="sv")

    @dbus.service.method(SCREEN_CAST, in_signature="oosa{sv}", out_signature="ua{sv}")
    def SelectSources(self, handle, session_handle, app_id, options):
        session = self.sessions[str(session_handle)]
        session.cursor_mode = int(options.get("cursor_mode", 1))
        session.persist_mode = int(options.get("persist_mode", 0))
        session.restore_data = options.get("restore_data")
        log(f"select sources: cursor mode {session.cursor_mode}, persist mode "
            f"{session.persist_mode}, restore data {'given' if session.restore_data else 'none'}")
        return dbus.UInt32(0), dbus.Dictionary({}, signature="sv")

    @dbus.service.method(SCREEN_CAST, in_signature="oossa{sv}", out_signature="ua{sv}",
                         async_callbacks=("reply", "error"))
    def Start(self, handle, session_handle, app_id, parent_window, options, reply, error):
        session = self.sessions[str(session_handle)]
        if not session.restore_data:
            # Where a real back end would ask the user.
            self.dialogs_shown += 1
        if self.start_response != 0:
            log(f"start answered with {self.start_response}")
            reply(dbus.UInt32(self.start_response), dbus.Dictionary({}, signature="sv"))
            return
        try:
            self.start_mutter_session(session, reply)
        except dbus.DBusException as failure:
            log(f"start failed: {failure}")
            reply(dbus.UInt32(2), dbus.Dictionary({}, signature="sv"))

    def start_mutter_session(self, session, reply):
        remote = self.bus.get_object("org.gnome.Mutter.RemoteDesktop",
                                     "/org/gnome/Mutter/RemoteDesktop")
        rd_path = remote.CreateSession(dbus_interface="org.gnome.Mutter.RemoteDesktop")
        rd = self.bus.get_object("org.gnome.Mutter.RemoteDesktop", rd_path)
        session_id = rd.Get("org.gnome.Mutter.RemoteDesktop.Session", "SessionId",
                            dbus_interface=PROPERTIES)
        cast = self.bus.get_object("org.gnome.Mutter.ScreenCast", "/org/gnome/Mutter/ScreenCast")
        sc_path = cast.CreateSession({"remote-desktop-session-id": session_id},
                                     dbus_interface="org.gnome.Mutter.ScreenCast")
        sc = self.bus.get_object("org.gnome.Mutter.ScreenCast", sc_path)
        session.remote_desktop = rd

        connectors = self.monitor_connectors()
        scales = self.monitor_scales()
        connector_of = {}
        pending = {}
        mode = MUTTER_CURSOR_MODE.get(session.cursor_mode, 0)
        for connector in connectors:
            stream_path = sc.RecordMonitor(connector, {"cursor-mode": dbus.UInt32(mode)},
                                           dbus_interface="org.gnome.Mutter.ScreenCast.Session")
            pending[str(stream_path)] = None
            connector_of[str(stream_path)] = connector

        answered = []

        def added(node_id, path=None):
            # Every stream's signal comes here; only this session's count.
            if answered or str(path) not in pending:
                return
            pending[str(path)] = int(node_id)
            if any(node is None for node in pending.values()):
                return
            streams = []
            for stream_path, node in pending.items():
                stream = self.bus.get_object("org.gnome.Mutter.ScreenCast", stream_path)
                parameters = stream.Get("org.gnome.Mutter.ScreenCast.Stream", "Parameters",
                                        dbus_interface=PROPERTIES)
                position = parameters.get("position", (0, 0))
                size = parameters.get("size", (0, 0))
                scale = scales.get(connector_of[stream_path], 1.0)
                session.streams.append((stream_path, node, position, size, scale))
                streams.append(dbus.Struct((dbus.UInt32(node), dbus.Dictionary({
                    "position": dbus.Struct((dbus.Int32(position[0]), dbus.Int32(position[1]))),
                    "size": dbus.Struct((dbus.Int32(size[0]), dbus.Int32(size[1]))),
                    "source_type": dbus.UInt32(1),
                }, signature="sv"))))
                log(f"stream node {node} at {tuple(int(v) for v in position)} "
                    f"size {tuple(int(v) for v in size)} scale {scale}")
            results = {"streams": dbus.Array(streams, signature="(ua{sv})")}
            if session.persist_mode:
                results["persist_mode"] = dbus.UInt32(session.persist_mode)
                results["restore_data"] = dbus.Struct(
                    (VENDOR, dbus.UInt32(1), dbus.String(",".join(connectors), variant_level=1)),
                    signature="suv")
            answered.append(True)
            reply(dbus.UInt32(0), dbus.Dictionary(results, signature="sv"))

        self.bus.add_signal_receiver(added, "PipeWireStreamAdded",
                                     "org.gnome.Mutter.ScreenCast.Stream",
                                     "org.gnome.Mutter.ScreenCast", None, path_keyword="path")
        rd.Start(dbus_interface="org.gnome.Mutter.RemoteDesktop.Session")

    def monitor_scales(self):
        config = self.bus.get_object("org.gnome.Mutter.DisplayConfig",
                                     "/org/gnome/Mutter/DisplayConfig")
        _, _, logical_monitors, _ = config.GetCurrentState(
            dbus_interface="org.gnome.Mutter.DisplayConfig")
        return {str(monitor[0]): float(logical[2])
                for logical in logical_monitors for monitor in logical[5]}

    def monitor_connectors(self):
        config = self.bus.get_object("org.gnome.Mutter.DisplayConfig",
                                     "/org/gnome/Mutter/DisplayConfig")
        _, monitors, _, _ = config.GetCurrentState(dbus_interface="org.gnome.Mutter.DisplayConfig")
        return [str(monitor[0][0]) for monitor in monitors]

    # --- the test's own controls ----------------------------------------
    @dbus.service.method("org.orvamy.TestPortal", in_signature="dd", out_signature="")
    def MovePointer(self, x, y):
        """Moves the pointer to the desktop point (x, y) (logical pixels).
        Mutter takes the position in the stream's own (physical) pixels."""
        for session in self.sessions.values():
            for stream_path, _, position, size, scale in session.streams:
                inside_x = position[0] <= x < position[0] + size[0]
                inside_y = position[1] <= y < position[1] + size[1]
                if inside_x and inside_y and session.remote_desktop is not None:
                    session.remote_desktop.NotifyPointerMotionAbsolute(
                        stream_path, (x - position[0]) * scale, (y - position[1]) * scale,
                        dbus_interface="org.gnome.Mutter.RemoteDesktop.Session")
                    return
        raise dbus.DBusException("no running session shows that point",
                                 name="org.orvamy.TestPortal.NoStream")

    @dbus.service.method("org.orvamy.TestPortal", in_signature="", out_signature="b")
    def EndNewestScreenCast(self):
        """What a desktop's "stop sharing" does to the newest screen cast: its
        streams go and its session says Closed. False when none runs."""
        if not self.sessions:
            return False
        path, session = list(self.sessions.items())[-1]
        log(f"session {path} ended by the desktop")
        if session.remote_desktop is not None:
            session.remote_desktop.Stop(dbus_interface="org.gnome.Mutter.RemoteDesktop.Session")
            session.remote_desktop = None
        session.Closed()
        self.sessions.pop(path, None)
        session.remove_from_connection()
        return True

    @dbus.service.method("org.orvamy.TestPortal", in_signature="", out_signature="u")
    def DialogsShown(self):
        return dbus.UInt32(self.dialogs_shown)


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    portal = Portal(bus)
    name = dbus.service.BusName(BUS_NAME, bus, do_not_queue=True)
    log(f"serving as {name.get_name()}, cursor modes {portal.cursor_modes}")
    GLib.MainLoop().run()


if __name__ == "__main__":
    main()
