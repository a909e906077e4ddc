#!/usr/bin/env python3
"""How fast the gateway sends and receives through a modem with a set submit latency.

Runs vmsmsd with fixed waits and in responsive mode against vmsms-modemsim, and, where they are
installed, Debian's gammu-smsd and smstools against the same simulated modem (as measuring peers
only). Prints seconds per message, CPU per message, the time to the first message, the time to store
messages waiting in the modem, and the answer time of a "*CODE" query to an idle gateway.

Usage: bench/send_receive_pace.py [--messages N] [--latency SECONDS] [--skip-fixed] [--skip-peers]
Build first (./test.sh or scripts/build.sh).
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TOOLS = os.path.join(ROOT, "build", "tools")
SIM = os.path.join(TOOLS, "vmsms-modemsim")
VMSMSD = os.path.join(TOOLS, "vmsmsd")
SEND = os.path.join(TOOLS, "vmsms-send")
TICKS = os.sysconf("SC_CLK_TCK")


def wait_until(test, timeout, step=0.01):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if test():
            return True
        time.sleep(step)
    return test()


def group_cpu_seconds(leader):
    """CPU time of every process in the leader's process group (smstools forks)."""
    total = 0
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        if int(fields[2]) == leader:  # pgrp
            total += int(fields[11]) + int(fields[12])  # utime + stime
    return total / TICKS


