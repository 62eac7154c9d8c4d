# SPDX-License-Identifier: GPL-3.0-or-later
"""bridge.frameDecode reference: the same 10,000 FromRadio frames as bench/BridgeRadioBench.cpp, decoded the
straightforward Python way (python3-protobuf classes generated from src/bridge/meshtastic.proto, the json module)
into the same JSON lines, with node records merged across frames. Usage: bridge_frames.py PYTHON_CLASSES_DIR.
Prints RESULT <median milliseconds>."""
import json
import os
import statistics
import sys
import time
import uuid
from datetime import datetime, timezone

sys.path.insert(0, sys.argv[1])
import meshtastic_pb2 as pb  # noqa: E402

LOCAL, START = 0x0A0B0C0D, 1772357400
COUNT = int(os.environ.get("CORVANE_BENCH_FRAMES", "10000"))
RUNS = int(os.environ.get("CORVANE_BENCH_RUNS", "10"))


def frame(message):
    payload = message.SerializeToString()
    return bytes([0x94, 0xC3, len(payload) >> 8, len(payload) & 0xFF]) + payload


def captured(count):
    stream = bytearray()
    for i in range(count):
        node, when = 0x10000000 + i % 200, START + i
        message = pb.FromRadio()
        if i % 3 == 0:
            info = message.node_info
            info.num = node
            info.user.long_name, info.user.short_name = ("Node %d" % (i % 200)).encode(), ("N%d" % (i % 200)).encode()
            info.user.hw_model = pb.TBEAM
            info.position.latitude_i, info.position.longitude_i, info.position.time = 556756800 + i, 125699200 - i, when
            info.snr, info.last_heard, info.hops_away = 6.25, when, i % 4
            info.device_metrics.battery_level, info.device_metrics.voltage = i % 101, 4.125
        elif i % 3 == 1:
            position = pb.Position(latitude_i=556756800 + i, longitude_i=125699200 - i, altitude=12, time=when)
            packet = message.packet
            setattr(packet, "from", node)
            packet.to, packet.id, packet.rx_time, packet.rx_snr, packet.hop_start, packet.hop_limit = \
                0xFFFFFFFF, when, when, 5.5, 3, 2
            packet.decoded.portnum, packet.decoded.payload = pb.POSITION_APP, position.SerializeToString()
        else:
            packet = message.packet
            setattr(packet, "from", node)
            packet.to, packet.id, packet.rx_time = 0xFFFFFFFF, when, when
            packet.decoded.portnum = pb.TEXT_MESSAGE_APP
            packet.decoded.payload = ("Parked at the station, back in ten minutes %d" % i).encode()
        if i % 50 == 0:
            stream += b"DEBUG | Telling the phone about node\r\n"
        stream += frame(message)
    return bytes(stream)


def iso(seconds):
    return datetime.fromtimestamp(seconds, timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")


def decode(stream):
    nodes, fixes, lines = {}, {}, []

    def node(number):
        if number not in nodes:
            nodes[number] = {"number": number, "longName": "Meshtastic %04x" % (number & 0xFFFF),
                             "shortName": "%04x" % (number & 0xFFFF), "hardware": "UNSET"}
        return nodes[number]

    def apply_position(record, position, heard):
        if not (position.HasField("latitude_i") and position.HasField("longitude_i")):
            return
        key = (position.latitude_i, position.longitude_i, position.altitude, position.time)
        if fixes.get(record["number"]) == key:
            return
        fixes[record["number"]] = key
        fix = {"id": str(uuid.uuid4()).upper(), "nodeNumber": record["number"], "latitude": position.latitude_i / 1e7,
               "longitude": position.longitude_i / 1e7, "timestamp": iso(position.time or heard)}
        if position.HasField("altitude"):
            fix["altitude"] = position.altitude
        record["position"] = fix

    def emit(event, key, value):
        lines.append(json.dumps({"protocolVersion": 1, "event": event, key: value}, separators=(",", ":"),
                                sort_keys=True))

    at, debug = 0, bytearray()
    while True:
        start = stream.find(b"\x94\xc3", at)
        if start < 0 or start + 4 > len(stream):
            debug += stream[at:]
            break
        debug += stream[at:start]
        length = (stream[start + 2] << 8) | stream[start + 3]
        message = pb.FromRadio()
        try:
            message.ParseFromString(stream[start + 4:start + 4 + length])
        except Exception:
            debug += stream[start:start + 1]
            at = start + 1
            continue
        at = start + 4 + length
        kind = message.WhichOneof("payload_variant")
        if kind == "node_info":
            info = message.node_info
            record = node(info.num)
            record["longName"] = info.user.long_name.decode("utf-8", "replace")
            record["shortName"] = info.user.short_name.decode("utf-8", "replace")
            record["hardware"] = pb.HardwareModel.Name(info.user.hw_model)
            record["batteryLevel"], record["voltage"] = info.device_metrics.battery_level, info.device_metrics.voltage
            record["signalToNoise"], record["hopsAway"] = info.snr, info.hops_away
            record["lastSeen"] = iso(info.last_heard)
            apply_position(record, info.position, info.last_heard)
            emit("node", "node", record)
        elif kind == "packet" and message.packet.WhichOneof("payload_variant") == "decoded":
            packet = message.packet
            sender = getattr(packet, "from")
            if packet.decoded.portnum == pb.TEXT_MESSAGE_APP:
                emit("message", "message", {
                    "id": str(uuid.uuid4()).upper(), "packetID": packet.id, "sender": sender, "recipient": packet.to,
                    "channel": packet.channel, "text": packet.decoded.payload.decode("utf-8", "replace"),
                    "timestamp": iso(packet.rx_time), "isOutgoing": sender == LOCAL})
            elif packet.decoded.portnum == pb.POSITION_APP:
                position = pb.Position()
                position.ParseFromString(packet.decoded.payload)
                record = node(sender)
                apply_position(record, position, packet.rx_time)
                record["lastSeen"], record["signalToNoise"] = iso(packet.rx_time), packet.rx_snr
                record["hopsAway"] = packet.hop_start - packet.hop_limit
                emit("node", "node", record)
    return lines


def main():
    stream = captured(COUNT)
    times = []
    for _ in range(RUNS):
        begin = time.perf_counter()
        lines = decode(stream)
        times.append((time.perf_counter() - begin) * 1000)
    from google.protobuf.internal import api_implementation
    print("INFO bridge.frameDecode ref python3-protobuf (%s implementation) and json, %d lines, %d runs"
          % (api_implementation.Type(), len(lines), RUNS))
    print("RESULT %.3f" % statistics.median(times))


if __name__ == "__main__":
    main()
