# SPDX-License-Identifier: GPL-3.0-or-later
"""A Meshtastic radio on the master side of a pseudo-terminal, for tests of halvo-meshtastic-bridge.

It parses the bridge's frames, answers the handshake, text packets and admin requests as firmware does, and plays
what tests ask for (positions, messages, a reboot, an unplug). The device path is a symbolic link that is re-pointed
when a reboot brings up a new terminal, as a USB radio re-enumerates. Run as a program it is a radio for corvane:
`fake_radio.py LINK --log FILE [--ride NODE]`; the log gets one JSON line per text packet received."""
import argparse
import json
import math
import os
import pty
import random
import select
import signal
import sys
import threading
import time
import tty
from pathlib import Path

sys.path.insert(0, os.environ.get("CORVANE_BRIDGE_PYTHON", str(Path(__file__).resolve().parents[2] / "build" / "python")))
import meshtastic_pb2 as pb  # noqa: E402  generated from src/bridge/meshtastic.proto at build time

LOCAL = 0x0A0B0C0D
START = 1772357400  # 2026-03-01T09:30:00Z
SPOT = (55.675680, 12.569920)


def frame(message):
    payload = message.SerializeToString()
    return bytes([0x94, 0xC3, len(payload) >> 8, len(payload) & 0xFF]) + payload


def node_info(number, long_name, short_name, hw=4, position=None, hops=None, last_heard=START):
    info = pb.NodeInfo(num=number, last_heard=last_heard)
    info.user.long_name, info.user.short_name, info.user.hw_model = long_name.encode(), short_name.encode(), hw
    if position is not None:
        info.position.CopyFrom(position)
    if hops is not None:
        info.hops_away = hops
    return info


def position(lat, lon, when):
    return pb.Position(latitude_i=round(lat * 1e7), longitude_i=round(lon * 1e7), time=when)


