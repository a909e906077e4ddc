#include "store/recipient_walk.h"

#include "platform/text_ops.h"
#include "store/number_range.h"

#include <optional>

std::vector<std::string_view> recipient_file_lines(std::string_view stored) {
    std::vector<std::string_view> lines = split_at_line_feeds(stored);
    for (std::string_view& line : lines) {
        line = line.substr(0, line.find_first_of("\r\n"));
    }
    return lines;
}

std::string prepared_recipient_line(std::string_view line) {
    return remove_byte(line, ' ');
}

namespace {

// A range's numbers, each moving the index on first; false when the visitor ended the walk.
bool walk_range(const NumberRange& range, long& index, RecipientWalkVisitor& visitor) {
    for (std::uint64_t v = range.low; v <= range.high; ++v) {
        ++index;
        if (!visitor.recipient(index, range.number(v), true)) {
            return false;
        }
    }
    return true;
}

} // namespace

WalkEnd walk_recipient_file(std::string_view stored, RecipientWalkVisitor& visitor) {
    long index = 0;
    for (std::string_view raw : recipient_file_lines(stored)) {
        if (!raw.empty() && raw[0] == '*') {
            return WalkEnd::Barred;
        }
        std::string line = prepared_recipient_line(raw);
        visitor.line(line);
        if (line.empty()) {
            continue;
        }
        if (!looks_like_range(line)) {
            if (!visitor.recipient(index, line, false)) {
                return WalkEnd::Stopped;
            }
            ++index;
            continue;
        }
        visitor.range_line(line);
        std::optional<NumberRange> range = parse_number_range(line);
        if (range ? !walk_range(*range, index, visitor) : !visitor.bad_range(index, line)) {
            return WalkEnd::Stopped;
        }
    }
    return WalkEnd::Finished;
}
