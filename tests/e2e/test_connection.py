# SPDX-License-Identifier: GPL-3.0-or-later
"""The link to the bridge as a user watches it: a radio plugged in while none is listed is connected at once, seen
through the real folder watcher. (Retries after a failure are the unit tests' of MeshRadio, the model and the
reporter, on virtual time; here each would cost a real five-second wait.)"""
import time
import unittest
from pathlib import Path

import harness

class ConnectionTest(harness.CorvaneTestCase):

    def test_radio_plugged_in_connects_at_once(self):
        (self.sandbox.devices / "ttyACM0").unlink()
        corvane = self.start_corvane([], script=[])
        corvane.wait_for("Connection: USB radio not connected")
        (self.sandbox.devices / "ttyACM0").touch()
        plugged = time.monotonic()
        connected = "Connection: Connected (%s)" % self.sandbox.port
        # Well inside the five seconds a retry would take, with room for a loaded machine.
        corvane.wait_for(connected, timeout=3.0)
        self.assertLess(corvane.timed(connected)[0] - plugged, 3.0)
        # Our own event loop's settings are not the bridge's.
        bridge = next(iter(corvane.bridge_pids))
        environment = Path("/proc/%d/environ" % bridge).read_bytes().split(b"\0")
        self.assertFalse([entry for entry in environment if entry.startswith(b"QT_NO_GLIB=")])
        self.stop_in_order(corvane)


if __name__ == "__main__":
    unittest.main()
