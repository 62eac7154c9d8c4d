# SPDX-License-Identifier: GPL-3.0-or-later
"""A Meshtastic radio as current firmware (2.3 to 2.6) behaves on its serial console or its TCP port 4403, for tests
of halvo-meshtastic-bridge.

Built from the published schema's field numbers with a small wire encoder of its own (never from the bridge's
schema), so a wrong number on the bridge's side cannot hide behind a shared definition. What it does as firmware
does: the whole handshake in the firmware's order (my_info, the local node without hops, metadata, 8 channels, every
config and module config, the other nodes, file info, config complete) with log text between frames; a `rebooted`
frame at every boot; a queue status for every packet (admin included, and unsolicited ones with id 0) with the real
error codes; admin answers addressed to the local node; no echo of our own texts; the restart 7 s after
commit_edit_settings plus its boot time. Options model a board that resets when its port is opened after a close
that dropped DTR (HUPCL), a port that survives the restart or re-enumerates, and firmware that never says
`rebooted`. Times scale with FAKE_RADIO_TIME_SCALE (0.1 makes the 7 s restart 0.7 s).

Run as a program it is a radio for corvane: `fake_radio.py LINK --log FILE [--ride NODE]`, or with LINK `tcp` served
on 127.0.0.1 (its port name printed on the first line); the log gets one JSON line per text packet received; with
--ride, SIGUSR1 starts the guarded node's ride away from its spot."""
import argparse
import json
import math
import os
import pty
import random
import select
import signal
import socket
import struct
import sys
import termios
import threading
import time
import tty
from pathlib import Path

LOCAL = 0x0A0B0C0D
BIKE = 0x12345678
BROADCAST = 0xFFFFFFFF
START = 1772357400  # 2026-03-01T09:30:00Z
SPOT = (55.675680, 12.569920)
SCALE = float(os.environ.get("FAKE_RADIO_TIME_SCALE", "1"))
REBOOT_DELAY, BOOT_TIME = 7.0 * SCALE, 3.0 * SCALE

# Field numbers of the published schema (meshtastic/mesh.proto, config.proto, admin.proto, portnums.proto).
TEXT_APP, POSITION_APP, ADMIN_APP, TELEMETRY_APP = 1, 3, 6, 67
EU_868, LORA_CONFIG = 3, 5
# Routing.Error values the firmware puts in QueueStatus.res; 35 is its own "delivered locally".
NO_CHANNEL, TOO_LARGE, DUTY_CYCLE_LIMIT, DELIVERED_LOCALLY = 6, 7, 9, 35


# MARK: wire format

def varint(value):
    value &= (1 << 64) - 1  # negative int32 values take ten bytes
    out = bytearray()
    while True:
        byte, value = value & 0x7F, value >> 7
        out.append(byte | (0x80 if value else 0))
        if not value:
            return bytes(out)


def field(number, value, kind=None):
    """One field: varint (ints, bools, enums), fixed32, sfixed32, float or bytes (strings and nested messages,
    the kind of str and bytes values)."""
    kind = kind or ("bytes" if isinstance(value, (str, bytes)) else "varint")
    if kind == "varint":
        return varint(number << 3) + varint(int(value))
    if kind in ("fixed32", "sfixed32", "float"):
        fmt = {"fixed32": "<I", "sfixed32": "<i", "float": "<f"}[kind]
        return varint(number << 3 | 5) + struct.pack(fmt, value)
    data = value.encode() if isinstance(value, str) else bytes(value)
    return varint(number << 3 | 2) + varint(len(data)) + data


def parse(data):
    """Fields by number, each a list of raw values (ints for varint and fixed widths, bytes for the rest)."""
    fields, at = {}, 0
    while at < len(data):
        key, at = read_varint(data, at)
        number, wire = key >> 3, key & 7
        if wire == 0:
            value, at = read_varint(data, at)
        elif wire == 1:
            value, at = int.from_bytes(data[at:at + 8], "little"), at + 8
        elif wire == 5:
            value, at = int.from_bytes(data[at:at + 4], "little"), at + 4
        elif wire == 2:
            length, at = read_varint(data, at)
            value, at = bytes(data[at:at + length]), at + length
        else:
            raise ValueError("wire type %d" % wire)
        fields.setdefault(number, []).append(value)
    return fields


