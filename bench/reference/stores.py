# SPDX-License-Identifier: GPL-3.0-or-later
"""Reference for the store figures: the straightforward Python way of keeping
a JSON log file, standard library only. Each append reads the file, decodes
it, checks for a duplicate, appends, drops the oldest beyond the cap, encodes
it pretty-printed with sorted keys and replaces the file atomically (temp
file, fsync, rename, fsync of the folder).

    stores.py append positions|messages [--count N]
    stores.py load [--count N]

With CORVANE_BENCH_SMOKE=1 in the environment (scripts/bench --smoke) the
default count is 2.

Loading decodes each file and turns its elements into typed records checked
field by field (UUIDs, dates, number ranges), as the application does; the
time of json.loads alone is printed as INFO.

Prints "INFO ..." lines and, last, "RESULT <median milliseconds>".
"""
import argparse
import json
import math
import os
import shutil
import statistics
import sys
import tempfile
import time
import uuid
from datetime import datetime, timedelta, timezone

POSITIONS_CAP = 10000
MESSAGES_CAP = 5000
START = datetime(2026, 3, 1, 9, 30, tzinfo=timezone.utc)


def iso(moment):
    return moment.strftime("%Y-%m-%dT%H:%M:%SZ")


def position_number(i):
    return {
        "id": str(uuid.uuid4()).upper(),
        "nodeNumber": 0x10000000 + i % 40,
        "latitude": 48.137154 + i * 1.37e-6,
        "longitude": 11.576124 - i * 2.11e-6,
        "altitude": 500 + i % 100,
        "timestamp": iso(START + timedelta(seconds=i * 30)),
    }


def message_number(i):
    return {
        "id": str(uuid.uuid4()).upper(),
        "packetID": 100000 + i,
        "sender": 0x10000000 + i % 40,
        "recipient": 0xFFFFFFFF,
        "channel": 0,
        "text": "Message %d from the mesh: all quiet at the gate." % i,
        "timestamp": iso(START + timedelta(seconds=i * 30)),
        "isOutgoing": i % 3 == 0,
    }


def repeats_last_fix(stored, new):
    if not stored:
        return False
    last = stored[-1]
    return (last["nodeNumber"] == new["nodeNumber"] and last["latitude"] == new["latitude"]
            and last["longitude"] == new["longitude"])


def repeats_stored_packet(stored, new):
    if new["packetID"] == 0:
        return False
    return any(m["packetID"] == new["packetID"] and m["sender"] == new["sender"] for m in stored)


KINDS = {
    "positions": ("positions.json", POSITIONS_CAP, position_number, repeats_last_fix),
    "messages": ("messages.json", MESSAGES_CAP, message_number, repeats_stored_packet),
}


def write_atomically(path, data):
    folder = os.path.dirname(path)
    os.makedirs(folder, mode=0o700, exist_ok=True)
    fd, temp = tempfile.mkstemp(dir=folder, prefix="." + os.path.basename(path) + ".tmp-")
    try:
        os.write(fd, data)
        os.fsync(fd)
    finally:
        os.close(fd)
    os.rename(temp, path)
    folder_fd = os.open(folder, os.O_RDONLY | os.O_DIRECTORY)
    try:
        os.fsync(folder_fd)
    finally:
        os.close(folder_fd)


def encode(records):
    return json.dumps(records, indent=2, sort_keys=True).encode("utf-8")


def read_list(path):
    try:
        with open(path, "rb") as f:
            decoded = json.loads(f.read())
    except (OSError, ValueError):
        return []
    return decoded if isinstance(decoded, list) else []


def append(path, record, cap, is_duplicate):
    records = read_list(path)
    if is_duplicate(records, record):
        return
    records.append(record)
    if len(records) > cap:
        del records[:len(records) - cap]
    write_atomically(path, encode(records))


def write_full(folder, kind):
    name, cap, make, _ = KINDS[kind]
    path = os.path.join(folder, name)
    write_atomically(path, encode([make(i) for i in range(cap)]))
    return path


