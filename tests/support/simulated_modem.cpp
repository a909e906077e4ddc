#include "support/simulated_modem.h"

#include "support/temp_dir.h"

#include <sstream>
#include <unistd.h>

namespace {

std::string program() {
    return built_program("programs/vmsms-modemsim");
}

} // namespace

SimulatedModem::SimulatedModem(const std::string& dir, const std::vector<std::string>& extra_args)
    : dir_(dir), device_(dir + "/modem") {
    std::vector<std::string> args{"--link", device_, "--control", dir_ + "/ctl", "--record", dir_ + "/sent.txt"};
    args.insert(args.end(), extra_args.begin(), extra_args.end());
    program_ = std::make_unique<BackgroundProgram>(program(), args, dir_ + "/modemsim.out");
    ready_ = eventually([&] { return exists(dir_ + "/ctl"); }, 10000);
}

bool SimulatedModem::built() {
    return ::access(program().c_str(), X_OK) == 0;
}

ProgramResult SimulatedModem::ctl(const std::vector<std::string>& args) const {
    std::vector<std::string> all{"ctl", dir_ + "/ctl"};
    all.insert(all.end(), args.begin(), args.end());
    return run_program(program(), all);
}

ProgramResult SimulatedModem::relist_after_delete(int count) const {
    return ctl({"storage", "relist", std::to_string(count)});
}

ProgramResult SimulatedModem::hang_on_delete(bool hang) const {
    return ctl({"fault", hang ? "hang-delete" : "none"});
}

int SimulatedModem::stored_count() const {
    ProgramResult result = ctl({"stored"});
    if (result.exit_code != 0) {
        return -1;
    }
    int count = 0;
    for (std::size_t at = result.out.find("index="); at != std::string::npos; at = result.out.find("index=", at + 1)) {
        ++count;
    }
    return count;
}

std::string SimulatedModem::sent_text() const {
    return file_bytes(dir_ + "/sent.txt");
}

std::vector<std::string> SimulatedModem::sent_lines() const {
    std::vector<std::string> lines;
    std::istringstream in(sent_text());
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string SimulatedModem::output() const {
    return file_bytes(dir_ + "/modemsim.out");
}
