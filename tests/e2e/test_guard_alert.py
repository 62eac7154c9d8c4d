"""The guarded device rides away: one alert per arming, on the desktop and in
the terminal, with the parked position and the history on disk."""
import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402

NODE = 305419896
ALERT_BODY = "Two positions place the device outside the marked area. Latest distance: about 120 m."


class GuardAlertTest(harness.CorvaneTestCase):

    def ride(self, corvane):
        """Waits through a full ride: mark, confirm, alert, later fix."""
        corvane.wait_for("Guard: Armed · waiting for movement")
        corvane.wait_for("Notification: Guarded device moved — " + ALERT_BODY)
        corvane.wait_for("Guard: Movement detected · 160 m from parked position")

    def assert_one_alert(self, call):
        self.assertEqual(call["summary"], "Guarded device moved")
        self.assertEqual(call["body"], ALERT_BODY)
        self.assertEqual(call["app"], "Corvane")
        self.assertEqual(int(call["hints"]["urgency"]), 2)
        self.assertEqual(str(call["hints"]["sound-name"]), "alarm-clock-elapsed")
        identifier = str(call["hints"]["x-corvane-identifier"])
        self.assertTrue(identifier.startswith("guarded-device-moved-"), identifier)
        # Seconds since 1970 as a double: a recent instant with a fraction.
        seconds = float(identifier[len("guarded-device-moved-"):])
        self.assertLess(abs(seconds - time.time()), 60)
        self.assertIn(".", identifier)

    def test_ride_away_alerts_once_and_a_second_run_rearms(self):
        ride = harness.Ride(NODE)
        self.sandbox.write_script(ride.script([80, 120, 160]))

        first = self.start_corvane(["--guard", str(NODE), "--mark"])
        self.ride(first)
        # The 160 m fix came after the alert; give a late duplicate a chance.
        time.sleep(0.3)
        calls = self.bus.notify_calls()
        self.assertEqual(len(calls), 1, calls)
        self.assert_one_alert(calls[0])
        texts = first.texts()
        self.assertEqual(texts[0], "Connection: Connecting…")
        self.assertIn("Connection: Connected (%s)" % self.sandbox.port, texts)
        self.assertIn("Node heard: Guarded Tracker (!12345678), TBEAM, 0 hops", texts)
        self.assertIn("Guard: Confirming movement · 1 of 2 readings · 80 m", texts)
        self.assertEqual(sum(t.startswith("Notification:") for t in texts), 1, first.output())
        self.stop_in_order(first)

        stored = self.sandbox.read_json(self.sandbox.positions_file)
        self.assertEqual([p["id"] for p in stored], [f["id"] for f in ride.fixes])
        self.assertEqual(stored[-1]["timestamp"], ride.fixes[-1]["timestamp"])
        defaults = self.sandbox.defaults()
        self.assertEqual(defaults["guardedNode"], NODE)
        self.assertEqual(defaults["serialPort"], self.sandbox.port)
        parked = self.sandbox.parked_position()
        spot = ride.fixes[0]
        self.assertEqual(parked["id"], spot["id"])
        self.assertEqual(parked["nodeNumber"], NODE)
        self.assertEqual((parked["latitude"], parked["longitude"]), (spot["latitude"], spot["longitude"]))
        self.assertIsInstance(parked["timestamp"], (int, float))
        self.assertEqual(parked["timestamp"], harness.seconds_since_2001(spot["timestamp"]))
        self.assert_private(self.sandbox.app_data, self.sandbox.positions_file,
                            self.sandbox.defaults_file.parent, self.sandbox.defaults_file)

        # Same folders, the guarded node now only in defaults.json; the stored
        # mark arms at start-up and --mark marks the spot afresh.
        second = self.start_corvane(["--mark"])
        second.wait_for("Guard: Armed · waiting for movement")
        self.assertEqual(second.texts()[:2], ["Connection: Connecting…", "Guard: Armed · waiting for movement"])
        self.ride(second)
        time.sleep(0.3)
        calls = self.bus.notify_calls()
        self.assertEqual(len(calls), 2, calls)
        self.assert_one_alert(calls[1])
        # A new identifier: not a replacement of the first run's alert.
        self.assertEqual(calls[1]["replaces"], 0)
        self.assertNotEqual(calls[0]["hints"]["x-corvane-identifier"], calls[1]["hints"]["x-corvane-identifier"])
        self.stop_in_order(second)
        self.assertEqual(self.sandbox.defaults()["guardedNode"], NODE)
        # The file only refuses a repeat of its last fix, so the ride is there twice.
        stored = self.sandbox.read_json(self.sandbox.positions_file)
        self.assertEqual([p["id"] for p in stored], [f["id"] for f in ride.fixes] * 2)

    def test_bicycle_profile_names_the_bicycle(self):
        ride = harness.Ride(NODE)
        self.sandbox.defaults_file.parent.mkdir(mode=0o700)
        self.sandbox.defaults_file.write_text('{"bikeNode": %d}' % NODE)
        self.sandbox.write_script(ride.script([80, 120, 160]))
        corvane = self.start_corvane(["--mark"])
        corvane.wait_for("Notification: Bicycle moved — " + ALERT_BODY)
        self.bus.wait_for_notify_count(1)
        self.assertEqual(self.bus.notify_calls()[0]["summary"], "Bicycle moved")
        self.stop_in_order(corvane)
        defaults = self.sandbox.defaults()
        self.assertEqual((defaults["guardedNode"], defaults["guardProfile"], defaults["bikeNode"]),
                         (NODE, "bicycle", NODE))


class NoSessionBusTest(harness.CorvaneTestCase):
    with_bus = False

    def test_alert_still_printed_without_a_bus(self):
        ride = harness.Ride(NODE)
        self.sandbox.write_script(ride.script([80, 120]))
        corvane = self.start_corvane(["--guard", "!12345678", "--mark"], bus_address="unix:path=/nonexistent")
        corvane.wait_for("Notification: Guarded device moved — " + ALERT_BODY)
        corvane.wait_for("Guard: Movement detected · 120 m from parked position")
        time.sleep(0.5)
        self.assertTrue(corvane.running(), corvane.output())
        self.stop_in_order(corvane)


if __name__ == "__main__":
    unittest.main()
