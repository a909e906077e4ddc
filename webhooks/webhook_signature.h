#pragma once

#include <string>

// The X-Vmsms-Signature header's value: "t=UNIX,v1=HEX", HEX the HMAC-SHA256 with `secret` as key of
// the text "UNIX.BODY" in lower-case hex. A receiver recomputes it, compares in constant time and
// refuses a time stamp far from its clock (a replay).
std::string webhook_signature(const std::string& secret, long long unix_seconds, const std::string& body);
