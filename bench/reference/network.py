# SPDX-License-Identifier: GPL-3.0-or-later
"""Reference for network.browseUpdate300: the same work in Python, the
straightforward way: one browse result set of one type (20 services, one of
them toggled) among 300 known devices; fold each name (NFD, drop combining
marks, casefold), record the service on its device, recompute every device's
online state from all live keys, run the departure bookkeeping, sort online
first and then by a natural, case-insensitive name order, and mark the save
as due. Prints the median time in microseconds."""
import os
import statistics
import sys
import time
import unicodedata
import re

TYPES = ["_workstation._tcp", "_device-info._tcp", "_companion-link._tcp", "_airplay._tcp", "_raop._tcp",
         "_ipp._tcp", "_ipps._tcp", "_printer._tcp", "_smb._tcp", "_ssh._tcp", "_http._tcp", "_https._tcp",
         "_homekit._tcp", "_googlecast._tcp", "_spotify-connect._tcp"]
DEVICES = 300
PER_TYPE = DEVICES // len(TYPES)
ROOMS = ["Living Room", "Küche", "Office", "Bedroom", "Garage", "Café"]
DIGITS = re.compile(r"(\d+)")


def fold(text):
    decomposed = unicodedata.normalize("NFD", text.casefold())
    return unicodedata.normalize("NFC", "".join(c for c in decomposed if unicodedata.category(c) != "Mn"))


def natural(name):
    return [int(part) if part.isdigit() else fold(part) for part in DIGITS.split(name)]


class Browser:
    def __init__(self):
        self.devices = []
        self.by_id = {}
        self.live = {}
        self.owners = {}
        self.heard = set()
        self.offline_since = {}
        self.alerted = set()
        self.save_due = False

    def receive(self, results, service_type, now):
        keys = set()
        for name, typ, domain, ifname in results:
            key = "%s|%s|%s|%s" % (name, typ, domain, ifname or "")
            keys.add(key)
            ident = fold(name) + "|" + domain.lower()
            self.owners[key] = ident
            device = self.by_id.get(ident)
            if device is None:
                device = {"id": ident, "name": name, "domain": domain, "serviceTypes": [], "interfaceNames": [],
                          "lastSeen": now, "isOnline": False, "isTracked": False, "lossAlertEnabled": False,
                          "lossAlertDelay": 600.0}
                self.devices.append(device)
                self.by_id[ident] = device
            if typ not in device["serviceTypes"]:
                device["serviceTypes"] = sorted(device["serviceTypes"] + [typ])
            if ifname and ifname not in device["interfaceNames"]:
                device["interfaceNames"] = sorted(device["interfaceNames"] + [ifname])
            device["lastSeen"] = now
            device["isOnline"] = True
        self.live[service_type] = keys
        live_ids = {self.owners[k] for ks in self.live.values() for k in ks if k in self.owners}
        for device in self.devices:
            online = device["id"] in live_ids
            if device["isOnline"] and not online:
                device["lastSeen"] = now
            device["isOnline"] = online
        for device in self.devices:
            if not (device["isTracked"] and device["lossAlertEnabled"]):
                continue
            if device["isOnline"]:
                self.heard.add(device["id"])
                self.offline_since.pop(device["id"], None)
                self.alerted.discard(device["id"])
            elif device["id"] in self.heard and device["id"] not in self.offline_since:
                self.offline_since[device["id"]] = now
        self.devices.sort(key=lambda d: (not d["isOnline"], natural(d["name"])))
        self.save_due = True


def type_set(index, with_first):
    start = 0 if with_first else 1
    return [("%s Speaker %d" % (ROOMS[n % 6], n), TYPES[index], "local.", "eth0")
            for n in range(index * PER_TYPE + start, (index + 1) * PER_TYPE)]


def main():
    smoke = bool(os.environ.get("CORVANE_BENCH_SMOKE"))
    repetitions = int(sys.argv[1]) if len(sys.argv) > 1 else (2 if smoke else 10)
    count = int(sys.argv[2]) if len(sys.argv) > 2 else (30 if smoke else 300)
    browser = Browser()
    for index in range(len(TYPES)):
        browser.receive(type_set(index, True), TYPES[index], time.time())
    for device in browser.devices[::7]:
        device["isTracked"] = device["lossAlertEnabled"] = True
    sets = [[type_set(i, False) for i in range(len(TYPES))], [type_set(i, True) for i in range(len(TYPES))]]
    samples = []
    step = 0
    for _ in range(repetitions):
        begin = time.perf_counter()
        for _ in range(count):
            index = step % len(TYPES)
            browser.receive(sets[(step // len(TYPES)) % 2][index], TYPES[index], time.time())
            step += 1
        samples.append((time.perf_counter() - begin) / count * 1e6)
    if len(browser.devices) != DEVICES:
        raise SystemExit("reference: devices were lost")
    print("INFO reference network.browseUpdate300: %d batches of %d, min %.1fus" % (len(samples), count, min(samples)))
    print("RESULT %r" % statistics.median(samples))


if __name__ == "__main__":
    main()
