#include "engine/outgoing/submission.h"

#include "engine/engine_halt.h"
#include "engine/events/note_event.h"
#include "engine/incoming/delivery_reports.h"
#include "engine/outgoing/optout_check.h"
#include "engine/outgoing/send_limiter.h"
#include "modem/link_recovery.h"
#include "modem/modem_errors.h"
#include "modem/pdu/pdu_concat.h"
#include "modem/pdu/pdu_layout.h"
#include "modem/registration_gate.h"
#include "modem/result_codes.h"
#include "modem/send_attempt.h"
#include "platform/gbk.h"
#include "platform/text_ops.h"
#include "store/customer_files.h"
#include "store/customer_token.h"
#include "store/phone_number.h"
#include "store/recipients.h"
#include "store/sent_references.h"
#include "store/settings.h"

namespace {

const std::string& monitor_sent_suffix() {
    static const std::string text = gbk("    发送成功.\r\n");
    return text;
}

const std::string& monitor_failed_suffix() {
    static const std::string text = gbk("    发送失败!!!\r\n");
    return text;
}

std::string last_chars(const std::string& text, std::size_t n) {
    return text.size() > n ? text.substr(text.size() - n) : text;
}

// A recipient's outcome goes to the event journal with the message's text: an English record's kind
// byte and the blanks stored after its text are no part of it.
std::string trimmed_answer(const std::string& answer) {
    std::size_t first = answer.find_first_not_of(" \r\n");
    std::size_t last = answer.find_last_not_of(" \r\n");
    return first == std::string::npos ? std::string() : answer.substr(first, last - first + 1).substr(0, 200);
}

void note_outcome(EngineContext& ctx, const char* kind, const std::string& phone, long record, int index, int parts,
                  const std::string& detail = {}) {
    std::string text = ctx.state.content.plain;
    if (ctx.state.content.kind == 2) {
        text = text.substr(1, text.find_last_not_of(' '));
    }
    note_event(ctx, message_event(kind, ctx.state.spool_date, record, index, parts, phone, text, detail));
}

// The failure suffix, with the modem's error and what it means when the answer names one.
std::string failed_suffix(EngineContext& ctx, const std::string& answer) {
    std::optional<ModemError> error = modem_error(answer);
    if (!error || !error->number) {
        return monitor_failed_suffix();
    }
    tracef(ctx.logs, "modem error=%s\n", error->line.c_str());
    const std::string& suffix = monitor_failed_suffix();
    return suffix.substr(0, suffix.size() - 2) + "  " + describe_modem_error(*error) + "\r\n";
}

void monitor_line(EngineContext& ctx, const std::string& gap, const std::string& phone, int attempt,
                  const std::string& suffix) {
    ctx.output.prepend_monitor("SMS Create Day: " + ctx.state.spool_date + gap + phone + "   " +
                               std::to_string(attempt) + suffix);
}

// The submit PDU for one number, with the trace lines that show how it was built.
SubmitPdu build_pdu(EngineContext& ctx, const std::string& number, const std::string& user_data, int septets,
                    const SubmitOptions& options, const std::string& smscode) {
    TraceSink& trace = ctx.logs;
    bool seven_bit = ctx.state.content.kind == 2;
    PduVariant variant = ctx.options.device.load() == DeviceType::Siemens ? PduVariant::Siemens : PduVariant::Standard;
    std::string centre = last_chars(smscode, 11);
    SubmitOptions in_country = options;
    in_country.country = home_country(); // COUNTRY of server.txt: whose national numbers these are
    SubmitPdu pdu = build_submit_pdu(number, user_data, seven_bit, septets, smscode, variant, in_country);
    tracef(trace, "shouji_code2=%s\n", swap_semi_octets(number).c_str());
    tracef(trace, "smsCO_0=[%s]\n", smscode.c_str());
    tracef(trace, "smsCO_1=[%s]\n", centre.c_str());
    tracef(trace, "smsCO_2=[%s]\n", swap_semi_octets(centre).c_str());
    int length = static_cast<int>(number.size());
    if (variant == PduVariant::Siemens) {
        tracef(trace, "sms_neirong_3=[%s]\n", user_data.c_str());
        tracef(trace, "sms_neirong_2=[%s]\n", user_data.c_str());
        tracef(trace, "sms_ss=[%s]\n", pdu.pdu.c_str());
    } else {
        tracef(trace, "2--shouji_code=[%s],strlen(ShouJiHao)=%d,lleenn=%d\n", number.c_str(), length, length + 2);
        tracef(trace, "22sms_neirong_3=[%s]\n", user_data.c_str());
        tracef(trace, "22sms_neirong_2=[%s]\n", user_data.c_str());
        tracef(trace, "22sms_ss=[%s]\n", pdu.pdu.c_str());
    }
    return pdu;
}

// The user data as sent to one recipient, and whether it goes as a flash message. The show-on-screen
// option puts "0001" before UCS-2 data, which then must still fit one message; 7-bit data cannot take
// those octets without garbling the text, so it asks for immediate display through its coding scheme.
struct RecipientData {
    std::string hex;
    bool flash = false;
};

RecipientData recipient_data(EngineContext& ctx, const UserData& content) {
    if (!ctx.options.show_on_screen.load()) {
        return {content.hex, false};
    }
    if (ctx.state.content.kind == 2) {
        return {content.hex, true};
    }
    constexpr std::size_t prefix_hex = 4;
    std::size_t room = max_user_data_octets * 2 - prefix_hex;
    return {"0001" + content.hex.substr(0, ucs2_cut(content.hex, room)), false};
}

} // namespace

