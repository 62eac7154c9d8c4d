# SPDX-License-Identifier: GPL-3.0-or-later
"""Starting and stopping corvane: the command line's answers and exit statuses, and an orderly end on SIGINT (the
other end-to-end tests stop with SIGTERM), SIGHUP or a closed standard output that leaves no bridge behind and the
files whole and private; a crash takes the bridge along; the demo ends itself."""
import os
import re
import signal
import subprocess
import time
import unittest

import harness

NODE = 305419896


class ShutdownTest(harness.CorvaneTestCase):
    # A daemon may well run where no desktop session is: the message's
    # notification then goes nowhere and nothing else changes.
    with_bus = False

    def test_sigint_without_a_session_bus_stops_in_order_with_the_files_whole(self):
        ride = harness.Ride(NODE)
        corvane = self.start_corvane(["--guard", "!12345678", "--mark"], bus_address=harness.NO_BUS,
                                     script=ride.script([40]) + [
                                         harness.message_line(1, 500, NODE, "parked", harness.START), "sleep 60000"])
        corvane.wait_for("Guard: Armed · 40 m from parked position")
        corvane.wait_for("Notification: Guarded Tracker — parked")
        box = self.sandbox
        harness.wait_until(lambda: box.messages_file.exists() and box.positions_file.exists(), 5.0, "both stores")
        self.assertEqual(len(corvane.bridge_pids), 1, "one bridge child")
        self.stop_in_order(corvane, signal.SIGINT)

        self.assertEqual(box.read_json(box.positions_file), ride.fixes)
        self.assertEqual([m["text"] for m in box.read_json(box.messages_file)], ["parked"])
        defaults = box.defaults()
        self.assertEqual((defaults["guardedNode"], defaults["serialPort"]), (NODE, box.port))
        self.assertEqual(box.parked_position()["id"], ride.fixes[0]["id"])
        self.assert_private(box.app_data, box.positions_file, box.messages_file, box.defaults_file.parent,
                            box.defaults_file)
        # Atomic replacement leaves no temporary files beside them; the spare a store writes through is as private.
        names = sorted(p.name for p in box.app_data.iterdir())
        self.assertEqual([n for n in names if not n.endswith(".spare")], ["messages.json", "positions.json"])
        self.assert_private(*(box.app_data / n for n in names))
        self.assertEqual([p.name for p in box.defaults_file.parent.iterdir()], ["defaults.json"])
        # One connection for the whole run: nothing failed on the way.
        self.assertEqual(len(box.connect_requests()), 1)


class SignalTest(harness.CorvaneTestCase):

    def test_sighup_stops_in_order(self):
        corvane = self.start_corvane([], script=["sleep 60000"])
        corvane.wait_for("Connection: Connected (%s)" % self.sandbox.port)
        self.stop_in_order(corvane, signal.SIGHUP)

    def test_a_crash_takes_the_bridge_along(self):
        corvane = self.start_corvane([], script=["sleep 60000"])
        corvane.wait_for("Connection: Connected (%s)" % self.sandbox.port)
        self.assertEqual(len(corvane.bridge_pids), 1)
        corvane.process.kill()
        corvane.process.wait(timeout=5)
        for pid in corvane.bridge_pids:
            harness.wait_until(lambda: not harness.is_running(pid), 1.0, "bridge child %d to be gone" % pid)

    def test_closed_output_ends_in_order(self):
        # A node heard half a second in: a line written after the reader has gone, whatever it had read ahead.
        self.sandbox.script.write_text("\n".join(
            ["sleep 500", harness.node_line(0x2A, "Harbour Relay", "HR", harness.START), "sleep 60000"]) + "\n")
        sim = "--script '%s' --log '%s'" % (self.sandbox.script, self.sandbox.bridge_log)
        process = subprocess.Popen([str(harness.BIN / "corvane"), "--headless"], stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL, env=self.sandbox.environment(self.bus.address, sim))
        self.addCleanup(harness.stop_process, process)
        for _ in range(3):
            process.stdout.readline()
        process.stdout.close()  # as `| head -3` does
        self.assertEqual(process.wait(timeout=5), 0)
        self.assertEqual(self.sandbox.defaults().get("serialPort"), self.sandbox.port, "settings written in order")


class DemoTest(harness.CorvaneTestCase):
    with_bus = False

    def test_demo_ends_itself_after_its_seconds_and_removes_its_folder(self):
        env = dict(self.sandbox.environment(harness.NO_BUS), CORVANE_DEMO_SECONDS="2", TMPDIR=str(self.sandbox.root))
        started = time.monotonic()
        done = subprocess.run([str(harness.BIN / "corvane"), "--headless", "--demo"], capture_output=True, text=True,
                              env=env, timeout=15)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertLess(time.monotonic() - started, 6.0)
        lines = done.stdout.splitlines()
        self.assertEqual(lines[-1][9:], "Stopping…")
        folder = re.search(r"Demo: data and settings in (\S+) ", done.stdout).group(1)
        self.assertTrue(folder.startswith(str(self.sandbox.root)), folder)
        self.assertFalse(os.path.exists(folder))


class CommandLineTest(harness.CorvaneTestCase):
    with_bus = False

    def run_corvane(self, *arguments):
        return subprocess.run([str(harness.BIN / "corvane")] + list(arguments), capture_output=True, text=True,
                              env=self.sandbox.environment(harness.NO_BUS), timeout=10)

    def test_command_line_answers_and_exit_statuses(self):
        # The parser's cases and texts are unit-tested; here: the statuses, the streams and nothing started.
        done = self.run_corvane("--headless", "--guard", "xyz")
        self.assertEqual((done.returncode, done.stdout), (2, ""), done.stderr)
        self.assertIn("not a node number: xyz", done.stderr)
        self.assertFalse(self.sandbox.app_data.exists() or self.sandbox.defaults_file.exists())
        for answered in ("--help", "--version"):
            done = self.run_corvane(answered)
            self.assertEqual((done.returncode, done.stderr, bool(done.stdout)), (0, "", True), answered)


if __name__ == "__main__":
    unittest.main()
