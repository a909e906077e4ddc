#include "modemsim/control_faults.h"

#include <algorithm>

namespace {

using std::chrono::milliseconds;

constexpr const char* fault_usage =
    "fault takes none, silent, error, reject, endless-listing, trickling-listing, garbage, hung or "
    "hang-delete (each with --for SECONDS), fail COUNT, garbage --count COUNT, "
    "unplug [--for SECONDS] or replug [--at PATH]";

constexpr long longest_fault_ms = 24L * 3600 * 1000;
constexpr long most_noise = 65536;

struct Mode {
    const char* name;
    Fault fault;
};

constexpr Mode modes[] = {
    {"none", Fault::None},
    {"silent", Fault::Silent},
    {"error", Fault::SendError},
    {"reject", Fault::Reject},
    {"endless-listing", Fault::EndlessListing},
    {"trickling-listing", Fault::TricklingListing},
    {"garbage", Fault::Garbage},
    {"hung", Fault::Hung},
    {"hang-delete", Fault::HangDelete},
};

ControlReply refused(std::string why) {
    ControlReply reply;
    reply.ok = false;
    reply.error = std::move(why);
    return reply;
}

// A whole number within [low, high], or nullopt.
std::optional<long> count_word(const std::string& word, long low, long high) {
    if (word.empty() || word.size() > 9 || word.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    long value = std::stol(word);
    return value >= low && value <= high ? std::optional<long>(value) : std::nullopt;
}

// Seconds as "2" or "0.25": digits with at most three after the point, above zero and at most a day.
std::optional<milliseconds> seconds_word(const std::string& word) {
    size_t point = word.find('.');
    std::string whole = word.substr(0, point);
    std::string part = point == std::string::npos ? "" : word.substr(point + 1);
    auto digits = [](const std::string& text) { return text.find_first_not_of("0123456789") == std::string::npos; };
    if (whole.empty() || whole.size() > 5 || !digits(whole) || part.size() > 3 || !digits(part) ||
        (point != std::string::npos && part.empty())) {
        return std::nullopt;
    }
    part.resize(3, '0');
    long ms = std::stol(whole) * 1000 + std::stol(part);
    return ms > 0 && ms <= longest_fault_ms ? std::optional<milliseconds>(ms) : std::nullopt;
}

// Reads what may follow a fault that can last a while: nothing, or "--for SECONDS". An error text
// when the words are anything else.
std::string parse_duration(const std::vector<std::string>& words, std::optional<milliseconds>& duration) {
    duration.reset();
    if (words.size() == 2) {
        return {};
    }
    if (words.size() == 4 && words[2] == "--for") {
        duration = seconds_word(words[3]);
        if (duration) {
            return {};
        }
        return "--for takes seconds above 0 and at most 86400, such as 2 or 0.5, not " + words[3];
    }
    if (words.size() == 3 && words[2] == "--for") {
        return "--for needs a number of seconds";
    }
    return "fault " + words[1] + " takes nothing more than --for SECONDS, not " + words[2];
}

ControlReply set_mode(const std::vector<std::string>& words, Fault fault, Modem& modem, LineControl& line) {
    std::optional<milliseconds> duration;
    if (fault == Fault::None) {
        if (words.size() != 2) {
            return refused("fault none takes no more words");
        }
    } else if (std::string error = parse_duration(words, duration); !error.empty()) {
        return refused(error);
    }
    modem.set_fault(fault);
    modem.fail_next_sends(0);
    line.end_fault_after(duration);
    std::string error;
    if (fault == Fault::None && !line.plugged() && !line.replug(error)) {
        return refused(error);
    }
    return {};
}

ControlReply fail_sends(const std::vector<std::string>& words, Modem& modem, LineControl& line) {
    auto count = words.size() == 3 ? count_word(words[2], 0, 99999) : std::nullopt;
    if (!count) {
        return refused("fault fail takes the number of sends to fail, 0 to 99999");
    }
    modem.set_fault(Fault::None);
    modem.fail_next_sends(static_cast<int>(*count));
    line.end_fault_after(std::nullopt);
    return {};
}

ControlReply inject_noise(const std::vector<std::string>& words, Modem& modem, LineControl& line) {
    auto count = words.size() == 4 ? count_word(words[3], 1, most_noise) : std::nullopt;
    if (!count) {
        return refused("fault garbage --count takes the number of bytes, 1 to " + std::to_string(most_noise));
    }
    if (!line.plugged()) {
        return refused("the modem is unplugged");
    }
    line.send_unasked(modem.noise(static_cast<size_t>(*count)));
    return {};
}

ControlReply unplug(const std::vector<std::string>& words, LineControl& line) {
    std::optional<milliseconds> duration;
    if (std::string error = parse_duration(words, duration); !error.empty()) {
        return refused(error);
    }
    if (!line.plugged()) {
        return refused("the modem is unplugged already");
    }
    line.unplug(duration);
    return {};
}

// A path for the link: absolute, no "..", no control bytes, shorter than a device path may be.
bool link_path(const std::string& path) {
    return path.size() > 1 && path.size() < 256 && path[0] == '/' && path.find("/../") == std::string::npos &&
           path.compare(path.size() - 3, 3, "/..") != 0 &&
           std::none_of(path.begin(), path.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; });
}

ControlReply replug(const std::vector<std::string>& words, LineControl& line) {
    if (words.size() != 2 && !(words.size() == 4 && words[2] == "--at")) {
        return refused("fault replug takes nothing more, or --at PATH");
    }
    if (line.plugged()) {
        return refused("the modem is plugged in already");
    }
    if (words.size() == 4 && !link_path(words[3])) {
        return refused("fault replug --at takes an absolute path");
    }
    if (words.size() == 4) {
        line.move_link(words[3]);
    }
    std::string error;
    if (!line.replug(error)) {
        return refused(error);
    }
    ControlReply reply;
    reply.lines = {"plugged " + line.device()};
    return reply;
}

} // namespace

ControlReply fault_command(const std::vector<std::string>& words, Modem& modem, LineControl& line) {
    const std::string kind = words.size() > 1 ? words[1] : "";
    if (kind == "fail") {
        return fail_sends(words, modem, line);
    }
    if (kind == "garbage" && words.size() > 2 && words[2] == "--count") {
        return inject_noise(words, modem, line);
    }
    if (kind == "unplug") {
        return unplug(words, line);
    }
    if (kind == "replug") {
        return replug(words, line);
    }
    for (const Mode& mode : modes) {
        if (kind == mode.name) {
            return set_mode(words, mode.fault, modem, line);
        }
    }
    return refused((kind.empty() ? std::string("no fault named; ") : "unknown fault: " + kind + "; ") + fault_usage);
}

const char* fault_name(Fault fault) {
    for (const Mode& mode : modes) {
        if (mode.fault == fault) {
            return mode.name;
        }
    }
    return "none";
}
