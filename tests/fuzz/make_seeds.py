#!/usr/bin/python3
"""Writes the seed corpora of the fuzz targets into tests/fuzz/corpus/.

The received PDUs come from gammu (python3-gammu, a Debian package, hence the system interpreter),
an independent SMS implementation, so the seeds are lines a real modem lists: national, international,
service-number and alphanumeric senders, 7-bit and UCS-2 text, 8-bit data, concatenated parts with a
user-data header, a stored outgoing message, and a few damaged lines. The listings wrap them the way
modems answer "at+cmgl=4"; the INI files look like the gateway's own files and their odd cousins.

The corpora are committed; run this again only to change them: tests/fuzz/make_seeds.py
"""

import datetime
import pathlib
import shutil
import sys

import gammu

CORPUS = pathlib.Path(__file__).resolve().parent / "corpus"
SERVICE_CENTRE = "+8613800100500"
WHEN = datetime.datetime(2004, 5, 6, 7, 1, 5)


def message(number, text, coding, layout="Deliver", udh=None, length=None):
    sms = {
        "Number": number,
        "Text": text,
        "SMSC": {"Location": 0, "Number": SERVICE_CENTRE, "Validity": "1440M"},
        "Coding": coding,
        "Type": layout,
        "Folder": 1 if layout == "Deliver" else 2,
        "InboxFolder": 1 if layout == "Deliver" else 0,
        "Memory": "SM",
        "Location": 0,
        "Name": "",
        "State": "UnRead" if layout == "Deliver" else "UnSent",
        "Class": -1,
        "DateTime": WHEN if layout == "Deliver" else None,
        "SMSCDateTime": WHEN if layout == "Deliver" else None,
        "DeliveryStatus": 0,
        "ReplyViaSameSMSC": 0,
        "MessageReference": 0,
        "ReplaceMessage": 0,
        "RejectDuplicates": 0,
        "Length": len(text) if length is None else length,
    }
    if udh is not None:
        sms["UDH"] = udh
    return sms


def pdu(number, text, coding="Default_No_Compression", layout="Deliver"):
    return gammu.EncodePDU(message(number, text, coding, layout), Layout=layout).hex().upper()


def parts(number, text, unicode):
    encoded = gammu.EncodeSMS({"Class": -1, "Unicode": unicode,
                               "Entries": [{"ID": "ConcatenatedTextLong", "Buffer": text}]})
    lines = []
    for part in encoded:
        # gammu draws the concatenation reference at random; a fixed one keeps the seeds unchanged.
        udh = dict(part["UDH"], ID8bit=0xC1)
        udh["Text"] = udh["Text"][:3] + bytes([0xC1]) + udh["Text"][4:]
        sms = message(number, part["Text"], part["Coding"], udh=udh, length=part["Length"])
        lines.append(gammu.EncodePDU(sms, Layout="Deliver").hex().upper())
    return lines


UCS2 = "Unicode_No_Compression"


def received_lines():
    lines = {
        "national-7bit": pdu("13900000001", "hello"),
        "international-86-7bit": pdu("+8613900000001", "Meeting at 10:30, room 5"),
        "international-foreign-7bit": pdu("+447700900123", "x@y"),
        "service-number-query": pdu("10086", "*101"),
        "alphanumeric-sender": pdu("InfoService", "Your code is 1234"),
        "extension-characters": pdu("13900000001", "Price: {5} [EUR] \u20ac10 ~ ok ^_^ | a\\b"),
        "international-86-ucs2": pdu("+8613800138000", "\u4f60\u597d\uff0c\u4e16\u754c\uff01", UCS2),
        "national-ucs2-query": pdu("13900000001", "*1", UCS2),
        "eight-bit-data": gammu.EncodePDU(message("13900000001", b"\x01\x02data", "8bit"), Layout="Deliver").hex().upper(),
        "stored-outgoing-submit": pdu("+8613900000001", "queued reply", layout="Submit"),
    }
    for index, line in enumerate(parts("+8613900000001", "Part one and part two. " * 10, False)):
        lines[f"concatenated-7bit-segment{index + 1}"] = line
    for index, line in enumerate(parts("+8613900000001", "\u7b2c\u4e00\u90e8\u5206\u548c\u7b2c\u4e8c\u90e8\u5206" * 10,
                                       True)):
        lines[f"concatenated-ucs2-segment{index + 1}"] = line
    # Damaged lines: cut short, lower-case hex, no service-centre field.
    whole = lines["national-7bit"]
    lines["cut-in-the-address"] = whole[:24]
    lines["lower-case-hex"] = lines["international-86-ucs2"].lower()
    lines["no-service-centre"] = "00" + whole[2 + 2 * int(whole[:2], 16):]
    return lines


