"""The link to the bridge as a user watches it: a bridge that dies is shown as
a failure and reconnected five seconds later; a bridge that speaks another
protocol version never counts as connected and is retried every five
seconds, quietly."""
import sys
import time
import unittest
from datetime import datetime, timezone
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402

RECONNECT_SECONDS = 5.0
TOLERANCE = 1.5
HEARD = datetime(2026, 3, 1, 9, 30, tzinfo=timezone.utc)


class ConnectionTest(harness.CorvaneTestCase):

    def test_bridge_crash_is_a_failure_and_reconnects_after_five_seconds(self):
        self.sandbox.write_script([
            harness.node_line(0x2A, "Harbour Relay", "HR", HEARD, hops=2),
            "sleep 300",
            "exit 3",
        ])
        corvane = self.start_corvane([], sim_args="--local-node 42")
        connected = "Connection: Connected (%s)" % self.sandbox.port
        corvane.wait_for(connected)
        first_bridge = set(corvane.bridge_pids)
        self.assertEqual(len(first_bridge), 1, "one bridge child while connected")
        corvane.wait_for("Connection: USB connection failed", timeout=3)
        corvane.wait_for("Error: Halvo Meshtastic Bridge stopped unexpectedly.", timeout=1)
        corvane.wait_for(connected, timeout=RECONNECT_SECONDS + 3, occurrences=2)

        failed_at = corvane.timed("Connection: USB connection failed")[0]
        reconnected_at = corvane.timed(connected)[1]
        self.assertAlmostEqual(reconnected_at - failed_at, RECONNECT_SECONDS, delta=TOLERANCE)
        texts = corvane.texts()
        failure = texts.index("Connection: USB connection failed")
        # The retry starts over: "Connecting…" and the error cleared first.
        self.assertEqual(texts[failure + 1:].count("Connection: Connecting…"), 1, corvane.output())
        self.assertEqual(texts.count("Node heard: Harbour Relay (!0000002a), TBEAM, 2 hops"), 1)
        # The radio's own node survives the reconnect; it is news only once.
        self.assertEqual(len([t for t in texts if t.startswith("Radio node: ")]), 1, corvane.output())
        self.assertEqual(len(self.sandbox.connect_requests()), 2)
        self.assertEqual({r["port"] for r in self.sandbox.connect_requests()}, {self.sandbox.port})
        # The crashed bridge is reaped; the new one is a different process.
        for pid in first_bridge:
            self.assertFalse(harness.is_running(pid))
        self.stop_in_order(corvane)

    def test_incompatible_protocol_version_retries_quietly(self):
        self.sandbox.write_script([])
        corvane = self.start_corvane([], sim_args="--protocol-version 2")
        failed = "Connection: USB connection failed"
        corvane.wait_for(failed, timeout=5)
        corvane.wait_for(failed, timeout=RECONNECT_SECONDS + 3, occurrences=2)
        times = corvane.timed(failed)
        self.assertAlmostEqual(times[1] - times[0], RECONNECT_SECONDS, delta=TOLERANCE)
        self.assertTrue(corvane.running(), "corvane must keep running; output:" + corvane.output())

        texts = corvane.texts()
        self.assertEqual(texts[:3], ["Connection: Connecting…", "Guard: No position marked", failed])
        self.assertEqual(texts[3:5], ["Connection: Connecting…", failed])
        # Automatic attempts never show their failure text.
        self.assertFalse([t for t in texts if t.startswith("Error:")], corvane.output())
        self.assertFalse([t for t in texts if t.startswith("Connection: Connected")], corvane.output())
        self.assertEqual(len(self.sandbox.connect_requests()), 2)
        self.stop_in_order(corvane)

    def test_no_serial_device_means_no_attempt(self):
        (self.sandbox.devices / "ttyACM0").unlink()
        (self.sandbox.devices / "ttyS0").touch()
        self.sandbox.write_script([])
        corvane = self.start_corvane([])
        corvane.wait_for("Connection: USB radio not connected")
        time.sleep(0.3)
        self.assertEqual(self.sandbox.bridge_requests(), [])
        self.stop_in_order(corvane)


if __name__ == "__main__":
    unittest.main()