class FakeRadio:
    def __init__(self, link, stale_complete=False, early_node=False, reboot_after_commit=True):
        self.link = Path(link)
        self.nodes = [node_info(LOCAL, "Base", "BS", hops=0), node_info(0x12345678, "Bike", "BK", hops=1)]
        self.stale_complete, self.early_node = stale_complete, early_node
        self.reboot_after_commit = reboot_after_commit
        self.lora = pb.Config.LoRaConfig(use_preset=True, region=pb.Config.LoRaConfig.EU_868, hop_limit=3,
                                         tx_enabled=True, sx126x_rx_boosted_gain=True)
        # A field this schema does not declare (pa_fan_disabled, 15): it must survive a read-change-write.
        self.lora_extra = bytes([15 << 3, 1])
        self.received, self.handshakes, self.lock, self.write_lock = [], 0, threading.Lock(), threading.Lock()
        self.master = self.slave = self.log = self.on_handshake = None
        self.stopping = False
        self.plug()
        self.reader = threading.Thread(target=self.read_loop, daemon=True)
        self.reader.start()

    # MARK: the terminal

    def plug(self):
        master, slave = pty.openpty()
        tty.setraw(master)
        tty.setraw(slave)
        tmp = self.link.with_name(self.link.name + ".new")
        if tmp.is_symlink():
            tmp.unlink()
        tmp.symlink_to(os.ttyname(slave))
        tmp.replace(self.link)
        self.master, self.slave = master, slave

    def unplug(self):
        master, slave, self.master, self.slave = self.master, self.slave, None, None
        if self.link.is_symlink():
            self.link.unlink()
        for fd in (master, slave):
            if fd is not None:
                os.close(fd)

    def write(self, data):
        # Frames split across reads are the frame reader's unit tests' (every way of splitting).
        with self.write_lock:
            try:
                if self.master is not None:
                    os.write(self.master, data)
            except OSError:
                pass

    def send(self, **fields):
        self.write(frame(pb.FromRadio(**fields)))

    def read_loop(self):
        buffer = b""
        while not self.stopping:
            master = self.master
            if master is None:
                time.sleep(0.02)
                buffer = b""
                continue
            try:
                ready, _, _ = select.select([master], [], [], 0.05)
                if not ready:
                    continue
                data = os.read(master, 4096)
            except OSError:
                time.sleep(0.02)
                continue
            buffer += data
            while True:
                start = buffer.find(b"\x94\xc3")
                if start < 0 or len(buffer) < start + 4:
                    buffer = buffer[max(start, 0):] if start >= 0 else buffer[-1:]
                    break
                length = (buffer[start + 2] << 8) | buffer[start + 3]
                if len(buffer) < start + 4 + length:
                    buffer = buffer[start:]
                    break
                payload, buffer = buffer[start + 4:start + 4 + length], buffer[start + 4 + length:]
                message = pb.ToRadio()
                message.ParseFromString(payload)
                with self.lock:
                    self.received.append(message)
                self.respond(message)

    # MARK: firmware behaviour

    def current_lora(self):
        lora = pb.Config.LoRaConfig()
        lora.ParseFromString(self.lora.SerializeToString() + self.lora_extra)
        return lora

    def respond(self, message):
        kind = message.WhichOneof("payload_variant")
        if kind == "want_config_id":
            self.handshake(message.want_config_id)
        elif kind == "packet":
            packet = message.packet
            data = packet.decoded
            if data.portnum == pb.TEXT_MESSAGE_APP:
                # A full queue refuses the packet (the firmware's ERRNO_QUEUE_FULL is 33).
                full = data.payload == b"queue full"
                self.send(queueStatus=pb.QueueStatus(res=33 if full else 0, free=0 if full else 15, maxlen=16,
                                                     mesh_packet_id=packet.id))
                if self.log:
                    with open(self.log, "a") as log:
                        log.write(json.dumps({"to": packet.to, "channel": packet.channel, "id": packet.id,
                                              "want_ack": packet.want_ack, "text": data.payload.decode()}) + "\n")
            elif data.portnum == pb.ADMIN_APP:
                self.admin(packet)

    def admin(self, packet):
        admin = pb.AdminMessage()
        admin.ParseFromString(packet.decoded.payload)
        kind = admin.WhichOneof("payload_variant")
        if kind == "get_config_request":
            answer = pb.AdminMessage(session_passkey=b"key")
            answer.get_config_response.lora.CopyFrom(self.current_lora())
            reply = pb.MeshPacket(to=0xFFFFFFFF, id=random.getrandbits(31) + 1)
            setattr(reply, "from", LOCAL)
            reply.decoded.portnum, reply.decoded.payload = pb.ADMIN_APP, answer.SerializeToString()
            reply.decoded.request_id = packet.id
            self.send(packet=reply)
        elif kind == "set_config":
            self.lora = admin.set_config.lora
            self.lora_extra = b""
        elif kind == "commit_edit_settings" and self.reboot_after_commit:
            threading.Thread(target=self.reboot, daemon=True).start()

    def reboot(self):
        time.sleep(0.1)
        self.unplug()
        time.sleep(1.0)
        self.plug()

    def handshake(self, nonce):
        self.handshakes += 1
        self.write(b"INFO  | boot text \x94 not a frame\r\n")
        if self.stale_complete:
            self.send(config_complete_id=nonce ^ 0x5A5A)
        if self.early_node:
            self.send(node_info=self.nodes[-1])
        self.send(my_info=pb.MyNodeInfo(my_node_num=LOCAL))
        for info in self.nodes:
            self.send(node_info=info)
            self.write(b"DEBUG | node sent\r\n")
        self.send(channel=pb.Channel(index=0, role=pb.Channel.PRIMARY))
        self.send(channel=pb.Channel(index=1, role=pb.Channel.SECONDARY, settings=pb.ChannelSettings(name=b"Team")))
        self.send(channel=pb.Channel(index=2, role=pb.Channel.DISABLED))
        self.send(config=pb.Config(lora=self.current_lora()))
        self.send(config_complete_id=nonce)
        if self.on_handshake:
            self.on_handshake()

    def packet_from(self, sender, port, payload, rx_time=START, to=0xFFFFFFFF, packet_id=None):
        packet = pb.MeshPacket(to=to, rx_time=rx_time, id=packet_id or random.getrandbits(31) + 1, hop_start=3,
                               hop_limit=3)
        setattr(packet, "from", sender)
        packet.decoded.portnum, packet.decoded.payload = port, payload
        self.send(packet=packet)

    def stop(self):
        self.stopping = True
        self.unplug()

    def messages(self, kind):
        with self.lock:
            return [m for m in self.received if m.WhichOneof("payload_variant") == kind]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("link")
    parser.add_argument("--log")
    parser.add_argument("--ride", type=lambda text: int(text, 0))
    args = parser.parse_args()
    radio = FakeRadio(args.link, reboot_after_commit=False)
    radio.log = args.log
    if args.ride:
        def ride():
            for step, meters in enumerate([0, 80, 120, 160]):
                # The spot, a pause for --mark to act on it, then the ride north
                # (on a 6371 km sphere, 0.4 m added against rounding).
                time.sleep(0.6 if step < 2 else 0.15)
                latitude = SPOT[0] + (math.degrees((meters + 0.4) / 6371000.0) if meters else 0)
                fix = position(latitude, SPOT[1], START + 30 * step)
                radio.packet_from(args.ride, pb.POSITION_APP, fix.SerializeToString(), rx_time=START + 30 * step)
        radio.nodes.append(node_info(args.ride, "Guarded Tracker", "GT", hops=0))
        radio.on_handshake = lambda: threading.Thread(target=ride, daemon=True).start()
    signal.signal(signal.SIGTERM, lambda *_: (radio.stop(), sys.exit(0)))
    while True:
        time.sleep(1)


if __name__ == "__main__":
    main()
