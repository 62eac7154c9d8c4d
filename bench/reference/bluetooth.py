# SPDX-License-Identifier: GPL-3.0-or-later
"""Reference for bluetooth.advertisement200: the same work in Python 3 with a
plain list of dicts: one advertisement in finder mode with 200 devices listed
(estimator window and medians, linear search and replace, status text, one
observer). Prints the median time in microseconds."""
import statistics
import sys
import time

LISTED = 200
COUNT = int(sys.argv[1]) if len(sys.argv) > 1 else 20000


def median(values):
    s = sorted(values)
    n = len(s)
    return s[n // 2] if n % 2 else (s[n // 2 - 1] + s[n // 2]) / 2


def band(rssi):
    if rssi >= -50:
        return "veryClose"
    if rssi >= -65:
        return "nearby"
    if rssi >= -78:
        return "fartherAway"
    return "weak"


class Manager:
    def __init__(self):
        self.devices, self.estimators, self.last, self.state = [], {}, {}, ""
        self.tracked_id, self.finding, self.observers = None, False, []

    def advertise(self, ident, name, rssi, now):
        self.last[ident] = now
        if not -127 <= rssi <= -1:
            return
        window = self.estimators.setdefault(ident, [])
        window.append(float(rssi))
        del window[:-10]
        smoothed = median(window[-5:])
        trend = "acquiring"
        if len(window) >= 5:
            d = smoothed - median(window[:5])
            trend = "warmer" if d >= 4 else "colder" if d <= -4 else "steady"
        entry = {"id": ident, "name": name, "isMeshtastic": False, "rssi": rssi, "smoothedRSSI": smoothed,
                 "trend": trend, "band": band(smoothed), "lastSeen": now, "sampleCount": len(window)}
        for i, existing in enumerate(self.devices):
            if existing["id"] == ident:
                self.devices[i] = entry
                break
        else:
            self.devices.append(entry)
        if ident == self.tracked_id:
            self.state = "Live signal · %d dBm" % rssi
        elif not self.finding:
            self.state = "Found %d Bluetooth device%s" % (len(self.devices), "" if len(self.devices) == 1 else "s")
        for observer in self.observers:
            observer()


def main():
    manager = Manager()
    seen = [0]
    manager.observers.append(lambda: seen.__setitem__(0, seen[0] + len(manager.state)))
    ids = ["00000000-0000-4000-8000-%012d" % i for i in range(LISTED)]
    for i in range(LISTED):
        manager.advertise(ids[i], "Tag %d" % i, -40 - i % 60, time.time())
    manager.tracked_id, manager.finding = ids[LISTED // 2], True
    samples = []
    batch = max(COUNT // 10, 1)
    nxt = 0
    for _ in range(10):
        begin = time.perf_counter()
        for _ in range(batch):
            manager.advertise(ids[nxt], "Tag %d" % nxt, -40 - (nxt * 7 + seen[0] % 3) % 60, time.time())
            nxt = (nxt + 37) % LISTED
        samples.append((time.perf_counter() - begin) / batch * 1e6)
    print("INFO reference bluetooth.advertisement200: %d batches, min %.2fus" % (len(samples), min(samples)))
    print("RESULT %r" % statistics.median(samples))


if __name__ == "__main__":
    main()
