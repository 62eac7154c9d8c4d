# SPDX-License-Identifier: GPL-3.0-or-later
"""`corvane --headless --mqtt` against a real mosquitto broker of the test's own on 127.0.0.1 (a free port), read
with mosquitto_sub: discovery as Home Assistant's MQTT integration requires it, the guard's alert as an event with
the desktop's title and body, the last will when corvane is killed, and a reconnect after the broker restarts."""
import json
import signal
import socket
import subprocess
import threading
import unittest

import harness
from test_guard_alert import ALERT_BODY, ARMED, NODE

# The keys Home Assistant's MQTT discovery needs for each platform published.
REQUIRED = {"event": {"state_topic", "event_types", "unique_id", "availability_topic", "device"}}


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Broker:
    def __init__(self, folder):
        self.port, self.config = free_port(), folder / "mosquitto.conf"
        self.config.write_text("listener %d 127.0.0.1\nallow_anonymous true\n" % self.port)
        self.process = None

    def start(self):
        self.process = subprocess.Popen(["mosquitto", "-c", str(self.config)], stderr=subprocess.DEVNULL)
        harness.wait_until(self.accepts, 3, "the broker to listen")

    def accepts(self):
        try:
            socket.create_connection(("127.0.0.1", self.port), timeout=0.2).close()
            return True
        except OSError:
            return False

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            self.process.wait(timeout=3)


class Subscriber:
    """mosquitto_sub on every topic; each message kept as (topic, payload)."""

    def __init__(self, port):
        self.process = subprocess.Popen(["mosquitto_sub", "-h", "127.0.0.1", "-p", str(port), "-t", "#", "-v"],
                                        stdout=subprocess.PIPE, text=True)
        self.messages, self._lock = [], threading.Lock()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            topic, _, payload = line.rstrip("\n").partition(" ")
            with self._lock:
                self.messages.append((topic, payload))

    def payloads(self, topic):
        with self._lock:
            return [payload for t, payload in self.messages if t == topic]

    def wait_for(self, topic, predicate, what):
        harness.wait_until(lambda: any(map(predicate, self.payloads(topic))), 5, what, lambda: " got %r" % self.messages)

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=3)
        self.process.stdout.close()


class MqttTest(harness.CorvaneTestCase):

    def test_discovery_alert_event_last_will_and_reconnect(self):
        broker = Broker(self.sandbox.root)
        self.addCleanup(broker.stop)
        broker.start()
        subscriber = Subscriber(broker.port)
        self.addCleanup(subscriber.stop)
        ride = harness.Ride(NODE)
        corvane = self.start_corvane(["--guard", str(NODE), "--mark", "--mqtt", "mqtt://127.0.0.1:%d" % broker.port],
                                     script=ride.script([80, 120, 160]))
        corvane.wait_for("Home Assistant: Connected")
        base = "corvane/" + socket.gethostname()
        availability = base + "/availability"
        subscriber.wait_for(availability, lambda p: p == "online", "online")
        node = base.replace("/", "_")
        config = "homeassistant/event/%s/alert/config" % node
        subscriber.wait_for(config, bool, "the event's discovery")
        discovery = json.loads(subscriber.payloads(config)[-1])
        self.assertLessEqual(REQUIRED["event"], set(discovery))
        self.assertEqual((discovery["state_topic"], discovery["availability_topic"]), (base + "/alert", availability))
        self.assertEqual(discovery["device"]["identifiers"], [node])

        corvane.wait_for(ARMED)
        corvane.wait_for("Notification: Guarded device moved — " + ALERT_BODY)
        subscriber.wait_for(base + "/alert", lambda p: json.loads(p)["title"] == "Guarded device moved", "the alert")
        event = json.loads(subscriber.payloads(base + "/alert")[-1])
        self.assertEqual((event["event_type"], event["body"]), ("alert", ALERT_BODY))

        broker.stop()
        corvane.wait_for("Home Assistant: Cannot reach the broker · retrying")
        subscriber.stop()
        broker.start()
        subscriber = Subscriber(broker.port)
        self.addCleanup(subscriber.stop)
        harness.wait_until(lambda: corvane.texts().count("Home Assistant: Connected") == 2, 5, "the reconnect",
                           lambda: corvane.output())
        subscriber.wait_for(availability, lambda p: p == "online", "online again")

        corvane.process.send_signal(signal.SIGKILL)
        corvane.process.wait(timeout=3)
        # The broker notices the dead socket at once (the kernel closes it) and sends the will.
        subscriber.wait_for(availability, lambda p: p == "offline", "the last will")


if __name__ == "__main__":
    unittest.main()