def run_append(kind, count, folder):
    _, cap, make, is_duplicate = KINDS[kind]
    path = write_full(folder, kind)
    next_number = cap
    append(path, make(next_number), cap, is_duplicate)
    next_number += 1
    times = []
    for _ in range(count):
        record = make(next_number)
        next_number += 1
        begin = time.perf_counter(), time.process_time()
        append(path, record, cap, is_duplicate)
        times.append((time.perf_counter() - begin[0], time.process_time() - begin[1]))
    if len(read_list(path)) != cap:
        sys.exit("reference: the file does not hold %d records" % cap)
    return times


class Undecodable(Exception):
    pass


def unsigned32(value):
    if isinstance(value, bool) or not isinstance(value, (int, float)) or value != int(value) \
            or not 0 <= value <= 0xFFFFFFFF:
        raise Undecodable()
    return int(value)


def number(value):
    if isinstance(value, bool) or not isinstance(value, (int, float)) or not math.isfinite(value):
        raise Undecodable()
    return float(value)


def text(value):
    if not isinstance(value, str):
        raise Undecodable()
    return value


def identifier(value):
    if len(text(value)) != 36:
        raise Undecodable()
    return uuid.UUID(value)


def instant(value):
    # datetime.fromisoformat reads "Z" and numeric offsets since Python 3.11.
    moment = datetime.fromisoformat(text(value))
    if moment.tzinfo is None:
        raise Undecodable()
    return moment


def position_record(item):
    altitude = item.get("altitude")
    if altitude is not None and (isinstance(altitude, bool) or not isinstance(altitude, int)
                                 or not -2**31 <= altitude < 2**31):
        raise Undecodable()
    return (identifier(item["id"]), unsigned32(item["nodeNumber"]), number(item["latitude"]),
            number(item["longitude"]), altitude, instant(item["timestamp"]))


def message_record(item):
    outgoing = item["isOutgoing"]
    if not isinstance(outgoing, bool):
        raise Undecodable()
    return (identifier(item["id"]), unsigned32(item["packetID"]), unsigned32(item["sender"]),
            unsigned32(item["recipient"]), unsigned32(item["channel"]), text(item["text"]),
            instant(item["timestamp"]), outgoing)


def load_records(path, make_record):
    """What start-up needs: typed records checked field by field, as the
    application's own loader makes them, or nothing when any is undecodable."""
    try:
        return [make_record(item) for item in read_list(path)]
    except (Undecodable, KeyError, TypeError, ValueError, AttributeError):
        return []


def run_load(count, folder, parse_only=False):
    paths = [write_full(folder, kind) for kind in ("positions", "messages")]
    loaders = [position_record, message_record]
    times = []
    for _ in range(count):
        begin = time.perf_counter(), time.process_time()
        if parse_only:
            loaded = [read_list(path) for path in paths]
        else:
            loaded = [load_records(path, make) for path, make in zip(paths, loaders)]
        times.append((time.perf_counter() - begin[0], time.process_time() - begin[1]))
        if [len(records) for records in loaded] != [POSITIONS_CAP, MESSAGES_CAP]:
            sys.exit("reference: the files did not load")
    return times


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("operation", choices=["append", "load"])
    parser.add_argument("kind", nargs="?", choices=sorted(KINDS))
    parser.add_argument("--count", type=int, default=2 if os.environ.get("CORVANE_BENCH_SMOKE") else 15)
    args = parser.parse_args()
    folder = tempfile.mkdtemp(prefix="corvane-bench-ref-", dir="/tmp")
    try:
        if args.operation == "append":
            if not args.kind:
                parser.error("append needs positions or messages")
            times = run_append(args.kind, args.count, folder)
        else:
            # json.loads alone, for comparison: it checks no field.
            parse_only = run_load(args.count, folder, parse_only=True)
            print("INFO reference load, json.loads alone without checking records: median %.3gms"
                  % statistics.median(wall * 1000 for wall, _ in parse_only))
            times = run_load(args.count, folder)
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    milliseconds = sorted(wall * 1000 for wall, _ in times)
    cpu = statistics.median(used * 1000 for _, used in times)
    print("INFO reference %s %s: %d runs, min %.3gms, max %.3gms, cpu %.3gms" % (
        args.operation, args.kind or "both files", len(milliseconds), milliseconds[0], milliseconds[-1], cpu))
    print("RESULT %r" % statistics.median(milliseconds))


if __name__ == "__main__":
    main()
