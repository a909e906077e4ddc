#include "modemsim/submission_log.h"

#include "modem/pdu/pdu_address.h"
#include "modem/pdu/pdu_codec.h"
#include "modem/pdu/pdu_peer.h"
#include "modemsim/text_escape.h"
#include "platform/gbk.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace {

const char* outcome_word(SendOutcome outcome) {
    switch (outcome) {
    case SendOutcome::Sent:
        return "sent";
    case SendOutcome::Failed:
        return "failed";
    default:
        return "invalid";
    }
}

const char* coding_word(int dcs) {
    switch (coding_of_dcs(dcs)) {
    case PduCoding::SevenBit:
        return "7bit";
    case PduCoding::EightBit:
        return "8bit";
    default:
        return "ucs2";
    }
}

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

std::string or_dash(const std::string& text) {
    return text.empty() ? "-" : text;
}

std::string outcome_and_reference(const Submission& submission) {
    std::string line = outcome_word(submission.outcome);
    return line + " ref=" + (submission.reference >= 0 ? std::to_string(submission.reference) : std::string("-"));
}

} // namespace

std::string submission_line(const Submission& submission) {
    std::string line = outcome_and_reference(submission);
    line += " length=" + std::to_string(submission.announced_length);
    // Modems take lower-case hex as well, so the record reads the PDU as they would.
    auto decoded = decode_submit_pdu(upper(submission.pdu));
    if (decoded) {
        std::string to = is_international(decoded->number_type) ? "+" + decoded->number : decoded->number;
        line += " to=" + or_dash(gbk_to_utf8_lossy(to));
        line += std::string(" coding=") + coding_word(decoded->coding);
        line += " smsc=" + or_dash(decoded->service_centre);
        if (decoded->part) {
            line += " part=" + std::to_string(decoded->part->sequence) + "/" + std::to_string(decoded->part->count) +
                    " ref=" + std::to_string(decoded->part->reference);
        }
        line += decoded->status_report ? " srr=1" : "";
    } else {
        line += " to=- coding=- smsc=-";
    }
    line += " pdu=" + or_dash(escape_line_text(submission.pdu));
    line += " text=" + (decoded ? escape_line_text(gbk_to_utf8_lossy(decoded->text)) : std::string());
    return line;
}

std::string destination_line(const Submission& submission) {
    std::string line = outcome_and_reference(submission);
    auto decoded = decode_submit_pdu(upper(submission.pdu));
    if (!decoded) {
        return line + " toa=- digits=-";
    }
    return line + " toa=" + std::to_string(decoded->number_type) +
           " digits=" + or_dash(gbk_to_utf8_lossy(decoded->number));
}

std::vector<std::string> destination_lines(const std::vector<Submission>& submissions) {
    std::vector<std::string> lines;
    lines.reserve(submissions.size());
    for (const Submission& submission : submissions) {
        lines.push_back(destination_line(submission));
    }
    return lines;
}

bool SubmissionLog::open(const std::string& path) {
    file_.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
    return file_.is_open();
}

void SubmissionLog::add(const Submission& submission) {
    lines_.push_back(submission_line(submission));
    submissions_.push_back(submission);
    if (file_.is_open()) {
        file_ << lines_.back() << '\n';
        file_.flush();
        if (!file_) {
            std::fprintf(stderr, "vmsms-modemsim: cannot write to the record: %s\n", lines_.back().c_str());
            file_.clear();
        }
    }
}

void SubmissionLog::clear() {
    lines_.clear();
    submissions_.clear();
}