RecipientOutcome report_unsendable(EngineContext& ctx, long record, int index, const std::string& recipient,
                                   const char* why) {
    // Nothing can be sent, but the operator must still see that this recipient got nothing.
    ctx.stamp_time();
    ctx.logs.report_failure(static_cast<int>(record), index, ctx.state.time_text, recipient, ctx.state.content.plain);
    const std::string& suffix = monitor_failed_suffix();
    monitor_line(ctx, "      ", recipient, 0, suffix.substr(0, suffix.size() - 2) + "  " + gbk(why) + "\r\n");
    note_outcome(ctx, "failed", recipient, record, index, 1, gbk(why));
    return {false, why};
}

namespace {

// The phone number a recipient line names, with the resolution's trace lines; nothing (and a failure
// line, and the recipient's outcome) when it names nothing the modem could send to.
struct PhoneToSendTo {
    std::optional<std::string> number;
    RecipientOutcome refused;
};

PhoneToSendTo phone_to_send_to(EngineContext& ctx, const std::string& recipient, long record, int index) {
    TraceSink& trace = ctx.logs;
    ResolvedRecipient resolved = resolve_recipient(recipient, trace);
    std::string phone = resolved.phone;
    if (resolved.unsafe) {
        return {std::nullopt, report_unsendable(ctx, record, index, phone, "客户名无效")};
    }
    if (phone.size() > max_phone_length && !is_international_number(cut_at_line_end(phone))) {
        tracef(trace, "number too long, not sent=[%s]\n", phone.c_str());
        return {std::nullopt, report_unsendable(ctx, record, index, phone, "号码超过12位")};
    }
    if (!is_phone_number(cut_at_line_end(phone))) {
        // A customer nobody could find, or text that names no number: the modem would only refuse it.
        tracef(trace, "not a phone number, not sent=[%s]\n", phone.c_str());
        return {std::nullopt, report_unsendable(ctx, record, index, phone, "不是手机号码")};
    }
    tracef(trace, "name4=[%s]\n", resolved.customer.c_str());
    phone = cut_at_line_end(phone);
    int length = static_cast<int>(phone.size());
    tracef(trace, "shouji_code=[%s],strlen(ShouJiHao)=%d\n", phone.c_str(), length);
    tracef(trace, "shouji_code=[%s],strlen(ShouJiHao)=%d.jjj=%d.lleenn=%d\n", phone.c_str(), length, length,
           length + 2);
    return {phone, {}};
}

struct Handover {
    bool sent = false;
    int attempt = 0;    // the attempt that got it through, or the last one made
    std::string answer; // the modem's answer to that attempt
};

// One PDU to the modem with its retries. Every failed attempt gets a monitor line; when the last one
// fails, the recipient gets its failure report line first.
Handover hand_over(EngineContext& ctx, const SubmitPdu& pdu, const std::string& phone, long record, int index,
                   int part = 1, int parts = 1) {
    TraceSink& trace = ctx.logs;
    std::string pdu_text = pdu.pdu + '\x1a';
    tracef(trace, "--%d,ss_sms=%s\n", static_cast<int>(pdu_text.size()), pdu_text.c_str());
    int attempts = ctx.options.retry.load() ? 6 : 1;
    Handover handover;
    for (int a = 0; a < attempts; ++a) {
        AttemptResult result = attempt_send(ctx, pdu, pdu_text, a);
        if (result.outcome == AttemptResult::Outcome::LinkDown) {
            if (ctx.gives_back_recipient) {
                throw RecipientReturned{};
            }
            // The recipient is not used up: once the modem is back, the same attempt is made again.
            recover_link(ctx);
            --a;
            continue;
        }
        handover = {result.outcome == AttemptResult::Outcome::Sent, a, std::move(result.answer)};
        if (!handover.sent && ctx.options.responsive.load() && refused_for_want_of_service(handover.answer)) {
            hold_if_unregistered(ctx); // not registered: this recipient waits for the registration
        }
        if (handover.sent) {
            if (ctx.options.delivery_reports.load()) {
                note_reference(ctx, handover.answer, {0, phone, record, index, part, parts});
            }
            return handover;
        }
        if (a == attempts - 1) {
            ctx.logs.report_failure(static_cast<int>(record), index, ctx.state.time_text, phone,
                                    ctx.state.content.plain);
            note_outcome(ctx, "failed", phone, record, index, parts, trimmed_answer(handover.answer));
        }
        monitor_line(ctx, "      ", phone, a, failed_suffix(ctx, handover.answer));
        if (ctx.options.pause_after_failure.load()) {
            ctx.pacer.sleep(pause_after_failure_ms(ctx.options));
            trace.trace(gbk(">>>>>防止空号堵塞 null phone number Sleep!\r\n"));
        }
    }
    return handover;
}

void report_sent(EngineContext& ctx, long record, int index, const std::string& phone, int attempt, int parts) {
    std::string count = parts > 1 ? gbk("(" + std::to_string(parts) + "条)") : std::string();
    ctx.logs.report_success(static_cast<int>(record), index, ctx.state.time_text, phone,
                            ctx.state.content.plain + count);
    const std::string& suffix = monitor_sent_suffix();
    monitor_line(ctx, "     ", phone, attempt, suffix.substr(0, suffix.size() - 2) + count + "\r\n");
    note_outcome(ctx, "sent", phone, record, index, parts);
}

// What a handover that did not get through says about the recipient: the modem's last word on it.
RecipientOutcome not_sent(const Handover& handover) {
    return {false, final_result_code(handover.answer).value_or("no answer")};
}

// The parts of a long message in order, each with the same retries, under one reference that no
// message to this recipient had just before. The recipient counts as sent once every part is.
RecipientOutcome send_parts(EngineContext& ctx, const std::vector<UserData>& parts, const std::string& phone,
                            const std::string& smscode, const std::string& centre, long record, int index) {
    bool seven_bit = ctx.state.content.kind == 2;
    int count = static_cast<int>(parts.size());
    int reference = ctx.state.content.concat_reference = (ctx.state.content.concat_reference + 1) & 0xFF;
    tracef(ctx.logs, "long message: %d parts, reference %d\n", count, reference);
    SubmitOptions options{
        .has_header = true, .status_report = ctx.options.delivery_reports.load(), .service_centre = centre};
    int last_attempt = 0;
    for (int i = 0; i < count; ++i) {
        UserData data = with_concat_header(parts[i], seven_bit, reference, count, i + 1);
        Handover handover = hand_over(ctx, build_pdu(ctx, phone, data.hex, data.septets, options, smscode), phone,
                                      record, index, i + 1, count);
        if (!handover.sent) {
            tracef(ctx.logs, "part %d of %d not sent: the parts after it are not sent either\n", i + 1, count);
            return not_sent(handover);
        }
        last_attempt = std::max(last_attempt, handover.attempt);
    }
    report_sent(ctx, record, index, phone, last_attempt, count);
    return {true, "sent"};
}

// The service centre server.txt's SMSC names (its digits), or "" for the SIM's own; one that is no
// international number is traced and left out.
std::string service_centre(EngineContext& ctx) {
    std::string text = read_setting(settings::smsc);
    if (text.find_first_not_of(' ') == std::string::npos) {
        return {};
    }
    std::optional<std::string> digits = international_service_centre(text);
    if (!digits) {
        tracef(ctx.logs, "SMSC=[%s] is no international number (+ and up to 15 digits): the SIM's centre is used\n",
               text.c_str());
        return {};
    }
    tracef(ctx.logs, "smsc=[+%s]\n", digits->c_str());
    return *digits;
}

std::string joined_hex(const std::vector<UserData>& parts) {
    std::string hex;
    for (const UserData& part : parts) {
        hex += part.hex;
    }
    return hex;
}

} // namespace

