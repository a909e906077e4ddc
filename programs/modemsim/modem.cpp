#include "modemsim/modem.h"

namespace {

constexpr char ctrl_z = 26;
constexpr char escape = 27;
constexpr char backspace = 8;
constexpr char del = 127;
constexpr size_t line_limit = 1024; // longer command lines are cut, as a modem's buffer would
constexpr size_t pdu_limit = 1024;  // a PDU is at most 2 * 176 hex digits; room to spare

void append_block(std::string& out, const std::vector<std::string>& lines) {
    if (lines.empty()) {
        return;
    }
    out += "\r\n";
    for (size_t i = 0; i < lines.size(); ++i) {
        out += (i == 0 ? "" : "\r\n") + lines[i];
    }
    out += "\r\n";
}

} // namespace

Modem::Modem(const ModemProfile& profile, SubmissionLog& log)
    : profile_(profile), log_(log), store_(profile.capacity), echo_(profile.echo), random_(std::random_device{}()) {}

std::string Modem::receive(std::string_view bytes) {
    size_t taken = 0;
    return take(bytes, false, taken);
}

std::string Modem::receive_up_to_submission(std::string_view bytes, size_t& taken) {
    return take(bytes, true, taken);
}

std::string Modem::take(std::string_view bytes, bool stop_at_submission, size_t& taken) {
    std::string out;
    taken = bytes.size();
    if (fault_ == Fault::Silent || streaming_) {
        return out;
    }
    if (fault_ == Fault::Garbage) {
        return garbage_answers(bytes);
    }
    if (fault_ == Fault::Hung) {
        for (char c : bytes) {
            hung_byte(c);
        }
        return out;
    }
    for (size_t i = 0; i < bytes.size(); ++i) {
        char c = bytes[i];
        if (streaming_) {
            break; // busy listing for good: the rest of the input is lost
        }
        if (stop_at_submission && taking_pdu_ && c == ctrl_z) {
            taken = i;
            break;
        }
        if (c == '\n' && after_cr_) {
            // CR LF ends a line like CR alone: the LF is neither echoed nor kept.
            after_cr_ = false;
            continue;
        }
        after_cr_ = c == '\r';
        if (taking_pdu_) {
            pdu_byte(c, out);
        } else {
            command_byte(c, out);
        }
    }
    return out;
}

void Modem::reset_input() {
    taking_pdu_ = false;
    after_cr_ = false;
    line_.clear();
    pdu_.clear();
}

void Modem::restart() {
    reset_input();
    sim_.power_up();
    hung_line_.clear();
    echo_ = profile_.echo;
    cnmi_ = {};
    streaming_ = false;
}

void Modem::command_byte(char c, std::string& out) {
    if (c == '\n') {
        return; // a stray LF is no part of a command
    }
    if (c == escape) {
        line_.clear(); // ESC cancels the line typed so far, without a word
        return;
    }
    if (echo_) {
        out += c;
    }
    if (c == '\r') {
        std::string line;
        line.swap(line_);
        run_line(line, out);
    } else if (c == backspace || c == del) {
        if (!line_.empty()) {
            line_.pop_back();
        }
    } else if (line_.size() < line_limit) {
        line_ += c;
    }
}

void Modem::pdu_byte(char c, std::string& out) {
    if (c == ctrl_z) {
        taking_pdu_ = false;
        finish_pdu(out);
        return;
    }
    if (c == escape) {
        taking_pdu_ = false;
        pdu_.clear();
        out += "\r\nOK\r\n";
        return;
    }
    if (echo_) {
        out += c;
    }
    if (c != '\r' && c != '\n' && pdu_.size() < pdu_limit) {
        pdu_ += c;
    }
}

void Modem::run_line(const std::string& line, std::string& out) {
    auto body = at_line_body(line);
    if (!body) {
        return; // without the AT prefix a line is noise to a modem
    }
    if (fault_ == Fault::Reject) {
        out += "\r\nERROR\r\n";
        return;
    }
    auto commands = split_at_commands(*body);
    if (!commands) {
        out += "\r\nERROR\r\n";
        return;
    }
    for (const AtCommand& command : *commands) {
        if (fault_ == Fault::HangDelete && command.name == "+CMGD" && command.form == AtCommand::Form::Set) {
            return; // hangs over the deletion: no answer, ever
        }
        Result result = run(command);
        if (result.leading_blank_line) {
            out += "\r\n";
        }
        append_block(out, result.info);
        if (result.endless) {
            out += "\r\n";
            streaming_ = true;
            return;
        }
        if (result.final_code.empty()) {
            // The send prompt: whatever follows on the line is the PDU's business.
            out += "\r\n> ";
            taking_pdu_ = true;
            pdu_.clear();
            return;
        }
        if (result.final_code != "OK") {
            out += "\r\n" + result.final_code + "\r\n";
            return;
        }
    }
    out += "\r\nOK\r\n";
}

Modem::Result Modem::run(const AtCommand& command) {
    if (command.name.size() == 1 || command.name[0] == '&') {
        return run_basic(command);
    }
    if (command.name == "+CNMI") {
        return indications_command(command);
    }
    if (command.name == "+CPIN") {
        return sim_command(command);
    }
    if (command.name.rfind("+CMG", 0) == 0 || command.name == "+CSCA" || command.name == "+CPMS") {
        if (std::optional<std::string> blocked = sim_.blocks_messages();
            blocked && command.form != AtCommand::Form::Test) {
            Result result;
            result.final_code = *blocked;
            return result;
        }
        if (command.name == "+CMGS" && command.form == AtCommand::Form::Set && registration_ != 1 &&
            registration_ != 5) {
            Result result;
            result.final_code = "+CMS ERROR: 331"; // no network service: not registered
            return result;
        }
        return run_sms(command);
    }
    return run_identity(command);
}
