// Fuzz target: one line of the modem's message listing, as decode_received_pdu gets it.
//
// The decoder must take any line without failing, and what it gives back must stay small whatever
// the line holds: the sender-address length and the user-data length are one octet each, so no
// line can yield more than 255 characters of sender or text, each at most two GBK bytes.

#include "modem/pdu/pdu_codec.h"
#include "fuzz_support.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

constexpr std::size_t max_decoded_bytes = 2 * 255;

// Keeps the trace, so every byte the decoder formats into it is touched under the sanitizers.
class KeptTrace : public TraceSink {
public:
    void trace(std::string_view text) override { kept_.append(text); }
    std::size_t size() const { return kept_.size(); }

private:
    std::string kept_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view line(reinterpret_cast<const char*>(data), size);
    KeptTrace trace;
    ReceivedMessage message = decode_received_pdu(line, trace);
    if (message.sender.size() > max_decoded_bytes) {
        fuzz_fail("a sender of %zu bytes from a line of %zu", message.sender.size(), size);
    }
    if (message.text.size() > max_decoded_bytes) {
        fuzz_fail("a text of %zu bytes from a line of %zu", message.text.size(), size);
    }
    if (trace.size() == 0) {
        fuzz_fail("the decoder wrote no trace line");
    }
    return 0;
}
