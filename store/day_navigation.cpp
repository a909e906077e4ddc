#include "store/day_navigation.h"

#include "platform/text_ops.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>

namespace {

struct DayParts {
    long long year = 0;
    long long month = 0;
    long long day = 0;
};

// Each part is read as C's atol reads it. A text with fewer parts reads a missing part from the whole
// text, because a field that is not there comes back as the whole text.
DayParts split_day(const std::string& text) {
    const std::string dashed = text + "-";
    auto part = [&dashed](int k) {
        std::string field;
        field_split(dashed, '-', k, field);
        // Absurd numbers are kept within a range where stepping a day cannot overflow.
        return std::clamp<long long>(parse_decimal(field), -1000000000LL, 1000000000LL);
    };
    return {part(1), part(2), part(3)};
}

std::string day_text(const DayParts& d, const std::string& today) {
    if (d.year < 1000) {
        return today;
    }
    char buf[80];
    std::snprintf(buf, sizeof buf, "%4lld-%lld-%lld", d.year, d.month, d.day);
    return buf;
}

void next_month(DayParts& d) {
    d.day = 1;
    if (++d.month == 13) {
        d.month = 1;
        ++d.year;
    }
}

bool has_thirty_days(long long month) {
    return month == 4 || month == 6 || month == 9 || month == 11;
}

// UTF-16 units of a UTF-8 text: one for each lead byte, two for a character beyond the BMP (a
// four-byte sequence). Continuation bytes add nothing.
std::size_t utf16_length(const std::string& text) {
    std::size_t units = 0;
    for (unsigned char c : text) {
        if ((c & 0xC0) == 0x80) {
            continue;
        }
        units += c >= 0xF0 ? 2 : 1;
    }
    return units;
}

} // namespace

std::string chosen_day(const std::string& box_text, const std::string& today) {
    return utf16_length(box_text) > 1 ? box_text : today;
}

std::string previous_day_text(const std::string& text, const std::string& today) {
    DayParts d = split_day(text);
    if (--d.day < 1) {
        --d.month;
        d.day = d.month == 2 ? 29 : has_thirty_days(d.month) ? 30 : 31;
        if (d.month <= 0) {
            d.month = 12;
            --d.year;
        }
    }
    return day_text(d, today);
}

std::string next_day_text(const std::string& text, const std::string& today) {
    DayParts d = split_day(text);
    ++d.day;
    if (d.month == 2 && d.day > 29) {
        d.day = 1;
        d.month = 3;
    }
    if (has_thirty_days(d.month) && d.day > 30) {
        next_month(d);
    }
    if (d.day > 31) {
        next_month(d);
    }
    return day_text(d, today);
}
