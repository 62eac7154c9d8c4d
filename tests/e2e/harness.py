"""What the end-to-end tests of `corvane --headless` stand on: a private
session bus with python3-dbusmock's notification server, a sandbox of
temporary user folders with one fake serial device, bridge scripts for
corvane-bridge-sim, and a running corvane whose printed lines are collected
with their arrival times.

Every process is started here and ended here by its own pid; nothing else on
the machine is touched. Waits poll against deadlines and fail with what was
seen so far, so a hung program costs seconds, not the ctest time-out.
"""
import base64
import json
import os
import shutil
import signal
import subprocess
import tempfile
import threading
import time
import unittest
from datetime import datetime, timedelta, timezone
from pathlib import Path

PYTHON = "/usr/bin/python3"
NOTIFICATIONS_PATH = "/org/freedesktop/Notifications"
NOTIFICATIONS_NAME = "org.freedesktop.Notifications"
MOCK_INTERFACE = "org.freedesktop.DBus.Mock"
EARTH_RADIUS_METERS = 6371000.0
REFERENCE_2001 = datetime(2001, 1, 1, tzinfo=timezone.utc)

BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <keep_umask/>
  <listen>unix:path={socket}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
    <allow user="*"/>
  </policy>
</busconfig>
"""


def build_bin():
    folder = os.environ.get("CORVANE_BUILD_BIN")
    if not folder:
        folder = str(Path(__file__).resolve().parents[2] / "build" / "bin")
    return Path(folder)


def wait_until(predicate, timeout, what, describe=lambda: ""):
    """Polls `predicate` until it returns something true; fails after `timeout` s."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise AssertionError("timed out after %.1f s waiting for %s%s" % (timeout, what, describe()))
        time.sleep(0.02)


def stop_process(process, grace=2.0):
    """Ends a Popen we started: SIGTERM, then SIGKILL after `grace` seconds."""
    if process is None or process.poll() is not None:
        return
    process.terminate()
    try:
        process.wait(timeout=grace)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait(timeout=5)


def process_state(pid):
    """The one-letter state of a live process, or None when it is gone."""
    try:
        text = Path("/proc/%d/stat" % pid).read_text()
    except OSError:
        return None
    return text[text.rindex(")") + 2]


def is_running(pid):
    state = process_state(pid)
    return state is not None and state not in ("Z", "X")


