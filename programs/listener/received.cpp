#include "received.h"

#include "platform/gbk.h"
#include "platform/text_ops.h"
#include "store/spool.h"

#include <algorithm>

namespace {

std::string lf_text(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
            out += text[i];
        }
    }
    return out;
}

} // namespace

nlohmann::json received_json(const std::string& day, long after) {
    // The counter is written after a message's three files, so every number up to it is complete.
    long count = read_counter(day, SpoolDir::Recv);
    long last = std::min(count, after + received_page_size);
    nlohmann::json messages = nlohmann::json::array();
    for (long n = after + 1; n <= last; ++n) {
        RecordTexts texts = read_record(day, SpoolDir::Recv, n);
        nlohmann::json message = {{"number", n},
                                  {"from", gbk_to_utf8_lossy(cut_at_line_end(texts.recipients.value_or("")))},
                                  {"text", gbk_to_utf8_lossy(lf_text(texts.content.value_or("")))}};
        if (auto time = read_record_time(day, SpoolDir::Recv, n)) {
            message["time"] = *time;
        }
        messages.push_back(message);
    }
    return {{"day", day}, {"count", count}, {"messages", messages}, {"next_after", std::max(after, last)}};
}
