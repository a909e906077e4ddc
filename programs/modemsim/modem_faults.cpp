#include "modemsim/modem.h"

#include "modem/pdu/pdu_peer.h"

#include <iterator>

namespace {

constexpr char ctrl_z = 26;
constexpr size_t stream_chunk = 4096; // about what a pseudo-terminal's line takes at once
constexpr size_t noise_context = 16;  // enough noise kept to see an answer word being completed

// Pieces of a modem's answers that a broken one mixes into its noise, so that a reader of it meets
// near misses and not only bytes it could never take for an answer.
const char* const answer_pieces[] = {"OK", "\r\n", "\r", "\n", "+CMGS", "+CMGL: 1,0,,", "ERROR", "> ", "AT"};

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool ends_with_word(std::string_view text, std::string_view word) {
    if (text.size() < word.size()) {
        return false;
    }
    text.remove_prefix(text.size() - word.size());
    for (size_t i = 0; i < word.size(); ++i) {
        if (lower(text[i]) != lower(word[i])) {
            return false;
        }
    }
    return true;
}

// The text without the blanks and CRs at its end, as a lenient line reader compares it.
std::string_view without_trailing_blanks(std::string_view text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// Whether a line reader, in any letter case and however lenient about blanks, would find an "OK"
// line or a "+CMGS:" answer end with the last byte of `text`.
bool completes_answer(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    std::string_view before = without_trailing_blanks(text.substr(0, text.size() - 1));
    return (text.back() == '\n' && ends_with_word(before, "OK")) ||
           (text.back() == ':' && ends_with_word(before, "+CMGS"));
}

// Whether the line feed or colon of whatever comes next would complete an answer word.
bool half_made(std::string_view text) {
    std::string_view trimmed = without_trailing_blanks(text);
    return ends_with_word(trimmed, "OK") || ends_with_word(trimmed, "+CMGS");
}

// The message an endless listing repeats when it has none of its own to list.
std::vector<std::string> made_up_listing() {
    DeliverMessage message;
    message.sender = "10086";
    message.text = "endless";
    std::string pdu = build_deliver_pdu(message);
    return {"+CMGL: 1,0,," + std::to_string(tpdu_octets(pdu)), pdu};
}

} // namespace

void Modem::set_fault(Fault fault) {
    fault_ = fault;
    if (fault != Fault::EndlessListing && fault != Fault::TricklingListing) {
        streaming_ = false;
    }
}

void Modem::start_stream(const std::vector<std::string>& listing) {
    const std::vector<std::string>& lines = listing.empty() ? made_up_listing() : listing;
    stream_entries_.clear();
    for (size_t i = 0; i + 1 < lines.size(); i += 2) {
        stream_entries_.push_back(lines[i] + "\r\n" + lines[i + 1] + "\r\n");
    }
    stream_next_ = 0;
    trickle_.clear();
}

std::string Modem::stream_more() {
    if (trickling()) {
        if (streaming_ && trickle_.empty() && !stream_entries_.empty()) {
            trickle_ = stream_entries_[stream_next_];
            stream_next_ = (stream_next_ + 1) % stream_entries_.size();
        }
        std::string piece = trickle_.substr(0, trickle_piece);
        trickle_.erase(0, piece.size());
        return piece;
    }
    std::string out;
    while (streaming_ && !stream_entries_.empty() && out.size() < stream_chunk) {
        out += stream_entries_[stream_next_];
        stream_next_ = (stream_next_ + 1) % stream_entries_.size();
    }
    return out;
}

std::string Modem::garbage_answers(std::string_view bytes) {
    // The input is not looked at beyond where a command or a PDU ends; what the modem had half taken
    // before the fault is still there when it clears.
    std::uniform_int_distribution<size_t> burst(8, 64);
    std::string out;
    for (char c : bytes) {
        if (c == '\r' || c == ctrl_z) {
            out += noise(burst(random_));
        }
    }
    return out;
}

std::string Modem::noise(size_t count) {
    std::uniform_int_distribution<int> any_byte(0, 255);
    std::uniform_int_distribution<size_t> any_piece(0, std::size(answer_pieces) - 1);
    std::bernoulli_distribution take_piece(0.25);
    std::string out;
    // A byte goes out only when it completes no answer word; the last one also leaves none half made.
    auto add = [&](char c) {
        std::string candidate = noise_tail_ + c;
        if (completes_answer(candidate) || (out.size() + 1 == count && half_made(candidate))) {
            return false;
        }
        out += c;
        noise_tail_ = candidate.substr(candidate.size() > noise_context ? candidate.size() - noise_context : 0);
        return true;
    };
    while (out.size() < count) {
        if (take_piece(random_)) {
            for (const char* p = answer_pieces[any_piece(random_)]; *p && out.size() < count && add(*p); ++p) {
            }
        } else {
            add(static_cast<char>(any_byte(random_)));
        }
    }
    return out;
}
