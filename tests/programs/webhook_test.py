#!/usr/bin/env python3
"""End-to-end tests of the event journal's receivers: vmsmsd against the simulated modem posts its events
to a real HTTP receiver of this test's own (which refuses, answers slowly and goes away), and
vmsms-listener serves the same events as a long-polled stream.

usage: webhook_test.py VMSMS_LISTENER VMSMSD VMSMS_MODEMSIM VMSMS_SEND [unittest options]
"""

import glob
import hashlib
import hmac
import http.server
import json
import os
import signal
import ssl
import subprocess
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import listener_test  # noqa: E402  (the gateway directory and its programs)
from listener_test import Gateway, eventually, free_port  # noqa: E402

SECRET = "s3cret-for-tests"


class Receiver:
    """A webhook receiver on 127.0.0.1: `decide(event, attempt)` gives (status, delay in seconds) for each
    request; every request is kept with its headers, body and whether its signature was valid."""

    def __init__(self, decide=None, tls=None):
        self.port = free_port()
        self.tls = tls  # (cert, key) to serve HTTPS
        self.decide = decide or (lambda event, attempt: (200, 0))
        self.requests = []  # (id, status answered, signature valid, body)
        self.attempts = {}
        self.lock = threading.Lock()
        self.server = None
        self.start()

    def start(self):
        receiver = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
                event = json.loads(body)
                with receiver.lock:
                    attempt = receiver.attempts.get(event["id"], 0) + 1
                    receiver.attempts[event["id"]] = attempt
                status, delay = receiver.decide(event, attempt)
                if delay:
                    time.sleep(delay)
                valid = receiver.signature_valid(self.headers.get("X-Vmsms-Signature", ""), body)
                try:
                    self.send_response(status)
                    self.send_header("Content-Length", "0")
                    self.end_headers()
                except OSError:
                    return  # the gateway gave up waiting
                with receiver.lock:
                    receiver.requests.append((event["id"], status, valid, event,
                                              self.headers.get("X-Vmsms-Event-Id")))

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", self.port), Handler)
        self.server.daemon_threads = True
        if self.tls:
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(*self.tls)
            self.server.socket = context.wrap_socket(self.server.socket, server_side=True)
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def stop(self):
        self.server.shutdown()
        self.server.server_close()

    @staticmethod
    def signature_valid(header, body):
        fields = dict(part.split("=", 1) for part in header.split(",") if "=" in part)
        if "t" not in fields or "v1" not in fields:
            return False
        if abs(time.time() - int(fields["t"])) > 300:
            return False  # a replay
        expected = hmac.new(SECRET.encode(), fields["t"].encode() + b"." + body, hashlib.sha256).hexdigest()
        return hmac.compare_digest(expected, fields["v1"])

    def accepted(self):
        with self.lock:
            return [r for r in self.requests if 200 <= r[1] < 300]

    def accepted_ids(self):
        return [r[0] for r in self.accepted()]


def journal(gw, kinds=None):
    """The events of the gateway's journal, in order: (seq, id, kind)."""
    events = []
    for path in sorted(glob.glob(gw.path("events", "*.txt"))):
        if not os.path.basename(path)[:8].isdigit():
            continue
        with open(path, "rb") as f:
            for line in f.read().split(b"\n")[:-1]:
                fields = line.split(b"\t")
                if len(fields) == 11:
                    events.append((int(fields[0]), fields[1].decode(), fields[2].decode()))
    return [e for e in events if kinds is None or e[2] in kinds]


class WebhookGateway(Gateway):
    def configure(self, receiver, events="received,sent,failed,delivered", extra=""):
        scheme = "https" if receiver.tls else "http"
        with open(self.path("server.txt"), "ab") as f:
            f.write((f"[WEBHOOKS]\r\nURL={scheme}://127.0.0.1:{receiver.port}/hook\r\nSECRET={SECRET}\r\n"
                     f"EVENTS={events}\r\nTIMEOUT=2\r\nRETRY_FIRST=1\r\nRETRY_MOST=2\r\n{extra}").encode())

    def send(self, *numbers, text="事件"):
        args = [listener_test.SEND]
        for n in numbers:
            args += ["--to", n]
        result = subprocess.run(args + [text], cwd=self.dir, capture_output=True, text=True, timeout=30)
        assert result.returncode == 0, result.stderr

    def engine(self):
        return [p for p in self.processes if p.args[0] == listener_test.VMSMSD][-1]

    def stop_all(self):
        for p in self.processes:
            if p.poll() is None:
                p.send_signal(signal.SIGTERM)
        for p in self.processes:
            try:
                p.wait(15)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()


