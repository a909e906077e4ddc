#include "vmsmsd/printing_output.h"

#include "platform/gbk.h"
#include "platform/text_ops.h"

#include <cstdio>
#include <string_view>
#include <vector>

namespace {

// All engines of a process print through one lock, so their lines never interleave.
std::mutex& print_mutex() {
    static std::mutex mutex;
    return mutex;
}

} // namespace

PrintingOutput::PrintingOutput(std::string modem) : modem_prefix_(modem.empty() ? std::string() : modem + ": ") {}

void PrintingOutput::set_caption(const std::string& text) {
    std::lock_guard lock(mutex_);
    print_locked("caption: ", text);
}

void PrintingOutput::replace_monitor(const std::string& text) {
    std::lock_guard lock(mutex_);
    length_ = text.size();
    print_locked("monitor-reset: ", text);
}

void PrintingOutput::prepend_monitor(const std::string& text) {
    std::lock_guard lock(mutex_);
    length_ += text.size();
    print_locked("monitor: ", text);
}

std::size_t PrintingOutput::monitor_length() {
    std::lock_guard lock(mutex_);
    return length_;
}

// One output line per line of the text, each tagged, without the CR of the Windows line ends.
void PrintingOutput::print_locked(const char* tag, const std::string& text) {
    std::string utf8 = gbk_to_utf8_lossy(text);
    std::vector<std::string_view> lines = split_at_line_feeds(utf8);
    if (lines.back().empty()) {
        lines.pop_back(); // a final line break starts no line of its own
    }
    std::lock_guard lock(print_mutex());
    for (std::string_view line : lines) {
        while (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        std::fprintf(stderr, "%s%s%.*s\n", tag, modem_prefix_.c_str(), static_cast<int>(line.size()), line.data());
    }
    std::fflush(stderr);
}
