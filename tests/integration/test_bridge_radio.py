# SPDX-License-Identifier: GPL-3.0-or-later
"""halvo-meshtastic-bridge against the fake radio (a pseudo-terminal, or TCP on 127.0.0.1): the JSON side as the
application speaks it, the radio side as firmware does. Radio times scaled down; each test bounded to seconds."""
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

os.environ.setdefault("FAKE_RADIO_TIME_SCALE", "0.1")
import fake_radio  # noqa: E402
from fake_radio import BIKE, LOCAL, first, parse, position  # noqa: E402

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


class BridgeRadioCase(unittest.TestCase):
    def setUp(self):
        self.root = Path(tempfile.mkdtemp(prefix="bridge-radio-"))

    def tearDown(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def start(self, **radio_options):
        link = None if radio_options.get("tcp") else Path(tempfile.mkdtemp(dir=self.root)) / "ttyACM0"
        self.radio = fake_radio.FakeRadio(link, **radio_options)
        self.addCleanup(self.radio.stop)
        self.bridge = Bridge()
        self.addCleanup(self.bridge.stop)
        self.assertEqual(self.bridge.next()["event"], "ready")

    def connect(self, timeout=4.0):
        request_id = self.bridge.request("connect", port=self.radio.address)
        lines = self.bridge.until(lambda line: line["event"] in ("radioSettings", "error"), timeout)
        self.assertEqual(lines[0], {"protocolVersion": 1, "requestID": request_id, "event": "connected",
                                    "port": self.radio.address})
        # The other nodes follow the configuration.
        while more := self.bridge.quiet_for(0.3):
            lines += more
        return lines

    def nodes(self, lines):
        return {line["node"]["number"]: line["node"] for line in lines if line["event"] == "node"}


class BridgeRadioTest(BridgeRadioCase):
    def test_handshake_in_firmware_order_with_noise_and_a_stale_completion(self):
        walker = fake_radio.node_info(0x0BADCAFE, "Walker", "WK", hw_model=150)
        for firmware, walker_hops in (("2.4.3.efc27f2", 0), ("2.5.6.d55c08d", None)):
            with self.subTest(firmware=firmware):
                self.start(stale_complete=True, early_node=True, firmware=firmware)
                self.radio.nodes.append(walker)
                lines = self.connect()
                self.assertEqual(lines[1]["localNodeID"], LOCAL)
                nodes = self.nodes(lines)
                # The local node and, on 2.3/2.4, every node heard directly arrive without hops_away.
                self.assertEqual([(n["longName"], n["hardware"], n.get("hopsAway"), n.get("batteryLevel"))
                                  for n in nodes.values()],
                                 [("Walker", "THINKNODE_MX", walker_hops, None), ("Base", "HELTEC_V3", 0, None),
                                  ("Bike", "TBEAM", 1, 101)])
                channels = [(line["channel"], line.get("channelName")) for line in lines if line["event"] == "channel"]
                self.assertEqual(channels, [(0, None), (1, "Team")])
                settings = [line["settings"] for line in lines if line["event"] == "radioSettings"]
                self.assertEqual([(s["region"], s["hopLimit"]) for s in settings], [("eu868", 3)])
                nonces = [first(m, 3) for m in self.radio.messages(3)]
                self.assertEqual(len(nonces), 1)
                self.assertNotIn(nonces[0], (0, 69420, 69421))
                # Metadata, configs, module configs, file info and the stale completion make no lines.
                self.assertEqual(len(lines), 2 + 4 + 2 + 1, lines)
                self.bridge.process.stdin.close()
                self.bridge.process.wait(timeout=3)
                wait_until(lambda: b"[Router] Sent to phone" in self.bridge.stderr, 2.0)
                self.doCleanups()

    def test_board_that_resets_when_opened(self):
        # Its first want_config is lost while it boots; `rebooted` (or, without it, the repeat) gets the handshake.
        for announce in (True, False):
            with self.subTest(announce_reboot=announce):
                self.start(dtr_reset=True, announce_reboot=announce)
                self.connect(timeout=5)
                self.bridge.reply(self.bridge.request("disconnect"))
                # HUPCL cleared: closing kept DTR up, so opening again resets nothing.
                self.connect(timeout=5)
                self.assertEqual(self.radio.boots, 1)
                self.doCleanups()

    def test_texts_limits_and_queue_errors(self):
        self.start()
        self.connect()
        broadcast = self.bridge.reply(self.bridge.request("sendText", text="héllo", channel=1))
        direct = self.bridge.reply(self.bridge.request("sendText", text="hi", recipient=BIKE, channel=0))
        longest = self.bridge.reply(self.bridge.request("sendText", text="é" * 116, channel=0))
        self.assertEqual((broadcast["event"], direct["event"], longest["event"]), ("sent", "sent", "sent"))
        packets = [parse(first(m, 1)) for m in self.radio.messages(1)]
        self.assertEqual([(first(p, 2), first(p, 3, 0), bool(first(p, 10, 0)), first(p, 6)) for p in packets],
                         [(0xFFFFFFFF, 1, False, broadcast["packetID"]), (BIKE, 0, True, direct["packetID"]),
                          (0xFFFFFFFF, 0, False, longest["packetID"])])
        disabled = self.bridge.reply(self.bridge.request("sendText", text="x", channel=5))
        self.assertIn("channel is not enabled", disabled["error"])
        # A false header just before the queue status, then silence: the status still gets through in time.
        self.radio.duty_cycle_exhausted, self.radio.noise_before_status = True, b"\x94\xc3\x01\x00"
        limited = self.bridge.reply(self.bridge.request("sendText", text="later", channel=0), timeout=1.4)
        self.assertIn("duty-cycle limit", limited["error"])
        # No echo of our own texts, so no message lines.
        self.assertNotIn("message", [line["event"] for line in self.bridge.seen])

    def test_radio_traffic_becomes_messages_and_merged_nodes(self):
        self.start()
        # A stored fix with no time of its own, from a node never heard: no new time may be made up for it.
        self.radio.nodes.append(fake_radio.node_info(0x0BADCAFE, "Walker", "WK", fix=position(55.6, 12.5),
                                                     last_heard=0))
        self.radio.nodes[0] = fake_radio.node_info(BIKE, "Bike", "BK", hops=1, fix=position(55.4, -3.0))
        lines = self.connect()
        self.assertNotIn("position", self.nodes(lines)[0x0BADCAFE])
        stored = self.nodes(lines)[BIKE]["position"]
        self.assertEqual(stored["timestamp"], "2026-03-01T09:30:00Z")  # the node's last_heard
        fix = position(55.5, -3.25, fake_radio.START + 60)
        for _ in range(2):
            self.radio.packet_from(BIKE, fake_radio.POSITION_APP, fix)
        self.radio.encrypted_from(BIKE)
        self.radio.packet_from(BIKE, fake_radio.POSITION_APP, b"\xff\xff\xff")
        self.radio.packet_from(0x0BADCAFE, fake_radio.POSITION_APP, position(55.675680, 12.569920, 0, precision_bits=13))
        telemetry = fake_radio.field(1, fake_radio.START, "fixed32") + fake_radio.field(2, fake_radio.field(1, 77))
        self.radio.packet_from(BIKE, fake_radio.TELEMETRY_APP, telemetry)
        self.radio.packet_from(BIKE, fake_radio.TEXT_APP, b"caf\xc3", to=LOCAL, packet_id=43)
        lines = self.bridge.until(lambda line: line["event"] == "message")
        nodes = [line["node"] for line in lines if line["event"] == "node"]
        self.assertEqual(len(nodes), 4, lines)
        self.assertEqual(nodes[0]["position"], nodes[1]["position"])  # the same fix keeps its record
        self.assertEqual((nodes[3]["longName"], nodes[3]["batteryLevel"], nodes[3]["position"]["longitude"]),
                         ("Bike", 77, -3.25))
        boxed = nodes[2]["position"]
        self.assertEqual(boxed["precisionBits"], 13)
        self.assertAlmostEqual(boxed["latitude"], 55.6756, delta=0.03)
        self.assertNotIn("precisionBits", nodes[0]["position"])
        message = lines[-1]["message"]
        self.assertEqual((message["packetID"], message["recipient"], message["text"]), (43, LOCAL, "caf\ufffd"))

        # Connected again, the stored fix comes back as the same fix, not as a new one.
        self.bridge.reply(self.bridge.request("disconnect"))
        again = self.nodes(self.connect())[BIKE]["position"]
        self.assertEqual(again["timestamp"], stored["timestamp"])

    def test_settings_apply_answers_the_read_after_the_restart(self):
        for options in ({"reboot_keeps_port": True}, {"reboot_keeps_port": False}, {"tcp": True}):
            with self.subTest(**options):
                self.start(**options)
                self.connect()
                read = self.bridge.reply(self.bridge.request("readRadioSettings"))
                self.assertEqual((read["event"], read["settings"]["rxBoostedGain"]), ("radioSettings", True))
                wanted = dict(read["settings"], hopLimit=5, modemPreset="mediumFast", txPower=17)
                applied = self.bridge.reply(self.bridge.request("applyRadioSettings", settings=wanted))
                self.assertEqual(applied["event"], "sent")
                # Asked while the radio is still up, answered from the handshake after its restart.
                again = self.bridge.reply(self.bridge.request("readRadioSettings"), timeout=6)
                self.assertEqual((again["event"], again["settings"]), ("radioSettings", wanted))
                self.assertEqual((self.radio.boots, self.radio.handshakes), (1, 2))
                self.assertEqual(self.radio.admin_kinds(), [(5, LOCAL), (64, LOCAL), (34, LOCAL), (65, LOCAL)])
                lora = parse(self.radio.lora)
                self.assertEqual((first(lora, 8), first(lora, 10), first(lora, 15)), (5, 17, 1))
                self.assertNotIn("disconnected", [line["event"] for line in self.bridge.seen])
                self.doCleanups()

    def test_network_radio_dropped_and_reconnected(self):
        self.start(tcp=True)
        self.connect()
        self.radio.drop()
        lost = self.bridge.until(lambda line: line["event"] == "disconnected")[-1]
        self.assertEqual((lost.get("requestID"), lost["status"]), (None, "Network radio disconnected"))
        self.connect()
        self.assertEqual(self.radio.handshakes, 2)
        refused = self.bridge.reply(self.bridge.request("connect", port="tcp:127.0.0.1:1"))
        self.assertIn("Cannot reach the network radio at 127.0.0.1:1", refused["error"])

    def test_unplug_and_closed_input(self):
        self.start()
        self.connect()
        self.radio.unplug()
        lost = self.bridge.until(lambda line: line["event"] == "disconnected")[-1]
        self.assertEqual((lost.get("requestID"), lost["status"]), (None, "USB radio disconnected"))
        refused = self.bridge.reply(self.bridge.request("sendText", text="x", channel=0))
        self.assertEqual(refused["event"], "error")

        self.radio.plug()
        self.connect()
        self.bridge.process.stdin.close()
        self.assertEqual(self.bridge.process.wait(timeout=3), 0)
        wait_until(lambda: len(self.radio.messages(4)) == 1, 2.0)

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


@unittest.skipUnless(os.environ.get("CORVANE_SLOW_TESTS"), "slow: the bridge's own 10 s fallback")
class SlowBridgeRadioTest(BridgeRadioCase):
    def test_restart_without_a_rebooted_frame_on_a_port_that_survives(self):
        self.start(reboot_keeps_port=True, announce_reboot=False)
        self.connect()
        wanted = dict(self.bridge.reply(self.bridge.request("readRadioSettings"))["settings"], hopLimit=6)
        self.bridge.reply(self.bridge.request("applyRadioSettings", settings=wanted))
        started = time.monotonic()
        again = self.bridge.reply(self.bridge.request("readRadioSettings"), timeout=16)
        self.assertEqual((again["event"], again["settings"]["hopLimit"]), ("radioSettings", 6))
        self.assertLess(time.monotonic() - started, 15)
        self.assertEqual(self.radio.handshakes, 2)


if __name__ == "__main__":
    unittest.main()
