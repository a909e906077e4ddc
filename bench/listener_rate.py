#!/usr/bin/env python3
"""Requests per second of POST /v1/messages on vmsms-listener, and the listener's memory.

usage: bench/listener_rate.py [--listener build/programs/vmsms-listener] [--requests 4000] [--clients 8]

Starts a listener in a temporary gateway directory (no rate limit), has CLIENTS threads with one
keep-alive connection each queue REQUESTS messages between them, checks that every one was queued
(the day's new/acc), and prints the rate and the listener's VmRSS and VmHWM.
"""

import argparse
import datetime
import http.client
import json
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def memory_kib(pid):
    figures = {}
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            key, _, value = line.partition(":")
            if key in ("VmRSS", "VmHWM"):
                figures[key] = int(value.split()[0])
    return figures


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--listener", default=os.path.join(here, "..", "build", "tools", "vmsms-listener"))
    parser.add_argument("--requests", type=int, default=4000)
    parser.add_argument("--clients", type=int, default=8)
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="vmsms-listener-bench-")
    listener = None
    try:
        token = subprocess.run([args.listener, "--dir", work, "--new-token", "bench"], capture_output=True,
                               text=True, check=True).stdout.strip()
        port = free_port()
        listener = subprocess.Popen([args.listener, "--dir", work, "--listen", f"127.0.0.1:{port}", "--rate", "0"],
                                    stdout=subprocess.PIPE, text=True)
        if "listening on" not in listener.stdout.readline():
            raise SystemExit("the listener did not start")
        idle = memory_kib(listener.pid)

        failures = []
        per_client = [args.requests // args.clients + (1 if c < args.requests % args.clients else 0)
                      for c in range(args.clients)]

        def client(c):
            connection = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
            headers = {"Authorization": "Bearer " + token, "Content-Type": "application/json"}
            for i in range(per_client[c]):
                body = json.dumps({"to": ["13900000001", "13900000002"], "text": f"测试消息 {c}-{i}"})
                connection.request("POST", "/v1/messages", body, headers)
                response = connection.getresponse()
                response.read()
                if response.status != 201:
                    failures.append(response.status)
            connection.close()

        threads = [threading.Thread(target=client, args=(c,)) for c in range(args.clients)]
        start = time.monotonic()
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        elapsed = time.monotonic() - start
        busy = memory_kib(listener.pid)

        d = datetime.date.today()
        with open(os.path.join(work, f"{d.year}-{d.month}-{d.day}", "new", "acc")) as f:
            queued = int(f.read())
        print(f"POST /v1/messages: {args.requests} requests from {args.clients} clients in {elapsed:.2f} s: "
              f"{args.requests / elapsed:.0f} requests/s ({len(failures)} not 201, {queued} records queued)")
        print(f"listener memory: VmRSS {idle['VmRSS']} KiB idle, {busy['VmRSS']} KiB after; "
              f"VmHWM {busy['VmHWM']} KiB")
        if failures or queued != args.requests:
            raise SystemExit(1)
    finally:
        if listener and listener.poll() is None:
            listener.send_signal(signal.SIGTERM)
            listener.wait(10)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
