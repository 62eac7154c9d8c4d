"""Starting and stopping corvane: the command line's answers and exit
statuses, and an orderly end on SIGTERM or SIGINT that leaves no bridge
behind and the files whole and private."""
import json
import signal
import subprocess
import sys
import unittest
from datetime import datetime, timezone
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402

NODE = 305419896
HEARD = datetime(2026, 3, 1, 9, 30, tzinfo=timezone.utc)


class ShutdownTest(harness.CorvaneTestCase):

    def run_until_connected(self, arguments):
        ride = harness.Ride(NODE)
        self.sandbox.write_script(ride.script([40]) + [
            harness.message_line(1, 500, NODE, "parked", HEARD),
            "sleep 60000",  # still playing when the signal comes
        ])
        corvane = self.start_corvane(arguments)
        corvane.wait_for("Guard: Armed · 40 m from parked position")
        harness.wait_until(lambda: self.sandbox.messages_file.exists() and self.sandbox.positions_file.exists(),
                           5.0, "both stores to be written")
        return ride, corvane

    def assert_files_intact(self, ride):
        positions = self.sandbox.read_json(self.sandbox.positions_file)
        self.assertEqual([p["id"] for p in positions], [f["id"] for f in ride.fixes])
        messages = self.sandbox.read_json(self.sandbox.messages_file)
        self.assertEqual([m["text"] for m in messages], ["parked"])
        defaults = self.sandbox.defaults()
        self.assertEqual(defaults["guardedNode"], NODE)
        self.assertEqual(self.sandbox.parked_position()["id"], ride.fixes[0]["id"])
        self.assert_private(self.sandbox.app_data, self.sandbox.positions_file, self.sandbox.messages_file,
                            self.sandbox.defaults_file.parent, self.sandbox.defaults_file)
        # Atomic replacement leaves no temporary files beside them.
        self.assertEqual(sorted(p.name for p in self.sandbox.app_data.iterdir()),
                         ["messages.json", "positions.json"])
        self.assertEqual([p.name for p in self.sandbox.defaults_file.parent.iterdir()], ["defaults.json"])

    def test_sigterm_stops_in_order(self):
        ride, corvane = self.run_until_connected(["--guard", str(NODE), "--mark"])
        self.assertEqual(len(corvane.bridge_pids), 1, "one bridge child")
        self.stop_in_order(corvane, signal.SIGTERM)
        self.assert_files_intact(ride)
        # One connection for the whole run: nothing failed on the way.
        self.assertEqual(len(self.sandbox.connect_requests()), 1)

    def test_sigint_stops_in_order_and_keeps_settings_written_last(self):
        ride, corvane = self.run_until_connected(["--guard", "!12345678", "--mark"])
        self.stop_in_order(corvane, signal.SIGINT)
        self.assert_files_intact(ride)
        self.assertEqual(self.sandbox.defaults()["serialPort"], self.sandbox.port)


class CommandLineTest(harness.CorvaneTestCase):
    with_bus = False

    def run_corvane(self, *arguments):
        env = self.sandbox.environment("unix:path=/nonexistent", "", self.bin)
        return subprocess.run([str(self.bin / "corvane")] + list(arguments), env=env,
                              capture_output=True, text=True, timeout=10)

    def test_bad_options_exit_2_with_usage(self):
        for arguments, reason in ((["--bogus"], "unknown option: --bogus"),
                                  (["--headless", "--guard", "xyz"], "not a node number: xyz"),
                                  (["--guard", "xyz"], "not a node number: xyz"),
                                  (["--headless", "--guard", "!1234"], "not a node number: !1234"),
                                  (["--headless", "--guard", "4294967296"], "not a node number: 4294967296"),
                                  (["--headless", "--guard"], "--guard needs a node number")):
            with self.subTest(arguments=arguments):
                done = self.run_corvane(*arguments)
                self.assertEqual(done.returncode, 2, done.stderr)
                self.assertIn(reason, done.stderr)
                self.assertIn("Usage: corvane --headless", done.stderr)
                self.assertEqual(done.stdout, "")
        # Nothing was started or written by a refused command line.
        self.assertFalse(self.sandbox.app_data.exists())
        self.assertFalse(self.sandbox.defaults_file.exists())

    def test_help_and_version_exit_0(self):
        done = self.run_corvane("--help")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertTrue(done.stdout.startswith("Usage: corvane --headless [--guard NODE] [--mark] [--demo]\n"))
        self.assertIn("HALVO_MESHTASTIC_BRIDGE_PATH", done.stdout)
        done = self.run_corvane("--version")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertRegex(done.stdout, r"^corvane \d+\.\d+\.\d+\n$")


if __name__ == "__main__":
    unittest.main()
