#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""ui.coldStart: process start to the first paint of the main window.

ours: `corvane` (the window) with 10,000 positions and 5,000 messages on file
and corvane-bridge-sim's demo mesh as the bridge, offscreen; prints Google
Benchmark's JSON (cpu repeats the wall time). bare: an empty Qt Widgets main
window of the same size, measured the same way; prints "RESULT <median ms>".
Both report the peak resident memory of the measured process as INFO.
Each run starts in a fresh temporary folder; nothing is left behind.
"""
import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "reference"))
import stores  # noqa: E402  (record generators shared with the store figures)

DEFAULT_REPETITIONS = 10


def prepare(folder):
    data = Path(folder) / "data" / "Halvo Corvane"
    data.mkdir(parents=True)
    (data / "positions.json").write_bytes(stores.encode([stores.position_number(i) for i in range(10000)]))
    (data / "messages.json").write_bytes(stores.encode([stores.message_number(i) for i in range(5000)]))
    devices = Path(folder) / "dev"
    devices.mkdir()
    (devices / "ttyACM0").write_text("")


def one_start(command, environment):
    start = time.monotonic()
    child = subprocess.Popen(command, env=environment, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    line = child.stdout.readline()
    painted = time.monotonic()
    child.stdout.read()
    _, status, usage = os.wait4(child.pid, 0)
    if line.strip() != "first-paint" or status != 0:
        raise SystemExit("no first paint from %s (status %d)" % (command[0], status))
    return (painted - start) * 1e3, usage.ru_maxrss / 1024.0


def measure(command, repetitions, extra):
    timings, memory = [], []
    for index in range(repetitions + 1):
        with tempfile.TemporaryDirectory(prefix="corvane-bench-ui-") as folder:
            environment = dict(os.environ, QT_QPA_PLATFORM="offscreen", CORVANE_EXIT_AFTER_FIRST_PAINT="1",
                               XDG_DATA_HOME=str(Path(folder) / "data"), XDG_CONFIG_HOME=str(Path(folder) / "config"),
                               XDG_CACHE_HOME=str(Path(folder) / "cache"), CORVANE_TILE_URL="",
                               CORVANE_DEVICE_DIR=str(Path(folder) / "dev"), **extra)
            prepare(folder)
            elapsed, resident = one_start(command, environment)
        if index:  # the first run warms the page cache
            timings.append(elapsed)
            memory.append(resident)
    return timings, memory


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("mode", choices=["ours", "bare"])
    parser.add_argument("--bin", required=True, type=Path)
    parser.add_argument("--benchmark_repetitions", type=int, default=DEFAULT_REPETITIONS)
    parser.add_argument("--repetitions", type=int, default=DEFAULT_REPETITIONS)
    parser.add_argument("--benchmark_format", default="json")
    parser.add_argument("--benchmark_report_aggregates_only", default="false")
    # The runner's smoke mode passes this to every program of ours; one start
    # per repetition is already the smallest unit here.
    parser.add_argument("--benchmark_min_time", default=None)
    options = parser.parse_args()
    folder = options.bin.resolve()
    if options.mode == "bare":
        timings, memory = measure([str(folder / "bench_bare_window")], options.repetitions, {})
        print("INFO ui.coldStart ref bare Qt Widgets window: peak resident memory %.1f MiB" % statistics.median(memory))
        print("RESULT %.3f" % statistics.median(timings))
        return
    extra = {"HALVO_MESHTASTIC_BRIDGE_PATH": str(folder / "corvane-bridge-sim"), "CORVANE_BRIDGE_SIM_ARGS": "--demo"}
    timings, memory = measure([str(folder / "corvane")], options.benchmark_repetitions, extra)
    print("INFO ui.coldStart ours corvane window: peak resident memory %.1f MiB" % statistics.median(memory),
          file=sys.stderr)
    runs = [{"name": "coldStart", "run_name": "coldStart", "run_type": "iteration", "repetitions": len(timings),
             "repetition_index": index, "threads": 1, "iterations": 1, "real_time": value, "cpu_time": value,
             "time_unit": "ms"} for index, value in enumerate(timings)]
    median = statistics.median(timings)
    runs.append({"name": "coldStart_median", "run_name": "coldStart", "run_type": "aggregate",
                 "aggregate_name": "median", "repetitions": len(timings), "threads": 1, "iterations": len(timings),
                 "real_time": median, "cpu_time": median, "time_unit": "ms"})
    json.dump({"context": {"executable": __file__}, "benchmarks": runs}, sys.stdout, indent=1)
    print()


if __name__ == "__main__":
    main()
