"""Starting and stopping corvane: the command line's answers and exit statuses, and an orderly end on SIGTERM or
SIGINT that leaves no bridge behind and the files whole and private."""
import signal
import subprocess
import unittest

import harness

NODE = 305419896


class ShutdownTest(harness.CorvaneTestCase):

    def stop_and_check_files(self, guard, signal_number):
        """Runs until armed with both stores written, stops while the script still plays, checks the files."""
        ride = harness.Ride(NODE)
        corvane = self.start_corvane(["--guard", guard, "--mark"], script=ride.script([40]) + [
            harness.message_line(1, 500, NODE, "parked", harness.START), "sleep 60000"])
        corvane.wait_for("Guard: Armed · 40 m from parked position")
        box = self.sandbox
        harness.wait_until(lambda: box.messages_file.exists() and box.positions_file.exists(), 5.0, "both stores")
        self.assertEqual(len(corvane.bridge_pids), 1, "one bridge child")
        self.stop_in_order(corvane, signal_number)

        self.assertEqual(box.read_json(box.positions_file), ride.fixes)
        self.assertEqual([m["text"] for m in box.read_json(box.messages_file)], ["parked"])
        defaults = box.defaults()
        self.assertEqual((defaults["guardedNode"], defaults["serialPort"]), (NODE, box.port))
        self.assertEqual(box.parked_position()["id"], ride.fixes[0]["id"])
        self.assert_private(box.app_data, box.positions_file, box.messages_file, box.defaults_file.parent,
                            box.defaults_file)
        # Atomic replacement leaves no temporary files beside them.
        self.assertEqual(sorted(p.name for p in box.app_data.iterdir()), ["messages.json", "positions.json"])
        self.assertEqual([p.name for p in box.defaults_file.parent.iterdir()], ["defaults.json"])
        # One connection for the whole run: nothing failed on the way.
        self.assertEqual(len(box.connect_requests()), 1)

    def test_sigterm_stops_in_order(self):
        self.stop_and_check_files(str(NODE), signal.SIGTERM)

    def test_sigint_stops_in_order_and_keeps_settings_written_last(self):
        self.stop_and_check_files("!12345678", signal.SIGINT)


class CommandLineTest(harness.CorvaneTestCase):
    with_bus = False

    def run_corvane(self, *arguments):
        return subprocess.run([str(harness.BIN / "corvane")] + list(arguments), capture_output=True, text=True,
                              env=self.sandbox.environment(harness.NO_BUS), timeout=10)

    def test_bad_options_exit_2_with_usage(self):
        for arguments, reason in ((["--bogus"], "unknown option: --bogus"),
                                  (["--headless", "--guard", "xyz"], "not a node number: xyz"),
                                  (["--guard", "xyz"], "not a node number: xyz"),
                                  (["--headless", "--guard", "!1234"], "not a node number: !1234"),
                                  (["--headless", "--guard", "4294967296"], "not a node number: 4294967296"),
                                  (["--headless", "--guard"], "--guard needs a node number")):
            with self.subTest(arguments=arguments):
                done = self.run_corvane(*arguments)
                self.assertEqual((done.returncode, done.stdout), (2, ""), done.stderr)
                self.assertIn(reason, done.stderr)
                self.assertIn("Usage: corvane --headless", done.stderr)
        # Nothing was started or written by a refused command line.
        self.assertFalse(self.sandbox.app_data.exists() or self.sandbox.defaults_file.exists())

    def test_help_and_version_exit_0(self):
        done = self.run_corvane("--help")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertTrue(done.stdout.startswith("Usage: corvane --headless [--guard NODE] [--mark] [--send TEXT] [--demo]\n"))
        self.assertIn("HALVO_MESHTASTIC_BRIDGE_PATH", done.stdout)
        done = self.run_corvane("--version")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertRegex(done.stdout, r"^corvane \d+\.\d+\.\d+\n$")


if __name__ == "__main__":
    unittest.main()
