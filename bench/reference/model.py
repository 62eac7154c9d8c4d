# SPDX-License-Identifier: GPL-3.0-or-later
"""Reference for model.nodeEvent200: the same work in Python with the standard
json module: decode one node line, replace the node in a dict of 200, and
re-sort the list with the guarded node first and a natural, case-insensitive
order of long names. Prints the median time in microseconds. With
CORVANE_BENCH_SMOKE=1 (scripts/bench --smoke) the batches are tiny."""
import json
import os
import re
import statistics
import time

KNOWN = 200
GUARDED = 1000 + 57
DIGITS = re.compile(r"(\d+)")


def node_line(index, battery):
    return json.dumps({"protocolVersion": 1, "event": "node", "node": {
        "number": 1000 + index, "longName": "Node %d" % index, "shortName": "N%d" % index,
        "hardware": "T_ECHO", "batteryLevel": battery, "voltage": 3.9, "signalToNoise": 6.25,
        "hopsAway": index % 4, "lastSeen": "2026-03-01T09:30:00Z"}}, separators=(",", ":"))


def natural(name):
    return [int(part) if part.isdigit() else part.casefold() for part in DIGITS.split(name)]


def handle(line, index):
    response = json.loads(line)
    if response.get("protocolVersion") != 1 or response.get("event") != "node":
        raise SystemExit("reference: bad line")
    node = response["node"]
    index[node["number"]] = node
    return sorted(index.values(), key=lambda n: (n["number"] != GUARDED, natural(n["longName"])))


def main():
    index = {}
    for i in range(KNOWN):
        handle(node_line(i, 50), index)
    batches, count = (2, 20) if os.environ.get("CORVANE_BENCH_SMOKE") else (10, 2000)
    lines = [node_line((i * 37) % KNOWN, i % 101) for i in range(batches * count)]
    samples = []
    for repetition in range(batches):
        begin = time.perf_counter()
        for line in lines[repetition * count:(repetition + 1) * count]:
            handle(line, index)
        samples.append((time.perf_counter() - begin) / count * 1e6)
    print("INFO reference model.nodeEvent200: %d batches, min %.1fus" % (len(samples), min(samples)))
    print("RESULT %r" % statistics.median(samples))


if __name__ == "__main__":
    main()
