"""Incoming text messages: a packet the mesh delivers twice is announced and
stored once; the same packet number from another sender is a new message."""
import sys
import time
import unittest
from datetime import datetime, timezone
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402

ANNA = 0x0A11CE01
BERT = 0x0B0B0B02
SENT = datetime(2026, 3, 1, 9, 31, 12, tzinfo=timezone.utc)


class MessagesTest(harness.CorvaneTestCase):

    def test_duplicate_delivery_is_notified_and_stored_once(self):
        text = "Bike shed door is open / back soon"
        self.sandbox.write_script([
            harness.node_line(ANNA, "Anna's Handheld", "AH", SENT),
            harness.message_line(1, 77, ANNA, text, SENT),
            "sleep 100",
            # The mesh's repeat: a fresh record id, the same packet and sender.
            harness.message_line(2, 77, ANNA, text, SENT),
            "sleep 100",
            # Same packet number from a node not in the index: a new message.
            harness.message_line(3, 77, BERT, "Heading out", SENT),
            "sleep 100",
            # One of our own, echoed by the bridge: stored, never announced.
            harness.message_line(4, 78, ANNA, "On my way", SENT, outgoing=True),
        ])
        corvane = self.start_corvane([])
        corvane.wait_for("Notification: !0b0b0b02 — Heading out")
        expected = [harness.upper_uuid(n) for n in (1, 3, 4)]
        harness.wait_until(
            lambda: self.sandbox.messages_file.exists()
            and [m["id"] for m in self.sandbox.read_json(self.sandbox.messages_file)] == expected,
            5.0, "messages.json to hold three messages")
        time.sleep(0.3)

        self.assertEqual(corvane.count("Notification: Anna's Handheld — " + text), 1, corvane.output())
        self.assertEqual(sum(t.startswith("Notification:") for t in corvane.texts()), 2, corvane.output())
        calls = self.bus.notify_calls()
        self.assertEqual([(c["summary"], c["body"]) for c in calls],
                         [("Anna's Handheld", text), ("!0b0b0b02", "Heading out")])
        first = calls[0]
        self.assertEqual(int(first["hints"]["urgency"]), 1)
        self.assertEqual(str(first["hints"]["sound-name"]), "message-new-instant")
        self.assertEqual(str(first["hints"]["x-corvane-identifier"]), "message-" + harness.upper_uuid(1))

        stored = self.sandbox.read_json(self.sandbox.messages_file)
        self.assertEqual(stored[0], {"id": harness.upper_uuid(1), "packetID": 77, "sender": ANNA,
                                     "recipient": 4294967295, "channel": 0, "text": text,
                                     "timestamp": "2026-03-01T09:31:12Z", "isOutgoing": False})
        self.assertTrue(stored[2]["isOutgoing"])
        # "/" is escaped the way the file format writes it.
        self.assertIn("open \\/ back", self.sandbox.messages_file.read_text())
        self.assert_private(self.sandbox.app_data, self.sandbox.messages_file)
        self.stop_in_order(corvane)
        self.assertEqual(len(self.sandbox.read_json(self.sandbox.messages_file)), 3)


if __name__ == "__main__":
    unittest.main()
