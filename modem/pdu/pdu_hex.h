#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Hexadecimal PDU text. Only '0'-'9' and 'A'-'F' are digits: any other character, lower-case letters
// included, reads as '0', so a damaged line never makes a decoder fail.
int hex_digit_value(char c);

// Octets of a hex text, two characters each; a last lone character is the number it spells.
std::vector<std::uint8_t> octets_from_hex(std::string_view hex);

// One octet as two upper-case digits.
void append_hex_octet(std::string& out, std::uint8_t octet);
std::string hex_from_octets(const std::vector<std::uint8_t>& octets);

// Fields read one after another from a PDU. Reading past the end gives 0 and empty text, so a short
// or garbled line still decodes to something.
class PduReader {
public:
    explicit PduReader(std::string_view hex) : hex_(hex) {}

    int octet();
    std::string_view chars(size_t count);
    void skip_octets(size_t count) { chars(2 * count); }

    size_t position() const { return position_; }
    std::string_view rest() const;
    bool exhausted() const { return position_ >= hex_.size(); }
    // Whether every field read so far was fully present.
    bool complete() const { return complete_; }

private:
    std::string_view hex_;
    size_t position_ = 0;
    bool complete_ = true;
};
