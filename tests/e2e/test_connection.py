# SPDX-License-Identifier: GPL-3.0-or-later
"""The link to the bridge as a user watches it: a bridge that speaks another protocol version never counts as
connected and is retried every five seconds, its reason printed once; a radio plugged in while none is listed is
connected at once. (A bridge that dies is covered by the unit and integration tests of MeshRadio and the model;
here it would cost a real five-second wait.)"""
import time
import unittest
from pathlib import Path

import harness

FAILED = "Connection: USB connection failed"


class ConnectionTest(harness.CorvaneTestCase):

    def test_incompatible_protocol_version_retries_with_its_reason_printed_once(self):
        corvane = self.start_corvane([], "--protocol-version 2", script=[])
        corvane.wait_for(FAILED, timeout=3)
        harness.wait_until(lambda: len(self.sandbox.connect_requests()) == 2, 8.0, "the retry")
        time.sleep(0.3)
        self.assertTrue(corvane.running(), "corvane must keep running; output:" + corvane.output())
        # Automatic attempts show their failure text as the reason, not as an error, and a retry that fails the
        # same way prints nothing.
        self.assertEqual(corvane.texts(), ["Meshtastic Bridge: Installed", "Connection: Connecting…",
                                           "Guard: No position marked", FAILED,
                                           "Reason: Halvo Meshtastic Bridge uses an incompatible protocol version."])
        self.stop_in_order(corvane)

    def test_radio_plugged_in_connects_at_once(self):
        (self.sandbox.devices / "ttyACM0").unlink()
        corvane = self.start_corvane([], script=[])
        corvane.wait_for("Connection: USB radio not connected")
        (self.sandbox.devices / "ttyACM0").touch()
        plugged = time.monotonic()
        connected = "Connection: Connected (%s)" % self.sandbox.port
        corvane.wait_for(connected, timeout=1.0)
        self.assertLess(corvane.timed(connected)[0] - plugged, 1.0)
        # Our own event loop's settings are not the bridge's.
        bridge = next(iter(corvane.bridge_pids))
        environment = Path("/proc/%d/environ" % bridge).read_bytes().split(b"\0")
        self.assertFalse([entry for entry in environment if entry.startswith(b"QT_NO_GLIB=")])
        self.stop_in_order(corvane)


if __name__ == "__main__":
    unittest.main()
