#!/usr/bin/env python3
"""Checks the PDU codec against gammu, an independent SMS implementation.

gammu decodes every submit PDU the gateway builds and must find our number and text in it; gammu
builds deliver PDUs (national, international and alphanumeric senders, 7-bit text with extension
characters, UCS-2 Chinese, concatenated parts) and our decoder must find gammu's sender and text.
The modem-side peer is checked the same way in both directions.

Usage: pdu_oracle.py PATH_TO_pdu_oracle_helper
Exit status: 0 all checks pass, 1 a check fails, 77 python3-gammu is not available (skip).
"""

import datetime
import subprocess
import sys

SKIP = 77

try:
    import gammu
except ImportError as error:
    print(f"SKIP: python3-gammu cannot be imported ({error})")
    sys.exit(SKIP)

SERVICE_CENTRE = "+8613800000500"
WHEN = datetime.datetime(2024, 5, 6, 7, 1, 5)

# The GSM default alphabet's extension table: these take two septets each.
EXTENSION = set("^{}\\[~]|€\f")


def to_hex(text):
    return text.encode("utf-8").hex().upper() if text else "-"


def from_hex(field):
    return "" if field == "-" else bytes.fromhex(field).decode("utf-8")


def cut_to_septets(text, limit):
    """The longest start of `text` that fits in `limit` septets without splitting an escape pair."""
    used = 0
    for index, char in enumerate(text):
        width = 2 if char in EXTENSION else 1
        if used + width > limit:
            return text[:index]
        used += width
    return text


def national(gammu_number):
    """What the gateway stores for a sender gammu shows as `gammu_number`: +86 numbers as national
    numbers, other international numbers with their '+'."""
    if gammu_number.startswith("+86"):
        return gammu_number[3:]
    return gammu_number


def gammu_message(number, text, unicode, layout):
    message = {
        "Number": number,
        "Text": text,
        "SMSC": {"Location": 0, "Number": SERVICE_CENTRE, "Validity": "1440M"},
        "Coding": "Unicode_No_Compression" if unicode else "Default_No_Compression",
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
        "Length": len(text),
    }
    return message


def gammu_pdu(number, text, unicode, layout="Deliver"):
    return gammu.EncodePDU(gammu_message(number, text, unicode, layout), Layout=layout).hex().upper()


def gammu_parts(text, unicode, number):
    """Deliver PDUs of a long text split into concatenated parts, with each part's own text."""
    parts = gammu.EncodeSMS({"Class": -1, "Unicode": unicode, "Entries": [{"ID": "ConcatenatedTextLong", "Buffer": text}]})
    out = []
    for part in parts:
        message = gammu_message(number, part["Text"], unicode, "Deliver")
        message.update({"UDH": part["UDH"], "Coding": part["Coding"], "Length": part["Length"]})
        udh = part["UDH"]
        reference = udh["ID8bit"] if udh["ID8bit"] >= 0 else udh["ID16bit"]
        where = f"{reference}:{udh['AllParts']}:{udh['PartNumber']}"
        out.append((gammu.EncodePDU(message, Layout="Deliver").hex().upper(), part["Text"], where))
    return out


def gammu_decode(pdu):
    decoded = gammu.DecodePDU(bytes.fromhex(pdu), SMSC=True)
    # gammu 1.42 sizes the text of a 7-bit message by its septet count, so when escape pairs make the
    # text shorter, a NUL and leftover memory follow it. No text we send holds a NUL.
    decoded["Text"] = decoded["Text"].split("\0", 1)[0]
    return decoded


class Checks:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def expect(self, name, got, expected):
        if got == expected:
            self.passed += 1
            print(f"PASS  {name}")
        else:
            self.failed += 1
            print(f"FAIL  {name}: expected {expected!r}, got {got!r}")


def run_helper(helper, commands):
    result = subprocess.run([helper], input="\n".join(commands) + "\n", capture_output=True, text=True, timeout=60)
    answers = result.stdout.splitlines()
    if result.returncode != 0 or len(answers) != len(commands):
        print(f"FAIL  helper: status {result.returncode}, {len(answers)} answers to {len(commands)} commands")
        print(result.stderr)
        print("RESULT: FAIL")
        sys.exit(1)
    return answers


LONG_ENGLISH = "The quick brown fox jumps over the lazy dog; " * 4
LONG_CHINESE = "企业短消息服务器把一台调制解调器变成短信网关，" * 3 + "欢迎使用本系统谢谢"

ENGLISH_TEXTS = [
    ("hello", "hello"),
    ("punctuation", "Meeting at 10:30 in room 5; call +86 139 0000 0001!"),
    ("extension_characters", "Price: {5} [EUR] €10 ~ ok ^_^ | a\\b @home $"),
    ("at_sign_in_the_middle", "a@b"),
    ("three_blanks_of_compose", "see you   "),
    ("longer_than_one_message", LONG_ENGLISH),
    ("escape_pair_at_the_cut", "x" * 161 + "{}"),
]
CHINESE_TEXTS = [
    ("hello", "你好"),
    ("mixed", "您的验证码是123456，请勿泄露。"),
    ("seventy_characters", LONG_CHINESE[:70]),
    ("euro_sign", "价格€10"),
]
NUMBERS = ["13900000001", "139000000012"]


