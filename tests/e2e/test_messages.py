# SPDX-License-Identifier: GPL-3.0-or-later
"""Incoming text messages: a packet the mesh delivers twice is announced and
stored once; the same packet number from another sender is a new message."""
import time
import unittest

import harness

ANNA = 0x0A11CE01
BERT = 0x0B0B0B02
TEXT = "Bike shed door is open / back soon"


class MessagesTest(harness.CorvaneTestCase):

    def test_duplicate_delivery_is_notified_and_stored_once(self):
        sent = harness.START.replace(minute=31, second=12)
        corvane = self.start_corvane([], script=[
            harness.node_line(ANNA, "Anna's Handheld", "AH", sent),
            harness.message_line(1, 77, ANNA, TEXT, sent), "sleep 100",
            # The mesh's repeat: a fresh record id, the same packet and sender.
            harness.message_line(2, 77, ANNA, TEXT, sent), "sleep 100",
            # Same packet number from a node not in the index: a new message.
            harness.message_line(3, 77, BERT, "Heading out", sent), "sleep 100",
            # One of our own, echoed by the bridge: stored, never announced.
            harness.message_line(4, 78, ANNA, "On my way", sent, outgoing=True),
        ])
        corvane.wait_for("Notification: !0b0b0b02 — Heading out")
        messages = self.sandbox.messages_file
        harness.wait_until(lambda: messages.exists() and [m["id"] for m in self.sandbox.read_json(messages)]
                           == [harness.upper_uuid(n) for n in (1, 3, 4)], 5.0, "messages.json to hold three messages")
        harness.wait_until(lambda: len(self.bus.notify_calls()) >= 2, 5, "both messages on the desktop")
        time.sleep(0.3)  # room for a third, which must not come

        self.assertEqual([t for t in corvane.texts() if t.startswith("Notification:")],
                         ["Notification: Anna's Handheld — " + TEXT, "Notification: !0b0b0b02 — Heading out"])
        calls = self.bus.notify_calls()
        self.assertEqual([(c["summary"], c["body"]) for c in calls],
                         [("Anna's Handheld", TEXT), ("!0b0b0b02", "Heading out")])
        stored = self.sandbox.read_json(messages)
        self.assertEqual(stored[0], {"id": harness.upper_uuid(1), "packetID": 77, "sender": ANNA,
                                     "recipient": 4294967295, "channel": 0, "text": TEXT,
                                     "timestamp": "2026-03-01T09:31:12Z", "isOutgoing": False})
        self.assertTrue(stored[2]["isOutgoing"])
        # "/" is escaped the way the file format writes it.
        self.assertIn("open \\/ back", messages.read_text())
        self.assert_private(self.sandbox.app_data, messages)
        self.stop_in_order(corvane)
        self.assertEqual(len(self.sandbox.read_json(messages)), 3)


if __name__ == "__main__":
    unittest.main()
