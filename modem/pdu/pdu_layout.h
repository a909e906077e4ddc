#pragma once

#include <cstddef>
#include <string_view>

// Fields of the first octet of a PDU (message type, validity format, user-data header indicator).
inline constexpr int message_type_mask = 0x03;
inline constexpr int message_type_deliver = 0x00;
inline constexpr int message_type_submit = 0x01;
inline constexpr int more_messages_none = 0x04; // SMS-DELIVER: nothing more waits for this phone
inline constexpr int user_data_header_flag = 0x40;

// Octets of the validity period an SMS-SUBMIT carries: none, relative (one), or enhanced or absolute
// (seven).
std::size_t validity_octets(int first_octet);

// How many characters of UCS-2 hex, at most `limit`, can be kept without splitting a unit or a
// surrogate pair.
std::size_t ucs2_cut(std::string_view hex, std::size_t limit);
