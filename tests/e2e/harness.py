# SPDX-License-Identifier: GPL-3.0-or-later
"""What the end-to-end tests of `corvane --headless` stand on: a private session bus with python3-dbusmock's
notification server, a sandbox of user folders with one fake serial device, bridge scripts for corvane-bridge-sim,
and a running corvane. Every process is started and ended here by its own pid; waits poll against deadlines and
fail with what was seen so far, so a hang costs seconds, not the ctest time-out."""
import base64
import json
import math
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest
from datetime import datetime, timedelta, timezone
from pathlib import Path

NOTIFICATIONS = ("org.freedesktop.Notifications", "/org/freedesktop/Notifications")
BUS_CONFIG = """<busconfig><type>session</type><keep_umask/><listen>unix:path={socket}</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/>
<allow user="*"/></policy></busconfig>"""
NO_BUS = "unix:path=/nonexistent"
BIN = Path(os.environ.get("CORVANE_BUILD_BIN") or Path(__file__).resolve().parents[2] / "build" / "bin")
START = datetime(2026, 3, 1, 9, 30, tzinfo=timezone.utc)


def wait_until(predicate, timeout, what, describe=lambda: ""):
    """Polls `predicate` until it returns something true; fails after `timeout` s."""
    deadline = time.monotonic() + timeout
    while not (value := predicate()):
        if time.monotonic() >= deadline:
            raise AssertionError("timed out after %.1f s waiting for %s%s" % (timeout, what, describe()))
        time.sleep(0.02)
    return value


def stop_process(process):
    """Ends a Popen we started: SIGTERM, then SIGKILL after two seconds."""
    if process is not None and process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=2)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait(timeout=5)


def stat_fields(pid):
    """[command name, state, parent pid, ...] from /proc/PID/stat for a live process, else None."""
    try:
        text = Path("/proc/%s/stat" % pid).read_text()
    except OSError:
        return None
    fields = text[text.rindex(")") + 2:].split()
    return None if fields[0] in ("Z", "X") else [text[text.index("(") + 1:text.rindex(")")]] + fields


def is_running(pid):
    return stat_fields(pid) is not None


