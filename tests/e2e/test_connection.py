"""The link to the bridge as a user watches it: a bridge that dies is a failure, reconnected five seconds later; one
that speaks another protocol version never counts as connected and is retried every five seconds, its reason printed
once; a radio plugged in while none is listed is connected at once."""
import time
import unittest
from pathlib import Path

import harness

FAILED = "Connection: USB connection failed"


class ConnectionTest(harness.CorvaneTestCase):

    def test_bridge_crash_is_a_failure_and_reconnects_after_five_seconds(self):
        corvane = self.start_corvane([], "--local-node 42", script=[
            harness.node_line(0x2A, "Harbour Relay", "HR", harness.START, hops=2), "sleep 300", "exit 3"])
        connected = "Connection: Connected (%s)" % self.sandbox.port
        corvane.wait_for(connected)
        first_bridge = set(corvane.bridge_pids)
        self.assertEqual(len(first_bridge), 1, "one bridge child while connected")
        # Our own event loop's settings are not the bridge's.
        environment = Path("/proc/%d/environ" % next(iter(first_bridge))).read_bytes().split(b"\0")
        self.assertFalse([entry for entry in environment if entry.startswith(b"QT_NO_GLIB=")])
        corvane.wait_for(FAILED, timeout=3)
        corvane.wait_for("Error: Halvo Meshtastic Bridge stopped unexpectedly.", timeout=1)
        corvane.wait_for(connected, timeout=8, occurrences=2)
        self.assertAlmostEqual(corvane.timed(connected)[1] - corvane.timed(FAILED)[0], 5.0, delta=1.5)
        texts = corvane.texts()
        # The retry after a failure is news only once it ends; the radio's own
        # node survives the reconnect, so it is news only once too.
        self.assertEqual(texts[texts.index(FAILED) + 1:].count("Connection: Connecting…"), 0, corvane.output())
        self.assertEqual(texts.count("Node heard: Harbour Relay (!0000002a), TBEAM, 2 hops"), 1)
        self.assertEqual(sum(t.startswith("Radio node: ") for t in texts), 1, corvane.output())
        self.assertEqual([r["port"] for r in self.sandbox.connect_requests()], [self.sandbox.port] * 2)
        # The crashed bridge is reaped; the new one is a different process.
        self.assertFalse(any(harness.is_running(pid) for pid in first_bridge))
        self.stop_in_order(corvane)

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

    def test_no_serial_device_means_no_attempt(self):
        (self.sandbox.devices / "ttyACM0").rename(self.sandbox.devices / "ttyS0")
        corvane = self.start_corvane([], script=[])
        corvane.wait_for("Connection: USB radio not connected")
        time.sleep(0.3)
        self.assertEqual(self.sandbox.connect_requests(None), [])
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
        self.stop_in_order(corvane)


if __name__ == "__main__":
    unittest.main()
