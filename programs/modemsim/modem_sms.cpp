#include "modemsim/modem.h"

#include "modem/pdu/pdu_peer.h"

#include <algorithm>
#include <cctype>

namespace {

using Form = AtCommand::Form;

constexpr int max_tpdu_length = 255;

std::string entry_header(const char* command, const StoredMessage& message, bool with_index) {
    std::string header = std::string(command) + ": ";
    if (with_index) {
        header += std::to_string(message.index) + ",";
    }
    return header + std::to_string(message.stat) + ",," + std::to_string(tpdu_octets(message.pdu));
}

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

} // namespace

Modem::Result Modem::run_sms(const AtCommand& command) {
    const std::string& name = command.name;
    if (name == "+CMGF") {
        Result result;
        if (command.form == Form::Read) {
            result.info = {"+CMGF: 0"};
        } else if (command.form == Form::Test) {
            result.info = {"+CMGF: (0)"};
        } else if (command.form != Form::Set || command.args != "0") {
            result.final_code = "ERROR"; // text mode is not offered: PDU mode only
        }
        return result;
    }
    if (name == "+CMGS") {
        return send_command(command);
    }
    if (name == "+CMGL") {
        return list_command(command);
    }
    if (name == "+CMGR") {
        return read_command(command);
    }
    if (name == "+CMGD") {
        return delete_command(command);
    }
    if (name == "+CSCA") {
        return service_centre_command(command);
    }
    if (name == "+CPMS") {
        return storage_command(command);
    }
    Result result;
    result.final_code = "ERROR";
    return result;
}

Modem::Result Modem::send_command(const AtCommand& command) {
    Result result;
    if (command.form == Form::Test) {
        return result;
    }
    auto length = command.form == Form::Set ? at_number(command.args, 1, max_tpdu_length) : std::nullopt;
    if (!length) {
        result.final_code = "ERROR";
        return result;
    }
    announced_length_ = *length;
    result.final_code.clear();
    return result;
}

Modem::Result Modem::list_command(const AtCommand& command) {
    Result result;
    if (command.form == Form::Test) {
        result.info = {"+CMGL: (0-4)"};
        return result;
    }
    // Without a status PDU mode lists the unread messages.
    std::optional<int> stat = stat_received_unread;
    if (command.form == Form::Set) {
        stat = at_number(command.args, stat_received_unread, stat_all);
    } else if (command.form == Form::Read) {
        stat.reset();
    }
    if (!stat) {
        result.final_code = command.form == Form::Set ? "+CMS ERROR: 302" : "ERROR";
        return result;
    }
    for (const StoredMessage& message : store_.list(*stat)) {
        result.info.push_back(entry_header("+CMGL", message, true));
        result.info.push_back(message.pdu);
    }
    result.leading_blank_line = profile_.blank_line_listing;
    if (fault_ == Fault::EndlessListing || fault_ == Fault::TricklingListing) {
        start_stream(result.info);
        result.info.clear();
        result.endless = true;
    }
    return result;
}

Modem::Result Modem::read_command(const AtCommand& command) {
    Result result;
    if (command.form == Form::Test) {
        return result;
    }
    auto index = command.form == Form::Set ? at_number(command.args, 0, 9999) : std::nullopt;
    const StoredMessage* message = index ? store_.find(*index) : nullptr;
    if (!index) {
        result.final_code = "ERROR";
    } else if (!message) {
        result.final_code = "+CMS ERROR: 321";
    } else {
        result.info = {entry_header("+CMGR", *message, false), message->pdu};
        store_.mark_read(*index);
    }
    return result;
}

Modem::Result Modem::delete_command(const AtCommand& command) {
    Result result;
    if (command.form == Form::Test) {
        result.info = {"+CMGD: (1-" + std::to_string(store_.reading().capacity()) + "),(0-4)"};
        return result;
    }
    std::vector<std::string> parameters = at_parameters(command.args);
    int index = at_number(parameters[0], 0, 9999).value_or(-1);
    int flag = parameters.size() > 1 ? at_number(parameters[1], 0, 4).value_or(-1) : 0;
    if (command.form != Form::Set || index < 0 || flag < 0 || parameters.size() > 2) {
        result.final_code = "ERROR";
    } else if (delete_fails()) {
        result.final_code = "+CMS ERROR: 320"; // memory failure: the message stays
    } else if (flag > 0) {
        store_.erase_by_flag(flag);
    } else if (!store_.in_range(index)) {
        result.final_code = "+CMS ERROR: 321";
    } else if (store_.find(index) == nullptr || !delete_keeps()) {
        // An empty slot within the memory deletes without complaint, as SIM-based modems do.
        store_.erase(index);
    }
    // A slot freed: the network's next try of a message it held lands in it, announced at once.
    if (result.final_code == "OK") {
        result.info = retry_held();
    }
    return result;
}

void Modem::finish_pdu(std::string& out) {
    Submission submission;
    submission.announced_length = announced_length_;
    submission.pdu = pdu_;
    pdu_.clear();
    auto decoded = decode_submit_pdu(upper(submission.pdu));
    bool valid =
        decoded && !decoded->bad_header && (!profile_.check_length || decoded->tpdu_octets == announced_length_);
    if (!valid) {
        submission.outcome = SendOutcome::Invalid;
        out += "\r\n+CMS ERROR: 304\r\n";
    } else if (fault_ == Fault::SendError || failing_sends_ > 0) {
        failing_sends_ = std::max(0, failing_sends_ - 1);
        submission.outcome = SendOutcome::Failed;
        out += "\r\n+CMS ERROR: 500\r\n";
    } else {
        submission.reference = next_reference_;
        next_reference_ = (next_reference_ + 1) % 256;
        out += "\r\n+CMGS: " + std::to_string(submission.reference) + "\r\n\r\nOK\r\n";
        if (decoded->status_report && report_fate_ != ReportFate::None) {
            int status = report_fate_ == ReportFate::Delivered ? status_delivered : status_incompatible_destination;
            report_requests_.push_back(
                ReportRequest{submission.reference, decoded->number, decoded->number_type, status, {}});
        }
    }
    log_.add(submission);
}
