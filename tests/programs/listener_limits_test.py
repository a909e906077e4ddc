#!/usr/bin/env python3
"""End-to-end tests of what vmsms-listener does with clients that never finish: too many or too large
headers, requests sent a line at a time, bodies larger than --max-body, more connections than one
address may hold, and methods that would break the access log. Each runs a real listener over HTTP in
a temporary gateway directory.

usage: listener_limits_test.py VMSMS_LISTENER [unittest options]
"""

import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

from listener_test import eventually, free_port

LISTENER = None

HEADER_SECONDS = 10  # the time a request's headers may take
SLACK = 3  # what a loaded machine may add to a deadline


def read_answer(sock, seconds):
    """(status, JSON body or None, raw bytes) of one answer on `sock`, read to its end and no further;
    status None when the listener closed the connection, or still had not answered after `seconds`."""
    data = b""
    deadline = time.monotonic() + seconds
    try:
        while b"\r\n\r\n" not in data or len(data) < answer_length(data):
            sock.settimeout(max(0.01, deadline - time.monotonic()))
            wanted = 1 if b"\r\n\r\n" not in data else answer_length(data) - len(data)
            chunk = sock.recv(wanted)
            if not chunk:
                break
            data += chunk
    except (socket.timeout, ConnectionError):
        pass
    match = re.match(rb"HTTP/1\.[01] (\d{3}) ", data)
    if not match:
        return None, None, data
    body = data.partition(b"\r\n\r\n")[2]
    try:
        parsed = json.loads(body)
    except ValueError:
        parsed = None
    return int(match.group(1)), parsed, data


def answer_length(data):
    head, _, _ = data.partition(b"\r\n\r\n")
    length = re.search(rb"(?im)^content-length: *(\d+)", head)
    return len(head) + 4 + (int(length.group(1)) if length else 0)


def closed_by_peer(sock, seconds):
    """Whether the listener closed `sock` within `seconds` (after any answer already read)."""
    sock.settimeout(seconds)
    try:
        while sock.recv(65536):
            pass
        return True
    except ConnectionError:
        return True
    except socket.timeout:
        return False


def send_quietly(sock, data):
    """Sends what the listener still takes; it may close the connection in the middle."""
    try:
        sock.sendall(data)
    except OSError:
        pass


