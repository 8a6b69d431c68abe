#!/usr/bin/python3
"""Lays out headless Mutter's two virtual monitors for the Wayland end-to-end
test: the first (2560x1440) at scale 2, so its logical size (1280x720) is half
its pictures', and the second (800x600) at scale 1 to its right. Needs
Mutter's scale-monitor-framebuffer feature (logical layout mode)."""

import sys

import dbus

bus = dbus.SessionBus()
config = dbus.Interface(
    bus.get_object("org.gnome.Mutter.DisplayConfig", "/org/gnome/Mutter/DisplayConfig"),
    "org.gnome.Mutter.DisplayConfig")
serial, monitors, _, properties = config.GetCurrentState()
if int(properties.get("layout-mode", 0)) != 1:
    sys.exit("Mutter is not in the logical layout mode (scale-monitor-framebuffer is off)")
if len(monitors) != 2:
    sys.exit(f"expected two virtual monitors, found {len(monitors)}")


def current_mode(monitor):
    return next(mode[0] for mode in monitor[1] if mode[6].get("is-current", False))


# Method 1: temporary, as a user trying a layout; no confirmation dialog in Mutter alone.
config.ApplyMonitorsConfig(serial, dbus.UInt32(1), [
    (dbus.Int32(0), dbus.Int32(0), dbus.Double(2.0), dbus.UInt32(0), True,
     [(monitors[0][0][0], current_mode(monitors[0]), {})]),
    (dbus.Int32(1280), dbus.Int32(0), dbus.Double(1.0), dbus.UInt32(0), False,
     [(monitors[1][0][0], current_mode(monitors[1]), {})]),
], {})
for logical in config.GetCurrentState()[2]:
    print(f"monitor {logical[5][0][0]} at {int(logical[0])},{int(logical[1])} scale {float(logical[2])}")
