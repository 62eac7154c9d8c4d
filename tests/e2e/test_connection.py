"""The link to the bridge as a user watches it: a bridge that dies is a failure, reconnected five seconds later; one
that speaks another protocol version never counts as connected and is retried every five seconds, quietly."""
import time
import unittest

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
        corvane.wait_for(FAILED, timeout=3)
        corvane.wait_for("Error: Halvo Meshtastic Bridge stopped unexpectedly.", timeout=1)
        corvane.wait_for(connected, timeout=8, occurrences=2)
        self.assertAlmostEqual(corvane.timed(connected)[1] - corvane.timed(FAILED)[0], 5.0, delta=1.5)
        texts = corvane.texts()
        # The retry starts over with "Connecting…"; the radio's own node
        # survives the reconnect, so it is news only once.
        self.assertEqual(texts[texts.index(FAILED) + 1:].count("Connection: Connecting…"), 1, corvane.output())
        self.assertEqual(texts.count("Node heard: Harbour Relay (!0000002a), TBEAM, 2 hops"), 1)
        self.assertEqual(sum(t.startswith("Radio node: ") for t in texts), 1, corvane.output())
        self.assertEqual([r["port"] for r in self.sandbox.connect_requests()], [self.sandbox.port] * 2)
        # The crashed bridge is reaped; the new one is a different process.
        self.assertFalse(any(harness.is_running(pid) for pid in first_bridge))
        self.stop_in_order(corvane)

    def test_incompatible_protocol_version_retries_quietly(self):
        corvane = self.start_corvane([], "--protocol-version 2", script=[])
        corvane.wait_for(FAILED, timeout=13, occurrences=2)
        times = corvane.timed(FAILED)
        self.assertAlmostEqual(times[1] - times[0], 5.0, delta=1.5)
        self.assertTrue(corvane.running(), "corvane must keep running; output:" + corvane.output())
        # Automatic attempts never show their failure text.
        self.assertEqual(corvane.texts()[:5], ["Connection: Connecting…", "Guard: No position marked", FAILED,
                                               "Connection: Connecting…", FAILED])
        self.assertFalse([t for t in corvane.texts() if t.startswith(("Error:", "Connection: Connected"))],
                         corvane.output())
        self.assertEqual(len(self.sandbox.connect_requests()), 2)
        self.stop_in_order(corvane)

    def test_no_serial_device_means_no_attempt(self):
        (self.sandbox.devices / "ttyACM0").rename(self.sandbox.devices / "ttyS0")
        corvane = self.start_corvane([], script=[])
        corvane.wait_for("Connection: USB radio not connected")
        time.sleep(0.3)
        self.assertEqual(self.sandbox.connect_requests(None), [])
        self.stop_in_order(corvane)


if __name__ == "__main__":
    unittest.main()