def iso(moment):
    return moment.astimezone(timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")


def upper_uuid(number):
    """A fixed, readable upper-case UUID per number, so runs are repeatable."""
    return "00000000-0000-4000-8000-%012X" % number


def node_line(node, long_name, short_name, timestamp, fix=None, hops=0):
    record = {"number": node, "longName": long_name, "shortName": short_name, "hardware": "TBEAM",
              "hopsAway": hops, "lastSeen": iso(timestamp), **({"position": fix} if fix else {})}
    return json.dumps({"protocolVersion": 1, "event": "node", "node": record})


def message_line(record_number, packet, sender, text, timestamp, outgoing=False):
    message = {"id": upper_uuid(record_number), "packetID": packet, "sender": sender, "recipient": 4294967295,
               "channel": 0, "text": text, "timestamp": iso(timestamp), "isOutgoing": outgoing}
    return json.dumps({"protocolVersion": 1, "event": "message", "message": message})


class Ride:
    """A guarded node parked at a spot, then riding due north: one line per fix, new record id, 30 s later each."""

    SPOT = (55.675680, 12.569920)

    def __init__(self, node):
        self.node, self.fixes = node, []

    def fix(self, meters):
        """The next fix, `meters` north of the spot on the app's 6371 km sphere (0.4 m added against rounding)."""
        index = len(self.fixes)
        latitude = self.SPOT[0] + (math.degrees((meters + 0.4) / 6371000.0) if meters else 0)
        timestamp = START + timedelta(seconds=30 * index)
        self.fixes.append({"id": upper_uuid(0x100 + index), "nodeNumber": self.node, "latitude": latitude,
                           "longitude": self.SPOT[1], "timestamp": iso(timestamp)})
        return node_line(self.node, "Guarded Tracker", "GT", timestamp, self.fixes[-1])

    def script(self, distances):
        """The spot, a pause long enough for --mark to act on it, then one line per distance."""
        return [self.fix(0), "sleep 400"] + [line for meters in distances for line in (self.fix(meters), "sleep 150")]


class SessionBus:
    """A private dbus-daemon with dbusmock's notification_daemon template on it (with `template` and `kind`
    "system", a private system bus with that template instead)."""

    daemon = mock = connection = None

    def __init__(self, kind="session", template="notification_daemon", name=NOTIFICATIONS[0]):
        self.kind, self.template, self.name = kind, template, name

    def start(self, folder):
        import dbus  # python3-dbus, installed by scripts/install-deps
        config = folder / ("%s.conf" % self.kind)
        config.write_text(BUS_CONFIG.format(socket=folder / ("%s.sock" % self.kind)).replace(
            "<type>session</type>", "<type>%s</type>" % self.kind))
        self.daemon = subprocess.Popen(["dbus-daemon", "--config-file=%s" % config, "--nofork", "--nopidfile",
                                        "--print-address=1"], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.address = self.daemon.stdout.readline().strip()
        if not self.address.startswith("unix:"):
            raise AssertionError("dbus-daemon did not start: %s" % self.daemon.stderr.read())
        variable = "DBUS_%s_BUS_ADDRESS" % self.kind.upper()
        self.mock = subprocess.Popen([sys.executable, "-m", "dbusmock", "--" + self.kind, "--template", self.template],
                                     env=dict(os.environ, **{variable: self.address}),
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.connection = dbus.bus.BusConnection(self.address)
        wait_until(lambda: self.connection.name_has_owner(self.name), 5.0, "the %s mock" % self.template)

    def stop(self):
        if self.connection is not None:
            self.connection.close()
        stop_process(self.mock)
        stop_process(self.daemon)
        if self.daemon is not None:
            self.daemon.stdout.close(), self.daemon.stderr.close()

    def notify_calls(self):
        """Each Notify call as a dict: app, replaces, summary, body, hints."""
        mock = self.connection.get_object(*NOTIFICATIONS)
        return [{"app": str(args[0]), "replaces": int(args[1]), "summary": str(args[3]), "body": str(args[4]),
                 "hints": {str(key): value for key, value in args[6].items()}}
                for _stamp, args in mock.GetMethodCalls("Notify", dbus_interface="org.freedesktop.DBus.Mock")]


class Sandbox:
    """Temporary HOME, XDG folders, a device folder with "ttyACM0", the bridge stand-in's script and request log."""

    def __init__(self):
        self.root = Path(tempfile.mkdtemp(prefix="corvane-e2e-"))
        self.home, self.data, self.config, self.devices = (self.root / name for name in ("home", "data", "config", "dev"))
        for folder in (self.home, self.data, self.config, self.devices):
            folder.mkdir(mode=0o700)
        (self.devices / "ttyACM0").touch()
        self.port = str(self.devices / "ttyACM0")
        self.script, self.bridge_log = self.root / "bridge-script", self.root / "bridge-requests.log"
        self.app_data = self.data / "Halvo Corvane"
        self.positions_file, self.messages_file = self.app_data / "positions.json", self.app_data / "messages.json"
        self.defaults_file = self.config / "Corvane" / "defaults.json"

    @staticmethod
    def read_json(path):
        return json.loads(Path(path).read_text(encoding="utf-8"))

    def defaults(self):
        return self.read_json(self.defaults_file) if self.defaults_file.exists() else {}

    def parked_position(self):
        """The "parkedPosition" data value, decoded from its base64 JSON."""
        return json.loads(base64.b64decode(self.defaults()["parkedPosition"]))

    def connect_requests(self):
        """The connect requests the bridge stand-in logged."""
        lines = self.bridge_log.read_text().splitlines() if self.bridge_log.exists() else []
        return [r for r in map(json.loads, filter(str.strip, lines)) if r.get("command") == "connect"]

    def environment(self, bus_address, sim_args="", system_bus_address=NO_BUS):
        env = {key: value for key, value in os.environ.items()
               if not key.startswith(("XDG_", "DBUS_", "CORVANE_BRIDGE_SIM", "HALVO_"))}
        env.update(HOME=str(self.home), XDG_DATA_HOME=str(self.data), XDG_CONFIG_HOME=str(self.config),
                   CORVANE_DEVICE_DIR=str(self.devices), HALVO_MESHTASTIC_BRIDGE_PATH=str(BIN / "corvane-bridge-sim"),
                   CORVANE_BRIDGE_SIM_ARGS=sim_args, DBUS_SESSION_BUS_ADDRESS=bus_address,
                   DBUS_SYSTEM_BUS_ADDRESS=system_bus_address, LC_ALL="C.UTF-8")
        return env


class Corvane:
    """One `corvane` run. Standard output is read on a thread, each line kept with its monotonic arrival time (the
    printed clock has whole seconds only); standard error is drained on another."""

    def __init__(self, arguments, env):
        self.process = subprocess.Popen([str(BIN / "corvane")] + arguments, env=env,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.lines, self.unstamped = [], []  # (monotonic seconds, text without the prefix); lines without one
        self.stderr, self.bridge_pids, self._lock = b"", set(), threading.Lock()
        drain = lambda: setattr(self, "stderr", self.process.stderr.read())  # noqa: E731
        self.readers = [threading.Thread(target=target, daemon=True) for target in (self._read, drain)]
        for reader in self.readers:
            reader.start()

    def _read(self):
        for raw in self.process.stdout:
            arrived, text = time.monotonic(), raw.decode("utf-8").rstrip("\n")
            stamp, _, rest = text.partition(" ")
            with self._lock:
                self.lines.append((arrived, rest))
                if len(stamp) != 8 or stamp[2] != ":" or stamp[5] != ":":
                    self.unstamped.append(text)

    def texts(self):
        """Printed lines with their checked "HH:MM:SS " prefix removed."""
        with self._lock:
            if self.unstamped:
                raise AssertionError("lines without a HH:MM:SS prefix: %r" % self.unstamped)
            return [text for _arrived, text in self.lines]

    def timed(self, text):
        with self._lock:
            return [arrived for arrived, line in self.lines if line == text]

    def output(self):
        return "\n  ".join([""] + self.texts())

    def wait_for(self, text, timeout=5.0):
        """Waits for `text` to have been printed."""
        wait_until(lambda: self.note_bridge() or text in self.texts() or not self.running(),
                   timeout, repr(text), lambda: "; output so far:" + self.output())
        if text not in self.texts():
            raise AssertionError("corvane exited (%s) before printing %r; output:%s; stderr: %s"
                                 % (self.process.returncode, text, self.output(), self.stderr.decode()))
        self.note_bridge()

    def note_bridge(self):
        """Remembers the bridge children seen, to check later that they ended."""
        for entry in os.listdir("/proc") if self.running() else []:
            fields = entry.isdigit() and stat_fields(entry)
            if fields and int(fields[2]) == self.process.pid and fields[0].startswith("corvane-bridge"):
                self.bridge_pids.add(int(entry))

    def running(self):
        return self.process.poll() is None

    def stop(self):
        """Test clean-up: ends the process if a test left it running."""
        stop_process(self.process)
        self.process.stdout.close(), self.process.stderr.close()


class CorvaneTestCase(unittest.TestCase):
    """Gives each test a sandbox and a private bus with the notification mock; ends whatever the test started."""

    with_bus = True

    def setUp(self):
        self.assertTrue(all((BIN / name).exists() for name in ("corvane", "corvane-bridge-sim")), "not built: %s" % BIN)
        self.sandbox = Sandbox()
        self.addCleanup(shutil.rmtree, self.sandbox.root, ignore_errors=True)
        self.bus = None
        if self.with_bus:
            self.bus = SessionBus()
            self.addCleanup(self.bus.stop)
            self.bus.start(self.sandbox.root)

    def start_corvane(self, arguments, sim_args="", bus_address=None, script=None, system_bus_address=NO_BUS):
        if script is not None:
            self.sandbox.script.write_text("\n".join(script) + "\n", encoding="utf-8")
        sim = "--script '%s' --log '%s' %s" % (self.sandbox.script, self.sandbox.bridge_log, sim_args)
        corvane = Corvane(["--headless"] + arguments,
                          self.sandbox.environment(bus_address or self.bus.address, sim, system_bus_address))
        self.addCleanup(corvane.stop)
        return corvane

    def stop_in_order(self, corvane, signal_number=signal.SIGTERM, within=2.0):
        """Signals corvane; checks "Stopping…", status 0 within `within` seconds and no bridge child left behind."""
        corvane.note_bridge()
        self.assertTrue(corvane.running(), "corvane ended early; output:" + corvane.output())
        started = time.monotonic()
        corvane.process.send_signal(signal_number)
        try:
            status = corvane.process.wait(timeout=within + 3)
        except subprocess.TimeoutExpired:
            self.fail("corvane still running %.1f s later; output:%s" % (within + 3, corvane.output()))
        elapsed = time.monotonic() - started
        for reader in corvane.readers:
            reader.join(timeout=2)
        self.assertEqual(status, 0, "exit status; stderr: %s" % corvane.stderr.decode())
        self.assertLessEqual(elapsed, within, "took %.2f s to stop" % elapsed)
        self.assertEqual(corvane.texts()[-1], "Stopping…")
        for pid in corvane.bridge_pids:
            wait_until(lambda: not is_running(pid), 1.0, "bridge child %d to be gone" % pid)

    def assert_private(self, *paths):
        for path in paths:
            mode = os.stat(path).st_mode & 0o777
            self.assertEqual(mode, 0o700 if Path(path).is_dir() else 0o600, "%s has mode %o" % (path, mode))

