#include "modemsim/modem.h"

#include <cstdio>

namespace {

using Form = AtCommand::Form;

std::string counts(const MessageMemory& memory) {
    return std::to_string(memory.used()) + "," + std::to_string(memory.capacity());
}

std::string quoted_list(const std::vector<std::string>& names) {
    std::string list;
    for (const std::string& name : names) {
        list += (list.empty() ? "\"" : ",\"") + name + "\"";
    }
    return "(" + list + ")";
}

} // namespace

std::string Modem::stored_indication(const std::string& memory, int index) const {
    // The same conditions as every new-message indication of this modem, under the memory's name.
    if (new_message_indication(index).empty()) {
        return {};
    }
    return "+CMTI: \"" + memory + "\"," + std::to_string(index);
}

Modem::Arrival Modem::arrive(const std::string& pdu, const std::string& description) {
    Arrival arrival;
    const std::string memory = store_.receiving().name();
    arrival.index = held_.empty() ? store_.add(pdu, description) : 0; // the network keeps the order
    if (arrival.index != 0) {
        std::string line = stored_indication(memory, arrival.index);
        arrival.unasked = line.empty() ? "" : "\r\n" + line + "\r\n";
        return arrival;
    }
    if (held_.size() >= most_held) {
        std::fprintf(stderr, "vmsms-modemsim: the network gives up on a message: %zu held already\n", held_.size());
        return arrival;
    }
    held_.emplace_back(pdu, description);
    if (fault_ != Fault::Silent && cnmi_[0] != 0) {
        arrival.unasked = "\r\n^SMMEMFULL: \"" + memory + "\"\r\n";
    }
    return arrival;
}

int Modem::put(const std::string& memory, const std::string& pdu, const std::string& description) {
    return store_.add_to(memory, pdu, description);
}

std::vector<std::string> Modem::retry_held() {
    std::vector<std::string> lines;
    while (!held_.empty() && !store_.receiving().full()) {
        int index = store_.add(held_.front().first, held_.front().second);
        held_.pop_front();
        if (std::string line = stored_indication(store_.receiving().name(), index); !line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}

bool Modem::delete_fails() {
    if (failing_deletes_ == 0) {
        return false;
    }
    if (failing_deletes_ > 0) {
        --failing_deletes_;
    }
    return true;
}

bool Modem::delete_keeps() {
    if (relisting_deletes_ == 0) {
        return false;
    }
    if (relisting_deletes_ > 0) {
        --relisting_deletes_;
    }
    return true;
}

Modem::Result Modem::storage_command(const AtCommand& command) {
    Result result;
    if (command.form == Form::Test) {
        std::string names = quoted_list(store_.names());
        result.info = {"+CPMS: " + names + "," + names + "," + names};
    } else if (command.form == Form::Read) {
        std::string text;
        for (const MessageMemory* memory : {&store_.reading(), &store_.writing(), &store_.receiving()}) {
            text += (text.empty() ? "\"" : ",\"") + memory->name() + "\"," + counts(*memory);
        }
        result.info = {"+CPMS: " + text};
    } else if (command.form == Form::Set && store_.select(at_parameters(command.args))) {
        result.info = {"+CPMS: " + counts(store_.reading()) + "," + counts(store_.writing()) + "," +
                       counts(store_.receiving())};
        // A receiving memory with room takes what the network held.
        for (std::string& line : retry_held()) {
            result.info.push_back(std::move(line));
        }
    } else {
        result.final_code = command.form == Form::Set ? "+CMS ERROR: 302" : "ERROR";
    }
    return result;
}