class Webhooks(unittest.TestCase):
    def setUp(self):
        self.gw = WebhookGateway()
        self.gw.start_modem()
        self.receivers = []

    def tearDown(self):
        self.gw.stop_all()
        for r in self.receivers:
            r.stop()

    def receiver(self, decide=None, tls=None):
        r = Receiver(decide, tls)
        self.receivers.append(r)
        return r

    def assert_at_least_once_in_order(self, receiver, kinds):
        wanted = [e[1] for e in journal(self.gw, kinds)]
        got = receiver.accepted_ids()
        self.assertTrue(all(r[2] for r in receiver.accepted()), "a signature did not verify")
        self.assertTrue(all(r[0] == r[4] for r in receiver.accepted()), "X-Vmsms-Event-Id differs from the body")
        self.assertEqual(set(got), set(wanted))
        # In journal order; a repeat only ever names an id the receiver already had.
        first_seen = []
        for event_id in got:
            if event_id not in first_seen:
                first_seen.append(event_id)
        self.assertEqual(first_seen, wanted)
        return got

    def test_every_event_arrives_signed_and_in_order_through_refusals_slowness_and_an_outage(self):
        # The first two attempts at each of the first events are refused (503, then 429), the third is
        # answered after the gateway stopped waiting.
        def decide(event, attempt):
            if event["event"] == "sent" and event["index"] <= 2:
                return [(503, 0), (429, 0), (200, 3), (200, 0)][min(attempt, 4) - 1]
            return 200, 0

        receiver = self.receiver(decide)
        self.gw.configure(receiver)
        self.gw.modem_ctl("fault", "fail", "1")  # the first recipient fails
        self.gw.start_engine()
        self.gw.send("13900000001", "13900000002", "13900000003", "13900000004")
        self.gw.modem_ctl("deliver", "--from", "13800000009", "--text", "hello")
        kinds = {"received", "sent", "failed", "delivered"}
        self.assertTrue(eventually(lambda: len(journal(self.gw, kinds)) >= 5, 60), journal(self.gw))
        # The receiver goes away for a while, then comes back on the same port.
        self.assertTrue(eventually(lambda: len(receiver.accepted()) >= 3, 60), receiver.requests)
        receiver.stop()
        self.gw.send("13900000005", "13900000006")
        self.assertTrue(eventually(lambda: len(journal(self.gw, kinds)) >= 7, 60), journal(self.gw))
        time.sleep(3)
        receiver.start()
        self.assertTrue(eventually(lambda: set(receiver.accepted_ids()) >= {e[1] for e in journal(self.gw, kinds)},
                                   60), (receiver.requests, journal(self.gw)))
        got = self.assert_at_least_once_in_order(receiver, kinds)
        self.assertIn("failed", {e[2] for e in journal(self.gw, kinds)})
        self.assertTrue(any(r[3]["event"] == "received" and r[3]["from"] == "13800000009" and r[3]["text"] == "hello"
                            for r in receiver.accepted()))
        sent = [r[3] for r in receiver.accepted() if r[3]["event"] == "sent"]
        self.assertTrue(all(s["text"] == "事件" and s["to"].startswith("1390000000") for s in sent), sent)
        # Refused and timed-out attempts were tried again: more requests than events.
        self.assertGreater(len(receiver.requests) + 2, len(set(got)))

    def test_a_kill_9_in_the_middle_loses_nothing_and_repeats_only_known_ids(self):
        receiver = self.receiver(lambda event, attempt: (200, 0.3))
        self.gw.configure(receiver, events="sent")
        self.gw.start_engine()
        numbers = [f"1390000{i:04d}" for i in range(12)]
        self.gw.send(*numbers)
        self.assertTrue(eventually(lambda: len(receiver.accepted()) >= 3, 60), receiver.requests)
        self.gw.engine().send_signal(signal.SIGKILL)
        self.gw.engine().wait(10)
        time.sleep(1)  # a request the gateway had in flight is still answered and kept by the receiver
        had = set(receiver.accepted_ids())
        self.gw.start_engine()
        self.assertTrue(eventually(lambda: len(set(receiver.accepted_ids())) >= 12, 90),
                        (receiver.requests, journal(self.gw)))
        got = self.assert_at_least_once_in_order(receiver, {"sent"})
        repeats = [i for n, i in enumerate(got) if i in got[:n]]
        self.assertTrue(set(repeats) <= had, (repeats, had))
        self.assertEqual(len(journal(self.gw, {"sent"})), 12)  # each recipient's event journaled once

    def test_a_refused_event_is_parked_and_shown_and_the_next_ones_go_on(self):
        receiver = self.receiver(lambda event, attempt: (400, 0) if event.get("index") == 1 else (200, 0))
        self.gw.configure(receiver, events="sent")
        self.gw.start_engine()
        self.gw.send("13900000001", "13900000002", "13900000003")
        self.assertTrue(eventually(lambda: len(receiver.accepted()) >= 2, 60), receiver.requests)
        refused = [r for r in receiver.requests if r[1] == 400]
        self.assertEqual(len(refused), 1)  # parked at once, never tried again
        parked = self.gw.read("events", "parked-webhook-URL.txt")
        self.assertIn(refused[0][0], parked)
        status = subprocess.run([listener_test.VMSMSD, "--status", "--json"], cwd=self.gw.dir, capture_output=True,
                                text=True, timeout=20)
        report = json.loads(status.stdout)
        self.assertEqual(report["webhooks"][0]["parked"], 1, report)
        self.assertEqual(report["webhooks"][0]["name"], "URL")


    def test_a_receiver_whose_certificate_is_not_trusted_gets_nothing(self):
        cert, key = self.gw.path("cert.pem"), self.gw.path("key.pem")
        made = subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                               "/CN=127.0.0.1", "-keyout", key, "-out", cert], capture_output=True, timeout=60)
        self.assertEqual(made.returncode, 0, made.stderr)
        receiver = self.receiver(tls=(cert, key))
        self.gw.configure(receiver, events="sent")
        self.gw.start_engine()
        self.gw.send("13900000001")
        self.assertTrue(eventually(lambda: journal(self.gw, {"sent"}), 30))
        # The TLS handshake fails on the gateway's side: tried again later, never taken.
        self.assertTrue(eventually(lambda: "again in" in self.gw.read("sms.log"), 30), self.gw.read("sms.log"))
        self.assertEqual(receiver.requests, [])
        self.assertRegex(self.gw.read("sms.log"), r"(?i)certificate")

