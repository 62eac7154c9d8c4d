"""The link to the bridge as a user watches it: a bridge that speaks another protocol version never counts as
connected and is retried every five seconds, quietly. (A bridge that dies is covered by the unit and integration tests
of MeshRadio and the model; here it would cost a real five-second wait.)"""
import unittest

import harness

FAILED = "Connection: USB connection failed"


class ConnectionTest(harness.CorvaneTestCase):

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


if __name__ == "__main__":
    unittest.main()
