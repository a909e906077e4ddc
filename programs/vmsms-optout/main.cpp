// vmsms-optout: the opt-out list (optout.txt) of a gateway's working directory, from the command line.

#include "platform/clock.h"
#include "platform/gbk.h"
#include "platform/program_options.h"
#include "store/optout_list.h"
#include "store/phone_number.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int exit_done = 0;
constexpr int exit_failed = 1;
constexpr int exit_bad_input = 2;

const char help_head[] =
    "usage: vmsms-optout add|remove NUMBER [--dir PATH]\n"
    "       vmsms-optout list [--dir PATH]\n"
    "Changes or shows the opt-out list (optout.txt) of the working directory: the numbers that asked\n"
    "for no more messages. The gateway sends nothing to them. A number may be written in any form\n"
    "(13900000001, 8613900000001, +8613900000001); the list keeps it in international form.\n"
    "\n";

const char help_tail[] =
    "\n"
    "list prints one line per number: the number, the day it was added and the keyword it sent\n"
    "(\"manual\" for one added by hand).\n"
    "\n"
    "Exit status: 0 done (also when the number was already on the list, or not on it), 1 the list\n"
    "could not be locked, read or written, 2 bad input (no such command, no number, a word that is no\n"
    "phone number).\n";

struct OptOutLine {
    std::vector<std::string> words; // the command and its number
};

ProgramSpec optout_spec(OptOutLine& line) {
    ProgramSpec spec;
    spec.program = "vmsms-optout";
    spec.help_head = help_head;
    spec.help_tail = help_tail;
    spec.help_column = 16;
    spec.options = {dir_option("work in PATH instead of the current directory"), help_option(), version_option()};
    spec.operand = [&line](const std::string& word) {
        if (line.words.size() == 2) {
            return std::string("one command and one number at most");
        }
        line.words.push_back(word);
        return std::string();
    };
    return spec;
}

int bad_input(const std::string& message) {
    std::fprintf(stderr, "vmsms-optout: %s\n", message.c_str());
    return exit_bad_input;
}

int failed(const char* what) {
    const char* why = errno == ETIMEDOUT ? "another process holds its lock" : std::strerror(errno);
    std::fprintf(stderr, "vmsms-optout: the opt-out list could not be %s: %s\n", what, why);
    return exit_failed;
}

int list_numbers() {
    std::optional<OptOutList> list = read_optout_list();
    if (!list) {
        return failed("read");
    }
    for (const OptOutEntry& entry : list->entries) {
        std::printf("%s %s %s\n", entry.number.c_str(), entry.day.c_str(), gbk_to_utf8_lossy(entry.keyword).c_str());
    }
    if (list->skipped > 0) {
        std::fprintf(stderr, "vmsms-optout: %zu lines of optout.txt are no entries and were left out\n", list->skipped);
    }
    return exit_done;
}

int add_number(const std::string& number) {
    switch (add_optout(number, spool_date(real_clock().now()), manual_optout_keyword)) {
    case OptOutChange::Done:
        std::printf("added %s\n", canonical_number(number, home_country())->c_str());
        return exit_done;
    case OptOutChange::AlreadyThere:
        std::printf("already on the list: %s\n", canonical_number(number, home_country())->c_str());
        return exit_done;
    case OptOutChange::NotANumber:
        return bad_input("not a phone number: \"" + number + "\"");
    default:
        return failed("changed");
    }
}

int remove_number(const std::string& number) {
    switch (remove_optout(number)) {
    case OptOutChange::Done:
        std::printf("removed %s\n", canonical_number(number, home_country())->c_str());
        return exit_done;
    case OptOutChange::NotThere:
        std::printf("not on the list: %s\n", canonical_number(number, home_country())->c_str());
        return exit_done;
    case OptOutChange::NotANumber:
        return bad_input("not a phone number: \"" + number + "\"");
    default:
        return failed("changed");
    }
}

} // namespace

int main(int argc, char** argv) {
    OptOutLine asked;
    ProgramSpec spec = optout_spec(asked);
    CommandLine line = read_command_line(spec, argc, argv);
    if (std::optional<int> status = settle_common_options(spec, line)) {
        return *status;
    }
    if (line.error) {
        return report_error(spec, *line.error);
    }
    const std::vector<std::string>& words = asked.words;
    if (words.empty()) {
        return bad_input("add, remove or list? (see --help)");
    }
    const std::string& command = words[0];
    if (command == "list") {
        return words.size() == 1 ? list_numbers() : bad_input("list takes no number");
    }
    if (command != "add" && command != "remove") {
        return bad_input("no such command: \"" + command + "\" (add, remove or list)");
    }
    if (words.size() != 2) {
        return bad_input(command + " needs a number");
    }
    return command == "add" ? add_number(words[1]) : remove_number(words[1]);
}
