# SPDX-License-Identifier: GPL-3.0-or-later
"""A tracked Bluetooth device against the BlueZ mock on a private system bus: heard, silent past its delay (one
loss alert), back (one return alert); the last reception is on disk after SIGTERM."""
import json
import time
import unittest
from pathlib import Path

import dbus

import harness

TEMPLATE = Path(__file__).resolve().parents[1] / "integration" / "templates" / "bluez5_le.py"
ADDRESS = "AA:BB:CC:DD:EE:01"
# The name-based identifier of ADDRESS.
DEVICE = "546121C6-9763-5103-85DD-BAE6D703725A"
DELAY = 30  # the loss delay a device gets when tracked


class BluetoothTest(harness.CorvaneTestCase):

    def setUp(self):
        super().setUp()
        self.system = harness.SessionBus("system", str(TEMPLATE), "org.bluez")
        self.addCleanup(self.system.stop)
        self.system.start(self.sandbox.root)
        self.bluez = self.system.connection.get_object("org.bluez", "/")
        self.bluez.AddAdapter("hci0", "desk", dbus_interface="org.bluez.Mock")

    def advertise(self, rssi):
        return self.bluez.Advertise("hci0", ADDRESS, dbus.Int16(rssi), {"Name": "Keys"}, dbus_interface="org.bluez.Mock")

    def summaries(self):
        return [call["summary"] for call in self.bus.notify_calls()]

    def test_tracked_device_alerts_once_when_silent_and_once_when_back(self):
        corvane = self.start_corvane(["--bluetooth", "--track-bluetooth", DEVICE],
                                     system_bus_address=self.system.address)
        corvane.wait_for("Bluetooth: Looking for Bluetooth devices…")
        # The line tells that a scan was asked for; bluetoothd starts discovering a moment later.
        harness.wait_until(lambda: self.advertise(-60), 5, "the adapter to discover")
        corvane.wait_for("Bluetooth heard: Keys (%s), -60 dBm · Nearby" % DEVICE)
        corvane.wait_for("Bluetooth: Tracking Keys")
        silent_from = time.monotonic()

        lost = "Notification: Keys is no longer nearby — No Bluetooth signal has been received for 30 seconds. " \
               "Check whether the device is still nearby."
        corvane.wait_for(lost, timeout=DELAY + 10)
        self.assertGreaterEqual(time.monotonic() - silent_from, DELAY - 1)
        # The printed line and the desktop's Notify call race: the call waits for the server's capabilities.
        harness.wait_until(lambda: self.summaries() == ["Keys is no longer nearby"], 5, "the loss alert on the desktop",
                           lambda: ": %r" % self.summaries())

        self.advertise(-58)
        corvane.wait_for("Notification: Keys is nearby again — Corvane is receiving its Bluetooth signal again.")
        # Within the 5-second save spacing: only the save at exit keeps it.
        time.sleep(2.2)
        self.advertise(-52)
        # The power-off signal follows the reception on the bus: once it is shown, the reception was handled.
        self.bluez.SetPowered("hci0", False, dbus_interface="org.bluez.Mock")
        corvane.wait_for("Bluetooth: Turn on Bluetooth to configure a tracker")
        self.stop_in_order(corvane)
        harness.wait_until(lambda: len(self.summaries()) >= 2, 5, "the return alert on the desktop")
        self.assertEqual(self.summaries(), ["Keys is no longer nearby", "Keys is nearby again"])
        self.assertEqual(sum(text.startswith("Notification:") for text in corvane.texts()), 2, corvane.output())

        stored = json.loads((self.sandbox.data / "Corvane" / "tracked-bluetooth-devices.json").read_text())
        self.assertEqual(len(stored), 1, stored)
        self.assertEqual((stored[0]["id"], stored[0]["name"], stored[0]["lastRSSI"], stored[0]["lossAlertEnabled"],
                          stored[0]["lossAlertDelay"]), (DEVICE, "Keys", -52, True, DELAY))
        self.assert_private(self.sandbox.data / "Corvane", self.sandbox.data / "Corvane" / "tracked-bluetooth-devices.json")


if __name__ == "__main__":
    unittest.main()
