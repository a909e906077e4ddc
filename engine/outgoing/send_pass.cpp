#include "engine/outgoing/send_pass.h"

#include "engine/incoming/delivery_reports.h"
#include "engine/outgoing/send_limiter.h"
#include "engine/outgoing/submission.h"
#include "engine/report/persist.h"
#include "modem/pdu/pdu_codec.h"
#include "modem/pdu/pdu_concat.h"
#include "platform/gbk.h"
#include "platform/text_ops.h"
#include "store/recipient_walk.h"
#include "store/reply_records.h"
#include "store/send_position.h"
#include "store/spool.h"

#include <optional>
#include <vector>

namespace {

constexpr std::size_t content_read_limit = 1023;
// A long message's record holds its whole text: ten parts of 67 Chinese characters are 1340 bytes.
constexpr std::size_t long_content_read_limit = 16384;

} // namespace

std::optional<std::vector<UserData>> encode_content(EngineContext& ctx, long k) {
    auto content = read_record(ctx.state.spool_date, SpoolDir::New, k).content;
    if (!content) {
        return std::nullopt;
    }
    bool long_messages = ctx.options.long_messages.load();
    std::string line =
        cut_at_line_end(content->substr(0, long_messages ? long_content_read_limit : content_read_limit));
    return encode_content_line(ctx, line, k, long_messages);
}

std::vector<UserData> encode_content_line(EngineContext& ctx, const std::string& line, long k, bool long_messages) {
    ctx.state.content.plain = line;
    ctx.state.content.kind = line.empty() ? 0 : line[0];
    bool english = ctx.state.content.kind == 2;
    Encoded7bit encoded = english ? encode_7bit(line.substr(1)) : Encoded7bit{encode_ucs2(line), 0};
    if (english && long_messages) {
        // The blanks the window puts after English text must not take a part of their own.
        std::string body = line.substr(1);
        Encoded7bit trimmed = encode_7bit(body.substr(0, body.find_last_not_of(' ') + 1));
        if (parts_needed(trimmed.hex, true, trimmed.septets) < parts_needed(encoded.hex, true, encoded.septets)) {
            encoded = trimmed;
        }
    }
    auto trace_content = [&](const std::string& hex) {
        tracef(ctx.logs, english ? "English_sms_neirong_%s=[%s][%ld]\n" : "Chinese_sms_neirong_%s=[%s][%ld]\n",
               gbk("主").c_str(), hex.c_str(), k);
    };
    if (!long_messages) {
        UserData data = cut_user_data(encoded.hex, english, encoded.septets);
        trace_content(data.hex);
        return std::vector<UserData>{data};
    }
    trace_content(encoded.hex);
    SplitContent split = split_user_data(encoded.hex, english, encoded.septets);
    if (!split.complete) {
        tracef(ctx.logs, "record %ld longer than %d parts: the rest is not sent\n", k, max_message_parts);
    }
    return split.parts;
}

namespace {

// The engine's way through one record's recipients. Recipients that a run before a restart already
// handled (the stored position) are counted but not sent again; after each one sent now, the position
// is stored before the next is touched.
class RecordWalk {
public:
    // Without `keeps_position` (a reply sent ahead of its turn) the day's position is neither read nor
    // written: it belongs to the record the queue stands at.
    RecordWalk(EngineContext& ctx, long record, bool keeps_position = true)
        : ctx_(ctx), record_(record), keeps_position_(keeps_position) {
        if (!keeps_position) {
            return;
        }
        std::optional<SendPosition> stored = read_send_position(ctx.state.spool_date);
        if (stored && stored->record == record && stored->done > 0) {
            skip_ = stored->done;
            tracef(ctx.logs, "record %ld: %ld recipients done before the restart, going on after them\n", record,
                   skip_);
        }
    }

    template <typename Send> void next(Send send) {
        if (done_ < skip_) {
            ++done_;
            return;
        }
        send();
        // Reports that came in with the answers are logged before the next recipient.
        take_pending_reports(ctx_);
        ++done_;
        if (!keeps_position_) {
            return;
        }
        const std::string& day = ctx_.state.spool_date;
        persist(ctx_, send_position_path(day), [&] { return write_send_position(day, {record_, done_}); });
    }

private:
    EngineContext& ctx_;
    long record_;
    bool keeps_position_;
    long skip_ = 0;
    long done_ = 0;
};

// The engine's side of the walk: every line traced as it comes, a pause point before each recipient,
// a failure line for a bad range, a submission for everyone else.
class SendingVisitor : public RecipientWalkVisitor {
public:
    SendingVisitor(EngineContext& ctx, RecordWalk& walk, const std::vector<UserData>& data, long record)
        : ctx_(ctx), walk_(walk), data_(data), record_(record) {}