def read_varint(data, at):
    value = shift = 0
    while True:
        byte = data[at]
        at += 1
        value |= (byte & 0x7F) << shift
        shift += 7
        if not byte & 0x80:
            return value, at


def first(fields, number, default=None):
    return fields.get(number, [default])[0]


def frame(payload):
    return bytes([0x94, 0xC3, len(payload) >> 8, len(payload) & 0xFF]) + payload


# MARK: messages

def position(lat, lon, when=0, precision_bits=None):
    """Position; with precision_bits the coordinates become the centre of the box the firmware shares."""
    lat_i, lon_i = round(lat * 1e7), round(lon * 1e7)
    if precision_bits:
        mask, half = (0xFFFFFFFF << (32 - precision_bits)) & 0xFFFFFFFF, 1 << (31 - precision_bits)
        lat_i = struct.unpack("<i", struct.pack("<I", ((lat_i & 0xFFFFFFFF) & mask) + half))[0]
        lon_i = struct.unpack("<i", struct.pack("<I", ((lon_i & 0xFFFFFFFF) & mask) + half))[0]
    out = field(1, lat_i, "sfixed32") + field(2, lon_i, "sfixed32")
    if when:
        out += field(4, when, "fixed32")
    if precision_bits:
        out += field(23, precision_bits)
    return out


def user(number, long_name, short_name, hw_model):
    return (field(1, "!%08x" % number) + field(2, long_name) + field(3, short_name) + field(5, hw_model)
            + field(8, bytes(32)))


def node_info(number, long_name, short_name, hw_model=4, fix=None, hops=None, last_heard=START, battery=None,
              snr=None):
    out = field(1, number) + field(2, user(number, long_name, short_name, hw_model))
    if fix is not None:
        out += field(3, fix)
    if snr is not None:
        out += field(4, snr, "float")
    if last_heard:
        out += field(5, last_heard, "fixed32")
    if battery is not None:
        out += field(6, field(1, battery) + field(2, 4.1, "float"))
    if hops is not None:
        out += field(9, hops)
    return out


def data(portnum, payload, request_id=None):
    out = field(1, portnum) + field(2, payload)
    if request_id:
        out += field(6, request_id, "fixed32")
    return out


def mesh_packet(sender, to, decoded=None, encrypted=None, packet_id=None, rx_time=START, hop_start=3, hop_limit=3):
    out = field(1, sender, "fixed32") + field(2, to, "fixed32")
    out += field(4, decoded) if decoded is not None else field(5, encrypted)
    out += field(6, packet_id or random.getrandbits(31) + 1, "fixed32")
    if rx_time:
        out += field(7, rx_time, "fixed32")
    out += field(9, hop_limit) + field(15, hop_start)
    return out


def lora_config(hop_limit=3, modem_preset=0, tx_power=0):
    # use_preset, modem_preset, region, hop_limit, tx_enabled, tx_power, sx126x_rx_boosted_gain; pa_fan_disabled (15)
    # stands for the fields a client does not know and must write back unchanged.
    return (field(1, 1) + field(2, modem_preset) + field(7, EU_868) + field(8, hop_limit) + field(9, 1)
            + field(10, tx_power) + field(13, 1) + field(15, 1))


