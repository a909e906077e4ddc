#pragma once

#include "store/sent_references.h"
#include "store/spool.h"

#include <cstddef>
#include <optional>
#include <string>

// What the three message lists read from the spool, without any widget: which record numbers a fill
// walks and what one row holds. The background fill calls these off the GUI thread.

enum class ListKind { Pending, Sent, Received };

struct ListSpan {
    SpoolDir dir = SpoolDir::New;
    long first = 1;
    long last = 0;
    bool stop_at_gap = false;     // a missing content file ends the walk instead of being skipped
    std::size_t text_limit = 0;   // bytes kept of each recipients and content text
    bool with_deliveries = false; // the rows carry what the delivery reports said
};

// The records a fill of `kind` walks in `day`, or nullopt when the day's counter file is missing.
// Pending: processed counter + 1 .. queued counter (a queued counter below 1 counts as 1).
// Sent: 1 .. processed counter. Received: 1 .. received counter (below 1 counts as 1).
std::optional<ListSpan> list_span(ListKind kind, const std::string& day);

// Whether the list clears itself before the counter is read. The pending list keeps its old rows when
// the day has no queued counter; the history lists start empty.
bool clears_before_reading(ListKind kind);

struct SpoolListRow {
    long record = 0;
    std::string recipients; // GBK, text mode, at most the span's text limit
    std::string content;
    std::string time;    // the header's time value, empty when absent
    bool barred = false; // recipients begin with '*'
    // Sent records: how its recipients' delivery reports came out, when any came.
    std::optional<DeliveryCount> delivery;
};

// Record i of the span, or nullopt when its content file is missing.
std::optional<SpoolListRow> read_list_row(const std::string& day, const ListSpan& span, long i);