class Gateway:
    """A temporary gateway directory with a token, and a listener started in it."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="vmsms-limits-")
        self.listener = None
        result = subprocess.run([LISTENER, "--dir", self.dir, "--new-token", "app"], capture_output=True,
                                text=True, timeout=10)
        assert result.returncode == 0, result.stderr
        self.token = result.stdout.strip()

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def read(self, *parts):
        try:
            with open(self.path(*parts), "rb") as f:
                return f.read()
        except FileNotFoundError:
            return b""

    def start(self, *extra):
        self.port = free_port()
        out = open(self.path("listener.out"), "w")
        self.listener = subprocess.Popen([LISTENER, "--dir", self.dir, "--listen", f"127.0.0.1:{self.port}",
                                          "--rate", "0", *extra], stdout=out, stderr=subprocess.STDOUT)
        out.close()
        started = eventually(lambda: b"listening on" in self.read("listener.out") or self.listener.poll() is not None)
        assert started and self.listener.poll() is None, self.read("listener.out")

    def connect(self):
        return socket.create_connection(("127.0.0.1", self.port), timeout=10)

    def head(self, method=b"GET", path="/v1/status", token=True, extra=b""):
        """The request line and headers of a request, without the blank line that ends them."""
        lines = method + b" " + path.encode() + b" HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra
        if token:
            lines += b"Authorization: Bearer " + self.token.encode() + b"\r\n"
        return lines

    def timed_status_request(self):
        """(status, seconds) of GET /v1/status on a new connection."""
        started = time.monotonic()
        with self.connect() as sock:
            sock.sendall(self.head(method=b"GET") + b"Connection: close\r\n\r\n")
            status, _, _ = read_answer(sock, 5)
        return status, time.monotonic() - started

    def resident_kib(self):
        with open(f"/proc/{self.listener.pid}/status") as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        raise AssertionError("no VmRSS")

    def log_lines(self):
        return [line for line in self.read("log", time.strftime("HTTP%Y-%-m-%-d.log")).split(b"\r\n") if line]

    def stop(self):
        if self.listener and self.listener.poll() is None:
            self.listener.send_signal(signal.SIGTERM)
            try:
                self.listener.wait(20)
            except subprocess.TimeoutExpired:
                self.listener.kill()
                self.listener.wait()
        shutil.rmtree(self.dir, ignore_errors=True)


class LimitsTestCase(unittest.TestCase):
    def setUp(self):
        self.gw = Gateway()
        self.addCleanup(self.gw.stop)
        self.sockets = []
        self.addCleanup(self.close_sockets)

    def close_sockets(self):
        for sock in self.sockets:
            sock.close()

    def connect(self):
        sock = self.gw.connect()
        self.sockets.append(sock)
        return sock


class Headers(LimitsTestCase):
    def test_headers_too_many_or_too_large_are_refused_431(self):
        gw = self.gw
        gw.start("--threads", "2")
        for _ in range(4):  # every thread has served once before memory is measured
            self.assertEqual(gw.timed_status_request()[0], 200)
        resident_before = gw.resident_kib()
        filler = b"".join(b"X-Filler-%d: %s\r\n" % (i, b"v" * 4000) for i in range(20000))
        cases = [
            ("20,000 header lines of 4 KB without a token", gw.head(token=False) + filler + b"\r\n"),
            ("200 short header lines", gw.head() + b"".join(b"X-%d: v\r\n" % i for i in range(200)) + b"\r\n"),
            ("one header of 64 KiB", gw.head() + b"X-Big: " + b"b" * 65536 + b"\r\n\r\n"),
        ]
        for name, request in cases:
            with self.subTest(name):
                sock = self.connect()
                sender = threading.Thread(target=send_quietly, args=(sock, request))
                sender.start()
                status, body, raw = read_answer(sock, 5)
                sender.join(10)
                self.assertEqual(status, 431, raw[:200])
                self.assertIsInstance(body.get("error"), str)
                self.assertTrue(closed_by_peer(sock, 5))
        # The memory the headers took is the listener's again.
        grown = eventually(lambda: gw.resident_kib() - resident_before < 4096, 5)
        self.assertTrue(grown, f"{resident_before} KiB before, {gw.resident_kib()} KiB after")
        self.assertEqual(gw.timed_status_request()[0], 200)


class SlowClients(LimitsTestCase):
    def test_slow_clients_hold_no_thread_and_run_out_of_time(self):
        gw = self.gw
        threads = 2
        gw.start("--threads", str(threads))
        post = gw.head(method=b"POST", path="/v1/messages", extra=b"Content-Length: 1000\r\n") + b"\r\n"
        # More connections than twice the threads: headers a line a second (also after a first request
        # refused on the same connection), headers that stop, a body a few bytes a second, a body that
        # stops. What each is answered, in order.
        trickles = [(gw.head(), b"X-Slow: 1\r\n", [408]), (gw.head(), b"", [408]),
                    (gw.head(token=False) + b"\r\n" + gw.head(), b"X-Slow: 1\r\n", [401, 408]),
                    (post + b"{", b"  ", [408]), (post + b"{", b"", [408])]
        stop = threading.Event()
        clients = []
        for first, each_second, _ in trickles:
            sock = self.connect()
            sock.sendall(first)
            clients.append((sock, time.monotonic()))
            if each_second:
                threading.Thread(target=self.trickle, args=(sock, each_second, stop), daemon=True).start()
        self.addCleanup(stop.set)

        time.sleep(1.5)
        for _ in range(3):
            status, seconds = gw.timed_status_request()
            self.assertEqual(status, 200)
            self.assertLess(seconds, 1.0)
            time.sleep(1)

        # Headers have ten seconds from the connection or the previous answer, a body of 1,000 bytes ten
        # from its headers.
        for (sock, started), (first, each_second, answers) in zip(clients, trickles):
            with self.subTest(first=first[:4], trickle=each_second, answers=answers):
                for expected in answers:
                    status, body, raw = read_answer(sock, HEADER_SECONDS + SLACK - (time.monotonic() - started))
                    self.assertEqual(status, expected, raw)
                    self.assertIsInstance(body.get("error"), str)
                self.assertLess(time.monotonic() - started, HEADER_SECONDS + SLACK)
                self.assertGreater(time.monotonic() - started, HEADER_SECONDS - 1)
                self.assertTrue(closed_by_peer(sock, 3))
        logged = [line.split()[2::2] for line in gw.log_lines() if line.endswith(b" 408")]
        self.assertEqual(sorted(logged), [[b"-", b"GET", b"408"]] * 3 + [[b"app", b"POST", b"408"]] * 2)

    @staticmethod
    def trickle(sock, data, stop):
        while not stop.wait(1):
            try:
                sock.sendall(data)
            except OSError:
                return


class Bodies(LimitsTestCase):
    def test_a_declared_body_over_the_limit_is_refused_before_it_is_sent(self):
        gw = self.gw
        gw.start("--max-body", "4096")
        cases = [
            ("with a token", True, b"", 413),
            ("with a token, waiting for 100 Continue", True, b"Expect: 100-continue\r\n", 413),
            ("without a token", False, b"", 401),
        ]
        for name, token, extra, expected in cases:
            with self.subTest(name):
                sock = self.connect()
                started = time.monotonic()
                sock.sendall(gw.head(method=b"POST", path="/v1/messages", token=token,
                                     extra=b"Content-Length: 1000000\r\n" + extra) + b"\r\n")
                status, body, raw = read_answer(sock, 5)
                self.assertEqual(status, expected, raw)
                self.assertLess(time.monotonic() - started, 1.0)
                self.assertIsInstance(body.get("error"), str)
                self.assertTrue(closed_by_peer(sock, 3), "the connection stayed open for a body never read")
        sock = self.connect()
        body = b'{"to": ["13900000001"], "text": "' + b"x" * 5000 + b'"}'
        sock.sendall(gw.head(method=b"POST", path="/v1/messages",
                             extra=b"Transfer-Encoding: chunked\r\n") + b"\r\n%x\r\n%s\r\n0\r\n\r\n" % (len(body), body))
        self.assertEqual(read_answer(sock, 5)[0], 413)
        self.assertFalse(os.path.exists(gw.path(time.strftime("%Y-%-m-%-d"), "new", "R1")))


class Connections(LimitsTestCase):
    def test_one_address_holds_at_most_its_share_of_connections(self):
        gw = self.gw
        for extra, cap in [((), 16), (("--per-address", "3"), 3)]:
            with self.subTest(cap=cap):
                gw.stop()
                self.gw = gw = Gateway()
                self.addCleanup(gw.stop)
                gw.start(*extra)
                held = [self.connect() for _ in range(cap)]
                time.sleep(0.3)
                over = self.connect()
                over.sendall(gw.head() + b"\r\n")
                status, body, raw = read_answer(over, 3)
                self.assertEqual(status, 503, raw)
                self.assertIn("connections", body["error"])
                self.assertTrue(closed_by_peer(over, 3))
                held.pop().close()
                self.assertTrue(eventually(lambda: gw.timed_status_request()[0] == 200, 5))


class AccessLog(LimitsTestCase):
    def test_methods_are_logged_escaped_as_paths_are(self):
        gw = self.gw
        gw.start()
        cases = [(b"G\x01ET", b"G%01ET"), (b"GE\x1b[2JT", b"GE%1B[2JT"), (b"GET\x7f", b"GET%7F")]
        for method, logged in cases:
            with self.subTest(method=method):
                sock = self.connect()
                sock.sendall(gw.head(method=method) + b"\r\n")
                self.assertEqual(read_answer(sock, 5)[0], 400)
        sock = self.connect()
        sock.sendall(gw.head(path="/v1/st%01atus") + b"\r\n")
        self.assertEqual(read_answer(sock, 5)[0], 404)

        line_form = re.compile(rb"^\d{4}-\d{1,2}-\d{1,2} \d{1,2}:\d{2}:\d{2} (\S+) 127\.0\.0\.1:\d+ (\S+) (\S+) (\d{3})$")
        lines = eventually(lambda: (lambda lines: lines if len(lines) == 4 else None)(gw.log_lines()), 5)
        self.assertTrue(lines, gw.log_lines())
        fields = []
        for line in lines:
            match = line_form.match(line)
            self.assertTrue(match, line)
            fields.append(match.groups()[1:])
        expected = [(logged, b"/v1/status", b"400") for _, logged in cases] + [(b"GET", b"/v1/st%01atus", b"404")]
        self.assertEqual(sorted(fields), sorted(expected))


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    LISTENER = os.path.abspath(sys.argv[1])
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:], verbosity=2)
