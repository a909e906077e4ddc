#!/usr/bin/env python3
"""End-to-end tests of vmsms-listener: a real listener over HTTP, beside vmsmsd, the simulated modem
and vmsms-send, each in a temporary gateway directory.

usage: listener_test.py VMSMS_LISTENER VMSMSD VMSMS_MODEMSIM VMSMS_SEND [unittest options]
"""

import datetime
import http.client
import json
import os
import pwd
import re
import shutil
import signal
import socket
import ssl
import stat
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.error
import urllib.request

LISTENER = VMSMSD = MODEMSIM = SEND = None


def today():
    d = datetime.date.today()
    return f"{d.year}-{d.month}-{d.day}"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def eventually(check, seconds=20.0):
    deadline = time.monotonic() + seconds
    while True:
        value = check()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(0.05)


class Gateway:
    """A temporary gateway directory with tokens, and the programs started in it."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="vmsms-listener-")
        self.processes = []
        self.port = None
        self.tokens = {}

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def new_token(self, name):
        result = subprocess.run([LISTENER, "--dir", self.dir, "--new-token", name], capture_output=True,
                                text=True, timeout=10)
        assert result.returncode == 0, result.stderr
        self.tokens[name] = result.stdout.strip()
        return self.tokens[name]

    def start_listener(self, *extra, scheme="http"):
        self.port = free_port()
        self.scheme = scheme
        out = open(self.path("listener.out"), "w")
        process = subprocess.Popen([LISTENER, "--dir", self.dir, "--listen", f"127.0.0.1:{self.port}", *extra],
                                   stdout=out, stderr=subprocess.STDOUT)
        out.close()
        self.processes.append(process)
        self.listener = process
        ready = eventually(lambda: "listening on" in self.read("listener.out") or process.poll() is not None, 10)
        assert ready and process.poll() is None, self.read("listener.out")
        return process

    def start_modem(self):
        out = open(self.path("modemsim.out"), "w")
        self.processes.append(subprocess.Popen(
            [MODEMSIM, "--link", self.path("modem"), "--control", self.path("ctl"), "--record", self.path("sent.txt")],
            stdout=out, stderr=subprocess.STDOUT))
        out.close()
        assert eventually(lambda: os.path.exists(self.path("ctl")), 10), self.read("modemsim.out")
        with open(self.path("server.txt"), "wb") as f:
            f.write(b"[SET]\r\nCOM=" + self.path("modem").encode() + b"\r\nRATE=19200\r\n")

    def modem_ctl(self, *args):
        result = subprocess.run([MODEMSIM, "ctl", self.path("ctl"), *args], capture_output=True, text=True,
                                timeout=10)
        assert result.returncode == 0, result.stdout + result.stderr
        return result.stdout

    def start_engine(self):
        out = open(self.path("vmsmsd.out"), "w")
        self.processes.append(subprocess.Popen([VMSMSD, "--responsive", "--speed", "0", "--fast-device"],
                                               cwd=self.dir, stdout=out, stderr=subprocess.STDOUT))
        out.close()

    def read(self, *parts, binary=False):
        try:
            with open(self.path(*parts), "rb" if binary else "r", **({} if binary else {"errors": "replace"})) as f:
                return f.read()
        except FileNotFoundError:
            return b"" if binary else ""

    def request(self, method, path, body=None, token=None, headers=None):
        """(status, parsed JSON or text, headers); token None means the first token made."""
        if token is None:
            token = next(iter(self.tokens.values()))
        all_headers = dict(headers or {})
        if token:
            all_headers["Authorization"] = "Bearer " + token
        data = body if isinstance(body, (bytes, type(None))) else json.dumps(body).encode()
        request = urllib.request.Request(f"{self.scheme}://127.0.0.1:{self.port}{path}", data=data,
                                         method=method, headers=all_headers)
        context = None
        if self.scheme == "https":
            context = ssl.create_default_context(cafile=self.path("cert.pem"))
            context.check_hostname = False
        try:
            with urllib.request.urlopen(request, timeout=20, context=context) as response:
                status, text, got = response.status, response.read().decode(), response.headers
        except urllib.error.HTTPError as error:
            status, text, got = error.code, error.read().decode(), error.headers
        try:
            return status, json.loads(text), got
        except ValueError:
            return status, text, got

    def post(self, body, **kw):
        return self.request("POST", "/v1/messages", body, **kw)

    def counter(self, folder):
        text = self.read(today(), folder, "acc")
        return int(text) if text.strip() else 0

    def stop(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.send_signal(signal.SIGTERM)
                try:
                    process.wait(10)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        shutil.rmtree(self.dir, ignore_errors=True)


class GatewayTestCase(unittest.TestCase):
    def setUp(self):
        self.gw = Gateway()
        self.addCleanup(self.gw.stop)


class Queueing(GatewayTestCase):
    def test_a_message_is_queued_as_the_compose_tab_queues_it(self):
        gw = self.gw
        gw.new_token("app")
        gw.start_listener()
        status, body, headers = gw.post({"to": ["13900000001", "13900000002"], "text": "你好\n明天见"})
        self.assertEqual(status, 201, body)
        self.assertEqual(body, {"day": today(), "record": 1})
        self.assertEqual(headers["Location"], f"/v1/messages/{today()}/1")
        # Recipients one per line and content with the box's CR LF, both written in text mode, GBK.
        self.assertEqual(gw.read(today(), "new", "R1", binary=True), b"13900000001\r\r\n13900000002")
        self.assertEqual(gw.read(today(), "new", "DA1", binary=True), "你好\r\r\n明天见".encode("gbk"))
        self.assertIn(b"time=" + today().encode(), gw.read(today(), "new", "H1", binary=True))

        status, body, _ = gw.post({"to": ["13900000003"], "text": "hello", "english": True})
        self.assertEqual((status, body["record"]), (201, 2))
        self.assertEqual(gw.read(today(), "new", "DA2", binary=True), b"\x02hello   ")
        self.assertEqual(gw.counter("new"), 2)

    def test_refusals_name_the_field_and_queue_nothing(self):
        gw = self.gw
        gw.new_token("app")
        gw.start_listener()
        ok = {"to": ["13900000001"], "text": "hi"}
        cases = [
            ("not JSON", b'{"to": ["13900000001"], "text": ', ""),
            ("not UTF-8", '{"to": ["13900000001"], "text": "你好"}'.encode("gbk"), ""),
            ("not an object", [ok], ""),
            ("no recipients", {"text": "hi"}, "to"),
            ("recipients not a list", {"to": "13900000001", "text": "hi"}, "to"),
            ("empty recipient list", {"to": [], "text": "hi"}, "to"),
            ("recipient a number", {"to": [13900000001], "text": "hi"}, "to"),
            ("recipient not a phone number", {"to": ["13900000001", "boss"], "text": "hi"}, "to"),
            ("number of 13 digits", {"to": ["1390000000123"], "text": "hi"}, "to"),
            ("only blank recipients", {"to": ["", " "], "text": "hi"}, "to"),
            ("two lines in one recipient", {"to": ["13900000001\n13900000002"], "text": "hi"}, "to"),
            ("no text", {"to": ["13900000001"]}, "text"),
            ("text a number", {"to": ["13900000001"], "text": 5}, "text"),
            ("empty text", {"to": ["13900000001"], "text": ""}, "text"),
            ("text GBK cannot hold", {"to": ["13900000001"], "text": "hi 😀"}, "text"),
            ("71 Chinese characters", {"to": ["13900000001"], "text": "好" * 71}, "text"),
            ("161 GSM characters", {"to": ["13900000001"], "text": "a" * 161, "english": True}, "text"),
            ("80 GSM characters with extension characters", {"to": ["13900000001"], "text": "{" * 81,
                                                             "english": True}, "text"),
            ("671 Chinese characters as a long message", {"to": ["13900000001"], "text": "好" * 671, "long": True},
             "text"),
            ("english not a boolean", {"to": ["13900000001"], "text": "hi", "english": "yes"}, "english"),
            ("long not a boolean", {"to": ["13900000001"], "text": "hi", "long": 1}, "long"),
            ("unknown field", {"to": ["13900000001"], "text": "hi", "priority": 1}, "priority"),
        ]
        for name, body, field in cases:
            with self.subTest(name):
                status, answer, headers = gw.post(body)
                self.assertEqual(status, 400, answer)
                self.assertTrue(headers["Content-Type"].startswith("application/json"))
                self.assertIsInstance(answer.get("error"), str)
                self.assertEqual(answer.get("field", ""), field, answer)
        self.assertEqual(gw.counter("new"), 0)
        self.assertFalse(os.path.exists(gw.path(today(), "new", "R1")))

        # What does fit is taken, at the edges: 70 characters, and 670 as a long message.
        for body in ({"to": ["13900000001"], "text": "好" * 70},
                     {"to": ["13900000001"], "text": "好" * 670, "long": True}):
            self.assertEqual(gw.post(body)[0], 201)

    def test_longsms_in_server_txt_lets_long_messages_in(self):
        gw = self.gw
        gw.new_token("app")
        with open(gw.path("server.txt"), "wb") as f:
            f.write(b"[SET]\r\nLONGSMS=1\r\n")
        gw.start_listener()
        self.assertEqual(gw.post({"to": ["13900000001"], "text": "好" * 100})[0], 201)
        self.assertEqual(gw.post({"to": ["13900000001"], "text": "好" * 100, "long": False})[0], 400)


class Access(GatewayTestCase):
    def test_tokens_body_limit_and_access_log(self):
        gw = self.gw
        app = gw.new_token("app")
        other = gw.new_token("other")
        self.assertEqual(os.stat(gw.path("listener.txt")).st_mode & 0o777, 0o600)
        stored = gw.read("listener.txt")
        self.assertNotIn(app, stored)
        self.assertNotIn(other, stored)
        gw.start_listener("--max-body", "4096")
        ok = {"to": ["13900000001"], "text": "hi"}
        for name, token, expected in [("no token", "", 401), ("wrong token", app[:-1] + "x", 401),
                                      ("a token's hash as token", stored.split()[1], 401),
                                      ("first token", app, 201), ("second token", other, 201)]:
            with self.subTest(name):
                status, body, headers = gw.post(ok, token=token)
                self.assertEqual(status, expected, body)
                if expected == 401:
                    self.assertIn("error", body)
                    self.assertEqual(headers["WWW-Authenticate"], "Bearer")
        for path in ("/v1/status", "/metrics", f"/v1/messages/{today()}/1", "/v1/received"):
            with self.subTest(path):
                self.assertEqual(gw.request("GET", path, token="")[0], 401)

        big = json.dumps({"to": ["13900000001"] * 400, "text": "hi"}).encode()
        self.assertGreater(len(big), 4096)
        status, body, _ = gw.post(big)
        self.assertEqual(status, 413, body)
        self.assertEqual(gw.counter("new"), 2)

        # A request is logged once its answer is out, so the last line may come a moment after it.
        line_form = re.compile(r"^\d{4}-\d{1,2}-\d{1,2} \d{1,2}:\d{2}:\d{2} (\S+) 127\.0\.0\.1:\d+ (\S+) (\S+) (\d{3})$")

        def logged():
            lines = [line for line in gw.read("log", f"HTTP{today()}.log").splitlines() if line.strip()]
            return lines if len(lines) == 10 else None
        lines = eventually(logged, 10)
        self.assertTrue(lines, gw.read("log", f"HTTP{today()}.log"))
        fields = []
        for line in lines:
            match = line_form.match(line)
            self.assertTrue(match, line)
            fields.append(match.groups())
        # A line is written once its answer is out, so the next request's line may come first.
        expected = ([("-", "POST", "/v1/messages", "401")] * 3 +
                    [("app", "POST", "/v1/messages", "201"), ("other", "POST", "/v1/messages", "201")] +
                    [("-", "GET", path, "401") for path in
                     ["/metrics", "/v1/received", "/v1/status", f"/v1/messages/{today()}/1"]] +
                    [("app", "POST", "/v1/messages", "413")])
        self.assertEqual(sorted(fields), sorted(expected))
        self.assertIn(b"\r\n", gw.read("log", f"HTTP{today()}.log", binary=True))

    def test_rate_limit_is_per_token(self):
        gw = self.gw
        app = gw.new_token("app")
        other = gw.new_token("other")
        gw.start_listener("--rate", "0.5", "--burst", "3")
        statuses = [gw.request("GET", "/v1/status", token=app)[0] for _ in range(5)]
        self.assertEqual(statuses, [200, 200, 200, 429, 429])
        status, body, headers = gw.post({"to": ["13900000001"], "text": "hi"}, token=app)
        self.assertEqual(status, 429)
        self.assertGreaterEqual(int(headers["Retry-After"]), 1)
        self.assertEqual(gw.counter("new"), 0)
        self.assertEqual(gw.request("GET", "/v1/status", token=other)[0], 200)
        time.sleep(2.1)  # one request's worth comes back after two seconds
        self.assertEqual(gw.request("GET", "/v1/status", token=app)[0], 200)
        self.assertEqual(gw.request("GET", "/v1/status", token=app)[0], 429)

    def test_https_with_a_certificate(self):
        gw = self.gw
        gw.new_token("app")
        result = subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                                 "-subj", "/CN=127.0.0.1", "-keyout", gw.path("key.pem"), "-out", gw.path("cert.pem")],
                                capture_output=True, timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr)
        gw.start_listener("--cert", gw.path("cert.pem"), "--key", gw.path("key.pem"), scheme="https")
        self.assertIn(f"https://127.0.0.1:{gw.port}", gw.read("listener.out"))
        status, body, _ = gw.post({"to": ["13900000001"], "text": "hi"})
        self.assertEqual((status, body["record"]), (201, 1))
        # Plain HTTP on the HTTPS port gets no answer it could take for one.
        connection = http.client.HTTPConnection("127.0.0.1", gw.port, timeout=5)
        with self.assertRaises((http.client.HTTPException, ConnectionError, OSError)):
            connection.request("GET", "/v1/status")
            connection.getresponse()


class Lifecycle(GatewayTestCase):
    def run_listener(self, *args):
        return subprocess.run([LISTENER, "--dir", self.gw.dir, *args], capture_output=True, text=True, timeout=10)

    def test_start_up_refusals(self):
        gw = self.gw
        self.assertEqual(self.run_listener("--listen", "127.0.0.1:1").returncode, 1)  # no token file yet
        gw.new_token("app")
        bad_name = self.run_listener("--new-token", "a b")
        self.assertEqual(bad_name.returncode, 2)
        again = self.run_listener("--new-token", "app")
        self.assertEqual(again.returncode, 1)
        self.assertIn("exists", again.stderr)
        gw.start_listener()
        busy = self.run_listener("--listen", f"127.0.0.1:{gw.port}")
        self.assertEqual(busy.returncode, 1)
        self.assertIn(f"cannot listen on 127.0.0.1:{gw.port}", busy.stderr)
        cases = [
            ("unknown option", ["--colour"], 2, "unknown option"),
            ("port out of range", ["--listen", "127.0.0.1:70000"], 2, "--listen"),
            ("listen without port", ["--listen", "localhost"], 2, "--listen"),
            ("rate not a number", ["--rate", "fast"], 2, "--rate"),
            ("body limit of 0", ["--max-body", "0"], 2, "--max-body"),
            ("certificate without key", ["--cert", gw.path("listener.txt")], 2, "--key"),
            ("certificate missing", ["--cert", gw.path("none.pem"), "--key", gw.path("none.pem")], 1, "none.pem"),
            ("certificate not PEM", ["--cert", gw.path("listener.txt"), "--key", gw.path("listener.txt")], 1, "PEM"),
        ]
        for name, args, code, text in cases:
            with self.subTest(name):
                result = self.run_listener("--listen", f"127.0.0.1:{free_port()}", *args)
                self.assertEqual(result.returncode, code, result.stderr)
                self.assertIn(text, result.stderr)
        help_text = self.run_listener("--help").stdout
        for option in ("--listen", "--cert", "--key", "--max-body", "--rate", "--burst", "--new-token", "--dir"):
            self.assertIn(option, help_text)

        os.rename(gw.path("listener.txt"), gw.path("tokens"))
        os.mkdir(gw.path("listener.txt"))
        unreadable = self.run_listener("--listen", f"127.0.0.1:{free_port()}")
        self.assertEqual(unreadable.returncode, 1)
        self.assertIn("cannot read listener.txt", unreadable.stderr)
        os.rmdir(gw.path("listener.txt"))
        with open(gw.path("listener.txt"), "w") as f:
            f.write("app not-a-hash\n")
        malformed = self.run_listener("--listen", f"127.0.0.1:{free_port()}")
        self.assertEqual(malformed.returncode, 1)
        self.assertIn("line 1", malformed.stderr)

    def test_sigterm_finishes_the_request_in_hand(self):
        gw = self.gw
        token = gw.new_token("app")
        listener = gw.start_listener()
        body = json.dumps({"to": ["13900000001"], "text": "in hand"}).encode()
        with socket.create_connection(("127.0.0.1", gw.port), timeout=10) as s:
            s.sendall(b"POST /v1/messages HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                      b"Authorization: Bearer " + token.encode() + b"\r\n"
                      b"Content-Length: " + str(len(body)).encode() + b"\r\n\r\n" + body[:10])
            time.sleep(0.3)
            listener.send_signal(signal.SIGTERM)
            time.sleep(0.3)
            self.assertIsNone(listener.poll(), "the listener left a request half read")
            s.sendall(body[10:])
            answer = b""
            while chunk := s.recv(4096):
                answer += chunk
        self.assertTrue(answer.startswith(b"HTTP/1.1 201"), answer)
        self.assertEqual(listener.wait(10), 0)
        self.assertEqual(gw.counter("new"), 1)
        with self.assertRaises(OSError):
            socket.create_connection(("127.0.0.1", gw.port), timeout=2).close()


class WithEngine(GatewayTestCase):
    def wait_for_statuses(self, record, expected):
        def statuses():
            status, body, _ = self.gw.request("GET", f"/v1/messages/{today()}/{record}")
            self.assertEqual(status, 200, body)
            got = [r["status"] for r in body["recipients"]]
            return body if got == expected else None
        body = eventually(statuses, 30)
        self.assertTrue(body, self.gw.request("GET", f"/v1/messages/{today()}/{record}")[1])
        return body

    def test_records_go_from_pending_to_sent_or_failed(self):
        gw = self.gw
        gw.new_token("app")
        gw.start_modem()
        gw.start_listener("--rate", "0")
        status, body, _ = gw.post({"to": ["13900000001", "13900000002-13900000003"], "text": "你好"})
        self.assertEqual(status, 201, body)
        status, body, _ = gw.request("GET", f"/v1/messages/{today()}/1")
        self.assertEqual(status, 200)
        self.assertEqual(body["text"], "你好")
        self.assertFalse(body["processed"])
        # A range's members get their own indices, counted as the engine counts them (the range
        # advances the index before its first member).
        self.assertEqual([(r["to"], r["index"], r["status"]) for r in body["recipients"]],
                         [("13900000001", 0, "pending"), ("13900000002", 2, "pending"),
                          ("13900000003", 3, "pending")])
        status, counts, _ = gw.request("GET", "/v1/status")
        self.assertEqual((counts["queued"], counts["processed"], counts["pending"]), (1, 0, 1))
        self.assertFalse(counts["engine"]["running"])

        gw.start_engine()
        body = self.wait_for_statuses(1, ["sent", "sent", "sent"])
        # The record counts as processed once the engine stored its counter, a moment after the last
        # recipient's report line.
        processed = eventually(lambda: gw.request("GET", f"/v1/messages/{today()}/1")[1]["processed"], 10)
        self.assertTrue(processed)
        self.assertTrue(all(r.get("time") for r in body["recipients"]))
        sent = gw.modem_ctl("sent")
        for number in ("13900000001", "13900000002", "13900000003"):
            self.assertIn(number, sent)

        gw.modem_ctl("fault", "error")
        status, body, _ = gw.post({"to": ["13900000004"], "text": "refused", "english": True})
        self.assertEqual(body["record"], 2)
        body = self.wait_for_statuses(2, ["failed"])
        self.assertEqual(body["text"], "refused")
        self.assertTrue(body["english"])
        gw.modem_ctl("fault", "none")

        status, counts, _ = gw.request("GET", "/v1/status")
        self.assertEqual((counts["queued"], counts["processed"], counts["pending"]), (2, 2, 0))
        self.assertEqual((counts["sent"], counts["failed"]), (3, 1))
        self.assertTrue(counts["engine"]["running"])
        status, metrics, headers = gw.request("GET", "/metrics")
        self.assertEqual(status, 200)
        self.assertTrue(headers["Content-Type"].startswith("text/plain"))
        for line in ("vmsms_engine_running 1", "vmsms_records_queued 2", "vmsms_records_processed 2",
                     "vmsms_records_pending 0", "vmsms_recipients_sent 3", "vmsms_recipients_failed 1"):
            self.assertIn("\n" + line + "\n", metrics)
        self.assertIn("# TYPE vmsms_records_queued gauge", metrics)

        for path in (f"/v1/messages/{today()}/3", f"/v1/messages/{today()}/0", "/v1/messages/2000-1-1/1",
                     f"/v1/messages/{today()}/x", "/v1/messages/yesterday/1"):
            with self.subTest(path):
                self.assertEqual(gw.request("GET", path)[0], 404)

    def test_received_messages_in_utf8(self):
        gw = self.gw
        gw.new_token("app")
        gw.start_modem()
        gw.start_listener("--rate", "0")
        gw.start_engine()
        gw.modem_ctl("deliver", "--from", "13900000001", "--text", "hi")
        gw.modem_ctl("deliver", "--from", "13900000002", "--text", "明天开会")

        def two():
            body = gw.request("GET", "/v1/received")[1]
            return body if body["count"] >= 2 else None
        body = eventually(two, 30)
        self.assertTrue(body, gw.request("GET", "/v1/received")[1])
        self.assertEqual(body["day"], today())
        messages = sorted((m["number"], m["from"], m["text"]) for m in body["messages"])
        self.assertEqual([n for n, _, _ in messages], [1, 2])
        self.assertEqual(sorted((f, t) for _, f, t in messages),
                         [("13900000001", "hi"), ("13900000002", "明天开会")])
        self.assertTrue(all(m.get("time", "").startswith(today()) for m in body["messages"]))
        self.assertEqual(body["next_after"], 2)
        after = gw.request("GET", f"/v1/received?day={today()}&after=1")[1]
        self.assertEqual([m["number"] for m in after["messages"]], [2])
        self.assertEqual(gw.request("GET", "/v1/received?day=2000-1-1")[1]["messages"], [])
        for query in ("day=tomorrow", "after=-1", "after=x"):
            with self.subTest(query):
                status, answer, _ = gw.request("GET", "/v1/received?" + query)
                self.assertEqual(status, 400)
                self.assertEqual(answer["field"], query.split("=")[0])


class ManyWriters(GatewayTestCase):
    def test_every_record_once_and_whole_beside_vmsms_send(self):
        gw = self.gw
        gw.new_token("app")
        gw.start_listener("--rate", "0")
        clients, per_client, send_writers, per_writer = 8, 200, 2, 20
        failures = []

        def client(c):
            connection = http.client.HTTPConnection("127.0.0.1", gw.port, timeout=30)
            headers = {"Authorization": "Bearer " + gw.tokens["app"], "Content-Type": "application/json"}
            for i in range(per_client):
                body = json.dumps({"to": [f"139{c:04d}{i:04d}"], "text": f"客户端{c}第{i}条"})
                connection.request("POST", "/v1/messages", body, headers)
                response = connection.getresponse()
                answer = response.read()
                if response.status != 201:
                    failures.append((c, i, response.status, answer))
            connection.close()

        def send_writer(w):
            for i in range(per_writer):
                result = subprocess.run([SEND, "--to", f"138{w:04d}{i:04d}", f"命令行{w}第{i}条"], cwd=gw.dir,
                                        capture_output=True, text=True, timeout=30)
                if result.returncode != 0:
                    failures.append(("send", w, i, result.stderr))

        threads = [threading.Thread(target=client, args=(c,)) for c in range(clients)]
        threads += [threading.Thread(target=send_writer, args=(w,)) for w in range(send_writers)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(failures, [])

        total = clients * per_client + send_writers * per_writer
        self.assertEqual(gw.counter("new"), total)
        expected = {f"139{c:04d}{i:04d}": f"客户端{c}第{i}条" for c in range(clients) for i in range(per_client)}
        expected.update({f"138{w:04d}{i:04d}": f"命令行{w}第{i}条" for w in range(send_writers)
                         for i in range(per_writer)})
        seen = set()
        for n in range(1, total + 1):
            recipient = gw.read(today(), "new", f"R{n}", binary=True).decode("gbk")
            content = gw.read(today(), "new", f"DA{n}", binary=True).decode("gbk")
            header = gw.read(today(), "new", f"H{n}", binary=True).decode("gbk")
            self.assertIn(recipient, expected, f"record {n}")
            self.assertEqual(content, expected[recipient], f"record {n}")
            self.assertTrue(header.startswith("[HEAD]\r\ntime=") and header.endswith("jrade=紧急\r\n"), header)
            self.assertNotIn(recipient, seen, f"record {n} repeats {recipient}")
            seen.add(recipient)
        self.assertEqual(len(seen), len(expected))
        self.assertFalse(os.path.exists(gw.path(today(), "new", f"R{total + 1}")))


class TokenFileSafety(GatewayTestCase):
    """listener.txt decides who may queue: nobody but its owner may change it, and making a token
    follows no symlink an attacker left in the directory."""

    def run_listener(self, *args, timeout=5):
        return subprocess.run([LISTENER, "--dir", self.gw.dir, *args], capture_output=True, text=True,
                              timeout=timeout)

    def test_new_token_follows_no_planted_symlink(self):
        gw = self.gw
        precious = gw.path("precious")
        with open(precious, "w") as f:
            f.write("root:x:0:0::/root:/bin/bash\n")

        def plant():
            # In the child, before it becomes the listener: the name a temporary file named after the
            # process would take.
            os.symlink(precious, os.path.join(gw.dir, f"listener.txt.tmp{os.getpid()}"))

        result = subprocess.run([LISTENER, "--dir", gw.dir, "--new-token", "app"], capture_output=True, text=True,
                                timeout=10, preexec_fn=plant)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(gw.read("precious"), "root:x:0:0::/root:/bin/bash\n")
        stored = os.lstat(gw.path("listener.txt"))
        self.assertTrue(stat.S_ISREG(stored.st_mode))
        self.assertEqual(stored.st_mode & 0o777, 0o600)
        gw.tokens["app"] = result.stdout.strip()
        gw.start_listener()
        self.assertEqual(gw.request("GET", "/v1/status")[0], 200)

    def test_a_token_file_others_may_change_is_refused(self):
        gw = self.gw
        gw.new_token("app")
        tokens = gw.path("listener.txt")
        for mode in (0o620, 0o602, 0o666):
            with self.subTest(mode=oct(mode)):
                os.chmod(tokens, mode)
                started = self.run_listener("--listen", f"127.0.0.1:{free_port()}")
                self.assertEqual(started.returncode, 1, started.stderr)
                self.assertIn("chmod 600 listener.txt", started.stderr)
                # A new token would carry over whatever tokens someone else put there.
                added = self.run_listener("--new-token", "other")
                self.assertEqual(added.returncode, 1, added.stderr)
                self.assertIn("chmod 600 listener.txt", added.stderr)
        os.chmod(tokens, 0o600)
        if os.geteuid() == 0:
            nobody = pwd.getpwnam("nobody")
            os.chown(tokens, nobody.pw_uid, nobody.pw_gid)
            started = self.run_listener("--listen", f"127.0.0.1:{free_port()}")
            self.assertEqual(started.returncode, 1, started.stderr)
            self.assertIn("chown root listener.txt", started.stderr)
            os.chown(tokens, 0, 0)
        gw.start_listener()
        self.assertEqual(gw.request("GET", "/v1/status")[0], 200)

if __name__ == "__main__":
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    LISTENER, VMSMSD, MODEMSIM, SEND = (os.path.abspath(p) for p in sys.argv[1:5])
    unittest.main(argv=[sys.argv[0]] + sys.argv[5:], verbosity=2)
