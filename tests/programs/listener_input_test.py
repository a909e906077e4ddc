#!/usr/bin/env python3
"""End-to-end tests of what vmsms-listener must not take: the table of hostile recipients and texts
(tests/support/hostile_input.json) tried over HTTP, and a queue lock held by another process.

usage: listener_input_test.py VMSMS_LISTENER VMSMSD VMSMS_MODEMSIM VMSMS_SEND [unittest options]
"""

import fcntl
import json
import os
import sys
import threading
import time
import unittest

import listener_test
from listener_test import GatewayTestCase, today

TABLE = json.load(open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support",
                                    "hostile_input.json"), encoding="utf-8"))


def hostile_directory(gw):
    """The directory the table's cases expect (as make_hostile_directory builds it in C++)."""
    os.makedirs(gw.path("cust"), exist_ok=True)
    with open(gw.path("cust", "custindex"), "wb") as f:
        f.write("[cust]\r\n000000=222222\r\n客户=客户\r\n管道=管道\r\n设备=设备\r\n外链=外链\r\n".encode("gbk"))
    with open(gw.path("cust", "客户"), "wb") as f:
        f.write("[cust]\r\n000000=222222\r\n采购部=13900000009\r\n".encode("gbk"))
    os.mkfifo(gw.path("cust", "管道"))
    os.symlink("/dev/zero", gw.path("cust", "设备"))
    os.symlink("/etc/passwd", gw.path("cust", "外链"))
    os.mkfifo(gw.path("fifo"))


class HostileInput(GatewayTestCase):
    def test_every_case_is_refused_and_nothing_is_queued(self):
        gw = self.gw
        hostile_directory(gw)
        gw.new_token("app")
        gw.start_listener()
        for case in TABLE["refused"]:
            with self.subTest(case=case["name"]):
                started = time.monotonic()
                status, body, _ = gw.post({"to": case["to"], "text": case.get("text", "hello")})
                self.assertEqual(status, 400, body)
                self.assertEqual(body["field"], case["field"], body)
                self.assertLess(time.monotonic() - started, 5)
        self.assertEqual(gw.counter("new"), 0)
        self.assertFalse(os.path.exists(gw.path(today(), "new", "R1")))
        # The same directory takes a good message, so the refusals are the cases' own.
        status, body, _ = gw.post({"to": TABLE["good"]["to"], "text": TABLE["good"]["text"]})
        self.assertEqual(status, 201, body)


class HeldLock(GatewayTestCase):
    def hold_lock(self):
        """The day's queue lock, held by another process (here: a descriptor of this one)."""
        gw = self.gw
        os.makedirs(gw.path(today(), "new"), exist_ok=True)
        fd = os.open(gw.path(today(), "new", "acc.lock"), os.O_RDONLY | os.O_CREAT, 0o600)
        fcntl.flock(fd, fcntl.LOCK_EX)
        self.addCleanup(os.close, fd)
        return fd

    def test_a_writer_gives_up_with_503_and_reading_never_waits(self):
        gw = self.gw
        gw.new_token("app")
        gw.start_listener()
        fd = self.hold_lock()
        answers = {}

        def post():
            started = time.monotonic()
            answers["post"] = gw.post({"to": ["13900000001"], "text": "hello"})
            answers["post_seconds"] = time.monotonic() - started

        writer = threading.Thread(target=post)
        writer.start()
        # While the writer waits, status and record reads answer at once: they take no lock.
        time.sleep(0.5)
        for path in ("/v1/status", f"/v1/messages/{today()}/1", "/metrics"):
            started = time.monotonic()
            status, _, _ = gw.request("GET", path)
            self.assertIn(status, (200, 404), path)
            self.assertLess(time.monotonic() - started, 1, path)
        writer.join(20)
        status, body, headers = answers["post"]
        self.assertEqual(status, 503, body)
        self.assertLess(answers["post_seconds"], 6)
        self.assertIn("busy", body["error"])
        self.assertTrue(headers["Retry-After"].isdigit(), headers)
        # Let go: the request the client gave up on is not queued after all.
        fcntl.flock(fd, fcntl.LOCK_UN)
        time.sleep(0.5)
        self.assertEqual(gw.counter("new"), 0)
        status, body, _ = gw.post({"to": ["13900000001"], "text": "hello"})
        self.assertEqual((status, body["record"]), (201, 1), body)


if __name__ == "__main__":
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    listener_test.LISTENER, listener_test.VMSMSD, listener_test.MODEMSIM, listener_test.SEND = (
        os.path.abspath(p) for p in sys.argv[1:5])
    unittest.main(argv=[sys.argv[0]] + sys.argv[5:], verbosity=2)
