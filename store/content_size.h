#pragma once

#include <string>
#include <string_view>

// How much room a message's content takes on the air, as the engine will send it: English in the
// GSM 7-bit alphabet (the extension characters take two septets), Chinese as UTF-16 units. A content
// longer than one message goes as linked parts of 153 septets or 67 units, never splitting a
// two-septet character or a surrogate pair.
struct ContentSize {
    int characters = 0; // septets for English, UTF-16 units for Chinese
    int parts = 0;      // messages it takes (1 when it fits one)
};
ContentSize content_size(const std::string& content_gbk, bool english);

// The most a content may take: one message (160 septets, 70 units) or, with long messages, ten parts.
inline constexpr int max_parts_of_long_message = 10;
bool content_fits(const ContentSize& size, bool english, bool long_messages);
// That most in characters (septets for English, UTF-16 units for Chinese), for telling the operator: 160
// and 70 in one message, 1530 and 670 in ten parts.
int most_content_characters(bool english, bool long_messages);

// Whether a content holds a control byte other than a line break (LF, or CR LF as a box holds it): a
// leading 0x02 would read back as the English mark, a NUL would cut the text short.
bool content_has_control_bytes(std::string_view content_gbk);
