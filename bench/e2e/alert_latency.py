# SPDX-License-Identifier: GPL-3.0-or-later
"""Figure e2e.alertLatency: how long a movement alert takes from the radio to
the desktop, against a bare Notify call to the same kind of server.

    alert_latency.py ours --bin DIR [--benchmark_repetitions=N] [--benchmark_format=json]
    alert_latency.py bare [--repetitions N]

ours: per repetition a fresh sandbox and a real `corvane --headless --guard N
--mark` with corvane-bridge-sim playing a ride (spot, 80 m, 120 m). The time
runs from the stand-in's write() of the second outside fix (its --stamp file)
to the notification mock's receipt of Notify. Prints Google Benchmark's JSON
report (one "iteration" entry per repetition, time unit ms, plus the median
aggregate) so scripts/bench reads it like any benchmark program. When DIR has
no corvane yet (scripts/bench builds only the benchmark programs), the two
programs are built in DIR's build folder first.

bare: one python3-dbus client, connected and warmed up beforehand, calls
Notify with the same arguments; the time runs from just before the call to
the mock's receipt. Prints INFO lines and "RESULT <median ms>".

Both sides time receipt the same way: the mock's Notify is replaced by one
that records time.time() (CLOCK_REALTIME, like the stand-in's stamps) on
arrival, read back over D-Bus afterwards.

With CORVANE_BENCH_SMOKE=1 (scripts/bench --smoke) ours skips its warm-up
run and bare makes 2 calls by default.
"""
import argparse
import json
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(SOURCE / "tests" / "e2e"))
import harness  # noqa: E402

NODE = 305419896
BENCH_INTERFACE = "org.corvane.Bench"
NOTIFICATIONS_NAME = harness.NOTIFICATIONS[0]
MOCK_INTERFACE = "org.freedesktop.DBus.Mock"
NOTIFY_CODE = """self.receipts = getattr(self, 'receipts', []) + [time.time()]
ret = len(self.receipts)"""
RECEIPTS_CODE = "ret = getattr(self, 'receipts', [])"
SMOKE = bool(os.environ.get("CORVANE_BENCH_SMOKE"))
DEFAULT_REPETITIONS = 2 if SMOKE else 20


def stamping_bus(folder):
    bus = harness.SessionBus()
    bus.start(Path(folder))
    mock = mock_object(bus)
    mock.AddMethod(NOTIFICATIONS_NAME, "Notify", "susssasa{sv}i", "u", NOTIFY_CODE, dbus_interface=MOCK_INTERFACE)
    mock.AddMethod(BENCH_INTERFACE, "Receipts", "", "ad", RECEIPTS_CODE, dbus_interface=MOCK_INTERFACE)
    return bus


def mock_object(bus):
    return bus.connection.get_object(*harness.NOTIFICATIONS)


def receipts(bus):
    return [float(t) for t in mock_object(bus).Receipts(dbus_interface=BENCH_INTERFACE)]


def ensure_built(bin_folder):
    if all((bin_folder / name).exists() for name in ("corvane", "corvane-bridge-sim")):
        return
    subprocess.run(["cmake", "--build", str(bin_folder.parent), "--target", "corvane", "corvane-bridge-sim",
                    "-j", "2"], check=True, stdout=subprocess.DEVNULL)


def one_alert(bus):
    """Runs corvane through one ride; the alert's latency in seconds."""
    sandbox = harness.Sandbox()
    corvane = None
    try:
        # Spot, 80 m (first outside), 120 m (second outside: the alert).
        sandbox.script.write_text("\n".join(harness.Ride(NODE).script([80, 120])) + "\n", encoding="utf-8")
        stamps = sandbox.root / "stamps"
        before = len(receipts(bus))
        sim = "--script '%s' --stamp '%s'" % (sandbox.script, stamps)
        corvane = harness.Corvane(["--headless", "--guard", str(NODE), "--mark"],
                                  sandbox.environment(bus.address, sim))
        harness.wait_until(lambda: len(receipts(bus)) > before, 10.0, "the alert",
                           lambda: "; output:" + corvane.output())
        received = receipts(bus)[before]
        written = [int(line) / 1e6 for line in stamps.read_text().split()]
        corvane.process.send_signal(signal.SIGTERM)
        corvane.process.wait(timeout=5)
        # Stamped script lines: spot, 80 m, 120 m.
        return received - written[2]
    finally:
        if corvane is not None:
            corvane.stop()
        shutil.rmtree(sandbox.root, ignore_errors=True)


