#pragma once

#include "modem/pdu/pdu_hex.h"

#include <string>
#include <string_view>

// Address fields of a PDU: the service centre, and the sender or destination of a message.

inline constexpr int address_national = 0x81;      // unknown numbering type, ISDN plan
inline constexpr int address_international = 0x91; // international, ISDN plan
inline constexpr int address_alphanumeric = 0xD0;  // text in the 7-bit alphabet

// An address holds at most 10 octets: 20 digits, or 11 characters of the 7-bit alphabet.
inline constexpr size_t max_address_semi_octets = 20;
inline constexpr size_t max_address_digits = 20;
inline constexpr int max_alphanumeric_address = 11;

bool is_international(int type);
bool is_alphanumeric(int type);

struct PduAddress {
    std::string length_text; // the length field as written
    int type = 0;
    std::string semi_octets; // the address as written
    std::string value;       // the digits in reading order, or the text of an alphanumeric address (GBK)
};

// A sender or destination address: the length counts the digits (semi-octets for a text address).
PduAddress read_address(PduReader& reader);

// The service-centre address: the length counts the octets after it, the type included; 0 means none.
PduAddress read_service_centre(PduReader& reader);

// A sender or destination field for `value`: digits, or GBK text when `type` is alphanumeric.
std::string address_field(std::string_view value, int type);

// A service-centre field for international digits; "00" (none) when they are empty.
std::string service_centre_field(std::string_view digits);
