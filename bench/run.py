# SPDX-License-Identifier: GPL-3.0-or-later
"""Runs the figures of bench/figures.tsv: our Google Benchmark program and its
Python reference, one after the other, and prints one BENCH line per figure
(see bench/README.md). Called by scripts/bench after the build.

With --smoke every figure runs once with tiny iteration counts, only to prove
that it still works: our program gets one repetition and a tiny minimum time,
both commands get CORVANE_BENCH_SMOKE=1 in their environment (references and
wrappers cut their own counts), targets are not judged, and any figure that
fails or prints no BENCH line makes the run fail."""
import argparse
import json
import math
import os
import shlex
import subprocess
import sys
from pathlib import Path

DEFAULT_REPETITIONS = 10
SMOKE_ENVIRONMENT = "CORVANE_BENCH_SMOKE"
# Google Benchmark 1.7 reads a plain number of seconds.
SMOKE_FLAGS = ["--benchmark_repetitions=1", "--benchmark_min_time=0.001"]
TIME_UNITS = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}


class FigureError(Exception):
    pass


def read_figures(path):
    figures = []
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        if not line.strip() or line.startswith("#"):
            continue
        fields = line.split("\t")
        if len(fields) not in (4, 5, 6) or fields[3] not in TIME_UNITS or fields[5:] not in ([], ["slow"]):
            raise SystemExit("%s:%d: expected name, ours, reference, unit (%s)[, target[, slow]]"
                             % (path, number, "|".join(TIME_UNITS)))
        figures.append({
            "name": fields[0], "ours": fields[1], "ref": fields[2], "unit": fields[3],
            "target": float(fields[4]) if len(fields) >= 5 and fields[4] else None,
            "slow": fields[5:] == ["slow"],
        })
    return figures


def significant(value):
    """Three significant digits, no exponent: 1234.5 -> 1235, 0.012345 -> 0.0123."""
    if value == 0 or not math.isfinite(value):
        return "%g" % value
    decimals = max(0, 2 - math.floor(math.log10(abs(value))))
    return "%.*f" % (decimals, value)


def expand(command, places):
    return [part.format(**places) for part in shlex.split(command)]


def run(argv, what, smoke):
    environment = dict(os.environ, **({SMOKE_ENVIRONMENT: "1"} if smoke else {}))
    try:
        done = subprocess.run(argv, capture_output=True, text=True, timeout=120 if smoke else 1800, env=environment)
    except (OSError, subprocess.TimeoutExpired) as error:
        raise FigureError("%s: %s" % (what, error))
    if done.returncode != 0:
        raise FigureError("%s exited with %d: %s" % (what, done.returncode, done.stderr.strip()[-2000:]))
    return done.stdout


def run_ours(figure, places, smoke):
    argv = expand(figure["ours"], places)
    if smoke:
        argv = [arg for arg in argv if not arg.startswith(("--benchmark_repetitions", "--benchmark_min_time"))]
        argv += SMOKE_FLAGS
    elif not any(arg.startswith("--benchmark_repetitions") for arg in argv):
        argv.append("--benchmark_repetitions=%d" % DEFAULT_REPETITIONS)
    argv += ["--benchmark_format=json", "--benchmark_report_aggregates_only=false"]
    output = run(argv, "%s (ours)" % figure["name"], smoke)
    try:
        report = json.loads(output)
    except ValueError as error:
        raise FigureError("%s (ours): output is not JSON: %s" % (figure["name"], error))
    runs = report.get("benchmarks", [])
    errors = [r.get("error_message", "") for r in runs if r.get("error_occurred")]
    if errors:
        raise FigureError("%s (ours): %s" % (figure["name"], errors[0]))
    scale = TIME_UNITS[figure["unit"]]

    def in_unit(entry):
        return entry["real_time"] * TIME_UNITS[entry["time_unit"]] / scale

    singles = [r for r in runs if r.get("run_type") == "iteration"]
    medians = [r for r in runs if r.get("run_type") == "aggregate" and r.get("aggregate_name") == "median"]
    names = {r["run_name"] for r in singles}
    if len(names) != 1:
        raise FigureError("%s (ours): the filter must select one benchmark, got %s"
                          % (figure["name"], sorted(names) or "none"))
    if medians:
        median = in_unit(medians[0])
    else:
        median = sorted(in_unit(r) for r in singles)[len(singles) // 2]
    info = ["median %s%s over %d repetitions" % (significant(median), figure["unit"], len(singles)),
            "min %s%s" % (significant(min(in_unit(r) for r in singles)), figure["unit"])]
    # CPU time of the benchmark's thread: where waits (fsync, a child process)
    # dominate wall time, this shows the work that is ours.
    cpu = sorted(r["cpu_time"] * TIME_UNITS[r["time_unit"]] / scale for r in singles)
    info.append("cpu %s%s" % (significant(cpu[len(cpu) // 2]), figure["unit"]))
    # Programs may time each operation and report its p99 in seconds.
    p99s = sorted(r["p99_seconds"] for r in singles if "p99_seconds" in r)
    if p99s:
        info.append("p99 %s%s" % (significant(p99s[len(p99s) // 2] / scale), figure["unit"]))
    return median, "INFO %s ours %s" % (figure["name"], ", ".join(info))


def run_reference(figure, places, smoke):
    output = run(expand(figure["ref"], places), "%s (reference)" % figure["name"], smoke)
    result = None
    info = []
    for line in output.splitlines():
        if line.startswith("RESULT "):
            result = float(line.split()[1])
        elif line.startswith("INFO"):
            info.append(line)
    if result is None or not math.isfinite(result) or result <= 0:
        raise FigureError("%s (reference): no RESULT line" % figure["name"])
    return result, info


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", required=True, type=Path)
    parser.add_argument("--smoke", action="store_true", help="every figure once, tiny counts; fail on any error")
    parser.add_argument("names", nargs="*")
    args = parser.parse_args()
    source = Path(__file__).resolve().parent.parent
    figures = read_figures(source / "bench" / "figures.tsv")
    known = {f["name"] for f in figures}
    unknown = [n for n in args.names if n not in known]
    if unknown:
        raise SystemExit("unknown figure(s): %s (known: %s)" % (", ".join(unknown), ", ".join(sorted(known))))
    if args.names:
        figures = [f for f in figures if f["name"] in args.names]
    places = {"bin": str(args.build.resolve() / "bin"), "src": str(source), "python": "/usr/bin/python3"}

    failed = False
    for figure in figures:
        if args.smoke and figure["slow"]:
            print("SKIP %s slow: minutes of waiting, measured only outside smoke mode" % figure["name"], flush=True)
            continue
        try:
            ours, ours_info = run_ours(figure, places, args.smoke)
            ref, ref_info = run_reference(figure, places, args.smoke)
        except FigureError as error:
            print("FAIL %s %s" % (figure["name"], error), flush=True)
            failed = True
            continue
        unit = figure["unit"]
        speedup = ref / ours
        print("BENCH %s ours=%s%s ref=%s%s speedup=%s"
              % (figure["name"], significant(ours), unit, significant(ref), unit, significant(speedup)))
        print(ours_info)
        for line in ref_info:
            print(line)
        if figure["target"] is not None and not args.smoke:
            verdict = "met" if speedup >= figure["target"] else "MISSED"
            print("INFO %s target speedup>=%g %s" % (figure["name"], figure["target"], verdict))
        sys.stdout.flush()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