def run_ours(arguments):
    parser = argparse.ArgumentParser(prog="alert_latency.py ours")
    parser.add_argument("--bin", required=True, type=Path)
    parser.add_argument("--benchmark_repetitions", type=int, default=DEFAULT_REPETITIONS)
    parser.add_argument("--benchmark_format", default="json")
    parser.add_argument("--benchmark_report_aggregates_only", default="false")
    parser.add_argument("--benchmark_min_time", help="accepted for the runner; each repetition is one alert")
    options = parser.parse_args(arguments)
    bin_folder = options.bin.resolve()
    ensure_built(bin_folder)
    harness.BIN = bin_folder
    with tempfile.TemporaryDirectory(prefix="corvane-bench-") as folder:
        bus = stamping_bus(folder)
        try:
            if not SMOKE:
                one_alert(bus)  # warm-up: page cache, first D-Bus connection
            latencies = [one_alert(bus) * 1e3 for _ in range(options.benchmark_repetitions)]
        finally:
            bus.stop()
    runs = [{"name": "alertLatency", "run_name": "alertLatency", "run_type": "iteration",
             "repetitions": len(latencies), "repetition_index": index, "threads": 1, "iterations": 1,
             "real_time": value, "cpu_time": value, "time_unit": "ms"}
            for index, value in enumerate(latencies)]
    median = statistics.median(latencies)
    runs.append({"name": "alertLatency_median", "run_name": "alertLatency", "run_type": "aggregate",
                 "aggregate_name": "median", "repetitions": len(latencies), "threads": 1,
                 "iterations": len(latencies), "real_time": median, "cpu_time": median, "time_unit": "ms"})
    if options.benchmark_format == "json":
        json.dump({"context": {"executable": __file__}, "benchmarks": runs}, sys.stdout, indent=1)
        print()
    else:
        print("alertLatency median %.3f ms over %d alerts (min %.3f, max %.3f)"
              % (median, len(latencies), min(latencies), max(latencies)))


def run_bare(arguments):
    parser = argparse.ArgumentParser(prog="alert_latency.py bare")
    parser.add_argument("--repetitions", type=int, default=DEFAULT_REPETITIONS)
    options = parser.parse_args(arguments)
    import dbus
    with tempfile.TemporaryDirectory(prefix="corvane-bench-") as folder:
        bus = stamping_bus(folder)
        try:
            client = dbus.bus.BusConnection(bus.address)
            server = client.get_object(*harness.NOTIFICATIONS)
            hints = {"urgency": dbus.Byte(2), "sound-name": "alarm-clock-elapsed",
                     "x-corvane-identifier": "guarded-device-moved-0.5"}

            def notify():
                server.Notify("Corvane", dbus.UInt32(0), "", "Guarded device moved",
                              "Two positions place the device outside the marked area. "
                              "Latest distance: about 120 m.", dbus.Array([], signature="s"),
                              dbus.Dictionary(hints, signature="sv"), -1,
                              dbus_interface=NOTIFICATIONS_NAME)

            for _ in range(3):
                notify()
            latencies = []
            for _ in range(options.repetitions):
                before = len(receipts(bus))
                started = time.time()
                notify()
                latencies.append((receipts(bus)[before] - started) * 1e3)
                time.sleep(0.05)
            client.close()
        finally:
            bus.stop()
    median = statistics.median(latencies)
    print("INFO e2e.alertLatency bare Notify call: median %.3f ms over %d calls, min %.3f ms"
          % (median, len(latencies), min(latencies)))
    print("RESULT %.6f" % median)


def main():
    if len(sys.argv) < 2 or sys.argv[1] not in ("ours", "bare"):
        raise SystemExit(__doc__)
    (run_ours if sys.argv[1] == "ours" else run_bare)(sys.argv[2:])


if __name__ == "__main__":
    main()
