#include "modem/modem_identity.h"

#include "modem/awaited_answer.h"
#include "modem/link_recovery.h"
#include "modem/result_codes.h"
#include "modem/serial_link.h"
#include "platform/gbk.h"
#include "store/settings.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

constexpr int identity_timeout_ms = 3000;

std::string trimmed(const std::string& text) {
    std::size_t first = text.find_first_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The line's identity: its prefix and quotes taken off, a trailing F of an ICCID dropped.
std::optional<std::string> identity_of_line(std::string line) {
    for (const char* prefix : {"+CGSN:", "+CCID:", "^ICCID:", "+ICCID:"}) {
        if (line.rfind(prefix, 0) == 0) {
            line = line.substr(std::char_traits<char>::length(prefix));
        }
    }
    line = trimmed(line);
    line.erase(std::remove(line.begin(), line.end(), '"'), line.end());
    if (!line.empty() && (line.back() == 'F' || line.back() == 'f')) {
        line.pop_back();
    }
    bool digits = std::all_of(line.begin(), line.end(), [](unsigned char c) { return std::isdigit(c); });
    if (!digits || line.size() < 14 || line.size() > 22) {
        return std::nullopt;
    }
    return line;
}

bool char_device(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

void add_matching(std::vector<std::string>& out, const fs::path& folder, const std::string& prefix) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        if (out.size() >= 4 * most_candidates) {
            return;
        }
        if (entry.path().filename().string().rfind(prefix, 0) == 0) {
            out.push_back(entry.path().string());
        }
    }
}

std::string ask(EngineContext& ctx, const char* command) {
    return command_exchange(ctx, command, identity_timeout_ms).text;
}

} // namespace

std::optional<std::string> identity_in_answer(const std::string& answer) {
    std::size_t start = 0;
    while (start < answer.size()) {
        std::size_t end = answer.find_first_of("\r\n", start);
        std::string line = answer.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (std::optional<std::string> identity = identity_of_line(line)) {
            return identity;
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return std::nullopt;
}

WantedIdentity wanted_identity() {
    return {trimmed(read_setting(settings::imei)), trimmed(read_setting(settings::iccid))};
}

std::string identity_mismatch(EngineContext& ctx, const WantedIdentity& wanted) {
    const std::pair<const std::string*, const char*> checks[] = {{&wanted.imei, "AT+CGSN\r"},
                                                                 {&wanted.iccid, "AT+CCID\r"}};
    for (const auto& [want, command] : checks) {
        if (want->empty()) {
            continue;
        }
        std::optional<std::string> found = identity_in_answer(ask(ctx, command));
        if (!found || *found != *want) {
            std::string said = found.value_or("no answer");
            tracef(ctx.logs, "identity: %s answered %s, wanted %s\n", command, said.c_str(), want->c_str());
            return said;
        }
    }
    return {};
}

std::vector<std::string> candidate_devices(const std::string& com_path) {
    std::vector<std::string> names;
    add_matching(names, "/dev", "ttyUSB");
    add_matching(names, "/dev", "ttyACM");
    add_matching(names, "/dev/serial/by-id", "");
    fs::path folder = fs::path(com_path).parent_path();
    if (!folder.empty() && folder != "/dev") {
        add_matching(names, folder, "");
    }
    std::error_code ec;
    fs::path own = fs::weakly_canonical(com_path, ec);
    std::set<fs::path> seen{own};
    std::vector<std::string> devices;
    for (const std::string& name : names) {
        fs::path real = fs::canonical(name, ec);
        if (ec || !char_device(name) || !seen.insert(real).second) {
            continue;
        }
        devices.push_back(name);
        if (devices.size() >= most_candidates) {
            break;
        }
    }
    return devices;
}

bool find_modem_elsewhere(EngineContext& ctx, const WantedIdentity& wanted) {
    const std::string home = ctx.port.device();
    for (const std::string& device : candidate_devices(home)) {
        ctx.port.close();
        ctx.port.set_device(device);
        if (!ctx.port.reopen(ctx.options.wider_compatibility.load())) {
            continue; // held by another process, or no serial port at all
        }
        port_prepare(ctx.port);
        port_write(ctx.port, cancel_submission);
        if (identity_mismatch(ctx, wanted).empty()) {
            tracef(ctx.logs, "identity: the modem is on %s now (was %s)\n", device.c_str(), home.c_str());
            ctx.output.prepend_monitor(gbk("在 ") + device + gbk(" 找到了设置的调制解调器（原来在 ") + home +
                                       gbk("），在那里继续。\r\n"));
            ctx.state.port.device_name = device;
            ctx.port.close();
            return true;
        }
    }
    ctx.port.close();
    ctx.port.set_device(home);
    return false;
}
