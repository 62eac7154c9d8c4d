# SPDX-License-Identifier: GPL-3.0-or-later
"""Alerts on the phone: `corvane --headless --demo --phone NAME` with the project's KDE Connect daemon template beside
the notification server on the private session bus. The demo's bicycle rides away (sped up) and its one alert
arrives at the phone as one ping, at once or once the phone comes back into reach."""
import json
import subprocess
import sys
import time
import unittest
from pathlib import Path

import harness

TEMPLATE = Path(__file__).resolve().parents[1] / "integration" / "templates" / "kdeconnect.py"
DAEMON = ("org.kde.kdeconnect", "/modules/kdeconnect")
PHONE = "a1b2c3d4_pixel"


class PhoneAlertTest(harness.CorvaneTestCase):

    def start_daemon(self, reachable):
        devices = {"devices": [{"id": PHONE, "name": "Pixel 7", "reachable": reachable, "paired": True},
                               {"id": "e5f6_tablet", "name": "Tab S8", "reachable": True, "paired": True}]}
        daemon = subprocess.Popen([sys.executable, "-m", "dbusmock", "--session", "--template", str(TEMPLATE),
                                   "--parameters", json.dumps(devices)],
                                  env=dict(self.sandbox.environment(self.bus.address)),
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(harness.stop_process, daemon)
        harness.wait_until(lambda: self.bus.connection.name_has_owner(DAEMON[0]), 5.0, "the KDE Connect mock")

    def daemon(self, method, *arguments):
        return self.bus.connection.get_object(*DAEMON).get_dbus_method(method, "org.kde.kdeconnect.Mock")(*arguments)

    def pings(self):
        return [(str(device), str(message)) for device, message in self.daemon("Pings")]

    def start_demo(self, phone):
        env = dict(self.sandbox.environment(self.bus.address), CORVANE_BRIDGE_SIM_ARGS="--speed 25",
                   TMPDIR=str(self.sandbox.root))
        corvane = harness.Corvane(["--headless", "--demo", "--phone", phone], env)
        self.addCleanup(corvane.stop)
        return corvane

    def alert_line(self, corvane):
        lines = harness.wait_until(
            lambda: [t for t in corvane.texts() if t.startswith("Notification: Bicycle moved — ")], 30,
            "the demo's alert", lambda: "; output so far:" + corvane.output())
        return lines[0]

    def test_the_demo_alert_arrives_as_one_ping(self):
        self.start_daemon(reachable=True)
        corvane = self.start_demo("Pixel 7")
        corvane.wait_for("Phone: Enabled")
        body = self.alert_line(corvane)[len("Notification: Bicycle moved — "):]
        harness.wait_until(self.pings, 5, "the ping", lambda: "; output so far:" + corvane.output())
        # The status follows the daemon's reply, which may lag the recorded call on a loaded machine.
        harness.wait_until(lambda: any(t.startswith("Phone: Last alert sent at ") for t in corvane.texts()), 5,
                           "the delivery status", lambda: "; output so far:" + corvane.output())
        time.sleep(0.5)
        self.assertEqual(self.pings(), [(PHONE, "Bicycle moved: " + body)])
        sent = [t for t in corvane.texts() if t.startswith("Phone: Last alert sent at ")]
        self.assertEqual(len(sent), 1, corvane.output())
        self.stop_in_order(corvane)

    def test_a_phone_out_of_reach_gets_the_alert_when_it_is_back(self):
        self.start_daemon(reachable=False)
        corvane = self.start_demo(PHONE)
        corvane.wait_for("Phone: Phone not reachable · 0 alerts waiting")
        self.alert_line(corvane)
        corvane.wait_for("Phone: Phone not reachable · 1 alert waiting")
        self.assertEqual(self.pings(), [])
        self.daemon("SetReachable", PHONE, True)
        harness.wait_until(self.pings, 5, "the ping", lambda: "; output so far:" + corvane.output())
        # Out of reach and back again: nothing is sent twice.
        self.daemon("SetReachable", PHONE, False)
        self.daemon("SetReachable", PHONE, True)
        time.sleep(0.5)
        pings = self.pings()
        self.assertEqual(len(pings), 1, pings)
        self.assertEqual(pings[0][0], PHONE)
        self.assertTrue(pings[0][1].startswith("Bicycle moved: "), pings)
        self.stop_in_order(corvane)

    def test_without_a_daemon_the_status_says_so(self):
        corvane = self.start_demo("Pixel 7")
        corvane.wait_for("Phone: KDE Connect is not running")
        self.stop_in_order(corvane)


if __name__ == "__main__":
    unittest.main()
