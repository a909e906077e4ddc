#!/usr/bin/env python3
"""How much faster a pool of modems sends than one modem.

Queues the same recipients (400 by default, in records of 80) and times vmsmsd in responsive mode
from its start to the last submission, once with one simulated modem and once with a pool of four
(vmsms-modemsim with the same submit latency each), and prints the times and their ratio. Where
Debian's smstools is installed, it sends the same messages from its spool (one file each in its
outgoing directory) through four simulated modems too, as a measuring peer only.

Usage: bench/modem_pool_rate.py [--build DIR] [--recipients N] [--latency MS] [--pool N] [--skip-single]
                                [--skip-peer]
Build first: vmsmsd, vmsms-send and vmsms-modemsim.
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
RECORD_SIZE = 80


def wait_until(test, timeout, step=0.05):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if test():
            return True
        time.sleep(step)
    return test()


def number(i):
    return f"139{i:08d}"


class Modem:
    """vmsms-modemsim in a directory of its own, with its record of submissions."""

    def __init__(self, sim, work, latency_ms):
        os.makedirs(work)
        self.record = os.path.join(work, "sent.txt")
        self.link = os.path.join(work, "modem")
        self.proc = subprocess.Popen(
            [sim, "--link", self.link, "--control", os.path.join(work, "ctl"), "--record", self.record,
             "--submit-latency", str(latency_ms)],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        line = self.proc.stdout.readline()
        if not line.startswith("ready"):
            raise RuntimeError("vmsms-modemsim did not start: " + line)

    def sent(self):
        try:
            with open(self.record, encoding="utf-8", errors="replace") as f:
                return sum(1 for line in f if line.startswith("sent "))
        except OSError:
            return 0

    def stop(self):
        self.proc.terminate()
        self.proc.wait(10)


def start_modems(sim, work, count, latency_ms):
    modems = []
    try:
        for m in range(count):
            modems.append(Modem(sim, os.path.join(work, f"m{m + 1}"), latency_ms))
    except RuntimeError:
        for modem in modems:
            modem.stop()
        raise
    return modems


def stop_group(proc):
    if proc.poll() is None:
        os.killpg(proc.pid, signal.SIGTERM)
        try:
            proc.wait(30)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()


def time_sending(command, work, modems, recipients, timeout):
    """Seconds from the start of `command` to the last of `recipients` submissions, and each modem's
    share; None when they did not all go within `timeout` seconds."""
    start = time.monotonic()
    proc = subprocess.Popen(command, cwd=work, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            start_new_session=True)
    try:
        done = wait_until(lambda: sum(m.sent() for m in modems) >= recipients, timeout)
        seconds = time.monotonic() - start
    finally:
        stop_group(proc)
    return (seconds if done else None), [m.sent() for m in modems]


def vmsmsd_run(build, count, recipients, latency_ms):
    work = tempfile.mkdtemp(prefix="vmsms-pool-bench-")
    modems = start_modems(os.path.join(build, "programs", "vmsms-modemsim"), work, count, latency_ms)
    try:
        settings = "[SET]\r\nRATE=19200\r\n"
        for m, modem in enumerate(modems, 1):
            settings += ("COM=" if m == 1 else f"[MODEM{m}]\r\nCOM=") + modem.link + "\r\n"
        with open(os.path.join(work, "server.txt"), "w") as f:
            f.write(settings)
        send = os.path.join(build, "programs", "vmsms-send")
        for first in range(0, recipients, RECORD_SIZE):
            to = []
            for i in range(first, min(first + RECORD_SIZE, recipients)):
                to += ["--to", number(i)]
            subprocess.run([send, "--english", *to, f"pool bench {first}"], cwd=work, check=True,
                           stdout=subprocess.DEVNULL)
        command = [os.path.join(build, "programs", "vmsmsd"), "--speed", "0", "--responsive"]
        timeout = 60 + recipients * latency_ms / 1000 * 2
        return time_sending(command, work, modems, recipients, timeout)
    finally:
        for modem in modems:
            modem.stop()
        shutil.rmtree(work, ignore_errors=True)


def smstools_run(build, count, recipients, latency_ms):
    work = tempfile.mkdtemp(prefix="vmsms-pool-bench-smstools-")
    modems = start_modems(os.path.join(build, "programs", "vmsms-modemsim"), work, count, latency_ms)
    try:
        dirs = {d: os.path.join(work, d) for d in ("outgoing", "checked", "incoming", "sent", "failed")}
        for d in dirs.values():
            os.makedirs(d)
        names = [f"GSM{m + 1}" for m in range(count)]
        config = os.path.join(work, "smsd.conf")
        with open(config, "w") as f:
            f.write(f"devices = {','.join(names)}\n" + "".join(f"{d} = {p}\n" for d, p in dirs.items()) +
                    f"logfile = {work}/smsd.log\nloglevel = 4\ninfofile = {work}/smsd.working\n"
                    f"pidfile = {work}/smsd.pid\nreceive_before_send = no\nautosplit = 0\n"
                    "delaytime = 1\ndelaytime_mainprocess = 1\n\n")
            for name, modem in zip(names, modems):
                f.write(f"[{name}]\ndevice = {modem.link}\nbaudrate = 19200\nmode = new\nincoming = no\n\n")
        for i in range(recipients):
            path = os.path.join(dirs["outgoing"], f"msg{i:05d}")
            with open(path + ".tmp", "w") as f:
                f.write(f"To: 86{number(i)}\n\npool bench {i}\n")
            os.rename(path + ".tmp", path)
        timeout = 60 + recipients * latency_ms / 1000 * 2
        seconds, shares = time_sending(["smsd", "-c", config, "-t"], work, modems, recipients, timeout)
        failed = len(os.listdir(dirs["failed"]))
        if seconds is None:
            log = os.path.join(work, "smsd.log")
            tail = open(log, errors="replace").read()[-1500:] if os.path.exists(log) else "(no log)"
            print(f"  smstools sent {sum(shares)} of {recipients} ({failed} failed); its log ends:\n{tail}")
        return seconds, shares
    finally:
        for modem in modems:
            modem.stop()
        shutil.rmtree(work, ignore_errors=True)


def show(label, result):
    seconds, shares = result
    figure = f"{seconds:7.1f} s" if seconds is not None else "   (did not finish)"
    print(f"  {label:34} {figure}   per modem: {', '.join(map(str, shares))}")
    return seconds


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--recipients", type=int, default=400)
    parser.add_argument("--latency", type=int, default=500, help="submit latency of each modem, ms")
    parser.add_argument("--pool", type=int, default=4)
    parser.add_argument("--skip-single", action="store_true")
    parser.add_argument("--skip-peer", action="store_true")
    args = parser.parse_args()
    for program in ("vmsmsd", "vmsms-send", "vmsms-modemsim"):
        if not os.access(os.path.join(args.build, "programs", program), os.X_OK):
            sys.exit(f"{program} is not built in {args.build}/programs")

    print(f"{args.recipients} recipients, submit latency {args.latency} ms, vmsmsd --responsive --speed 0")
    single = None if args.skip_single else show("vmsmsd, 1 modem", vmsmsd_run(args.build, 1, args.recipients,
                                                                               args.latency))
    pool = show(f"vmsmsd, {args.pool} modems", vmsmsd_run(args.build, args.pool, args.recipients, args.latency))
    if single and pool:
        print(f"  {args.pool} modems take {pool / single:.2f} of the time of one ({single / pool:.2f}x as fast)")
    if args.skip_peer:
        return
    if not shutil.which("smsd"):
        print("  smstools: not installed (Debian package smstools), not measured")
        return
    peer = show(f"smstools, {args.pool} modems", smstools_run(args.build, args.pool, args.recipients, args.latency))
    if peer and pool:
        print(f"  vmsmsd's pool takes {pool / peer:.2f} of the time of smstools on the same {args.pool} modems")


if __name__ == "__main__":
    main()
