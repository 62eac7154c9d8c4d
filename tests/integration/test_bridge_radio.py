# SPDX-License-Identifier: GPL-3.0-or-later
"""halvo-meshtastic-bridge against the fake radio on a pseudo-terminal: the JSON side as the application speaks it,
the radio side as firmware does. Each test bounded to a few seconds."""
import json
import os
import queue
import shutil
import subprocess
import tempfile
import threading
import time
import unittest
import uuid
from pathlib import Path

import fake_radio
from fake_radio import pb

BIN = Path(os.environ.get("CORVANE_BUILD_BIN") or Path(__file__).resolve().parents[2] / "build" / "bin")


def wait_until(predicate, timeout):
    deadline = time.monotonic() + timeout
    while not predicate():
        if time.monotonic() > deadline:
            raise AssertionError("timed out")
        time.sleep(0.02)


class Bridge:
    def __init__(self):
        self.process = subprocess.Popen([str(BIN / "halvo-meshtastic-bridge"), "serve", "--jsonl"],
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.lines, self.stderr = queue.Queue(), b""
        self.seen = []
        threading.Thread(target=self._read, daemon=True).start()
        threading.Thread(target=lambda: setattr(self, "stderr", self.process.stderr.read()), daemon=True).start()

    def _read(self):
        for raw in self.process.stdout:
            self.lines.put(json.loads(raw))

    def next(self, timeout=3.0):
        line = self.lines.get(timeout=timeout)
        self.seen.append(line)
        return line

    def request(self, command, **payload):
        request_id = str(uuid.uuid4()).upper()
        line = dict(protocolVersion=1, requestID=request_id, command=command, **payload)
        self.process.stdin.write((json.dumps(line) + "\n").encode())
        self.process.stdin.flush()
        return request_id

    def until(self, predicate, timeout=4.0):
        """Lines up to and including the first that satisfies `predicate`."""
        deadline, taken = time.monotonic() + timeout, []
        while True:
            line = self.next(max(0.01, deadline - time.monotonic()))
            taken.append(line)
            if predicate(line):
                return taken

    def reply(self, request_id, timeout=4.0):
        return self.until(lambda line: line.get("requestID") == request_id, timeout)[-1]

    def quiet_for(self, seconds):
        try:
            return [self.next(seconds)]
        except queue.Empty:
            return []

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()


class BridgeRadioTest(unittest.TestCase):
    def setUp(self):
        self.root = Path(tempfile.mkdtemp(prefix="bridge-radio-"))
        self.addCleanup(shutil.rmtree, self.root, ignore_errors=True)
        self.port = str(self.root / "ttyACM0")

    def start(self, **radio_options):
        self.radio = fake_radio.FakeRadio(self.port, **radio_options)
        self.addCleanup(self.radio.stop)
        self.bridge = Bridge()
        self.addCleanup(self.bridge.stop)
        self.assertEqual(self.bridge.next()["event"], "ready")

    def connect(self):
        request_id = self.bridge.request("connect", port=self.port)
        lines = self.bridge.until(lambda line: line["event"] == "radioSettings")
        self.assertEqual(lines[0], {"protocolVersion": 1, "requestID": request_id, "event": "connected",
                                    "port": self.port})
        return lines

    def test_handshake_through_noise_and_a_stale_completion(self):
        # A node before the radio names itself waits for `connected`.
        self.start(stale_complete=True, early_node=True)
        lines = self.connect()
        self.assertEqual(lines[1]["localNodeID"], fake_radio.LOCAL)
        nodes = [line["node"] for line in lines if line["event"] == "node"]
        self.assertEqual([(n["number"], n["longName"], n["hardware"], n["hopsAway"]) for n in nodes],
                         [(0x12345678, "Bike", "TBEAM", 1), (fake_radio.LOCAL, "Base", "TBEAM", 0),
                          (0x12345678, "Bike", "TBEAM", 1)])
        channels = [(line["channel"], line.get("channelName")) for line in lines if line["event"] == "channel"]
        self.assertEqual(channels, [(0, None), (1, "Team")])
        self.assertEqual((lines[-1]["settings"]["region"], lines[-1]["settings"]["hopLimit"]), ("eu868", 3))
        want = self.radio.messages("want_config_id")
        self.assertEqual(len(want), 1)
        self.assertNotIn(want[0].want_config_id, (0, 69420, 69421))
        # The stale completion neither ended the session nor produced a line.
        self.assertEqual(self.bridge.quiet_for(0.3), [])
        # The radio's debug text, false header and all, went to standard error.
        self.bridge.process.stdin.close()
        self.bridge.process.wait(timeout=3)
        wait_until(lambda: b"boot text \x94 not a frame" in self.bridge.stderr, 2.0)

    def test_text_broadcast_direct_too_long_and_refused(self):
        self.start()
        self.connect()
        broadcast = self.bridge.reply(self.bridge.request("sendText", text="héllo", channel=1))
        direct = self.bridge.reply(self.bridge.request("sendText", text="hi", recipient=0x12345678, channel=0))
        too_long = self.bridge.reply(self.bridge.request("sendText", text="é" * 117, channel=0))
        refused = self.bridge.reply(self.bridge.request("sendText", text="queue full", channel=0))
        self.assertEqual((broadcast["event"], direct["event"], too_long["event"], refused["event"]),
                         ("sent", "sent", "error", "error"))
        packets = [m.packet for m in self.radio.messages("packet") if m.packet.decoded.payload in (b"h\xc3\xa9llo", b"hi")]
        self.assertEqual([(p.to, p.channel, p.decoded.payload.decode(), p.want_ack, p.id) for p in packets],
                         [(0xFFFFFFFF, 1, "héllo", True, broadcast["packetID"]),
                          (0x12345678, 0, "hi", True, direct["packetID"])])
        self.assertNotEqual(broadcast["packetID"], 0)

    def test_radio_traffic_becomes_messages_and_merged_nodes(self):
        self.start()
        self.connect()
        fix = fake_radio.position(55.5, -3.25, fake_radio.START + 60)
        for _ in range(2):
            self.radio.packet_from(0x12345678, pb.POSITION_APP, fix.SerializeToString())
        telemetry = pb.Telemetry(time=fake_radio.START)
        telemetry.device_metrics.battery_level = 77
        self.radio.packet_from(0x12345678, pb.TELEMETRY_APP, telemetry.SerializeToString())
        self.radio.packet_from(fake_radio.LOCAL, pb.TEXT_MESSAGE_APP, "mine".encode(), packet_id=42)
        self.radio.packet_from(0x12345678, pb.TEXT_MESSAGE_APP, b"caf\xc3", to=fake_radio.LOCAL, packet_id=43)
        lines = self.bridge.until(lambda line: line["event"] == "message" and not line["message"]["isOutgoing"])
        nodes = [line["node"] for line in lines if line["event"] == "node"]
        self.assertEqual(len(nodes), 3, lines)
        # What each packet added stays with the node.
        self.assertEqual((nodes[2]["longName"], nodes[2]["batteryLevel"], nodes[2]["position"]["longitude"]),
                         ("Bike", 77, -3.25))
        messages = [line["message"] for line in lines if line["event"] == "message"]
        self.assertEqual([(m["packetID"], m["sender"], m["recipient"], m["text"], m["isOutgoing"]) for m in messages],
                         [(42, fake_radio.LOCAL, 0xFFFFFFFF, "mine", True),
                          (43, 0x12345678, fake_radio.LOCAL, "caf\ufffd", False)])

    def test_settings_read_apply_keeps_undeclared_fields_and_hides_the_reboot(self):
        self.start()
        self.connect()
        read = self.bridge.reply(self.bridge.request("readRadioSettings"))
        self.assertEqual((read["event"], read["settings"]["rxBoostedGain"]), ("radioSettings", True))
        wanted = dict(read["settings"], hopLimit=5, modemPreset="mediumFast", txPower=17)
        applied = self.bridge.reply(self.bridge.request("applyRadioSettings", settings=wanted))
        self.assertEqual(applied["event"], "sent")
        wait_until(lambda: self.radio.handshakes == 2, 5.0)
        admins = []
        for message in self.radio.messages("packet"):
            if message.packet.decoded.portnum == pb.ADMIN_APP:
                admin = pb.AdminMessage()
                admin.ParseFromString(message.packet.decoded.payload)
                admins.append(admin.WhichOneof("payload_variant"))
                self.assertEqual(message.packet.to, fake_radio.LOCAL)
        self.assertEqual(admins, ["get_config_request", "begin_edit_settings", "set_config", "commit_edit_settings"])
        self.assertIn(bytes([15 << 3, 1]), self.radio.lora.SerializeToString())
        self.assertEqual((self.radio.lora.hop_limit, self.radio.lora.tx_power), (5, 17))
        again = self.bridge.reply(self.bridge.request("readRadioSettings"), timeout=5)
        self.assertEqual(again["settings"], wanted)
        self.assertEqual(self.radio.handshakes, 2)
        self.assertNotIn("disconnected", [line["event"] for line in self.bridge.seen])

    def test_unplug_and_closed_input(self):
        self.start()
        self.connect()
        self.radio.unplug()
        lost = self.bridge.until(lambda line: line["event"] == "disconnected")[-1]
        self.assertNotIn("requestID", lost)
        self.assertTrue(lost["status"])
        refused = self.bridge.reply(self.bridge.request("sendText", text="x", channel=0))
        self.assertEqual(refused["event"], "error")

        self.radio.plug()
        self.connect()
        self.bridge.process.stdin.close()
        self.assertEqual(self.bridge.process.wait(timeout=3), 0)
        wait_until(lambda: self.radio.messages("disconnect"), 2.0)
        self.assertEqual(len(self.radio.messages("disconnect")), 1)

    def test_port_that_cannot_be_opened_or_stays_silent(self):
        self.start()
        missing = self.bridge.reply(self.bridge.request("connect", port=str(self.root / "nothing")))
        self.assertEqual(missing["event"], "error")
        silent = self.root / "silent"
        silent.symlink_to(os.ttyname(os.openpty()[1]))
        started = time.monotonic()
        answer = self.bridge.reply(self.bridge.request("connect", port=str(silent)), timeout=8)
        self.assertEqual(answer["event"], "error")
        self.assertLess(time.monotonic() - started, 7.5)


if __name__ == "__main__":
    unittest.main()