class FakeRadio:
    def __init__(self, link=None, tcp=False, dtr_reset=False, reboot_keeps_port=True, announce_reboot=True,
                 firmware="2.5.6.d55c08d", early_node=False, stale_complete=False):
        self.link = Path(link) if link else None
        self.tcp, self.dtr_reset, self.reboot_keeps_port = tcp, dtr_reset, reboot_keeps_port
        self.announce_reboot, self.firmware = announce_reboot, firmware
        self.early_node, self.stale_complete = early_node, stale_complete
        self.nodes = [node_info(BIKE, "Bike", "BK", hops=1, battery=101, snr=6.25)]
        self.channel_roles = [1, 2] + [0] * 6  # PRIMARY, SECONDARY "Team", the rest DISABLED
        self.lora = lora_config()
        self.received, self.handshakes, self.boots = [], 0, 0
        self.duty_cycle_exhausted = False
        self.noise_before_status = b""
        self.lock, self.write_lock = threading.Lock(), threading.Lock()
        self.booting_until = 0.0
        self.log = None
        self.master = self.client = self.listener = None
        self.slave_open = False
        self.dtr_low = True  # a port nobody opened yet has DTR low
        self.stopping = False
        if tcp:
            self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            self.listener.bind(("127.0.0.1", 0))
            self.listener.listen(1)
            self.address = "tcp:127.0.0.1:%d" % self.listener.getsockname()[1]
        else:
            self.plug()
            self.address = str(self.link)
        self.reader = threading.Thread(target=self.read_loop, daemon=True)
        self.reader.start()

    # MARK: the port

    def plug(self):
        master, slave = pty.openpty()
        tty.setraw(master)
        attributes = termios.tcgetattr(slave)
        attributes[2] |= termios.HUPCL  # as a USB serial device starts
        termios.tcsetattr(slave, termios.TCSANOW, attributes)
        tmp = self.link.with_name(self.link.name + ".new")
        if tmp.is_symlink():
            tmp.unlink()
        tmp.symlink_to(os.ttyname(slave))
        os.close(slave)  # only the bridge holds the slave: its opens and closes are what the board sees
        tmp.replace(self.link)
        self.master, self.slave_open, self.dtr_low = master, False, True

    def unplug(self):
        master, self.master = self.master, None
        if self.link and self.link.is_symlink():
            self.link.unlink()
        if master is not None:
            os.close(master)

    def drop(self):
        """A network radio's connection ends (Wi-Fi lost, daemon restarted)."""
        client, self.client = self.client, None
        if client is not None:
            client.close()

    def write(self, data):
        with self.write_lock:
            try:
                if self.client is not None:
                    self.client.sendall(data)
                elif self.master is not None and self.slave_open:
                    os.write(self.master, data)
            except OSError:
                pass

    def send(self, payload, log=True):
        """One FromRadio frame, its `id` set as firmware sets it, with log text after it as the console has."""
        self.write(frame(field(1, random.getrandbits(16) + 1) + payload))
        if log:
            self.write(b"DEBUG | 09:30:%02d %d [Router] Sent to phone\r\n" % (random.randrange(60), time.monotonic_ns() % 997))

    def read_loop(self):
        buffer = b""
        while not self.stopping:
            if self.tcp:
                client = self.client
                if client is None:
                    buffer = b""
                    self.accept()
                    continue
                try:
                    ready, _, _ = select.select([client], [], [], 0.02)
                    chunk = client.recv(4096) if ready else None
                except (OSError, ValueError):
                    chunk = b""
                if chunk == b"" and self.client is client:
                    self.drop()
            else:
                chunk = self.read_pty()
                if chunk is None and not self.slave_open:
                    buffer = b""
            if chunk:
                buffer = self.take_frames(buffer + chunk)

    def read_pty(self):
        """What the slave's user wrote; tracks its opens and closes, and a DTR board resets when opened after a
        close that dropped DTR."""
        if self.master is None:
            time.sleep(0.01)
            return None
        poller = select.poll()
        poller.register(self.master, select.POLLIN)
        events = poller.poll(20)
        revents = events[0][1] if events else 0
        if revents & select.POLLIN:
            try:
                return os.read(self.master, 4096)
            except OSError:
                pass
        if revents & select.POLLHUP:
            if self.slave_open:
                self.slave_open = False
                # Closing drops DTR unless the client cleared HUPCL.
                self.dtr_low = bool(termios.tcgetattr(self.master)[2] & termios.HUPCL)
            time.sleep(0.01)
            return None
        if not self.slave_open:
            self.slave_open = True
            if self.dtr_reset and self.dtr_low:
                self.boot()
            self.dtr_low = False
        return None

    def accept(self):
        ready, _, _ = select.select([self.listener], [], [], 0.02)
        if ready:
            client, _ = self.listener.accept()
            if time.monotonic() < self.booting_until:
                client.close()  # nothing listens while the radio boots
            else:
                self.client = client

    def take_frames(self, buffer):
        while True:
            start = buffer.find(b"\x94\xc3")
            if start < 0 or len(buffer) < start + 4:
                return buffer[start:] if start >= 0 else buffer[-1:]
            length = (buffer[start + 2] << 8) | buffer[start + 3]
            if length > 512:
                buffer = buffer[start + 1:]
                continue
            if len(buffer) < start + 4 + length:
                return buffer[start:]
            payload, buffer = buffer[start + 4:start + 4 + length], buffer[start + 4 + length:]
            if time.monotonic() < self.booting_until:
                continue  # a booting radio hears nothing
            message = parse(payload)
            with self.lock:
                self.received.append(message)
            self.respond(message)

    # MARK: firmware behaviour

    def respond(self, message):
        if 3 in message:
            self.handshake(first(message, 3))
        elif 1 in message:
            packet = parse(first(message, 1))
            decoded = parse(first(packet, 4, b""))
            port, packet_id = first(decoded, 1, 0), first(packet, 6, 0)
            if port == ADMIN_APP:
                self.queue_status(packet_id, DELIVERED_LOCALLY)
                self.admin(parse(first(decoded, 2, b"")), packet_id)
            elif port == TEXT_APP:
                text, channel = first(decoded, 2, b""), first(packet, 3, 0)
                if channel >= len(self.channel_roles) or not self.channel_roles[channel]:
                    self.queue_status(packet_id, NO_CHANNEL)
                elif len(first(packet, 4)) + 2 + (12 if first(packet, 2) != BROADCAST else 0) > 255 - 16:
                    # With the bitfield byte the firmware adds, and a direct message's key overhead.
                    self.queue_status(packet_id, TOO_LARGE)
                elif self.duty_cycle_exhausted:
                    self.queue_status(packet_id, DUTY_CYCLE_LIMIT)
                else:
                    self.queue_status(packet_id, 0)
                    self.log_text(packet, text, channel)
                self.queue_status(0, 0)  # the queue reports its room unasked as well

    def queue_status(self, packet_id, res):
        self.write(self.noise_before_status)
        self.send(field(11, field(1, res) + field(2, 15 if res == 0 else 16) + field(3, 16) + field(4, packet_id)))

    def log_text(self, packet, text, channel):
        if self.log:
            with open(self.log, "a") as log:
                log.write(json.dumps({"to": first(packet, 2), "channel": channel, "id": first(packet, 6),
                                      "want_ack": bool(first(packet, 10, 0)), "text": text.decode()}) + "\n")

    def admin(self, admin, request_id):
        if first(admin, 5) == LORA_CONFIG:
            answer = field(6, field(6, self.lora)) + field(101, b"session key")
            reply = mesh_packet(LOCAL, LOCAL, decoded=data(ADMIN_APP, answer, request_id=request_id), rx_time=0,
                                hop_start=0, hop_limit=0)
            self.send(field(2, reply))
        elif 34 in admin:
            config = parse(first(admin, 34))
            if 6 in config:
                self.lora = first(config, 6)
        elif 65 in admin:
            threading.Thread(target=self.restart, daemon=True).start()

    def restart(self):
        """What commit_edit_settings does, changed or not: a reboot 7 s later, then the boot."""
        time.sleep(REBOOT_DELAY)
        if self.tcp or not self.reboot_keeps_port:
            self.drop() if self.tcp else self.unplug()
            self.booting_until = time.monotonic() + BOOT_TIME
            time.sleep(BOOT_TIME)
            if not self.tcp:
                self.plug()
            self.boots += 1
            return
        self.boot()

    def boot(self):
        self.boots += 1
        self.booting_until = time.monotonic() + BOOT_TIME
        self.write(b"\x1b[0mESP-ROM:esp32s3-20210327\r\nBuild:Mar 27 2021\r\n")

        def come_up():
            time.sleep(BOOT_TIME)
            self.write(b"INFO  | ??:??:?? 0 \r\n\r\n//\\ E S H T /\\ S T / C\r\n\r\n")
            if self.announce_reboot:
                self.send(field(8, 1))

        threading.Thread(target=come_up, daemon=True).start()

    def handshake(self, nonce):
        self.handshakes += 1
        if self.stale_complete:
            self.send(field(7, nonce ^ 0x5A5A))
        if self.early_node:
            self.send(field(4, self.nodes[-1]))
        self.send(field(3, field(1, LOCAL) + field(8, 12) + field(11, 30200) + field(12, bytes(16))
                        + field(13, "heltec-v3") + field(15, len(self.nodes) + 1)))
        # The local node: hops_away left out, as for every node heard directly on 2.3/2.4.
        self.send(field(4, node_info(LOCAL, "Base", "BS", hw_model=43, last_heard=START + 60)))
        self.send(field(13, field(1, self.firmware) + field(2, 23) + field(4, 1) + field(5, 1) + field(9, 43)))
        for index, role in enumerate(self.channel_roles):
            settings = field(2, b"\x01") + (field(3, "Team") if index == 1 else b"")
            self.send(field(10, field(1, index) + field(2, settings) + field(3, role)))
        for number in range(1, 10):
            content = self.lora if number == 6 else field(1, 1)
            self.send(field(5, field(number, content)))
        for number in range(1, 14):
            self.send(field(9, field(number, field(1, 0))))
        for info in self.nodes:
            self.send(field(4, info))
        self.send(field(15, field(1, "/prefs/config.proto") + field(2, 512)))
        self.send(field(7, nonce))

    def packet_from(self, sender, port, payload, rx_time=START, to=BROADCAST, packet_id=None):
        self.send(field(2, mesh_packet(sender, to, decoded=data(port, payload), packet_id=packet_id, rx_time=rx_time)))

    def encrypted_from(self, sender):
        """A packet on a channel whose key the radio lacks reaches the client still encrypted."""
        self.send(field(2, mesh_packet(sender, BROADCAST, encrypted=os.urandom(24))))

    def stop(self):
        self.stopping = True
        self.reader.join(timeout=2)
        self.drop()
        if self.listener:
            self.listener.close()
        if not self.tcp:
            self.unplug()

    def messages(self, number):
        """ToRadio messages received that carry field `number` (1 packet, 3 want_config_id, 4 disconnect, 7
        heartbeat)."""
        with self.lock:
            return [m for m in self.received if number in m]

    def admin_kinds(self):
        kinds = []
        for message in self.messages(1):
            packet = parse(first(message, 1))
            decoded = parse(first(packet, 4, b""))
            if first(decoded, 1) == ADMIN_APP:
                kinds.append((min(parse(first(decoded, 2)).keys() - {101}), first(packet, 2)))
        return kinds


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("link")
    parser.add_argument("--log")
    parser.add_argument("--ride", type=lambda text: int(text, 0))
    args = parser.parse_args()
    radio = FakeRadio(None, tcp=True) if args.link == "tcp" else FakeRadio(args.link)
    print(radio.address, flush=True)
    radio.log = args.log
    if args.ride:
        # The guarded node waits at its spot (in the node database) until the test has seen the mark.
        radio.nodes.append(node_info(args.ride, "Guarded Tracker", "GT", fix=position(*SPOT, START), hops=0))

        def ride(*_):
            def go():
                for step, meters in enumerate([80, 120, 160], start=1):
                    # Northwards on a 6371 km sphere, 0.4 m added against rounding.
                    latitude = SPOT[0] + math.degrees((meters + 0.4) / 6371000.0)
                    radio.packet_from(args.ride, POSITION_APP, position(latitude, SPOT[1], START + 30 * step),
                                      rx_time=START + 30 * step)
                    time.sleep(0.05)
            threading.Thread(target=go, daemon=True).start()
        signal.signal(signal.SIGUSR1, ride)
    signal.signal(signal.SIGTERM, lambda *_: (radio.stop(), sys.exit(0)))
    while True:
        time.sleep(1)


if __name__ == "__main__":
    main()
