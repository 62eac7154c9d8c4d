# SPDX-License-Identifier: GPL-3.0-or-later
"""Figure network.silentDeparture: seconds from the SIGKILL of a tracked device's host (no goodbye is sent) to the
moment Corvane shows the device offline, against the seconds until Avahi's own browser reports the service gone.
Both run in node a of the avahi namespace harness (tests/integration/avahi), the device "Office" (_ipp._tcp) on
node b. Slow: minutes per repetition. Needs root.

    silent_departure.py ours --bin DIR [--benchmark_repetitions=N] [--benchmark_format=json]
    silent_departure.py avahi [--limit SECONDS]

ours prints Google Benchmark's JSON (time unit s) so scripts/bench reads it like any benchmark program. avahi waits
for avahi-browse's removal line at most --limit seconds (300); when none comes it says "not within 300 s" and
reports the limit, so the speedup printed is a lower bound. Avahi keeps the service for its pointer record's
75-minute lifetime."""
import argparse
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(SOURCE / "tests" / "e2e"))
import harness  # noqa: E402

HARNESS = SOURCE / "tests" / "integration" / "avahi" / "harness.sh"


class Network:
    """The veth harness with Office published on node b; removed on exit."""

    def __enter__(self):
        self.folder = Path(tempfile.mkdtemp(prefix="corvane-bench-network-"))
        self.env = dict(os.environ, AVH_PREFIX="cvb%d" % os.getpid(), AVH_STATE=str(self.folder / "harness"))
        self.processes = []
        self.call("up", "veth")
        self.call("publish", "b", "o1", "Office", "_ipp._tcp", "631")
        return self

    def __exit__(self, *error):
        for process in self.processes:
            harness.stop_process(process)
        self.call("down")
        shutil.rmtree(self.folder, True)

    def call(self, *arguments):
        return subprocess.run([str(HARNESS), *arguments], env=self.env, check=True, capture_output=True,
                              text=True).stdout.strip()

    def watch(self, *command, **extra):
        """Runs command in node a; returns the list its output lines are appended to."""
        lines = []
        process = subprocess.Popen([str(HARNESS), "run", "a", *command], env=self.env, stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL, text=True, **extra)
        self.processes.append(process)
        threading.Thread(target=lambda: lines.extend(process.stdout), daemon=True).start()
        return lines

    def silence_host(self):
        os.kill(int(self.call("pid", "b/avahi")), signal.SIGKILL)
        return time.monotonic()


def wait_for(lines, test, limit):
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        if any(test(line) for line in list(lines)):
            return time.monotonic()
        time.sleep(0.05)
    return None


def ours(args):
    corvane = Path(args.bin) / "corvane"
    if not corvane.exists():  # scripts/bench builds only the benchmark programs
        subprocess.run(["cmake", "--build", str(Path(args.bin).parent), "--target", "corvane"], check=True,
                       stdout=subprocess.DEVNULL)
    seconds = []
    for _ in range(args.benchmark_repetitions):
        with Network() as network:
            data = network.folder / "data"
            lines = network.watch("env", "XDG_DATA_HOME=%s" % data, "XDG_CONFIG_HOME=%s" % data,
                                  "CORVANE_DEVICE_DIR=%s" % network.folder, "HALVO_MESHTASTIC_BRIDGE_PATH=/bin/false",
                                  "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent", str(corvane), "--headless",
                                  "--track-network", "Office")
            if not wait_for(lines, lambda line: "Tracking Office" in line, 15):
                raise SystemExit("corvane did not track Office: %s" % "".join(lines))
            killed = network.silence_host()
            gone = wait_for(lines, lambda line: line.rstrip().endswith("Office is offline"), 300)
            if gone is None:
                raise SystemExit("Office still online 300 s after its host went silent")
            seconds.append(gone - killed)
    runs = [{"name": "silentDeparture", "run_name": "silentDeparture", "run_type": "iteration", "iterations": 1,
             "real_time": value, "cpu_time": value, "time_unit": "s"} for value in seconds]
    median = sorted(seconds)[len(seconds) // 2]
    runs.append({"name": "silentDeparture_median", "run_name": "silentDeparture", "run_type": "aggregate",
                 "aggregate_name": "median", "iterations": len(seconds), "real_time": median, "cpu_time": median,
                 "time_unit": "s"})
    json.dump({"context": {"executable": __file__}, "benchmarks": runs}, sys.stdout, indent=1)


def avahi(args):
    with Network() as network:
        lines = network.watch("avahi-browse", "--parsable", "--no-db-lookup", "_ipp._tcp")
        if not wait_for(lines, lambda line: line.startswith("+;") and ";Office;" in line, 15):
            raise SystemExit("avahi-browse did not list Office: %s" % "".join(lines))
        killed = network.silence_host()
        gone = wait_for(lines, lambda line: line.startswith("-;") and ";Office;" in line, args.limit)
    if gone is None:
        print("INFO Avahi's browser: Office not reported gone within %d s (its record lives 75 minutes)" % args.limit)
        print("RESULT %r" % float(args.limit))
    else:
        print("INFO Avahi's browser reported Office gone after %.1f s" % (gone - killed))
        print("RESULT %r" % (gone - killed))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("side", choices=["ours", "avahi"])
    parser.add_argument("--bin", default=str(SOURCE / "build-bench" / "bin"))
    parser.add_argument("--benchmark_repetitions", type=int, default=1)
    parser.add_argument("--benchmark_format", default="json")
    parser.add_argument("--benchmark_report_aggregates_only", default="false")
    parser.add_argument("--limit", type=int, default=300)
    args = parser.parse_args()
    (ours if args.side == "ours" else avahi)(args)


if __name__ == "__main__":
    main()
