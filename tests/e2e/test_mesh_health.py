# SPDX-License-Identifier: GPL-3.0-or-later
"""A watched bicycle tracker goes silent: one silence alert on the desktop and in the terminal, then a return
when it is heard again."""
import time
import unittest
from datetime import datetime, timezone

import harness

BIKE = 186443169
SILENT_BODY = "Nothing heard from it for 2 s. It may be switched off, out of battery or out of range."


class MeshHealthTest(harness.CorvaneTestCase):

    def test_silent_bicycle_alerts_once_and_its_return_is_reported(self):
        now = datetime.now(timezone.utc)
        script = [harness.node_line(BIKE, "Bike", "BK", now), "sleep 5000",
                  harness.message_line(1, 77, BIKE, "still here", now)]
        corvane = self.start_corvane(["--watch-node", "%d:2s" % BIKE], script=script)
        corvane.wait_for("Notification: Bike went silent — " + SILENT_BODY)
        corvane.wait_for("Node silent: Bike")
        corvane.wait_for("Node heard again: Bike")
        texts = corvane.texts()
        returned = [t for t in texts if t.startswith("Notification: Bike is heard again — Heard again after ")]
        self.assertEqual(len(returned), 1, corvane.output())
        harness.wait_until(lambda: len(self.bus.notify_calls()) >= 3, 5, "the alerts on the desktop")
        time.sleep(0.3)  # room for a second silence alert, which must not come
        calls = self.bus.notify_calls()
        silent = [c for c in calls if c["summary"] == "Bike went silent"]
        self.assertEqual(len(silent), 1, calls)
        self.assertEqual(str(silent[0]["hints"]["x-corvane-identifier"]), "mesh-node-silent-%d" % BIKE)
        self.assertEqual(self.sandbox.defaults()["meshSilenceDelay.%d" % BIKE], 2)
        self.stop_in_order(corvane)


if __name__ == "__main__":
    unittest.main()