def tpdu_octets(line):
    """The length "+CMGL:" announces: the PDU's octets after its service-centre field."""
    return len(line) // 2 - 1 - int(line[:2], 16)


def entry(index, line, status=1):
    return f"+CMGL: {index},{status},,{tpdu_octets(line)}\r\n{line}\r\n"


def listings(lines):
    """Option byte (see fuzz_inbox_pass.cpp) followed by the modem's answer to at+cmgl=4."""
    echo = "at+cmgl=4\r\r\n"
    two = entry(1, lines["national-7bit"]) + entry(2, lines["international-86-ucs2"])
    query = entry(3, lines["national-ucs2-query"]) + entry(4, lines["service-number-query"])
    many = "".join(entry(i + 1, line) for i, line in enumerate(lines.values()) if len(line) > 40)
    return {
        "other-two-messages": "0" + echo + two + "\r\nOK\r\n",
        "other-blank-line-after-echo": "0" + echo + "\r\n" + two + "\r\nOK\r\n",
        "other-no-echo": "0" + "\r\n" + two + "\r\nOK\r\n",
        "wavecom-blank-line-after-echo": "2" + echo + "\r\n" + two + "\r\nOK\r\n",
        "wavecom-without-blank-line": "2" + echo + two + "\r\nOK\r\n",
        "siemens-fast-device": "5" + echo + two + "\r\nOK\r\n",
        "empty-listing": "0" + echo + "OK\r\n",
        "no-ok-reset": "0" + echo + two,
        "silent-modem": "0",
        "error-answer": "0" + echo + "+CMS ERROR: 321\r\n",
        "queries-everyone": "0" + echo + query + "\r\nOK\r\n",
        "queries-members-only": "8" + echo + query + "\r\nOK\r\n",
        "wavecom-queries-members-only": ":" + echo + "\r\n" + query + "\r\nOK\r\n",
        "concatenated-segments-several-chunks": "0" + echo + many + "\r\nOK\r\n",
        "over-the-listing-limit": "P" + echo + many + "\r\nOK\r\n",
        "header-without-comma": "0" + echo + "+CMGL: 1\r\n" + lines["national-7bit"] + "\r\n\r\nOK\r\n",
        "header-without-pdu-line": "0" + echo + "+CMGL: 1,1,,23\r\n",
    }


def ini_files():
    gbk = "gbk"
    return {
        "server-settings": b"[SET]\r\nCOM=COM1\r\nRATE=19200\r\nMTYPE=2\r\nSMSCODE=8613800100500\r\n",
        "quotes-and-blanks": b"[SET]\r\n  COM = \"/dev/ttyUSB0\" \r\nRATE='9600'\r\nEMPTY=\r\n\tTAB\t=\tx\t\r\n"
                             b"quote=\"unbalanced\r\n",
        "lf-only-no-final-newline": b"[query]\n1=Opening hours: 9 to 5\n2=\n[Other]\nkey=value",
        "gbk-names-and-values": ("[cust]\r\n\u5f20\u4e09=13900000001\r\n\u674e\u56db=13900000002\r\n"
                                 "[\u5ba2\u6237]\r\n\u5907\u6ce8=\u91c7\u8d2d\u90e8\u7684\u8054\u7cfb\u4eba\r\n").encode(gbk),
        "members-file": b"[SET]\r\n13900000001=1\r\n13900000002=123219\r\n13900000003=abc\r\n",
        "duplicates-and-case": b"[set]\r\nCOM=first\r\ncom=second\r\n[SET]\r\nCOM=third\r\nRATE=1\r\n",
        "keys-before-any-section": b"COM=orphan\r\n\r\n[SET]\r\n\r\nCOM=COM2\r\n\r\n\r\n[next]\r\n",
        "odd-lines": b"[unclosed\r\n=no key\r\n[ spaced ] trailing\r\nnot a key line\r\n[]\r\nk==v=w\r\n\r\r\n",
        "record-header": b"[HEAD]\r\ntime=2004-5-6 7:01:05\r\nsend= \r\nstat= \r\njrade= \r\n",
    }


def write(folder, files):
    target = CORPUS / folder
    shutil.rmtree(target, ignore_errors=True)
    target.mkdir(parents=True)
    for name, content in files.items():
        data = content.encode("latin-1") if isinstance(content, str) else content
        (target / name).write_bytes(data)


def main():
    lines = received_lines()
    # A listed PDU line keeps its CR: the listing is cut at line feeds only.
    write("received_pdu", {name: line + "\r" for name, line in lines.items()})
    write("inbox_pass", listings(lines))
    write("ini_file", ini_files())
    print(f"seeds written under {CORPUS}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
