# SPDX-License-Identifier: GPL-3.0-or-later
"""`corvane --headless` with the real halvo-meshtastic-bridge, found beside corvane itself, and the fake radio on a
pseudo-terminal in the device folder (or on TCP, named with --radio): nodes shown, the movement alert for a guarded
node that rides away, and a message that reaches the radio. The ride starts only once the guard is armed at the
node's stored spot, so a slow machine cannot make the mark land on a later fix."""
import signal
import json
import subprocess
import sys
import time
import unittest
from pathlib import Path

import harness

NODE = 305419896
ALERT_BODY = "Two positions place the device outside the marked area. Latest distance: about 120 m."
ARMED = "Guard: Armed · waiting for movement"
FAKE_RADIO = Path(__file__).resolve().parents[1] / "integration" / "fake_radio.py"


class RealBridgeTest(harness.CorvaneTestCase):

    def start_radio(self):
        link, log = self.sandbox.devices / "ttyACM0", self.sandbox.root / "radio.log"
        link.unlink()
        radio = subprocess.Popen([sys.executable, str(FAKE_RADIO), str(link), "--log", str(log), "--ride", str(NODE)])
        self.addCleanup(harness.stop_process, radio)
        harness.wait_until(link.is_symlink, 5.0, "the fake radio's device")
        return radio, log

    def test_guard_alert_and_message_through_the_real_bridge(self):
        self.assertTrue((harness.BIN / "halvo-meshtastic-bridge").exists(), "not built")
        radio, log = self.start_radio()
        env = self.sandbox.environment(self.bus.address)
        del env["HALVO_MESHTASTIC_BRIDGE_PATH"]
        corvane = harness.Corvane(["--headless", "--guard", str(NODE), "--mark", "--send", "Parked at the café"], env)
        self.addCleanup(corvane.stop)
        corvane.wait_for("Connection: Connected (%s)" % self.sandbox.port, timeout=8)
        corvane.wait_for(ARMED, timeout=8)
        radio.send_signal(signal.SIGUSR1)
        corvane.wait_for("Notification: Guarded device moved — " + ALERT_BODY, timeout=8)
        texts = corvane.texts()
        self.assertTrue(any(t.startswith("Node heard: Guarded Tracker (!12345678), TBEAM") for t in texts), texts)
        self.assertTrue(any(t.startswith("Node heard: Base") for t in texts), texts)
        received = harness.wait_until(lambda: log.exists() and log.read_text().strip(), 5.0, "the radio's log")
        sent = json.loads(received.splitlines()[0])
        self.assertEqual((sent["text"], sent["to"], sent["channel"], sent["want_ack"]),
                         ("Parked at the café", 0xFFFFFFFF, 0, False))
        self.stop_in_order(corvane)

    def test_network_radio_named_on_the_command_line(self):
        log = self.sandbox.root / "radio.log"
        radio = subprocess.Popen([sys.executable, str(FAKE_RADIO), "tcp", "--log", str(log)], stdout=subprocess.PIPE,
                                 text=True)
        self.addCleanup(harness.stop_process, radio)
        port = radio.stdout.readline().strip()
        env = self.sandbox.environment(self.bus.address)
        del env["HALVO_MESHTASTIC_BRIDGE_PATH"]
        corvane = harness.Corvane(["--headless", "--radio", port, "--send", "over the network"], env)
        self.addCleanup(corvane.stop)
        corvane.wait_for("Connection: Connected (%s)" % port, timeout=8)
        received = harness.wait_until(lambda: log.exists() and log.read_text().strip(), 5.0, "the radio's log")
        self.assertEqual(json.loads(received.splitlines()[0])["text"], "over the network")
        self.stop_in_order(corvane)


if __name__ == "__main__":
    unittest.main()
