#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The 7-bit packing of the short message service: septets laid end to end, least significant bit
// first, so eight septets fill seven octets.

// Packed septets as upper-case hex, ceil(7n/8) octets. `lead_septets` zero septets go first: a user-data
// header is written over them, and the text then starts on a septet boundary after the header.
std::string pack_septets(std::string_view septets, size_t lead_septets = 0);

// The first `count` septets packed in `octets`; an octet beyond the data counts as 0.
std::string unpack_septets(const std::vector<std::uint8_t>& octets, size_t count);

// The number of septets a user-data header of `header_octets` (its length octet included) takes,
// fill bits included.
size_t header_septets(size_t header_octets);
