#!/usr/bin/python3
"""Gives a running NetworkManager mock (python3-dbusmock's "networkmanager" template) one
Wi-Fi device that is connected to an access point.

usage: nm_mock_wifi.py BUS_ADDRESS INTERFACE SSID BSSID

Waits until the mock owns its name on the bus, then adds the device in state activated (100)
with an active connection whose Id is SSID and whose access point has HwAddress BSSID.
Prints the device's object path. Exits 1 with a reason on stderr when anything fails.
"""

import sys
import time

import dbus

NM_NAME = "org.freedesktop.NetworkManager"
MOCK_IFACE = "org.freedesktop.DBus.Mock"
MOCK_MAIN = "/org/freedesktop"
WIRELESS_IFACE = "org.freedesktop.NetworkManager.Device.Wireless"
DEVICE_IFACE = "org.freedesktop.NetworkManager.Device"
PROPERTIES_IFACE = "org.freedesktop.DBus.Properties"

STATE_DISCONNECTED = 30
STATE_ACTIVATED = 100
ACTIVE_CONNECTION_ACTIVATED = 2
MODE_INFRASTRUCTURE = 2
START_TIMEOUT_S = 10.0


def wait_for_name(bus):
    deadline = time.monotonic() + START_TIMEOUT_S
    while time.monotonic() < deadline:
        if bus.name_has_owner(NM_NAME):
            return
        time.sleep(0.05)
    raise RuntimeError("the NetworkManager mock did not appear on the bus")


def main(argv):
    if len(argv) != 5:
        sys.stderr.write(__doc__)
        return 2
    address, interface, ssid, bssid = argv[1:]
    bus = dbus.bus.BusConnection(address)
    wait_for_name(bus)

    mock = dbus.Interface(bus.get_object(NM_NAME, MOCK_MAIN), MOCK_IFACE)
    name = "e2e0"
    device = mock.AddWiFiDevice(name, interface, dbus.Int32(STATE_DISCONNECTED))
    ap = mock.AddAccessPoint(device, name, ssid, bssid, dbus.UInt32(MODE_INFRASTRUCTURE),
                             dbus.UInt32(2437), dbus.UInt32(54000), dbus.Byte(80),
                             dbus.UInt32(0))
    connection = mock.AddWiFiConnection(device, name, ssid, "")
    # Activating sets the device's state to activated and its ActiveConnection.
    mock.AddActiveConnection(dbus.Array([device], signature="s"), connection, ap, name,
                             dbus.UInt32(ACTIVE_CONNECTION_ACTIVATED))
    # The template leaves out the device's current access point; NetworkManager has it.
    device_mock = dbus.Interface(bus.get_object(NM_NAME, device), MOCK_IFACE)
    device_mock.AddProperty(WIRELESS_IFACE, "ActiveAccessPoint", dbus.ObjectPath(ap))

    # Read back what the program will read, so that a template change shows up here and not
    # as a puzzling "device not found" later.
    props = dbus.Interface(bus.get_object(NM_NAME, device), PROPERTIES_IFACE)
    state = int(props.Get(DEVICE_IFACE, "State"))
    if state != STATE_ACTIVATED:
        raise RuntimeError(f"the mock's device is in state {state}, not {STATE_ACTIVATED}")
    if str(props.Get(DEVICE_IFACE, "Interface")) != interface:
        raise RuntimeError("the mock's device has another interface name")
    print(device)
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except (RuntimeError, dbus.exceptions.DBusException) as error:
        sys.stderr.write(f"nm_mock_wifi.py: {error}\n")
        sys.exit(1)