def submit_cases():
    """(name, command, expected number, expected text, unicode, expected validity, expected SMSC)."""
    cases = []
    for number in NUMBERS:
        for label, text in ENGLISH_TEXTS:
            cases.append((f"standard/english/{label}/{len(number)}", "standard", "7bit", number, "-", text,
                          "+86" + number, cut_to_septets(text, 160), False, "1440M", ""))
        for label, text in CHINESE_TEXTS:
            cases.append((f"standard/chinese/{label}/{len(number)}", "standard", "ucs2", number, "-", text,
                          "+86" + number, text, True, "245M", ""))
    cases += [
        ("siemens/english", "siemens", "7bit", "13900000001", "8613800000500", "hello {x}", "13900000001",
         "hello {x}", False, "1440M", "+8613800000500"),
        ("siemens/chinese/12", "siemens", "ucs2", "139000000012", "8613800000500", "你好", "139000000012", "你好",
         True, "1440M", "+8613800000500"),
        ("siemens/default_smscode", "siemens", "7bit", "13900000001", "0000000000", "hi", "13900000001", "hi",
         False, "1440M", "+860000000000"),
    ]
    return cases


def flash_cases():
    """7-bit texts sent with the show-on-screen option: (name, variant, smscode, text)."""
    return [
        ("standard/hello", "standard-flash", "-", "hello"),
        ("standard/extension_characters", "standard-flash", "-", "Price: {5} [EUR] ok"),
        ("siemens/hello", "siemens-flash", "8613800000500", "hello"),
    ]


def deliver_cases():
    """gammu-built deliver PDUs: (name, pdu, expected sender, expected text)."""
    singles = [
        ("international_86/7bit", "+8613900000001", "hello", False),
        ("national/extension_characters", "13900000001", "Price: {5} [EUR] €10 ~ ok ^_^ | a\\b @home $", False),
        ("service_number/query", "10086", "*101", False),
        ("foreign_international", "+447700900123", "x@y", False),
        ("alphanumeric", "Velmora", "abc", False),
        ("alphanumeric_long", "InfoService", "Your code is 1234", False),
        ("international_86/ucs2", "+8613800138000", "你好，世界！欢迎使用短信网关。", True),
        ("national/ucs2_euro", "13900000001", "€ and 中文", True),
    ]
    cases = []
    for name, number, text, unicode in singles:
        sender = national(number)
        cases.append((name, gammu_pdu(number, text, unicode), sender, text, "-"))
    for unicode, text in ((False, "Part one and two " * 12), (True, "第一部分和第二部分" * 12)):
        for index, (pdu, part_text, where) in enumerate(gammu_parts(text, unicode, "+8613900000001")):
            coding = "ucs2" if unicode else "7bit"
            cases.append((f"concatenated/{coding}/part{index + 1}", pdu, "13900000001", part_text, where))
    return cases


def long_submit_cases():
    """Long messages the engine splits: (name, variant, coding, smscode, reference, text)."""
    english = "Price: {5} [EUR] 10 ~ ok ^_^ | a\\b @home $ " * 12
    return [
        ("standard/english_with_extension_characters", "standard", "7bit", "-", 7, english[:500]),
        ("standard/english_escape_pair_on_a_part_edge", "standard", "7bit", "-", 200, "x" * 152 + "{" + "y" * 200),
        ("standard/english_ten_parts", "standard", "7bit", "-", 255, ("abcdefghij" * 153)[:1530]),
        ("standard/chinese_300", "standard", "ucs2", "-", 42, (LONG_CHINESE * 7)[:300]),
        ("standard/chinese_71", "standard", "ucs2", "-", 1, LONG_CHINESE[:71]),
        ("siemens/chinese_150", "siemens", "ucs2", "8613800000500", 9, (LONG_CHINESE * 4)[:150]),
    ]


def linked_text(decoded_parts):
    """The text gammu makes of the parts once it has linked them into one message."""
    linked = gammu.LinkSMS([[part] for part in decoded_parts])
    if len(linked) != 1:
        return f"<gammu linked them into {len(linked)} messages>"
    info = gammu.DecodeSMS(linked[0])
    if info is None:
        return "".join(part["Text"].split("\0", 1)[0] for part in linked[0])
    return "".join(entry["Buffer"] or "" for entry in info["Entries"])


def peer_deliver_cases():
    """Our deliver PDUs for gammu: (name, form, coding, sender, text, expected gammu number)."""
    return [
        ("national/7bit", "national", "7bit", "13900000001", "hello @ {home}", "13900000001"),
        ("international/7bit", "international", "7bit", "8613900000001", "€5 ~ [ok]", "+8613900000001"),
        ("alphanumeric", "alpha", "7bit", "Velmora", "abc", "Velmora"),
        ("national/ucs2", "national", "ucs2", "10086", "您好，查询结果如下", "10086"),
    ]


