# SPDX-License-Identifier: GPL-3.0-or-later
"""`corvane --headless --mqtt` against a real mosquitto broker of the test's own on 127.0.0.1 (a free port), read
with mosquitto_sub: discovery as Home Assistant's MQTT integration requires it, the guarded node and the guard's alert
as entities, the last will when corvane is killed, a reconnect after the broker restarts, two guards tracking one
Bluetooth device on one broker, and a TLS broker whose certificate comes from a CA the test makes."""
import json
import os
import signal
import socket
import subprocess
import threading
import unittest

import dbus

import harness
from test_bluetooth import DEVICE, TEMPLATE
from test_guard_alert import ALERT_BODY, ARMED, NODE

# Keys every discovered entity carries, and those each platform needs on top (state_topic is optional for a GPS
# device_tracker, which reports through its attributes).
COMMON = {"unique_id", "availability_topic", "device", "name"}
REQUIRED = {"event": COMMON | {"state_topic", "event_types"},
            "sensor": COMMON | {"state_topic"},
            "device_tracker": COMMON | {"source_type"}}


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Broker:
    def __init__(self, folder, tls=""):
        self.port, self.config = free_port(), folder / "mosquitto.conf"
        # As root mosquitto would drop to its own user, which cannot read the test's private key.
        user = "user root\n" if os.geteuid() == 0 else ""
        self.config.write_text("listener %d 127.0.0.1\nallow_anonymous true\n%s%s" % (self.port, user, tls))
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

    def __init__(self, port, *options):
        self.process = subprocess.Popen(["mosquitto_sub", "-h", "127.0.0.1", "-p", str(port), "-t", "#", "-v", *options],
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

    def discovery(self, component, node, entity, test):
        """The entity's last discovery config, checked for the platform's keys."""
        topic = "homeassistant/%s/%s/%s/config" % (component, node, entity)
        self.wait_for(topic, bool, topic)
        config = json.loads(self.payloads(topic)[-1])
        test.assertLessEqual(REQUIRED[component], set(config), topic)
        return config

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=3)
        self.process.stdout.close()