class Modem:
    """vmsms-modemsim in a work directory, with its record of submissions."""

    def __init__(self, work, latency_ms, extra=()):
        self.work = work
        self.record = os.path.join(work, "sent.txt")
        self.link = os.path.join(work, "modem")
        self.ctl_socket = os.path.join(work, "ctl")
        self.proc = subprocess.Popen(
            [SIM, "--link", self.link, "--control", self.ctl_socket, "--record", self.record,
             "--submit-latency", str(latency_ms), *extra],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        line = self.proc.stdout.readline()
        if not line.startswith("ready"):
            sys.exit("vmsms-modemsim did not start: " + line)

    def ctl(self, *args):
        subprocess.run([SIM, "ctl", self.ctl_socket, *args], check=True, stdout=subprocess.DEVNULL)

    def sent(self):
        try:
            with open(self.record, encoding="utf-8", errors="replace") as f:
                return sum(1 for line in f if line.startswith("sent "))
        except OSError:
            return 0

    def stop(self):
        self.proc.terminate()
        self.proc.wait(10)


class Gateway:
    """One contender: how to set it up, queue a message, start it and count what it stored."""

    def __init__(self, work, modem):
        self.work, self.modem, self.proc = work, modem, None

    def start(self):
        self.proc = subprocess.Popen(self.command(), cwd=self.work, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL, start_new_session=True)

    def stop(self):
        if self.proc:
            os.killpg(self.proc.pid, signal.SIGTERM)
            try:
                self.proc.wait(20)
            except subprocess.TimeoutExpired:
                os.killpg(self.proc.pid, signal.SIGKILL)
                self.proc.wait()

    def cpu(self):
        return group_cpu_seconds(self.proc.pid)


class Vmsmsd(Gateway):
    def __init__(self, work, modem, responsive, speed):
        super().__init__(work, modem)
        self.responsive, self.speed = responsive, speed
        with open(os.path.join(work, "server.txt"), "w") as f:
            f.write(f"[SET]\r\nCOM={modem.link}\r\nRATE=19200\r\n")
        os.makedirs(os.path.join(work, "query"))
        with open(os.path.join(work, "query", "query"), "w") as f:
            f.write("[query]\r\n000000=222222\r\nP1=price\r\n")

    def command(self):
        return [VMSMSD, "--speed", str(self.speed)] + (["--responsive"] if self.responsive else [])

    def queue(self, number, text):
        subprocess.run([SEND, "--english", "--to", number, text], cwd=self.work, check=True,
                       stdout=subprocess.DEVNULL)

    def stored(self):
        day = f"{time.localtime().tm_year}-{time.localtime().tm_mon}-{time.localtime().tm_mday}"
        try:
            with open(os.path.join(self.work, day, "recv", "acc")) as f:
                return int(f.read().strip() or 0)
        except (OSError, ValueError):
            return 0


class GammuSmsd(Gateway):
    def __init__(self, work, modem):
        super().__init__(work, modem)
        self.dirs = {d: os.path.join(work, d) + "/" for d in ("inbox", "outbox", "sent", "error")}
        for d in self.dirs.values():
            os.makedirs(d)
        self.config = os.path.join(work, "gammu-smsdrc")
        with open(self.config, "w") as f:
            f.write(f"[gammu]\ndevice = {modem.link}\nconnection = at19200\n\n"
                    f"[smsd]\nservice = files\nlogfile = {work}/gammu.log\ndebuglevel = 0\n"
                    f"inboxpath = {self.dirs['inbox']}\noutboxpath = {self.dirs['outbox']}\n"
                    f"sentsmspath = {self.dirs['sent']}\nerrorsmspath = {self.dirs['error']}\n"
                    "ReceiveFrequency = 1\nStatusFrequency = 0\nCheckSecurity = 0\nCheckBattery = 0\n"
                    "CheckSignal = 0\nCommTimeout = 1\nSendTimeout = 30\nLoopSleep = 0\nDeliveryReport = no\n")

    def command(self):
        return ["gammu-smsd", "-c", self.config]

    def queue(self, number, text):
        subprocess.run(["gammu-smsd-inject", "-c", self.config, "TEXT", number, "-text", text], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def stored(self):
        return len(os.listdir(self.dirs["inbox"]))


class Smstools(Gateway):
    def __init__(self, work, modem):
        super().__init__(work, modem)
        self.dirs = {d: os.path.join(work, d) for d in ("outgoing", "checked", "incoming", "sent", "failed")}
        for d in self.dirs.values():
            os.makedirs(d)
        self.config = os.path.join(work, "smsd.conf")
        with open(self.config, "w") as f:
            f.write("devices = GSM1\n" + "".join(f"{d} = {p}\n" for d, p in self.dirs.items()) +
                    f"logfile = {work}/smsd.log\nloglevel = 4\ninfofile = {work}/smsd.working\n"
                    f"pidfile = {work}/smsd.pid\nreceive_before_send = no\nautosplit = 0\n\n"
                    f"[GSM1]\ndevice = {modem.link}\nbaudrate = 19200\nincoming = yes\n")
        self.count = 0

    def command(self):
        return ["smsd", "-c", self.config, "-t"]

    def queue(self, number, text):
        self.count += 1
        path = os.path.join(self.dirs["outgoing"], f"msg{self.count:04d}")
        with open(path + ".tmp", "w") as f:
            f.write(f"To: 86{number}\n\n{text}\n")
        os.rename(path + ".tmp", path)

    def stored(self):
        return len(os.listdir(self.dirs["incoming"]))


def sending(make, messages, latency_ms):
    """Seconds to the first message, seconds and CPU per message in the steady run."""
    work = tempfile.mkdtemp(prefix="vmsms-bench-")
    modem = Modem(work, latency_ms)
    gateway = make(work, modem)
    try:
        for i in range(messages):
            gateway.queue(f"139{i:08d}", f"bench message {i}")
        start = time.monotonic()
        gateway.start()
        if not wait_until(lambda: modem.sent() >= 1, 120):
            return None
        first = time.monotonic()
        cpu_first = gateway.cpu()
        if not wait_until(lambda: modem.sent() >= messages, 30 + 15 * messages):
            return None
        last = time.monotonic()
        per_message = (last - first) / max(messages - 1, 1)
        cpu = (gateway.cpu() - cpu_first) / max(messages - 1, 1)
        return first - start, per_message, cpu
    finally:
        gateway.stop()
        modem.stop()
        shutil.rmtree(work, ignore_errors=True)


def receiving(make, waiting, queries, latency_ms):
    """Seconds from start until `waiting` messages in the modem are stored and `queries` answered."""
    work = tempfile.mkdtemp(prefix="vmsms-bench-")
    modem = Modem(work, latency_ms)
    gateway = make(work, modem)
    try:
        for i in range(waiting):
            modem.ctl("deliver", "--from", f"138{i:08d}", "--text", "*P1" if i < queries else f"note {i}")
        start = time.monotonic()
        gateway.start()
        done = wait_until(lambda: gateway.stored() >= waiting and modem.sent() >= queries, 300)
        return time.monotonic() - start if done else None
    finally:
        gateway.stop()
        modem.stop()
        shutil.rmtree(work, ignore_errors=True)


def idle_query(make, latency_ms):
    """Seconds from a "*CODE" query reaching an idle gateway's modem to its answer leaving it."""
    work = tempfile.mkdtemp(prefix="vmsms-bench-")
    modem = Modem(work, latency_ms)
    gateway = make(work, modem)
    try:
        gateway.start()
        time.sleep(5)  # started and idle
        start = time.monotonic()
        modem.ctl("deliver", "--from", "13800000001", "--text", "*P1")
        done = wait_until(lambda: modem.sent() >= 1, 60)
        return time.monotonic() - start if done else None
    finally:
        gateway.stop()
        modem.stop()
        shutil.rmtree(work, ignore_errors=True)


def show(value, form):
    return form % value if value is not None else "did not finish"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--messages", type=int, default=10)
    parser.add_argument("--latency", type=float, default=0.5, help="the modem's submit latency in seconds")
    parser.add_argument("--skip-fixed", action="store_true", help="leave out the fixed-wait runs (slow)")
    parser.add_argument("--skip-peers", action="store_true")
    args = parser.parse_args()
    latency_ms = int(args.latency * 1000)
    for program in (SIM, VMSMSD, SEND):
        if not os.access(program, os.X_OK):
            sys.exit(f"{program} is not built: run scripts/build.sh first")

    contenders = [("vmsmsd responsive, speed 0", lambda w, m: Vmsmsd(w, m, True, 0)),
                  ("vmsmsd responsive, speed 5", lambda w, m: Vmsmsd(w, m, True, 5))]
    if not args.skip_fixed:
        contenders += [("vmsmsd fixed waits, speed 0", lambda w, m: Vmsmsd(w, m, False, 0)),
                       ("vmsmsd fixed waits, speed 5", lambda w, m: Vmsmsd(w, m, False, 5))]
    if not args.skip_peers:
        if shutil.which("gammu-smsd") and shutil.which("gammu-smsd-inject"):
            contenders.append(("gammu-smsd", GammuSmsd))
        if shutil.which("smsd"):
            contenders.append(("smstools", Smstools))

    print(f"{args.messages} messages, modem submit latency {args.latency:.2f} s")
    print(f"{'gateway':34} {'first out':>10} {'s/message':>10} {'x latency':>10} {'CPU ms/msg':>11}")
    per_message = {}
    for label, make in contenders:
        result = sending(make, args.messages, latency_ms)
        if result is None:
            print(f"{label:34} did not finish")
            continue
        first, pace, cpu = result
        per_message[label] = pace
        ratio = pace / args.latency if args.latency > 0 else float("nan")
        print(f"{label:34} {first:9.2f}s {pace:9.2f}s {ratio:9.2f}x {cpu * 1000:10.1f}")
    best = per_message.get(contenders[0][0])
    for label, _ in contenders[1:]:
        if best and label in per_message:
            print(f"vmsmsd responsive, speed 0 takes {best / per_message[label]:.2f} of the time of {label}")

    print()
    print("20 messages waiting in the modem, 5 of them \"*P1\" queries: stored and answered after start")
    receivers = [("vmsmsd responsive, speed 0", lambda w, m: Vmsmsd(w, m, True, 0))]
    if not args.skip_fixed:
        receivers.append(("vmsmsd fixed waits, speed 0", lambda w, m: Vmsmsd(w, m, False, 0)))
    for label, make in receivers:
        print(f"  {label:34} {show(receiving(make, 20, 5, latency_ms), '%.2f s')}")
    if not args.skip_peers:
        peers = [("gammu-smsd (storing only)", GammuSmsd)] if shutil.which("gammu-smsd") else []
        peers += [("smstools (storing only)", Smstools)] if shutil.which("smsd") else []
        for label, make in peers:
            print(f"  {label:34} {show(receiving(make, 20, 0, latency_ms), '%.2f s')}")

    print()
    print("a \"*P1\" query to an idle gateway: from reaching the modem to the answer leaving it")
    print(f"  {'vmsmsd responsive, speed 0':34} "
          f"{show(idle_query(lambda w, m: Vmsmsd(w, m, True, 0), latency_ms), '%.2f s')}")


if __name__ == "__main__":
    main()