    void line(const std::string& prepared) override {
        tracef(ctx_.logs, "%s=[%s]\n", gbk("手机号").c_str(), prepared.c_str());
        if (!prepared.empty()) {
            ctx_.pacer.checkpoint();
        }
    }
    void range_line(const std::string& prepared) override {
        tracef(ctx_.logs, "--%s=[%s]\n", gbk("手机号").c_str(), prepared.c_str());
    }
    bool recipient(long index, const std::string& recipient, bool range_member) override {
        if (range_member) {
            ctx_.pacer.checkpoint();
        }
        walk_.next([&] { submit_to_recipient(ctx_, recipient, data_, record_, static_cast<int>(index)); });
        return true;
    }
    bool bad_range(long index, const std::string& prepared) override {
        // A range that names no number range we can send to exactly is reported, not guessed at.
        tracef(ctx_.logs, "bad number range, not sent=[%s]\n", prepared.c_str());
        walk_.next([&] { report_unsendable(ctx_, record_, static_cast<int>(index), prepared, "号码段无效"); });
        return true;
    }

private:
    EngineContext& ctx_;
    RecordWalk& walk_;
    const std::vector<UserData>& data_;
    long record_;
};

// Marks records up to k processed; the engine goes no further until the counter is on disk.
void store_processed(EngineContext& ctx, long k) {
    const std::string& day = ctx.state.spool_date;
    persist(ctx, counter_path(day, SpoolDir::Send), [&] { return write_counter(day, SpoolDir::Send, k); });
}

// Whether quiet hours are set, so replies are told apart from the rest.
bool quiet_hours_set(const EngineContext& ctx) {
    return ctx.limiter && ctx.limiter->limits().quiet;
}

void send_record(EngineContext& ctx, long k, bool keeps_position) {
    const std::string& day = ctx.state.spool_date;
    std::optional<std::vector<UserData>> data = encode_content(ctx, k);
    auto recipients = read_record(day, SpoolDir::New, k).recipients;
    if (!data || !recipients) {
        // Its files are gone: count it as processed so the queue never stalls on it.
        tracef(ctx.logs, "record %ld incomplete (%s missing), skipped\n", k, data ? "recipients" : "content");
        return;
    }
    RecordWalk walk(ctx, k, keeps_position);
    SendingVisitor visitor(ctx, walk, *data, k);
    walk_recipient_file(*recipients, visitor);
}

} // namespace

void process_record(EngineContext& ctx, long k) {
    const std::string& day = ctx.state.spool_date;
    ctx.state.content.reply = false;
    if (quiet_hours_set(ctx)) {
        if (read_early_records(day).contains(k)) {
            tracef(ctx.logs, "record %ld: a reply sent in the quiet hours already\n", k);
            store_processed(ctx, k);
            return;
        }
        ctx.state.content.reply = read_reply_records(day).contains(k);
    }
    send_record(ctx, k, true);
    store_processed(ctx, k);
}

void send_replies_early(EngineContext& ctx, long processed, long queued) {
    const std::string& day = ctx.state.spool_date;
    std::set<long> early = read_early_records(day);
    for (long k : read_reply_records(day)) {
        if (k <= processed || k > queued || early.contains(k)) {
            continue;
        }
        ctx.pacer.checkpoint();
        tracef(ctx.logs, "record %ld: a reply, sent ahead of the records the quiet hours hold\n", k);
        ctx.state.content.reply = true;
        send_record(ctx, k, false);
        persist(ctx, early_records_path(day), [&] { return note_early_record(day, k); });
    }
    ctx.state.content.reply = false;
}

void run_send_pass(EngineContext& ctx, long processed, long queued) {
    for (long k = processed + 1; k <= queued; ++k) {
        ctx.pacer.checkpoint();
        process_record(ctx, k);
    }
    tracef(ctx.logs, "%s=%ld\n", gbk("发送的个数 !!!!!!!!!!!!!").c_str(), queued);
    store_processed(ctx, queued);
}
