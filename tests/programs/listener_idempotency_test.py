#!/usr/bin/env python3
"""End-to-end tests of idempotency keys: POST /v1/messages with an Idempotency-Key header against a real
vmsms-listener over HTTP, and vmsms-send --key, each in a temporary gateway directory.

usage: listener_idempotency_test.py VMSMS_LISTENER VMSMS_SEND [unittest options]
"""

import http.client
import json
import os
import signal
import subprocess
import sys
import threading
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import listener_test  # noqa: E402  (the Gateway fixture: a directory, tokens, a listener)
from listener_test import GatewayTestCase, today  # noqa: E402

SEND = None
MESSAGE = {"to": ["13900000001", "13900000002"], "text": "明天开会"}


def keyed(key):
    return {"Idempotency-Key": key}


class IdempotencyKeys(GatewayTestCase):
    def start(self, *tokens):
        for name in tokens or ("app",):
            self.gw.new_token(name)
        # Racing clients must not meet the rate limit.
        self.gw.start_listener("--rate", "1000", "--burst", "1000")

    def raw_post(self, headers, body=b'{"to": ["13900000001"], "text": "hi"}'):
        """(status, body bytes) of a POST with `headers` as given, repeated names included."""
        connection = http.client.HTTPConnection("127.0.0.1", self.gw.port, timeout=20)
        try:
            connection.putrequest("POST", "/v1/messages")
            connection.putheader("Authorization", "Bearer " + self.gw.tokens["app"])
            connection.putheader("Content-Length", str(len(body)))
            for name, value in headers:
                connection.putheader(name, value)
            connection.endheaders(body)
            response = connection.getresponse()
            return response.status, response.read()
        finally:
            connection.close()

    def test_a_repeat_answers_the_first_answer_and_queues_nothing(self):
        gw = self.gw
        self.start()
        status, first, headers = gw.post(MESSAGE, headers=keyed("order 17"))
        self.assertEqual((status, first), (201, {"day": today(), "record": 1}))
        self.assertNotIn("Idempotent-Replayed", headers)

        status, again, headers = gw.post(MESSAGE, headers=keyed("order 17"))
        self.assertEqual((status, again), (200, first))
        self.assertEqual(headers["Idempotent-Replayed"], "true")
        self.assertEqual(headers["Location"], f"/v1/messages/{today()}/1")
        self.assertEqual(gw.counter("new"), 1)

        # Without the header the same message is queued again, as it always was.
        status, other, headers = gw.post(MESSAGE)
        self.assertEqual((status, other), (201, {"day": today(), "record": 2}))
        self.assertNotIn("Idempotent-Replayed", headers)
        self.assertEqual(gw.counter("new"), 2)

    def test_another_body_under_a_key_is_a_conflict(self):
        gw = self.gw
        self.start()
        self.assertEqual(gw.post(MESSAGE, headers=keyed("k1"))[0], 201)
        others = [{"to": ["13900000001"], "text": "明天开会"},
                  {"to": ["13900000001", "13900000002"], "text": "后天开会"},
                  # The same message in other bytes is another body.
                  b'{"text": "\\u660e\\u5929\\u5f00\\u4f1a", "to": ["13900000001", "13900000002"]}']
        for body in others:
            with self.subTest(body=body):
                status, answer, _ = gw.post(body, headers=keyed("k1"))
                self.assertEqual(status, 409, answer)
                self.assertIn("another message", answer["error"])
        self.assertEqual(gw.counter("new"), 1)

    def test_a_key_outlives_a_restart_of_the_listener(self):
        gw = self.gw
        self.start()
        self.assertEqual(gw.post(MESSAGE, headers=keyed("k1"))[0], 201)
        gw.listener.send_signal(signal.SIGTERM)
        self.assertEqual(gw.listener.wait(10), 0)
        gw.start_listener()
        status, answer, headers = gw.post(MESSAGE, headers=keyed("k1"))
        self.assertEqual((status, answer), (200, {"day": today(), "record": 1}))
        self.assertEqual(headers["Idempotent-Replayed"], "true")
        self.assertEqual(gw.counter("new"), 1)

    def race(self, key, bodies):
        answers = [None] * len(bodies)

        def client(i):
            answers[i] = self.gw.post(bodies[i], headers=keyed(key))

        threads = [threading.Thread(target=client, args=(i,)) for i in range(len(bodies))]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        return answers

    def test_clients_racing_with_one_key_queue_one_record(self):
        gw = self.gw
        self.start()
        answers = self.race("same", [MESSAGE] * 8)
        self.assertEqual(sorted(status for status, _, _ in answers), [200] * 7 + [201])
        self.assertEqual({body["record"] for _, body, _ in answers}, {1})
        self.assertEqual(gw.counter("new"), 1)

        answers = self.race("other", [{"to": ["13900000001"], "text": f"第{i}条"} for i in range(8)])
        self.assertEqual(sorted(status for status, _, _ in answers), [201] + [409] * 7)
        self.assertEqual(gw.counter("new"), 2)

    def test_keys_are_per_token(self):
        gw = self.gw
        self.start("app", "crm")
        status, answer, _ = gw.post(MESSAGE, headers=keyed("k1"), token=gw.tokens["app"])
        self.assertEqual((status, answer["record"]), (201, 1))
        status, answer, _ = gw.post({"to": ["13900000003"], "text": "别的"}, headers=keyed("k1"),
                                    token=gw.tokens["crm"])
        self.assertEqual((status, answer["record"]), (201, 2))
        status, answer, _ = gw.post(MESSAGE, headers=keyed("k1"), token=gw.tokens["crm"])
        self.assertEqual(status, 409, answer)
        self.assertEqual(gw.post(MESSAGE, headers=keyed("k1"), token=gw.tokens["app"])[0], 200)
        self.assertEqual(gw.counter("new"), 2)

    def test_bad_keys_are_refused_and_queue_nothing(self):
        gw = self.gw
        self.start()
        # (A control character never gets this far: the HTTP parser refuses the request.)
        cases = [("empty", [("Idempotency-Key", "")], "must be 1 to 255 printable ASCII"),
                 ("256 characters", [("Idempotency-Key", "k" * 256)], "must be 1 to 255 printable ASCII"),
                 ("a byte beyond ASCII", [("Idempotency-Key", b"caf\xe9")], "must be 1 to 255 printable ASCII"),
                 ("a control character", [("Idempotency-Key", b"a\x01b")], ""),
                 ("two headers", [("Idempotency-Key", "a"), ("idempotency-key", "b")], "one Idempotency-Key")]
        for name, headers, error in cases:
            with self.subTest(name):
                status, body = self.raw_post(headers)
                self.assertEqual(status, 400, body)
                self.assertIn(error, json.loads(body)["error"])
        self.assertEqual(gw.counter("new"), 0)
        self.assertEqual(self.raw_post([("Idempotency-Key", "k" * 255)])[0], 201)

    def test_a_key_that_cannot_be_kept_queues_nothing(self):
        gw = self.gw
        self.start()
        # The token's key file is a folder: the keys can be neither read nor written.
        os.makedirs(gw.path("idempotency", "token-app.txt", "in-the-way"))
        status, answer, _ = gw.post(MESSAGE, headers=keyed("k1"))
        self.assertEqual(status, 500, answer)
        self.assertIn("idempotency key could not be kept", answer["error"])
        self.assertEqual(gw.counter("new"), 0)

    def send(self, key, text):
        return subprocess.run([SEND, "--dir", self.gw.dir, "--key", key, "--to", "13900000001", text],
                              capture_output=True, text=True, timeout=20)

    def test_vmsms_send_key(self):
        gw = self.gw
        self.start()
        first = self.send("k1", "你好")
        self.assertEqual((first.returncode, first.stdout), (0, "1\n"), first.stderr)
        again = self.send("k1", "你好")  # another process, the same key and message
        self.assertEqual((again.returncode, again.stdout), (0, "1\n"), again.stderr)
        other = self.send("k1", "再见")
        self.assertEqual((other.returncode, other.stdout), (2, ""))
        self.assertIn("幂等键已用于另一条短信", other.stderr)
        self.assertEqual(gw.counter("new"), 1)
        # A token's keys are its own: the same key over HTTP is a new message.
        self.assertEqual(gw.post(MESSAGE, headers=keyed("k1"))[:2], (201, {"day": today(), "record": 2}))
        self.assertEqual(self.send("k1", "你好").stdout, "1\n")
        self.assertEqual(gw.counter("new"), 2)


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    listener_test.LISTENER, SEND = (os.path.abspath(p) for p in sys.argv[1:3])
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=2)
