# SPDX-License-Identifier: GPL-3.0-or-later
"""The guarded device rides away: one alert per arming, on the desktop and in
the terminal, with the parked position and the history on disk."""
import time
import unittest
from datetime import datetime, timezone

import harness

NODE = 305419896
ALERT_BODY = "Two positions place the device outside the marked area. Latest distance: about 120 m."
ARMED = "Guard: Armed · waiting for movement"


class GuardAlertTest(harness.CorvaneTestCase):

    def ride(self, corvane, alerts):
        """Waits through a ride (mark, confirm, alert, later fix); checks the alert and `alerts` on the desktop in all."""
        corvane.wait_for(ARMED)
        corvane.wait_for("Notification: Guarded device moved — " + ALERT_BODY)
        corvane.wait_for("Guard: Movement detected · 160 m from parked position")
        harness.wait_until(lambda: len(self.bus.notify_calls()) >= alerts, 5, "the alert on the desktop")
        time.sleep(0.3)  # room for a second alert, which must not come
        calls = self.bus.notify_calls()
        self.assertEqual([(c["summary"], c["body"]) for c in calls], [("Guarded device moved", ALERT_BODY)] * alerts)
        # Seconds since 1970 on the wall clock, as a double: a recent instant with a fraction.
        identifier = str(calls[-1]["hints"]["x-corvane-identifier"])
        self.assertRegex(identifier, r"^guarded-device-moved-\d+\.\d+$")
        self.assertLess(abs(float(identifier[len("guarded-device-moved-"):]) - time.time()), 60)
        texts = corvane.texts()
        self.assertEqual(sum(t.startswith("Notification:") for t in texts), 1, corvane.output())
        # The alert reads after the change that raised it.
        alert = texts.index("Notification: Guarded device moved — " + ALERT_BODY)
        self.assertTrue(texts[alert - 1].startswith("Guard: Movement detected · "), corvane.output())
        return calls

    def test_ride_away_alerts_once_and_a_second_run_rearms(self):
        ride = harness.Ride(NODE)
        first = self.start_corvane(["--guard", str(NODE), "--mark"], script=ride.script([80, 120, 160]))
        self.ride(first, alerts=1)
        self.assertEqual(first.texts()[:2], ["Meshtastic Bridge: Installed", "Connection: Connecting…"])
        self.assertLessEqual({"Connection: Connected (%s)" % self.sandbox.port, "Node heard: Guarded Tracker (!12345678), "
                              "TBEAM, 0 hops", "Guard: Confirming movement · 1 of 2 readings · 80 m"}, set(first.texts()))
        self.stop_in_order(first)

        stored = self.sandbox.read_json(self.sandbox.positions_file)
        self.assertEqual(stored, ride.fixes)
        defaults = self.sandbox.defaults()
        self.assertEqual((defaults["guardedNode"], defaults["serialPort"]), (NODE, self.sandbox.port))
        # The mark in its settings form: seconds since 2001 as a number.
        spot = dict(ride.fixes[0], timestamp=(harness.START - datetime(2001, 1, 1, tzinfo=timezone.utc)).total_seconds())
        self.assertEqual(self.sandbox.parked_position(), spot)
        self.assert_private(self.sandbox.app_data, self.sandbox.positions_file,
                            self.sandbox.defaults_file.parent, self.sandbox.defaults_file)

        # Same folders, the guarded node now only in defaults.json; the stored
        # mark arms at start-up and --mark marks the spot afresh.
        # The history refuses a fix it already holds, so the second ride is new: fixes later than the first's.
        second = self.start_corvane(["--mark"], script=ride.script([80, 120, 160]))
        second.wait_for(ARMED)
        self.assertEqual(second.texts()[:3], ["Meshtastic Bridge: Installed", "Connection: Connecting…", ARMED])
        calls = self.ride(second, alerts=2)
        # A new identifier: not a replacement of the first run's alert.
        self.assertEqual(calls[1]["replaces"], 0)
        self.assertNotEqual(calls[0]["hints"]["x-corvane-identifier"], calls[1]["hints"]["x-corvane-identifier"])
        self.stop_in_order(second)
        self.assertEqual(self.sandbox.defaults()["guardedNode"], NODE)
        self.assertEqual(self.sandbox.read_json(self.sandbox.positions_file), ride.fixes)


if __name__ == "__main__":
    unittest.main()