def peer_submit_cases():
    """gammu's submit PDUs for our peer: (name, pdu, expected number, expected type, expected text)."""
    return [
        ("international/7bit", gammu_pdu("+8613900000001", "hi {x} €", False, "Submit"), "8613900000001", 0x91,
         "hi {x} €"),
        ("national/ucs2", gammu_pdu("13900000001", "你好", True, "Submit"), "13900000001", 0x81, "你好"),
    ]


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    checks = Checks()
    submits = submit_cases()
    delivers = deliver_cases()
    peer_delivers = peer_deliver_cases()
    peer_submits = peer_submit_cases()

    flashes = flash_cases()
    longs = long_submit_cases()

    commands = [f"submit {c[1]} {c[2]} {c[3]} {c[4]} {to_hex(c[5])}" for c in submits]
    commands += [f"submit {variant} 7bit 13900000001 {smscode} {to_hex(text)}" for _, variant, smscode, text in flashes]
    commands += [f"submit-long {variant} {coding} 13900000001 {smscode} {reference} {to_hex(text)}"
                 for _, variant, coding, smscode, reference, text in longs]
    commands += [f"received {pdu}" for _, pdu, _, _, _ in delivers]
    commands += [f"deliver {form} {coding} {to_hex(sender)} {to_hex(text)}"
                 for _, form, coding, sender, text, _ in peer_delivers]
    commands += [f"submitted {pdu}" for _, pdu, _, _, _ in peer_submits]
    answers = iter(run_helper(sys.argv[1], commands))

    print("-- submit PDUs we build, decoded by gammu")
    for name, _, _, _, _, _, number, text, unicode, validity, centre in submits:
        fields = next(answers).split(" ")
        pdu = fields[1]
        decoded = gammu_decode(pdu)
        checks.expect(f"submit {name}: number", decoded["Number"], number)
        checks.expect(f"submit {name}: text", decoded["Text"], text)
        checks.expect(f"submit {name}: coding", decoded["Coding"],
                      "Unicode_No_Compression" if unicode else "Default_No_Compression")
        checks.expect(f"submit {name}: validity", decoded["SMSC"]["Validity"], validity)
        checks.expect(f"submit {name}: service centre", decoded["SMSC"]["Number"], centre)

    print("-- show-on-screen 7-bit messages: readable, and class 0")
    for name, _, _, text in flashes:
        decoded = gammu_decode(next(answers).split(" ")[1])
        checks.expect(f"flash {name}: text", decoded["Text"], text)
        checks.expect(f"flash {name}: class", decoded["Class"], 0)

    print("-- long messages we split, decoded part by part and linked by gammu")
    for name, _, _, _, reference, text in longs:
        pdus = next(answers).split(" ")[1].split(",")
        decoded = [gammu.DecodePDU(bytes.fromhex(pdu), SMSC=True) for pdu in pdus]
        for index, part in enumerate(decoded):
            udh = part["UDH"]
            checks.expect(f"long {name}: part {index + 1} header",
                          (udh["ID8bit"], udh["AllParts"], udh["PartNumber"]), (reference, len(pdus), index + 1))
        checks.expect(f"long {name}: linked text", linked_text(decoded), text)

    print("-- deliver PDUs gammu builds, decoded by us")
    for name, _, sender, text, where in delivers:
        fields = next(answers).split(" ")
        checks.expect(f"deliver {name}: sender", from_hex(fields[1]), sender)
        checks.expect(f"deliver {name}: text", from_hex(fields[2]), text)
        checks.expect(f"deliver {name}: part", fields[3], where)

    print("-- deliver PDUs of our modem-side peer, decoded by gammu")
    for name, _, _, _, text, number in peer_delivers:
        fields = next(answers).split(" ")
        decoded = gammu_decode(fields[1])
        checks.expect(f"peer deliver {name}: sender", decoded["Number"], number)
        checks.expect(f"peer deliver {name}: text", decoded["Text"], text)

    print("-- submit PDUs gammu builds, decoded by our modem-side peer")
    for name, _, number, number_type, text in peer_submits:
        fields = next(answers).split(" ")
        if fields[0] != "submitted":
            checks.expect(f"peer submit {name}: accepted", fields[0], "submitted")
            continue
        checks.expect(f"peer submit {name}: number", fields[1], number)
        checks.expect(f"peer submit {name}: type", int(fields[2]), number_type)
        checks.expect(f"peer submit {name}: text", from_hex(fields[3]), text)

    print(f"pdu codec against gammu {'.'.join(gammu.Version()[:1])}: {checks.passed} passed, {checks.failed} failed")
    print("RESULT: PASS" if checks.failed == 0 else "RESULT: FAIL")
    return 0 if checks.failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
