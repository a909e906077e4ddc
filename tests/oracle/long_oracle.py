#!/usr/bin/env python3
"""Checks that the gateway puts together the long messages gammu builds.

gammu (an independent SMS implementation) splits long texts into concatenated SMS-DELIVER parts; the
simulated modem stores them in a shuffled order, some twice, and vmsmsd (long messages on) must store
each text once and whole. A message with a part missing must not be stored.

Usage: long_oracle.py VMSMS_MODEMSIM VMSMSD
Exit status: 0 all checks pass, 1 a check fails, 77 python3-gammu is not available (skip).
"""

import datetime
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

try:
    import gammu
except ImportError as error:
    print(f"SKIP: python3-gammu cannot be imported ({error})")
    sys.exit(77)

WHEN = datetime.datetime(2024, 5, 6, 7, 1, 5)

CASES = [
    # name, sender, text, unicode
    ("7bit_with_extension_characters", "+8613900000001", "Price: {5} [EUR] ~ ok ^_^ | a\\b @home $ " * 9, False),
    ("ucs2_chinese", "13900000002", "企业短消息服务器把一台调制解调器变成短信网关，" * 9, True),
    ("query_in_parts", "13900000003", "*P1" + " " * 200, False),
]


def gammu_parts(sender, text, unicode, reference):
    parts = gammu.EncodeSMS({"Class": -1, "Unicode": unicode,
                             "Entries": [{"ID": "ConcatenatedTextLong", "Buffer": text}]})
    pdus = []
    for part in parts:
        udh = dict(part["UDH"])
        udh["ID8bit"] = reference
        udh["Text"] = bytes([5, 0, 3, reference, udh["AllParts"], udh["PartNumber"]])
        message = {
            "Number": sender, "Text": part["Text"], "UDH": udh, "Coding": part["Coding"],
            "Length": part["Length"], "SMSC": {"Location": 0, "Number": "+8613800000500", "Validity": "1440M"},
            "Type": "Deliver", "Folder": 1, "InboxFolder": 1, "Memory": "SM", "Location": 0, "Name": "",
            "State": "UnRead", "Class": -1, "DateTime": WHEN, "SMSCDateTime": WHEN, "DeliveryStatus": 0,
            "ReplyViaSameSMSC": 0, "MessageReference": 0, "ReplaceMessage": 0, "RejectDuplicates": 0,
        }
        pdus.append(gammu.EncodePDU(message, Layout="Deliver").hex().upper())
    return pdus


def wait_until(test, timeout):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if test():
            return True
        time.sleep(0.05)
    return test()


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    simulator, vmsmsd = sys.argv[1], sys.argv[2]
    work = tempfile.mkdtemp(prefix="vmsms-long-oracle-")
    failed = 0
    sim = gateway = None
    try:
        sim = subprocess.Popen([simulator, "--link", f"{work}/modem", "--control", f"{work}/ctl"],
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if not sim.stdout.readline().startswith("ready"):
            print("FAIL  the simulated modem did not start")
            return 1
        with open(f"{work}/server.txt", "w") as f:
            f.write(f"[SET]\r\nCOM={work}/modem\r\nRATE=19200\r\n")
        os.makedirs(f"{work}/query")
        with open(f"{work}/query/query", "w") as f:
            f.write("[query]\r\n000000=222222\r\nP1=price\r\n")
        gateway = subprocess.Popen([vmsmsd, "--responsive", "--long", "--speed", "0"], cwd=work,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        now = datetime.datetime.now()
        day = f"{work}/{now.year}-{now.month}-{now.day}"
        rng = random.Random(4)
        deliveries = []
        for reference, (name, sender, text, unicode) in enumerate(CASES, start=10):
            pdus = gammu_parts(sender, text, unicode, reference)
            deliveries += pdus + [pdus[0]]  # every first part comes twice
        rng.shuffle(deliveries)
        missing = gammu_parts("13900000009", "never complete " * 20, False, 99)[1:]
        for pdu in deliveries + missing:
            subprocess.run([simulator, "ctl", f"{work}/ctl", "deliver", "--pdu", pdu], check=True,
                           stdout=subprocess.DEVNULL)
        if not wait_until(lambda: read(f"{day}/recv/acc") == str(len(CASES)).encode(), 30):
            print(f"FAIL  stored {read(f'{day}/recv/acc')!r} messages, expected {len(CASES)}")
            return 1
        time.sleep(1.5)  # a message stored twice, or the incomplete one, would show by now
        stored = {}
        for n in range(1, 10):
            sender = read(f"{day}/recv/R{n}")
            if sender is not None:
                stored[sender.decode("gbk")] = read(f"{day}/recv/DA{n}").decode("gbk")
        for name, sender, text, unicode in CASES:
            key = sender.replace("+86", "")
            got = stored.get(key)
            if got == text:
                print(f"PASS  {name}: stored whole, once")
            else:
                failed += 1
                print(f"FAIL  {name}: expected {text!r}, got {got!r}")
        if "13900000009" in stored or len(stored) != len(CASES):
            failed += 1
            print(f"FAIL  stored {sorted(stored)}: the message with a missing part must wait")
        else:
            print("PASS  a message with a part missing waits")
        reply = read(f"{day}/new/DA1")
        if reply == b"price" and read(f"{day}/new/acc") == b"1":
            print("PASS  the query in parts is answered once")
        else:
            failed += 1
            print(f"FAIL  query reply {reply!r}, queued {read(f'{day}/new/acc')!r}")
    finally:
        for process in (gateway, sim):
            if process:
                process.terminate()
                process.wait(15)
        shutil.rmtree(work, ignore_errors=True)
    print("RESULT: PASS" if failed == 0 else "RESULT: FAIL")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
