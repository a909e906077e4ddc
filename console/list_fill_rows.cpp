#include "console/list_fill_rows.h"

#include "platform/text_file.h"

namespace {

// The lists read their counters with room for 8 characters.
constexpr std::size_t counter_chars = 8;
constexpr std::size_t pending_text_limit = 10240;
constexpr std::size_t history_text_limit = 1023;

// A counter of the day as the lists read it; nullopt when its file is missing.
std::optional<long> list_counter(const std::string& day, SpoolDir dir) {
    return read_counter_text(counter_path(day, dir), counter_chars);
}

std::string limited(std::optional<std::string> text, std::size_t limit) {
    std::string out = text.value_or(std::string());
    if (out.size() > limit) {
        out.resize(limit);
    }
    return out;
}

} // namespace

bool clears_before_reading(ListKind kind) {
    return kind != ListKind::Pending;
}

std::optional<ListSpan> list_span(ListKind kind, const std::string& day) {
    ListSpan span;
    switch (kind) {
    case ListKind::Pending: {
        auto queued = list_counter(day, SpoolDir::New);
        if (!queued) {
            return std::nullopt;
        }
        long processed = list_counter(day, SpoolDir::Send).value_or(0);
        span.first = (processed > 0 ? processed : 0) + 1;
        span.last = *queued > 0 ? *queued : 1;
        span.text_limit = pending_text_limit;
        return span;
    }
    case ListKind::Sent: {
        auto processed = list_counter(day, SpoolDir::Send);
        if (!processed) {
            return std::nullopt;
        }
        span.last = *processed > 0 ? *processed : 0;
        span.text_limit = history_text_limit;
        span.with_deliveries = true;
        return span;
    }
    case ListKind::Received: {
        auto received = list_counter(day, SpoolDir::Recv);
        if (!received) {
            return std::nullopt;
        }
        span.dir = SpoolDir::Recv;
        span.last = *received > 0 ? *received : 1;
        span.stop_at_gap = true;
        span.text_limit = history_text_limit;
        return span;
    }
    }
    return std::nullopt;
}

std::optional<SpoolListRow> read_list_row(const std::string& day, const ListSpan& span, long i) {
    auto content = read_text_file(spool_path(day, span.dir, "DA", i));
    if (!content) {
        return std::nullopt;
    }
    SpoolListRow row;
    row.record = i;
    row.recipients = limited(read_text_file(spool_path(day, span.dir, "R", i)), span.text_limit);
    row.content = limited(std::move(content), span.text_limit);
    row.time = read_record_time(day, span.dir, i).value_or(std::string());
    row.barred = !row.recipients.empty() && row.recipients[0] == '*';
    if (span.with_deliveries) {
        row.delivery = count_deliveries(day, i);
    }
    return row;
}
