#include "engine/incoming/delivery_reports.h"

#include "engine/events/note_event.h"
#include "engine/send_source.h"
#include "modem/pdu/pdu_status_report.h"
#include "modem/result_codes.h"
#include "platform/gbk.h"
#include "store/sent_references.h"

namespace {

const char* outcome_word(int status) {
    const char* word = "delivered";
    switch (delivery_outcome(status)) {
    case DeliveryOutcome::Delivered:
        break;
    case DeliveryOutcome::Pending:
        word = "pending";
        break;
    case DeliveryOutcome::Failed:
        word = "failed";
        break;
    }
    return word;
}

// A final report is an event: delivered, or failed (by the report). A part of a long message is an
// event of its own.
void note_report_event(EngineContext& ctx, const std::string& day, const SentReference& sent, int status,
                       const std::string& word) {
    if (word == "pending") {
        return;
    }
    bool delivered = word == "delivered";
    JournalEvent event = message_event(delivered ? "delivered" : "failed", day, sent.record, sent.index, sent.parts,
                                       sent.number, "", "report " + std::to_string(status));
    event.id = journal_event_id(delivered ? "delivered" : "undelivered", day, sent.record, sent.index);
    if (sent.parts > 1) {
        event.id += "-p" + std::to_string(sent.part);
    }
    note_event(ctx, std::move(event));
}

} // namespace

void note_reference(EngineContext& ctx, const std::string& answer, const SentReference& sent) {
    std::optional<int> reference = message_reference(answer);
    if (!reference) {
        tracef(ctx.logs, "no message reference in the answer: no delivery report can be matched\n");
        return;
    }
    SentReference noted = sent;
    noted.reference = *reference;
    if (!note_sent_reference(ctx.state.spool_date, noted)) {
        tracef(ctx.logs, "message reference %d could not be written to %s\n", *reference,
               sent_references_path(ctx.state.spool_date).c_str());
    }
}

void take_status_report(EngineContext& ctx, const std::string& pdu_line) {
    std::optional<DeliveryReport> report = decode_status_report(pdu_line);
    if (!report) {
        tracef(ctx.logs, "status report that cannot be read=[%s]\n", pdu_line.c_str());
        return;
    }
    std::optional<SentReference> sent;
    std::string sent_day;
    for (const std::string& day : {ctx.state.spool_date, spool_date_before(ctx.state.spool_date)}) {
        if (!sent) {
            sent = find_sent_reference(day, report->reference, report->recipient);
            sent_day = day;
        }
    }
    tracef(ctx.logs, "status report: reference %d, %s, status %d\n", report->reference, report->recipient.c_str(),
           report->status);
    if (!sent) {
        tracef(ctx.logs, "status report matches no message sent\n");
        return;
    }
    ctx.stamp_time();
    const char* word = outcome_word(report->status);
    if (!note_delivery(sent_day, *sent, word)) {
        tracef(ctx.logs, "delivery could not be written to %s\n", deliveries_path(sent_day).c_str());
    }
    std::string outcome = std::string(word) + " (status " + std::to_string(report->status) + ")";
    if (sent->parts > 1) {
        outcome += " part " + std::to_string(sent->part) + "/" + std::to_string(sent->parts);
    }
    ctx.logs.report_delivery(static_cast<int>(sent->record), sent->index, ctx.state.time_text, sent->number, outcome);
    note_report_event(ctx, sent_day, *sent, report->status, word);
    ctx.source().keep_delivery(ctx, *sent, report->status, word);
}

void take_pending_reports(EngineContext& ctx) {
    std::vector<std::string> reports;
    reports.swap(ctx.state.indications.pending_reports);
    for (const std::string& pdu : reports) {
        take_status_report(ctx, pdu);
    }
}