class MqttTest(harness.CorvaneTestCase):

    def start_broker(self):
        broker = Broker(self.sandbox.root)
        self.addCleanup(broker.stop)
        broker.start()
        subscriber = Subscriber(broker.port)
        self.addCleanup(subscriber.stop)
        return broker, subscriber

    def test_discovery_alert_event_last_will_and_reconnect(self):
        broker, subscriber = self.start_broker()
        ride = harness.Ride(NODE)
        corvane = self.start_corvane(["--guard", str(NODE), "--mark", "--mqtt", "mqtt://127.0.0.1:%d" % broker.port],
                                     script=ride.script([80, 120, 160]))
        corvane.wait_for("Home Assistant: Connected")
        base = "corvane/" + socket.gethostname()
        availability = base + "/availability"
        subscriber.wait_for(availability, lambda p: p == "online", "online")
        node = base.replace("/", "_")
        discovery = subscriber.discovery("event", node, "alert", self)
        self.assertEqual(discovery["device"]["identifiers"], [node])
        # "~" stands for the base topic at a topic's start, as Home Assistant reads discovery.
        self.assertEqual([discovery[key].replace("~", discovery["~"], 1) for key in ("state_topic", "availability_topic")],
                         [base + "/alert", availability])

        tracker = subscriber.discovery("device_tracker", node, "guarded", self)
        self.assertEqual((tracker["~"], tracker["json_attributes_topic"], tracker["source_type"]),
                         (base, "~/guarded/attributes", "gps"))
        self.assertEqual(subscriber.discovery("sensor", node, "guarded_battery", self)["device_class"], "battery")
        subscriber.discovery("sensor", node, "guard", self)
        subscriber.wait_for(base + "/guarded/attributes", lambda p: {"latitude", "longitude", "gps_accuracy"} <= set(
            json.loads(p)), "the guarded node's position")

        corvane.wait_for(ARMED)
        corvane.wait_for("Notification: Guarded device moved — " + ALERT_BODY)
        subscriber.wait_for(base + "/guard/state", lambda p: p.startswith("Movement detected"), "the guard state")
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

    def test_two_guards_track_one_bluetooth_device(self):
        broker, subscriber = self.start_broker()
        system = harness.SessionBus("system", str(TEMPLATE), "org.bluez")
        self.addCleanup(system.stop)
        system.start(self.sandbox.root)
        bluez = system.connection.get_object("org.bluez", "/")
        bluez.AddAdapter("hci0", "desk", dbus_interface="org.bluez.Mock")
        arguments = ["--bluetooth", "--track-bluetooth", DEVICE, "--mqtt", "mqtt://127.0.0.1:%d" % broker.port]
        guards = []
        for room in ("hall", "garage"):
            # Each guard has folders of its own, with its base topic and room in its settings.
            env = self.sandbox.environment(self.bus.address, system_bus_address=system.address)
            for key in ("XDG_DATA_HOME", "XDG_CONFIG_HOME"):
                env[key] = str(self.sandbox.root / room / key)
            settings = self.sandbox.root / room / "XDG_CONFIG_HOME" / "Corvane"
            settings.mkdir(parents=True, mode=0o700)
            (settings / "defaults.json").write_text(json.dumps(
                {"homeAssistantBaseTopic": "corvane/" + room, "homeAssistantRoom": room}))
            guards.append(harness.Corvane(["--headless"] + arguments, env))
            self.addCleanup(guards[-1].stop)
        for guard in guards:
            guard.wait_for("Home Assistant: Connected")
            guard.wait_for("Bluetooth: Looking for Bluetooth devices…")
        harness.wait_until(lambda: bluez.Advertise("hci0", "AA:BB:CC:DD:EE:01", dbus.Int16(-60), {"Name": "Keys"},
                                                   dbus_interface="org.bluez.Mock"), 5, "the adapter to discover")
        unique_ids = set()
        for room in ("hall", "garage"):
            base, node, entity = "corvane/" + room, "corvane_" + room, "bt_" + DEVICE
            subscriber.wait_for(base + "/availability", lambda p: p == "online", room + " online")
            tracker = subscriber.discovery("device_tracker", node, entity, self)
            distance = subscriber.discovery("sensor", node, entity + "_distance", self)
            unique_ids |= {tracker["unique_id"], distance["unique_id"]}
            self.assertEqual((tracker["~"], tracker["state_topic"], distance["unit_of_measurement"]),
                             (base, "~/bluetooth/%s/state" % DEVICE, "m"))
            subscriber.wait_for(base + "/bluetooth/%s/state" % DEVICE, lambda p: p == "home", room + " home")
            subscriber.wait_for(base + "/bluetooth/%s/signal" % DEVICE, lambda p: json.loads(p)["rssi"] == -60, "rssi")
            subscriber.wait_for("room_presence/" + room, lambda p: json.loads(p) == {
                "id": DEVICE, "name": "Keys", "distance": json.loads(p)["distance"]}, room + " presence")
        self.assertEqual(len(unique_ids), 4, unique_ids)

    def test_tls_broker_with_a_certificate_of_a_private_ca(self):
        folder = self.sandbox.root
        run = lambda *arguments: subprocess.run(["openssl", *arguments], check=True, capture_output=True)  # noqa: E731
        run("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", str(folder / "ca.key"), "-out",
            str(folder / "ca.pem"), "-days", "1", "-subj", "/CN=Corvane test CA")
        run("req", "-newkey", "rsa:2048", "-nodes", "-keyout", str(folder / "server.key"), "-out",
            str(folder / "server.csr"), "-subj", "/CN=127.0.0.1")
        (folder / "san.cnf").write_text("subjectAltName=IP:127.0.0.1\n")
        run("x509", "-req", "-in", str(folder / "server.csr"), "-CA", str(folder / "ca.pem"), "-CAkey",
            str(folder / "ca.key"), "-CAcreateserial", "-out", str(folder / "server.pem"), "-days", "1", "-extfile",
            str(folder / "san.cnf"))
        broker = Broker(folder, "cafile %s\ncertfile %s\nkeyfile %s\n" % (
            folder / "ca.pem", folder / "server.pem", folder / "server.key"))
        self.addCleanup(broker.stop)
        broker.start()
        subscriber = Subscriber(broker.port, "--cafile", str(folder / "ca.pem"))
        self.addCleanup(subscriber.stop)
        env = self.sandbox.environment(self.bus.address)
        untrusted = harness.Corvane(["--headless", "--mqtt", "mqtts://127.0.0.1:%d" % broker.port], env)
        self.addCleanup(untrusted.stop)
        untrusted.wait_for("Home Assistant: Cannot reach the broker · retrying")
        untrusted.stop()
        # OpenSSL's default trust store, which the client uses, is named by SSL_CERT_FILE.
        trusted = harness.Corvane(["--headless", "--mqtt", "mqtts://127.0.0.1:%d" % broker.port],
                                  dict(env, SSL_CERT_FILE=str(folder / "ca.pem")))
        self.addCleanup(trusted.stop)
        trusted.wait_for("Home Assistant: Connected")
        subscriber.wait_for("corvane/%s/availability" % socket.gethostname(), lambda p: p == "online", "online")


if __name__ == "__main__":
    unittest.main()