RecipientOutcome submit_to_recipient(EngineContext& ctx, const std::string& recipient, const UserData& content,
                                     long record, int index) {
    return submit_to_recipient(ctx, recipient, std::vector<UserData>{content}, record, index);
}

RecipientOutcome submit_to_recipient(EngineContext& ctx, const std::string& recipient,
                                     const std::vector<UserData>& parts, long record, int index) {
    TraceSink& trace = ctx.logs;
    tracef(trace, ">>>>>smssend star=[%ld][%s][%s]\n", record, recipient.c_str(), joined_hex(parts).c_str());
    PhoneToSendTo phone = phone_to_send_to(ctx, recipient, record, index);
    if (!phone.number) {
        return phone.refused;
    }
    if (const char* why = optout_refusal(ctx, *phone.number, record)) {
        return report_unsendable(ctx, record, index, *phone.number, why);
    }
    const int count = static_cast<int>(parts.size());
    if (ctx.limiter) {
        ctx.limiter->before_message(ctx, *phone.number, count, ctx.state.content.reply); // may postpone it
    }
    // Read for every recipient, so a new service centre takes effect at the next one.
    std::string smscode = read_setting(settings::smscode);
    std::string centre = service_centre(ctx);
    RecipientOutcome outcome;
    if (parts.size() > 1) {
        outcome = send_parts(ctx, parts, *phone.number, smscode, centre, record, index);
    } else {
        RecipientData data = recipient_data(ctx, parts.front());
        SubmitOptions options{
            .flash = data.flash, .status_report = ctx.options.delivery_reports.load(), .service_centre = centre};
        SubmitPdu pdu = build_pdu(ctx, *phone.number, data.hex, parts.front().septets, options, smscode);
        Handover handover = hand_over(ctx, pdu, *phone.number, record, index);
        if (handover.sent) {
            report_sent(ctx, record, index, *phone.number, handover.attempt, 1);
            outcome = {true, "sent"};
        } else {
            outcome = not_sent(handover);
        }
    }
    if (ctx.limiter && outcome.sent) {
        ctx.limiter->sent(ctx, *phone.number, count);
    }
    trace.trace(">>>>>smssend END!!!!= ");
    return outcome;
}
