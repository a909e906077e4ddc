#include "modemsim/message_assembly.h"

#include "modem/pdu/pdu_address.h"
#include "modem/pdu/pdu_peer.h"
#include "modemsim/text_escape.h"
#include "platform/gbk.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>

namespace {

struct Assembly {
    std::string to;                    // UTF-8, with '+' for an international number
    std::optional<Concatenation> part; // any part's element; none for a message in one piece
    std::map<int, std::string> texts;  // GBK, by sequence
};

bool same_message(const Assembly& assembly, const std::string& to, const Concatenation& part) {
    return assembly.part && assembly.to == to && assembly.part->sixteen_bit == part.sixteen_bit &&
           assembly.part->reference == part.reference && assembly.part->count == part.count;
}

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

std::string assembly_line(const Assembly& assembly) {
    int count = assembly.part ? assembly.part->count : 1;
    auto received = static_cast<int>(assembly.texts.size());
    std::string text;
    for (const auto& [sequence, piece] : assembly.texts) {
        text += piece;
    }
    return "message to=" + (assembly.to.empty() ? std::string("-") : assembly.to) +
           " ref=" + (assembly.part ? std::to_string(assembly.part->reference) : std::string("-")) +
           " parts=" + std::to_string(received) + "/" + std::to_string(count) +
           " complete=" + (received == count ? "yes" : "no") + " text=" + escape_line_text(gbk_to_utf8_lossy(text));
}

} // namespace

std::vector<std::string> assembled_messages(const std::vector<Submission>& submissions) {
    std::vector<Assembly> assemblies;
    for (const Submission& submission : submissions) {
        auto decoded =
            submission.outcome == SendOutcome::Sent ? decode_submit_pdu(upper(submission.pdu)) : std::nullopt;
        if (!decoded || decoded->bad_header) {
            continue;
        }
        std::string number = is_international(decoded->number_type) ? "+" + decoded->number : decoded->number;
        std::string to = gbk_to_utf8_lossy(number);
        Assembly* assembly = nullptr;
        if (decoded->part) {
            auto found = std::find_if(assemblies.begin(), assemblies.end(),
                                      [&](const Assembly& a) { return same_message(a, to, *decoded->part); });
            assembly = found == assemblies.end() ? nullptr : &*found;
        }
        if (!assembly) {
            assembly = &assemblies.emplace_back(Assembly{to, decoded->part, {}});
        }
        assembly->texts.emplace(decoded->part ? decoded->part->sequence : 1, decoded->text);
    }
    std::vector<std::string> lines;
    for (const Assembly& assembly : assemblies) {
        lines.push_back(assembly_line(assembly));
    }
    return lines;
}