def children_of(pid):
    """Pids of the live processes whose parent is `pid`."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            text = Path("/proc/%s/stat" % entry).read_text()
        except OSError:
            continue
        fields = text[text.rindex(")") + 2:].split()
        if int(fields[1]) == pid and fields[0] not in ("Z", "X"):
            found.append(int(entry))
    return found


# MARK: Bridge script lines

def iso(moment):
    return moment.astimezone(timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")


def upper_uuid(number):
    """A fixed, readable upper-case UUID per number, so runs are repeatable."""
    return "00000000-0000-4000-8000-%012X" % number


def north_of(latitude, meters):
    """The latitude `meters` due north, on the sphere the app measures with."""
    import math
    return latitude + math.degrees(meters / EARTH_RADIUS_METERS)


def position(number, node, latitude, longitude, timestamp):
    return {"id": upper_uuid(number), "nodeNumber": node, "latitude": latitude,
            "longitude": longitude, "timestamp": iso(timestamp)}


def node_line(node, long_name, short_name, timestamp, fix=None, hops=0):
    record = {"number": node, "longName": long_name, "shortName": short_name, "hardware": "TBEAM",
              "hopsAway": hops, "lastSeen": iso(timestamp)}
    if fix is not None:
        record["position"] = fix
    return json.dumps({"protocolVersion": 1, "event": "node", "node": record})


def message_line(record_number, packet, sender, text, timestamp, outgoing=False):
    message = {"id": upper_uuid(record_number), "packetID": packet, "sender": sender,
               "recipient": 4294967295, "channel": 0, "text": text, "timestamp": iso(timestamp),
               "isOutgoing": outgoing}
    return json.dumps({"protocolVersion": 1, "event": "message", "message": message})


class Ride:
    """A guarded node parked at a spot, then riding due north: one script line
    per fix, each with a new record id and a later timestamp."""

    SPOT = (55.675680, 12.569920)
    START = datetime(2026, 3, 1, 9, 30, tzinfo=timezone.utc)

    def __init__(self, node, long_name="Guarded Tracker", short_name="GT"):
        self.node = node
        self.long_name = long_name
        self.short_name = short_name
        self.fixes = []

    def fix(self, meters):
        """The next fix, `meters` north of the spot (0.4 m added so the whole
        number shown is not at the mercy of rounding)."""
        index = len(self.fixes)
        latitude = north_of(self.SPOT[0], meters + 0.4) if meters else self.SPOT[0]
        timestamp = self.START + timedelta(seconds=30 * index)
        record = position(0x100 + index, self.node, latitude, self.SPOT[1], timestamp)
        self.fixes.append(record)
        return node_line(self.node, self.long_name, self.short_name, timestamp, record)

    def script(self, distances, settle_ms=400, step_ms=150):
        """The spot first, a pause long enough for --mark to act on it, then
        one line per distance."""
        steps = [self.fix(0), "sleep %d" % settle_ms]
        for meters in distances:
            steps += [self.fix(meters), "sleep %d" % step_ms]
        return steps


def seconds_since_2001(iso_text):
    moment = datetime.strptime(iso_text, "%Y-%m-%dT%H:%M:%SZ").replace(tzinfo=timezone.utc)
    return (moment - REFERENCE_2001).total_seconds()


# MARK: Processes

class SessionBus:
    """A private dbus-daemon with dbusmock's notification_daemon template on it."""

    def __init__(self, folder):
        self.folder = Path(folder)
        self.daemon = None
        self.mock = None
        self.address = None
        self._connection = None

    def start(self, timeout=5.0):
        import dbus  # python3-dbus, installed by scripts/install-deps
        socket = self.folder / "session.sock"
        config = self.folder / "session.conf"
        config.write_text(BUS_CONFIG.format(socket=socket))
        self.daemon = subprocess.Popen(
            ["dbus-daemon", "--config-file=%s" % config, "--nofork", "--nopidfile", "--print-address=1"],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        line = self.daemon.stdout.readline().strip()
        if not line.startswith("unix:"):
            raise AssertionError("dbus-daemon did not start: %s" % self.daemon.stderr.read())
        self.address = line
        env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=self.address)
        self.mock = subprocess.Popen(
            [PYTHON, "-m", "dbusmock", "--template", "notification_daemon",
             "-l", str(self.folder / "notification-mock.log")],
            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self._connection = dbus.bus.BusConnection(self.address)
        wait_until(lambda: self._connection.name_has_owner(NOTIFICATIONS_NAME), timeout,
                   "the notification mock to own its name")
        return self

    def stop(self):
        if self._connection is not None:
            self._connection.close()
            self._connection = None
        stop_process(self.mock)
        stop_process(self.daemon)
        if self.daemon is not None:
            self.daemon.stdout.close()
            self.daemon.stderr.close()

    def mock_object(self):
        return self._connection.get_object(NOTIFICATIONS_NAME, NOTIFICATIONS_PATH)

    def notify_calls(self):
        """Each Notify call as a dict: app, replaces, summary, body, hints, timeout."""
        calls = self.mock_object().GetMethodCalls("Notify", dbus_interface=MOCK_INTERFACE)
        result = []
        for _stamp, args in calls:
            hints = {str(key): value for key, value in args[6].items()}
            result.append({"app": str(args[0]), "replaces": int(args[1]), "summary": str(args[3]),
                           "body": str(args[4]), "hints": hints, "timeout": int(args[7])})
        return result

    def wait_for_notify_count(self, count, timeout=5.0):
        return wait_until(lambda: len(self.notify_calls()) >= count, timeout,
                          "%d Notify call(s)" % count, lambda: ": got %r" % self.notify_calls())


class Sandbox:
    """Temporary HOME, XDG_DATA_HOME, XDG_CONFIG_HOME and device folder (with
    an empty "ttyACM0"), plus the bridge stand-in's script and request log."""

    def __init__(self):
        self.root = Path(tempfile.mkdtemp(prefix="corvane-e2e-"))
        self.home = self.root / "home"
        self.data = self.root / "data"
        self.config = self.root / "config"
        self.devices = self.root / "dev"
        for folder in (self.home, self.data, self.config, self.devices):
            folder.mkdir(mode=0o700)
        (self.devices / "ttyACM0").touch()
        self.script = self.root / "bridge-script"
        self.bridge_log = self.root / "bridge-requests.log"
        self.stamps = self.root / "bridge-stamps"

    @property
    def port(self):
        return str(self.devices / "ttyACM0")

    @property
    def app_data(self):
        return self.data / "Halvo Corvane"

    @property
    def positions_file(self):
        return self.app_data / "positions.json"

    @property
    def messages_file(self):
        return self.app_data / "messages.json"

    @property
    def defaults_file(self):
        return self.config / "Corvane" / "defaults.json"

    def write_script(self, steps):
        self.script.write_text("\n".join(steps) + "\n", encoding="utf-8")

    def read_json(self, path):
        return json.loads(Path(path).read_text(encoding="utf-8"))

    def defaults(self):
        return self.read_json(self.defaults_file) if self.defaults_file.exists() else {}

    def parked_position(self):
        """The "parkedPosition" data value, decoded from its base64 JSON."""
        text = self.defaults().get("parkedPosition")
        return None if text is None else json.loads(base64.b64decode(text))

    def bridge_requests(self):
        if not self.bridge_log.exists():
            return []
        return [json.loads(line) for line in self.bridge_log.read_text().splitlines() if line.strip()]

    def connect_requests(self):
        return [r for r in self.bridge_requests() if r.get("command") == "connect"]

    def script_stamps(self):
        """CLOCK_REALTIME seconds at which each script line was written."""
        if not self.stamps.exists():
            return []
        return [int(line) / 1e6 for line in self.stamps.read_text().split()]

    def remove(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def environment(self, bus_address, sim_args="", bin_folder=None):
        bin_folder = bin_folder or build_bin()
        env = {key: value for key, value in os.environ.items()
               if not key.startswith(("XDG_", "DBUS_", "CORVANE_BRIDGE_SIM", "HALVO_"))}
        env.update({
            "HOME": str(self.home),
            "XDG_DATA_HOME": str(self.data),
            "XDG_CONFIG_HOME": str(self.config),
            "CORVANE_DEVICE_DIR": str(self.devices),
            "HALVO_MESHTASTIC_BRIDGE_PATH": str(bin_folder / "corvane-bridge-sim"),
            "CORVANE_BRIDGE_SIM_ARGS": sim_args,
            "DBUS_SESSION_BUS_ADDRESS": bus_address,
            "LC_ALL": "C.UTF-8",
        })
        return env


class Corvane:
    """One `corvane` run. Its standard output is read on a thread; every line
    is kept with the monotonic time it arrived (the printed clock has whole
    seconds only)."""

    def __init__(self, arguments, env, bin_folder=None):
        self.binary = (bin_folder or build_bin()) / "corvane"
        self.process = subprocess.Popen([str(self.binary)] + list(arguments), env=env,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.lines = []  # (monotonic seconds, text without the "HH:MM:SS " prefix)
        self.stderr = b""
        self._lock = threading.Lock()
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()
        self._error_reader = threading.Thread(target=self._read_errors, daemon=True)
        self._error_reader.start()
        self.bridge_pids = set()

    def _read(self):
        for raw in self.process.stdout:
            arrived = time.monotonic()
            text = raw.decode("utf-8").rstrip("\n")
            with self._lock:
                self.lines.append((arrived, text))

    def _read_errors(self):
        self.stderr = self.process.stderr.read()

    def texts(self):
        """Printed lines with their clock prefix checked and removed."""
        with self._lock:
            lines = list(self.lines)
        result = []
        for _arrived, text in lines:
            stamp, _, rest = text.partition(" ")
            if len(stamp) != 8 or stamp[2] != ":" or stamp[5] != ":":
                raise AssertionError("line without a HH:MM:SS prefix: %r" % text)
            result.append(rest)
        return result

    def timed(self, text):
        """Arrival times of the lines equal to `text`."""
        with self._lock:
            return [arrived for arrived, line in self.lines if line.partition(" ")[2] == text]

    def count(self, text):
        return self.texts().count(text)

    def output(self):
        return "\n  ".join([""] + self.texts())

    def wait_for(self, text, timeout=5.0, occurrences=1):
        """Waits for `text` to have been printed `occurrences` times."""
        self.note_bridge()
        wait_until(lambda: self.count(text) >= occurrences or self._gone(), timeout,
                   "%r x%d" % (text, occurrences), lambda: "; output so far:" + self.output())
        if self.count(text) < occurrences:
            raise AssertionError("corvane exited (%s) before printing %r; output:%s; stderr: %s"
                                 % (self.process.returncode, text, self.output(), self.stderr.decode()))
        self.note_bridge()

    def _gone(self):
        self.note_bridge()
        return self.process.poll() is not None

    def note_bridge(self):
        """Remembers the bridge children seen, to check later that they ended."""
        if self.process.poll() is None:
            for pid in children_of(self.process.pid):
                try:
                    name = Path("/proc/%d/comm" % pid).read_text().strip()
                except OSError:
                    continue
                if name.startswith("corvane-bridge"):
                    self.bridge_pids.add(pid)

    def running(self):
        return self.process.poll() is None

    def signal(self, number):
        self.process.send_signal(number)

    def wait(self, timeout):
        """The exit status; fails when the process is still running after `timeout` s."""
        try:
            status = self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("corvane still running %.1f s later; output:%s" % (timeout, self.output()))
        self._reader.join(timeout=2)
        self._error_reader.join(timeout=2)
        return status

    def stop(self):
        """Test clean-up: ends the process if a test left it running."""
        stop_process(self.process)
        for stream in (self.process.stdout, self.process.stderr):
            if stream is not None:
                stream.close()


class CorvaneTestCase(unittest.TestCase):
    """Gives each test a sandbox and a private session bus with the
    notification mock, and ends whatever the test started."""

    with_bus = True

    def setUp(self):
        self.bin = build_bin()
        for name in ("corvane", "corvane-bridge-sim"):
            if not (self.bin / name).exists():
                self.fail("%s not built in %s" % (name, self.bin))
        self.sandbox = Sandbox()
        self.addCleanup(self.sandbox.remove)
        self.bus = None
        if self.with_bus:
            self.bus = SessionBus(self.sandbox.root)
            self.addCleanup(self.bus.stop)
            self.bus.start()

    def start_corvane(self, arguments, sim_args="", bus_address=None):
        if bus_address is None:
            bus_address = self.bus.address
        sim = "--script '%s' --log '%s' %s" % (self.sandbox.script, self.sandbox.bridge_log, sim_args)
        env = self.sandbox.environment(bus_address, sim, self.bin)
        corvane = Corvane(["--headless"] + list(arguments), env, self.bin)
        self.addCleanup(corvane.stop)
        return corvane

    def stop_in_order(self, corvane, signal_number=signal.SIGTERM, within=2.0):
        """Signals corvane and checks the orderly end: "Stopping…", status 0
        within `within` seconds, no bridge child left behind."""
        corvane.note_bridge()
        self.assertTrue(corvane.running(), "corvane ended early; output:" + corvane.output())
        started = time.monotonic()
        corvane.signal(signal_number)
        status = corvane.wait(timeout=within + 3)
        elapsed = time.monotonic() - started
        self.assertEqual(status, 0, "exit status; stderr: %s" % corvane.stderr.decode())
        self.assertLessEqual(elapsed, within, "took %.2f s to stop" % elapsed)
        self.assertEqual(corvane.texts()[-1], "Stopping…")
        for pid in corvane.bridge_pids:
            wait_until(lambda: not is_running(pid), 1.0, "bridge child %d to be gone" % pid)

    def assert_private(self, *paths):
        for path in paths:
            mode = os.stat(path).st_mode & 0o777
            expected = 0o700 if Path(path).is_dir() else 0o600
            self.assertEqual(mode, expected, "%s has mode %o" % (path, mode))