class EventStream(unittest.TestCase):
    def setUp(self):
        self.gw = WebhookGateway()
        self.gw.start_modem()
        self.gw.new_token("follower")
        self.gw.start_listener()
        self.gw.start_engine()

    def tearDown(self):
        self.gw.stop_all()

    def test_a_long_poll_answers_when_an_event_comes_and_after_goes_on_from_an_id(self):
        self.assertTrue(eventually(lambda: journal(self.gw), 20))  # the engine said it runs
        status, first, _ = self.gw.request("GET", "/v1/events")
        self.assertEqual(status, 200, first)
        # Only the engine's state so far; the next event is waited for.
        after = first["next_after"]
        result = {}

        def poll():
            begun = time.monotonic()
            result["answer"] = self.gw.request("GET", f"/v1/events?after={after}&wait=30")
            result["took"] = time.monotonic() - begun

        waiter = threading.Thread(target=poll)
        waiter.start()
        time.sleep(1)
        self.assertNotIn("answer", result)  # still waiting
        self.gw.send("13900000001", "13900000002")
        waiter.join(40)
        status, body, _ = result["answer"]
        self.assertEqual(status, 200, body)
        self.assertLess(result["took"], 25)
        self.assertTrue(body["events"], body)
        self.assertTrue(all(e["id"] != after for e in body["events"]))
        # The rest, from the last id given.
        ids = [e["id"] for e in body["events"]]
        while sum(1 for i in ids if "-sent-" in i) < 2:
            status, more, _ = self.gw.request("GET", f"/v1/events?after={ids[-1]}&wait=20")
            self.assertEqual(status, 200, more)
            self.assertTrue(more["events"], more)
            ids += [e["id"] for e in more["events"]]
        self.assertEqual(len(ids), len(set(ids)))
        self.assertEqual(ids, [e[1] for e in journal(self.gw) if e[1] in ids])
        # Nothing new: answered at once without wait, after `wait` seconds with it.
        status, idle, _ = self.gw.request("GET", f"/v1/events?after={ids[-1]}")
        self.assertEqual((status, idle["events"], idle["next_after"]), (200, [], ids[-1]))

    def test_bad_requests_are_refused(self):
        for query, status in [("after=no-such-event-1", 404), ("wait=61", 400), ("wait=x", 400), ("limit=0", 400),
                              ("limit=1001", 400)]:
            got, body, _ = self.gw.request("GET", "/v1/events?" + query)
            self.assertEqual(got, status, (query, body))
        got, _, _ = self.gw.request("GET", "/v1/events", token="")
        self.assertEqual(got, 401)


if __name__ == "__main__":
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    listener_test.LISTENER, listener_test.VMSMSD, listener_test.MODEMSIM, listener_test.SEND = (
        os.path.abspath(p) for p in sys.argv[1:5])
    unittest.main(argv=[sys.argv[0]] + sys.argv[5:], verbosity=2)
